// The fields of the rule language, in one table: for each field type a rule can
// name ("Subject:", "Body:", ...) what it selects from a message and how. The
// reader, the matchers, the compiled rule set and the scan take what they need
// from here, so that a new field is a row of the table and, when it selects a
// text no field selected before, a case in the matchers.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace cw {

// Which field a field type names. Every kind is one row of the table, in this order.
enum class FieldKind : uint8_t {
    HEADER,  // any name that no other row has: the header lines of that name
    ANY_SENDER,
    ANY_RECIPIENT,
    MATCH,
    HEADER_EXISTS,
    COMPLETE_HEADER,
    BODY,
    HTML_TEXT,
    LINE,
    SIZE,
    USERNAME,
    SERVERNAME,
};

// What the rules of a field test.
enum class FieldSubjects : uint8_t {
    NAMED_HEADER_LINES,  // the header lines of a name, or of the names of a group
    EVERY_HEADER_LINE,
    HEADER_EXISTENCE,   // no subject: whether a line of the header the pattern names exists
    HEADER_TEXT,        // all header lines joined
    BODY_TEXT,          // the body, raw or decoded
    VISIBLE_BODY_TEXT,  // the body as a reader sees it, HTML parts as text
    BODY_LINES,
    MESSAGE_SIZE,  // no subject: the size is compared with the pattern's number
    USER_NAME,     // the account's names, from the host
    SERVER_NAME,
};

// Where a field finds its part of a subject that does not begin with the field's
// own name (a subject that does loses the name).
enum class FieldCut : uint8_t {
    NAME_ONLY,   // nowhere: the subject does not belong to the field
    WHOLE_TEXT,  // at the start: the subject is tested whole
    GROUP,       // behind the first of the group's header names that begins it
};

// What the rule flags do on a field.
inline constexpr uint8_t FIELD_DECODES_WORDS = 0x1;  // '~' decodes each subject's encoded words
inline constexpr uint8_t FIELD_TEXT_ONLY = 0x2;      // '!' and TEXTONLY keep to text parts' lines

struct RuleField {
    std::string_view name;  // compared ignoring case; empty for HEADER
    FieldKind kind;
    FieldSubjects subjects;
    FieldCut cut;
    bool testsHeaderLines;
    // Its subjects stay where they are for the whole message, so what a search
    // found in one can be remembered by its address.
    bool keptSubjects;
    uint8_t flags;
    // For a GROUP field: the header names its lines may carry, tried in this order.
    std::span<const char* const> groupHeaders = {};
};

// Every row, in FieldKind order.
std::span<const RuleField> ruleFields();

const RuleField& ruleFieldOf(FieldKind kind);

// The row of a field type (up to a NUL it might hold), the HEADER row for a
// name no other row has.
const RuleField& ruleFieldNamed(std::string_view fieldType);

inline FieldKind fieldKindOf(std::string_view fieldType) {
    return ruleFieldNamed(fieldType).kind;
}

// Whether the one subject is a whole joined text of the message, which a match's
// evidence names rather than quotes.
inline bool isJoinedText(FieldSubjects subjects) {
    return subjects == FieldSubjects::HEADER_TEXT || subjects == FieldSubjects::BODY_TEXT ||
           subjects == FieldSubjects::VISIBLE_BODY_TEXT;
}

}  // namespace cw
