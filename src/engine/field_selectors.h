// Field selectors, told from a field's name: the header lines a rule's field can
// belong to, and where on a line the field's part begins.
#pragma once

#include <string_view>

#include "engine/message_subjects.h"
#include "engine/rule_fields.h"
#include "engine/rule_line.h"

namespace cw {

// Leading bytes of `line` that are its header name for `fieldName`; 0 for a
// whole-text field; -1 when the line does not belong to the field.
int fieldPrefixLength(const char* line, std::string_view fieldName);
// fieldPrefixLength with the field's row known.
int prefixLengthFor(const char* line, std::string_view fieldName, const RuleField& field);

// The selector of a field's header lines (see HeaderSelector); empty for
// fields that are not tested against header lines.
HeaderSelector headerSelectorOf(FieldKind kind, std::string_view fieldType);
// The header lines a rule's test can belong to: those of its field, or for a
// Header: test those of the name it looks for (or of the group it names; any
// line when the name is no plain "Name:").
HeaderSelector ruleSelectorOf(const RuleRecord& record);

}  // namespace cw
