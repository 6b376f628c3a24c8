#include "engine/field_selectors.h"

#include <cstring>
#include <string>
#include <vector>

#include "common/text_ops.h"

namespace cw {

namespace {

// Fields whose subjects are tested whole, nothing cut. "Match:" still walks the
// header lines, testing each with its header name.
constexpr std::string_view WHOLE_TEXT_FIELDS[] = {
    "CompleteHeader:", "Match:", "Body:", "HtmlText:", "Line:", "Username:", "Servername:"};

// The group fields and their header names, tried in this order; a matching line
// loses the name's length.
constexpr const char* SENDER_HEADERS[] = {
    "From:", "Sender:", "Reply-To:", "X-Sender:", "Envelope-From:", "X-Envelope-From:"};
constexpr const char* RECIPIENT_HEADERS[] = {
    "To:", "CC:", "Bcc:", "Envelope-To:", "X-Envelope-To:"};

template <size_t N>
int groupPrefixLength(const char* line, const char* const (&names)[N]) {
    for (const char* name : names) {
        if (startsWithNoCase(line, name)) {
            return static_cast<int>(std::strlen(name));
        }
    }
    return -1;
}

// Whether a field name equals `name`, ignoring case. Asked for every rule and
// subject, so the lengths are compared first.
bool isFieldNamed(std::string_view fieldName, std::string_view name) {
    return fieldName.size() == name.size() &&
           startsWithNoCase(name.data(), fieldName.data(), fieldName.size());
}

bool isWholeTextField(std::string_view fieldName) {
    for (std::string_view field : WHOLE_TEXT_FIELDS) {
        if (isFieldNamed(fieldName, field)) {
            return true;
        }
    }
    return false;
}

// The names of a group's lines, as header keys (lower case, no colon).
template <size_t N>
void addGroupNames(const char* const (&names)[N], const char* groupName,
                   std::vector<std::string>& keys) {
    keys.emplace_back(groupName);
    for (const char* name : names) {
        keys.emplace_back(name, std::strlen(name) - 1);
    }
    for (std::string& key : keys) {
        lowerCaseInPlace(key);
    }
}

}  // namespace

int prefixLengthFor(const char* line, std::string_view fieldName, FieldCut cut) {
    if (startsWithNoCase(line, fieldName.data(), fieldName.size())) {
        return static_cast<int>(fieldName.size());
    }
    switch (cut) {
        case FieldCut::WHOLE_TEXT:
            return 0;
        case FieldCut::ANY_SENDER:
            return groupPrefixLength(line, SENDER_HEADERS);
        case FieldCut::ANY_RECIPIENT:
            return groupPrefixLength(line, RECIPIENT_HEADERS);
        case FieldCut::UNKNOWN:
            return prefixLengthFor(line, fieldName, fieldCutOf(fieldName));
        case FieldCut::NAME_ONLY:
            break;
    }
    return -1;
}

FieldCut fieldCutOf(std::string_view fieldName) {
    // Compared as a C string: up to a NUL it might hold.
    fieldName = fieldName.substr(0, fieldName.find('\0'));
    if (isWholeTextField(fieldName)) {
        return FieldCut::WHOLE_TEXT;
    }
    if (isFieldNamed(fieldName, "Any-Sender:")) {
        return FieldCut::ANY_SENDER;
    }
    if (isFieldNamed(fieldName, "Any-Recipient:")) {
        return FieldCut::ANY_RECIPIENT;
    }
    return FieldCut::NAME_ONLY;
}

int fieldPrefixLength(const char* line, std::string_view fieldName) {
    return prefixLengthFor(line, fieldName, fieldCutOf(fieldName));
}

HeaderSelector ruleSelectorOf(const RuleRecord& record) {
    if (record.field != FieldKind::HEADER_EXISTS) {
        return headerSelectorOf(record.field, record.fieldType);
    }
    const std::string_view headerName = record.pattern;
    // Only "Name:" with no blank, control byte or other colon in the name is
    // looked up: a line begins with it exactly when the text before the line's
    // first colon is the name.
    bool plain = headerName.size() > 1 && headerName.back() == ':';
    for (char c : headerName.substr(0, headerName.size() - 1)) {
        plain = plain && static_cast<unsigned char>(c) > ' ' && c != ':' && c != 0x7F;
    }
    if (!plain) {
        HeaderSelector selector;
        selector.anyLine = true;
        return selector;
    }
    switch (fieldCutOf(headerName)) {
        case FieldCut::ANY_SENDER:
            return headerSelectorOf(FieldKind::ANY_SENDER, headerName);
        case FieldCut::ANY_RECIPIENT:
            return headerSelectorOf(FieldKind::ANY_RECIPIENT, headerName);
        default:
            return headerSelectorOf(FieldKind::HEADER, headerName);
    }
}

HeaderSelector headerSelectorOf(FieldKind field, std::string_view fieldType) {
    HeaderSelector selector;
    switch (field) {
        case FieldKind::ANY_SENDER:
            addGroupNames(SENDER_HEADERS, "Any-Sender", selector.names);
            return selector;
        case FieldKind::ANY_RECIPIENT:
            addGroupNames(RECIPIENT_HEADERS, "Any-Recipient", selector.names);
            return selector;
        case FieldKind::HEADER:
            break;
        default:
            // Match: tests every line; the other fields test no header line.
            selector.anyLine = field == FieldKind::MATCH;
            return selector;
    }
    // "Name:" belongs to exactly the lines whose text before the first colon is
    // Name; any other field type is tried on every line.
    size_t colon = fieldType.find(':');
    if (colon == std::string_view::npos || colon + 1 != fieldType.size()) {
        selector.anyLine = true;
        return selector;
    }
    std::string key(fieldType.substr(0, colon));
    lowerCaseInPlace(key);
    selector.names.push_back(key);
    return selector;
}

}  // namespace cw
