// Field selectors and matchers: which text of the message a rule's field stands
// for, and the tests that decide whether the rule matches it. A test only ever
// sets `matched`; the scan clears it, negates it and scores the rule.
#pragma once

#include <cstdint>
#include <string>

#include "engine/rule_line.h"
#include "host/host_records.h"
#include "mime/message_texts.h"

struct pcre2_real_code_8;

namespace cw {

// What the field-to-subject table needs of the message.
struct MessageView {
    const char* const* headerLines;
    int32_t headerCount;
    const MessageTexts* texts;
    const MessageStatus* status;
};

// Leading bytes of `line` that are its header name for `fieldName`; 0 for a
// whole-text field; -1 when the line does not belong to the field.
int fieldPrefixLength(const char* line, const char* fieldName);

// Applies the field-to-subject table for `rule` with the plain-string matcher.
// `pattern` is the rule's own copy: it is folded to lower case in place.
void applyStringTest(const RuleLine& rule, std::string& pattern, const MessageView& message,
                     bool& matched);

// Applies the field-to-subject table for `rule` with the compiled pattern;
// `patternText` (the scan's copy) serves the size and exists tests.
void applyPatternTest(const RuleLine& rule, const std::string& patternText,
                      const pcre2_real_code_8* pattern, const MessageView& message,
                      bool& matched);

}  // namespace cw
