#include "engine/rule_fields.h"

#include <iterator>

#include "common/text_ops.h"

namespace cw {

namespace {

// The group fields' header names; a matching line loses the name's length.
constexpr const char* SENDER_HEADERS[] = {
    "From:", "Sender:", "Reply-To:", "X-Sender:", "Envelope-From:", "X-Envelope-From:"};
constexpr const char* RECIPIENT_HEADERS[] = {
    "To:", "CC:", "Bcc:", "Envelope-To:", "X-Envelope-To:"};

using enum FieldKind;
using enum FieldSubjects;
using enum FieldCut;
constexpr uint8_t DECODES = FIELD_DECODES_WORDS;
constexpr uint8_t TEXT_ONLY = FIELD_TEXT_ONLY;

// "Match:" tests every header line whole, its name included.
// clang-format off
constexpr RuleField RULE_FIELDS[] = {
//   name               kind             subjects            cut         header kept   flags
    {"",                HEADER,          NAMED_HEADER_LINES, NAME_ONLY,  true,  true,  DECODES},
    {"Any-Sender:",     ANY_SENDER,      NAMED_HEADER_LINES, GROUP,      true,  true,  DECODES,
     SENDER_HEADERS},
    {"Any-Recipient:",  ANY_RECIPIENT,   NAMED_HEADER_LINES, GROUP,      true,  true,  DECODES,
     RECIPIENT_HEADERS},
    {"Match:",          MATCH,           EVERY_HEADER_LINE,  WHOLE_TEXT, true,  true,  DECODES},
    {"Header:",         HEADER_EXISTS,   HEADER_EXISTENCE,   NAME_ONLY,  false, false, 0},
    {"CompleteHeader:", COMPLETE_HEADER, HEADER_TEXT,        WHOLE_TEXT, false, true,  0},
    {"Body:",           BODY,            BODY_TEXT,          WHOLE_TEXT, false, true,  0},
    {"HtmlText:",       HTML_TEXT,       VISIBLE_BODY_TEXT,  WHOLE_TEXT, false, true,  0},
    {"Line:",           LINE,            BODY_LINES,         WHOLE_TEXT, false, true,  TEXT_ONLY},
    {"Size:",           SIZE,            MESSAGE_SIZE,       NAME_ONLY,  false, false, 0},
    {"Username:",       USERNAME,        USER_NAME,          WHOLE_TEXT, false, false, DECODES},
    {"Servername:",     SERVERNAME,      SERVER_NAME,        WHOLE_TEXT, false, false, DECODES},
};
// clang-format on

constexpr bool rowsFollowTheKinds() {
    for (size_t index = 0; index < std::size(RULE_FIELDS); ++index) {
        if (static_cast<size_t>(RULE_FIELDS[index].kind) != index) {
            return false;
        }
    }
    return true;
}
static_assert(rowsFollowTheKinds() &&
              std::size(RULE_FIELDS) == static_cast<size_t>(SERVERNAME) + 1);

}  // namespace

std::span<const RuleField> ruleFields() {
    return RULE_FIELDS;
}

const RuleField& ruleFieldOf(FieldKind kind) {
    return RULE_FIELDS[static_cast<size_t>(kind)];
}

const RuleField& ruleFieldNamed(std::string_view fieldType) {
    fieldType = fieldType.substr(0, fieldType.find('\0'));
    for (const RuleField& field : RULE_FIELDS) {
        // Asked for every Header: rule in every scan, so the lengths are compared first.
        if (!field.name.empty() && field.name.size() == fieldType.size() &&
            startsWithNoCase(fieldType.data(), field.name.data(), field.name.size())) {
            return field;
        }
    }
    return RULE_FIELDS[0];
}

}  // namespace cw
