#include "engine/field_selectors.h"

#include <cstring>

#include "common/text_ops.h"

namespace cw {

namespace {

int groupPrefixLength(const char* line, const RuleField& group) {
    for (const char* name : group.groupHeaders) {
        if (startsWithNoCase(line, name)) {
            return static_cast<int>(std::strlen(name));
        }
    }
    return -1;
}

// The names of a group's lines and the group's own, as header keys (lower case,
// no colon).
void addGroupNames(const RuleField& group, std::vector<std::string>& keys) {
    keys.emplace_back(group.name.substr(0, group.name.size() - 1));
    for (const char* name : group.groupHeaders) {
        keys.emplace_back(name, std::strlen(name) - 1);
    }
    for (std::string& key : keys) {
        lowerCaseInPlace(key);
    }
}

}  // namespace

int prefixLengthFor(const char* line, std::string_view fieldName, const RuleField& field) {
    if (startsWithNoCase(line, fieldName.data(), fieldName.size())) {
        return static_cast<int>(fieldName.size());
    }
    switch (field.cut) {
        case FieldCut::WHOLE_TEXT:
            return 0;
        case FieldCut::GROUP:
            return groupPrefixLength(line, field);
        case FieldCut::NAME_ONLY:
            break;
    }
    return -1;
}

int fieldPrefixLength(const char* line, std::string_view fieldName) {
    return prefixLengthFor(line, fieldName, ruleFieldNamed(fieldName));
}

HeaderSelector ruleSelectorOf(const RuleRecord& record) {
    if (ruleFieldOf(record.field).subjects != FieldSubjects::HEADER_EXISTENCE) {
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
    // A group's name stands for its lines; any other name for its own.
    const RuleField& named = ruleFieldNamed(headerName);
    return headerSelectorOf(named.cut == FieldCut::GROUP ? named.kind : FieldKind::HEADER,
                            headerName);
}

HeaderSelector headerSelectorOf(FieldKind kind, std::string_view fieldType) {
    const RuleField& field = ruleFieldOf(kind);
    HeaderSelector selector;
    if (field.cut == FieldCut::GROUP) {
        addGroupNames(field, selector.names);
        return selector;
    }
    if (field.subjects != FieldSubjects::NAMED_HEADER_LINES) {
        selector.anyLine = field.subjects == FieldSubjects::EVERY_HEADER_LINE;
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
