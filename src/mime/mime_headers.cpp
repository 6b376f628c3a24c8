#include "mime/mime_headers.h"

#include <algorithm>
#include <cstring>

#include "base/log_writer.h"
#include "common/number_text.h"
#include "common/text_ops.h"

namespace cw {

namespace {

constexpr const char* CONTENT_TYPE_PREFIX = "Content-Type: ";
constexpr const char* MULTIPART_TYPES[] = {"Content-Type: multipart/mixed;",
                                           "Content-Type: multipart/alternative;"};
constexpr const char* BOUNDARY_KEY = "boundary=";

bool isMultipartType(const char* line) {
    for (const char* type : MULTIPART_TYPES) {
        if (startsWithNoCase(line, type)) {
            return true;
        }
    }
    return false;
}

// Parameter names are case-insensitive, as every other header comparison here.
const char* findBoundaryKey(const char* line) {
    size_t keyLength = std::strlen(BOUNDARY_KEY);
    for (const char* p = line; *p != '\0'; ++p) {
        if (startsWithNoCase(p, BOUNDARY_KEY, keyLength)) {
            return p + keyLength;
        }
    }
    return nullptr;
}

bool endsUnquotedBoundary(char c) {
    return c == '\0' || c == '"' || isWhiteSpace(static_cast<unsigned char>(c));
}

}  // namespace

bool isTextContentType(const char* text) {
    size_t prefixLength = std::strlen(CONTENT_TYPE_PREFIX);
    if (!startsWithNoCase(text, CONTENT_TYPE_PREFIX, prefixLength)) {
        return false;
    }
    for (const char* type : textContentTypes) {
        if (startsWithNoCase(text + prefixLength, type)) {
            return true;
        }
    }
    return false;
}

bool bodyIsEncoded(const MimeState& state) {
    return state.base64Seen || state.quotedPrintableSeen || state.multipartSeen;
}

std::string readBoundaryValue(const char* value) {
    if (*value == '"') {
        ++value;
        const char* closing = std::strchr(value, '"');
        if (closing != nullptr) {
            return std::string(value, std::min(static_cast<size_t>(closing - value), MAX_BOUNDARY));
        }
    }
    size_t length = 0;
    while (!endsUnquotedBoundary(value[length])) {
        ++length;
    }
    return std::string(value, std::min(length, MAX_BOUNDARY));
}

void analyseMimeHeaders(const char* const* headerLines, int32_t headerCount, MimeState& state) {
    state = MimeState{};
    for (int32_t i = 0; headerLines != nullptr && i < headerCount; ++i) {
        const char* line = headerLines[i];
        if (line == nullptr) {
            continue;
        }
        if (isTextContentType(line)) {
            state.textTypeSeen = true;
        }
        if (startsWithNoCase(line, BASE64_ENCODING_LINE)) {
            state.base64Seen = true;
        }
        if (startsWithNoCase(line, QUOTED_PRINTABLE_ENCODING_LINE)) {
            state.quotedPrintableSeen = true;
        }
        if (isMultipartType(line)) {
            state.multipartSeen = true;
        }
        const char* value = state.multipartSeen ? findBoundaryKey(line) : nullptr;
        if (value != nullptr) {
            state.boundary = readBoundaryValue(value);
            traceLine(formatText("found boundary \"%s\"", state.boundary.c_str()));
        }
    }
}

}  // namespace cw
