#include "engine/message_subjects.h"

#include <algorithm>
#include <cstring>

#include "common/text_ops.h"
#include "mime/encoded_word.h"
#include "mime/visible_body_text.h"

namespace cw {

namespace {

constexpr const char* CONTENT_TYPE = "Content-Type:";
constexpr const char* TEXT_CONTENT_TYPE = "Content-Type: text/";

void prepareFrom(PreparedText& prepared, std::string subject) {
    prepared.text = std::move(subject);
    trimWhiteSpace(prepared.text);
    prepared.prepared = true;
}

// The name of a header line: what stands before its first colon, leading white
// space skipped (the line is tested trimmed).
std::string_view headerKey(const char* line) {
    const char* start = skipWhiteSpace(line);
    const char* colon = std::strchr(start, ':');
    return colon == nullptr ? std::string_view()
                            : std::string_view(start, static_cast<size_t>(colon - start));
}

// Header names compare without regard to case; selector names are lower case.
int compareKeys(std::string_view a, std::string_view b) {
    size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        unsigned char x = static_cast<unsigned char>(asciiLower(a[i]));
        unsigned char y = static_cast<unsigned char>(asciiLower(b[i]));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
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

}  // namespace

void foldPrepared(PreparedText& prepared) {
    if (!prepared.folded) {
        prepared.lower = prepared.text;
        lowerCaseInPlace(prepared.lower);
        prepared.folded = true;
    }
}

MessageSubjects::MessageSubjects(const char* const* headerLines, int32_t headerCount,
                                 const MessageTexts& texts, const MessageStatus* status,
                                 const std::vector<HeaderSelector>& selectors)
    : headerLines_(headerLines),
      headerCount_(headerLines == nullptr ? 0 : headerCount),
      texts_(texts),
      status_(status),
      selectors_(selectors) {
    for (auto& byEncoding : candidates_) {
        byEncoding.resize(selectors.size());
    }
}

void MessageSubjects::buildHeaderIndex() {
    indexed_ = true;
    headers_.resize(static_cast<size_t>(headerCount_));
    for (int32_t i = 0; i < headerCount_; ++i) {
        const char* line = headerLines_[i];
        if (line == nullptr) {
            continue;
        }
        HeaderEntry& entry = headers_[static_cast<size_t>(i)];
        entry.key = headerKey(line);
        entry.encoded = std::strstr(line, "=?") != nullptr;
        byKey_.push_back(static_cast<uint32_t>(i));
        if (entry.encoded) {
            encodedLines_.push_back(static_cast<uint32_t>(i));
        }
    }
    std::stable_sort(byKey_.begin(), byKey_.end(), [this](uint32_t a, uint32_t b) {
        return compareKeys(headers_[a].key, headers_[b].key) < 0;
    });
}

const std::vector<uint32_t>& MessageSubjects::candidateLines(uint32_t selectorId, bool encodedToo) {
    if (!indexed_) {
        buildHeaderIndex();
    }
    std::unique_ptr<std::vector<uint32_t>>& cached = candidates_[encodedToo ? 1 : 0][selectorId];
    if (cached) {
        return *cached;
    }
    cached = std::make_unique<std::vector<uint32_t>>();
    std::vector<uint32_t>& lines = *cached;
    const HeaderSelector& selector = selectors_[selectorId];
    if (selector.anyLine) {
        lines = byKey_;
    } else {
        for (const std::string& name : selector.names) {
            auto first = std::lower_bound(byKey_.begin(), byKey_.end(), name,
                                          [this](uint32_t line, const std::string& key) {
                                              return compareKeys(headers_[line].key, key) < 0;
                                          });
            auto last = std::upper_bound(first, byKey_.end(), name,
                                         [this](const std::string& key, uint32_t line) {
                                             return compareKeys(key, headers_[line].key) < 0;
                                         });
            lines.insert(lines.end(), first, last);
        }
        if (encodedToo) {
            lines.insert(lines.end(), encodedLines_.begin(), encodedLines_.end());
        }
    }
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    return lines;
}

bool MessageSubjects::headerLineIsEncoded(uint32_t index) {
    if (!indexed_) {
        buildHeaderIndex();
    }
    return headers_[index].encoded;
}

PreparedText& MessageSubjects::headerLine(uint32_t index, bool decoded) {
    if (!indexed_) {
        buildHeaderIndex();
    }
    HeaderEntry& entry = headers_[index];
    if (!entry.trimmed.prepared) {
        prepareFrom(entry.trimmed, headerLines_[index]);
    }
    if (!decoded || !entry.encoded) {
        return entry.trimmed;
    }
    if (!entry.decoded.prepared) {
        entry.decoded.text = entry.trimmed.text;
        decodeHeaderWords(entry.decoded.text);
        entry.decoded.text.resize(std::strlen(entry.decoded.text.c_str()));
        entry.decoded.prepared = true;
    }
    return entry.decoded;
}

PreparedText& MessageSubjects::wholeText(WholeText which) {
    PreparedText& prepared = wholeTexts_[static_cast<int>(which)];
    if (!prepared.prepared) {
        switch (which) {
            case WholeText::RAW_HEADER:
                prepareFrom(prepared, texts_.rawHeaderText.c_str());
                break;
            case WholeText::DECODED_HEADER:
                prepareFrom(prepared, texts_.decodedHeaderText.c_str());
                break;
            case WholeText::RAW_BODY:
                prepareFrom(prepared, texts_.rawBody.c_str());
                break;
            case WholeText::DECODED_BODY:
                prepareFrom(prepared, texts_.decodedBody.c_str());
                break;
            case WholeText::RAW_HTML_TEXT:
                prepareFrom(prepared, visibleBodyText(texts_.rawBody, headerLines_, headerCount_));
                break;
            case WholeText::DECODED_HTML_TEXT:
                prepareFrom(prepared,
                            visibleBodyText(texts_.decodedBody, headerLines_, headerCount_));
                break;
        }
    }
    return prepared;
}

const std::vector<const char*>& MessageSubjects::bodyLines() const {
    return decodedBodyStands(texts_) ? texts_.decodedLines : texts_.rawLines;
}

PreparedText& MessageSubjects::bodyLine(uint32_t index) {
    if (bodyLines_.empty()) {
        bodyLines_.resize(bodyLines().size());
    }
    PreparedText& prepared = bodyLines_[index];
    if (!prepared.prepared) {
        prepareFrom(prepared, bodyLines()[index]);
    }
    return prepared;
}

void MessageSubjects::markTextParts() {
    textPartsMarked_ = true;
    bool testing = true;
    for (int32_t i = 0; i < headerCount_; ++i) {
        const char* line = headerLines_[i];
        ContentTypeLine kind = line == nullptr ? ContentTypeLine::NONE : classifyContentType(line);
        if (kind != ContentTypeLine::NONE) {
            testing = kind == ContentTypeLine::TEXT;
            break;
        }
    }
    const std::vector<const char*>& lines = bodyLines();
    textPart_.assign(lines.size(), 0);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == nullptr) {
            continue;
        }
        ContentTypeLine kind = classifyContentType(lines[i]);
        if (kind != ContentTypeLine::NONE) {
            testing = kind == ContentTypeLine::TEXT;
            continue;
        }
        textPart_[i] = testing ? 1 : 0;
    }
}

bool MessageSubjects::inTextPart(uint32_t index) {
    if (!textPartsMarked_) {
        markTextParts();
    }
    return textPart_[index] != 0;
}

}  // namespace cw
