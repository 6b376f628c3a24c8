#include "mime/visible_body_text.h"

#include <cstring>

#include "common/text_ops.h"
#include "mime/html_text.h"

namespace cw {

namespace {

constexpr const char* CONTENT_TYPE = "Content-Type:";
constexpr const char* HTML_TYPE = "text/html";
constexpr const char* MULTIPART_TYPE = "multipart/";
// How an HTML document begins, when no header says that it is one.
constexpr const char* DOCUMENT_STARTS[] = {"<html", "<!doctype html", "<head", "<body"};

enum class DeclaredType { NONE, HTML, MULTIPART, OTHER };

bool beginsWithNoCase(std::string_view text, const char* prefix) {
    size_t length = std::strlen(prefix);
    return text.size() >= length && startsWithNoCase(text.data(), prefix, length);
}

// The type a "Content-Type:" line names, read leniently: any case, any white
// space behind the colon. NONE when the line is no such header.
DeclaredType typeOfLine(std::string_view line) {
    if (!beginsWithNoCase(line, CONTENT_TYPE)) {
        return DeclaredType::NONE;
    }
    size_t start = std::strlen(CONTENT_TYPE);
    while (start < line.size() && isWhiteSpace(static_cast<unsigned char>(line[start]))) {
        ++start;
    }
    std::string_view type = line.substr(start);
    if (beginsWithNoCase(type, HTML_TYPE)) {
        return DeclaredType::HTML;
    }
    return beginsWithNoCase(type, MULTIPART_TYPE) ? DeclaredType::MULTIPART : DeclaredType::OTHER;
}

DeclaredType declaredType(const char* const* headerLines, int32_t headerCount) {
    for (int32_t i = 0; headerLines != nullptr && i < headerCount; ++i) {
        if (headerLines[i] != nullptr) {
            DeclaredType type = typeOfLine(headerLines[i]);
            if (type != DeclaredType::NONE) {
                return type;
            }
        }
    }
    return DeclaredType::NONE;
}

bool beginsAsDocument(std::string_view body) {
    size_t start = 0;
    while (start < body.size() && isWhiteSpace(static_cast<unsigned char>(body[start]))) {
        ++start;
    }
    for (const char* documentStart : DOCUMENT_STARTS) {
        if (beginsWithNoCase(body.substr(start), documentStart)) {
            return true;
        }
    }
    return false;
}

std::string_view withoutTrailingWhiteSpace(std::string_view line) {
    while (!line.empty() && isWhiteSpace(static_cast<unsigned char>(line.back()))) {
        line.remove_suffix(1);
    }
    return line;
}

// Where the content of a part that began behind `boundaryLine` ends: at that
// boundary's next line ("--b1", "--b1--"), or at "-b1" where a base64 decoder
// stopped at its first '-'. The end of the body when it never shows again.
size_t endOfPart(std::string_view body, size_t contentStart, std::string_view boundaryLine) {
    std::string_view shortened = boundaryLine.substr(1);
    size_t found = body.find(shortened, contentStart);
    if (found == std::string_view::npos) {
        return body.size();
    }
    return found > contentStart && body[found - 1] == '-' ? found - 1 : found;
}

// The body with the content of every HTML part replaced by its visible text.
std::string visibleTextOfParts(std::string_view body) {
    std::string visible;
    size_t copied = 0;
    std::string_view boundaryLine;
    bool inPartHeaders = false;
    bool htmlPart = false;
    size_t position = 0;
    while (position < body.size()) {
        size_t lineEnd = body.find('\n', position);
        size_t next = lineEnd == std::string_view::npos ? body.size() : lineEnd + 1;
        std::string_view line = withoutTrailingWhiteSpace(body.substr(position, next - position));
        if (line.size() > 2 && line.starts_with("--")) {
            boundaryLine = line;
            inPartHeaders = true;
            htmlPart = false;
        } else if (inPartHeaders && line.empty()) {
            inPartHeaders = false;
            if (htmlPart) {
                size_t end = endOfPart(body, next, boundaryLine);
                std::string text = htmlVisibleText(body.substr(next, end - next));
                visible.append(body.substr(copied, next - copied));
                visible += text;
                if (!text.empty()) {
                    visible += '\n';
                }
                copied = end;
                next = end;
            }
        } else if (inPartHeaders && typeOfLine(line) == DeclaredType::HTML) {
            htmlPart = true;
        }
        position = next;
    }
    visible.append(body.substr(copied));
    return visible;
}

}  // namespace

std::string visibleBodyText(std::string_view body, const char* const* headerLines,
                            int32_t headerCount) {
    DeclaredType type = declaredType(headerLines, headerCount);
    if (type == DeclaredType::HTML || (type != DeclaredType::MULTIPART && beginsAsDocument(body))) {
        return htmlVisibleText(body);
    }
    return visibleTextOfParts(body);
}

}  // namespace cw
