// Field selectors, told from a field's name: the header lines a rule's field can
// belong to, and where on a line the field's part begins.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/message_subjects.h"
#include "engine/rule_line.h"

namespace cw {

// Where a field finds its part of a line that does not begin with the field's
// own name: worked out once per rule from the name, since it is asked for every
// subject.
enum class FieldCut : uint8_t { UNKNOWN, NAME_ONLY, WHOLE_TEXT, ANY_SENDER, ANY_RECIPIENT };
FieldCut fieldCutOf(std::string_view fieldName);

// Leading bytes of `line` that are its header name for `fieldName`; 0 for a
// whole-text field; -1 when the line does not belong to the field.
int fieldPrefixLength(const char* line, std::string_view fieldName);
// fieldPrefixLength with the field's cut known.
int prefixLengthFor(const char* line, std::string_view fieldName, FieldCut cut);

// The selector of a field's header lines (see HeaderSelector); empty for
// fields that are not tested against header lines.
HeaderSelector headerSelectorOf(FieldKind field, std::string_view fieldType);
// The header lines a rule's test can belong to: those of its field, or for a
// Header: test those of the name it looks for (or of the group it names; any
// line when the name is no plain "Name:").
HeaderSelector ruleSelectorOf(const RuleRecord& record);

}  // namespace cw
