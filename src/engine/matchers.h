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

// The four tests. Each sets `matched` when it finds a match and never clears it;
// unless `flags` holds FLAG_NEGATE, the evidence is held in the log (LOG_HOLD) and
// reaches the file only if the scan flushes it. Errors are logged at once.
//
// The two matchers prepare the subject first: a null subject is not tested; the
// copy is trimmed, with FLAG_USE_DECODED its encoded words are decoded (not for
// Body:, Line: and CompleteHeader:), and a line that does not belong to the
// field is not tested; otherwise the header name and one space after it are cut.

// Plain string: `pattern` is folded to lower case in place and found anywhere in
// the subject, case folded. `ruleText` is quoted by the log line only.
void testIfLineMatchesString(const char* fieldName, std::string& pattern, const char* ruleText,
                             const char* subject, uint32_t flags, bool& matched);

// Regular expression, run over the whole prepared subject.
void testIfLineMatchesRegular(const char* fieldName, const pcre2_real_code_8* pattern,
                              const char* ruleText, const char* subject, uint32_t flags,
                              bool& matched);

// Whether a header line belongs to `headerName` (its colon included, or a group
// such as "Any-Sender:"); the first such line is the evidence. Null lines are skipped.
void testIfHeaderExists(const char* headerName, const char* const* headerLines, int32_t headerCount,
                        uint32_t flags, bool& matched);

// Whether `messageSize` is at least the integer that `limitText` begins with (0 when none).
void testIfSizeIsAtLeast(const char* limitText, int32_t messageSize, uint32_t flags, bool& matched);

// Applies the field-to-subject table for `rule` with the plain-string matcher.
// `pattern` is the rule's own copy: it is folded to lower case in place.
void applyStringTest(const RuleLine& rule, std::string& pattern, const MessageView& message,
                     bool& matched);

// Applies the field-to-subject table for `rule` with the compiled pattern;
// `patternText` (the scan's copy) serves the size and exists tests.
void applyPatternTest(const RuleLine& rule, const std::string& patternText,
                      const pcre2_real_code_8* pattern, const MessageView& message, bool& matched);

}  // namespace cw
