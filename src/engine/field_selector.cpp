// Which text of the message a rule's field stands for, and which header lines
// belong to a field.
#include <cstring>

#include "common/text_ops.h"
#include "engine/matchers.h"

namespace cw {

namespace {

// Fields whose subjects are tested whole, nothing cut. "Match:" still walks the
// header lines, testing each with its header name.
constexpr const char* WHOLE_TEXT_FIELDS[] = {
    "CompleteHeader:", "Match:", "Body:", "Line:", "Username:", "Servername:"};

// The group fields and their header names, tried in this order; a matching line
// loses the name's length.
constexpr const char* SENDER_HEADERS[] = {
    "From:", "Sender:", "Reply-To:", "X-Sender:", "Envelope-From:", "X-Envelope-From:"};
constexpr const char* RECIPIENT_HEADERS[] = {
    "To:", "CC:", "Bcc:", "Envelope-To:", "X-Envelope-To:"};

constexpr const char* CONTENT_TYPE = "Content-Type:";
constexpr const char* TEXT_CONTENT_TYPE = "Content-Type: text/";

template <size_t N>
int groupPrefixLength(const char* line, const char* const (&names)[N]) {
    for (const char* name : names) {
        if (startsWithNoCase(line, name)) {
            return static_cast<int>(std::strlen(name));
        }
    }
    return -1;
}

bool isWholeTextField(const char* fieldName) {
    for (const char* field : WHOLE_TEXT_FIELDS) {
        if (equalsNoCase(fieldName, field)) {
            return true;
        }
    }
    return false;
}

// Text-only "Line:" rules ('!' or TEXTONLY) test only the lines of text parts.
// The raw and the decoded lines both keep the part headers of a multipart body,
// so one rule serves both:
//  - testing starts on when the message's own first "Content-Type:" header names
//    a text type, or when it has none (an untyped body is plain text), and off
//    for any other type, multipart ones included;
//  - a line beginning "Content-Type: text/" (any case) switches testing on, any
//    other line beginning "Content-Type:" switches it off;
//  - these switching lines are part headers and are never tested themselves.
// Like the body decoder, the test wants exactly one space after the colon.
enum class ContentTypeLine { NONE, TEXT, OTHER };

ContentTypeLine classifyContentType(const char* line) {
    if (!startsWithNoCase(line, CONTENT_TYPE)) {
        return ContentTypeLine::NONE;
    }
    return startsWithNoCase(line, TEXT_CONTENT_TYPE) ? ContentTypeLine::TEXT
                                                     : ContentTypeLine::OTHER;
}

bool messageIsTextTyped(const MessageView& message) {
    for (int32_t i = 0; message.headerLines != nullptr && i < message.headerCount; ++i) {
        const char* line = message.headerLines[i];
        if (line != nullptr) {
            ContentTypeLine kind = classifyContentType(line);
            if (kind != ContentTypeLine::NONE) {
                return kind == ContentTypeLine::TEXT;
            }
        }
    }
    return true;
}

template <typename TestSubject>
void forEachBodyLine(const RuleLine& rule, const MessageView& message, TestSubject test) {
    const MessageTexts& texts = *message.texts;
    const std::vector<const char*>& lines =
        texts.bodyIsEncoded ? texts.decodedLines : texts.rawLines;
    bool textPartsOnly = (rule.flags & FLAG_TEXT_PARTS_ONLY) != 0;
    bool testing = !textPartsOnly || messageIsTextTyped(message);
    for (const char* line : lines) {
        if (line == nullptr) {
            continue;
        }
        if (textPartsOnly) {
            ContentTypeLine kind = classifyContentType(line);
            if (kind != ContentTypeLine::NONE) {
                testing = kind == ContentTypeLine::TEXT;
                continue;
            }
        }
        if (testing) {
            test(line);
        }
    }
}

// Hands every subject the rule's field stands for to `test`, in order. Size: and
// Header: are not subjects of a matcher and are handled by the caller.
template <typename TestSubject>
void forEachSubject(const RuleLine& rule, const MessageView& message, TestSubject test) {
    const char* field = rule.fieldType.c_str();
    bool useDecoded = (rule.flags & FLAG_USE_DECODED) != 0;
    const AccountInfo* account = message.status != nullptr ? message.status->account : nullptr;
    if (equalsNoCase(field, "Username:")) {
        test(account != nullptr ? account->userName : nullptr);
        return;
    }
    if (equalsNoCase(field, "Servername:")) {
        test(account != nullptr ? account->serverName : nullptr);
        return;
    }
    bool bodyField = equalsNoCase(field, "CompleteHeader:") || equalsNoCase(field, "Body:") ||
                     equalsNoCase(field, "Line:");
    if (bodyField && message.texts == nullptr) {
        return;
    }
    if (equalsNoCase(field, "CompleteHeader:")) {
        const MessageTexts& texts = *message.texts;
        bool raw = useDecoded && texts.bodyIsEncoded;
        test(raw ? texts.rawHeaderText.c_str() : texts.decodedHeaderText.c_str());
        return;
    }
    if (equalsNoCase(field, "Body:")) {
        const MessageTexts& texts = *message.texts;
        bool decoded = useDecoded && texts.bodyIsEncoded;
        test(decoded ? texts.decodedBody.c_str() : texts.rawBody.c_str());
        return;
    }
    if (equalsNoCase(field, "Line:")) {
        forEachBodyLine(rule, message, test);
        return;
    }
    for (int32_t i = 0; message.headerLines != nullptr && i < message.headerCount; ++i) {
        if (message.headerLines[i] != nullptr) {
            test(message.headerLines[i]);
        }
    }
}

// The size and exists tests take the pattern text as their argument. True when
// the field was one of them.
bool applyPatternTextTest(const RuleLine& rule, const std::string& patternText,
                          const MessageView& message, bool& matched) {
    const char* field = rule.fieldType.c_str();
    if (equalsNoCase(field, "Size:")) {
        if (message.status != nullptr && message.status->fetchInfo != nullptr) {
            testIfSizeIsAtLeast(patternText.c_str(), message.status->fetchInfo->messageSize,
                                rule.flags, matched);
        }
        return true;
    }
    if (equalsNoCase(field, "Header:")) {
        testIfHeaderExists(patternText.c_str(), message.headerLines, message.headerCount,
                           rule.flags, matched);
        return true;
    }
    return false;
}

}  // namespace

int fieldPrefixLength(const char* line, const char* fieldName) {
    if (startsWithNoCase(line, fieldName)) {
        return static_cast<int>(std::strlen(fieldName));
    }
    if (isWholeTextField(fieldName)) {
        return 0;
    }
    int length = -1;
    if (equalsNoCase(fieldName, "Any-Sender:")) {
        length = groupPrefixLength(line, SENDER_HEADERS);
    }
    if (equalsNoCase(fieldName, "Any-Recipient:")) {
        length = groupPrefixLength(line, RECIPIENT_HEADERS);
    }
    return length;
}

void applyStringTest(const RuleLine& rule, std::string& pattern, const MessageView& message,
                     bool& matched) {
    if (applyPatternTextTest(rule, pattern, message, matched)) {
        return;
    }
    forEachSubject(rule, message, [&](const char* subject) {
        testIfLineMatchesString(rule.fieldType.c_str(), pattern, rule.ruleText.c_str(), subject,
                                rule.flags, matched);
    });
}

void applyPatternTest(const RuleLine& rule, const std::string& patternText,
                      const pcre2_real_code_8* pattern, const MessageView& message, bool& matched) {
    if (applyPatternTextTest(rule, patternText, message, matched)) {
        return;
    }
    forEachSubject(rule, message, [&](const char* subject) {
        testIfLineMatchesRegular(rule.fieldType.c_str(), pattern, rule.ruleText.c_str(), subject,
                                 rule.flags, matched);
    });
}

}  // namespace cw
