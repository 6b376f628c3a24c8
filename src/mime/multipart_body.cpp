#include "mime/multipart_body.h"

#include "common/text_ops.h"
#include "mime/base64_body.h"
#include "mime/mime_headers.h"
#include "mime/quoted_printable_body.h"

namespace cw {

namespace {

enum class PartState {
    SEEKING_TEXT_PART = 0,
    TEXT_PART_HEADERS = 1,
    BASE64_HEADER_LINE = 2,
    BASE64_LINE_START = 3,
    BASE64_CONTENT = 4,
    QUOTED_PRINTABLE_HEADER_LINE = 12,
    QUOTED_PRINTABLE_LINE_START = 13,
    QUOTED_PRINTABLE_CONTENT = 14,
};

// At a line start of a part's headers: LF ends the headers, CR waits for it.
PartState atLineStart(char c, PartState inLine, PartState lineStart, PartState content) {
    if (c == '\n') {
        return content;
    }
    return c == '\r' ? lineStart : inLine;
}

}  // namespace

const char* decodeMultipartBody(const char* source, char* output, size_t capacity,
                                const char* boundary) {
    PartState state = PartState::SEEKING_TEXT_PART;
    const char* p = source;
    char* out = output;
    for (;;) {
        switch (state) {
            case PartState::SEEKING_TEXT_PART:
                if (isTextContentType(p)) {
                    state = PartState::TEXT_PART_HEADERS;
                }
                break;
            case PartState::TEXT_PART_HEADERS:
                if (startsWithNoCase(p, BASE64_ENCODING_LINE)) {
                    state = PartState::BASE64_HEADER_LINE;
                } else if (startsWithNoCase(p, QUOTED_PRINTABLE_ENCODING_LINE)) {
                    state = PartState::QUOTED_PRINTABLE_HEADER_LINE;
                } else if (startsWithNoCase(p, TRANSFER_ENCODING_LINE)) {
                    state = PartState::SEEKING_TEXT_PART;
                }
                break;
            case PartState::BASE64_HEADER_LINE:
                if (*p == '\n') {
                    state = PartState::BASE64_LINE_START;
                }
                break;
            case PartState::BASE64_LINE_START:
                state = atLineStart(*p, PartState::BASE64_HEADER_LINE, PartState::BASE64_LINE_START,
                                    PartState::BASE64_CONTENT);
                break;
            case PartState::BASE64_CONTENT: {
                state = PartState::SEEKING_TEXT_PART;
                size_t before = capacity;
                p = decodeBase64Body(p, out, capacity);
                out += before - capacity;
                break;
            }
            case PartState::QUOTED_PRINTABLE_HEADER_LINE:
                if (*p == '\n') {
                    state = PartState::QUOTED_PRINTABLE_LINE_START;
                }
                break;
            case PartState::QUOTED_PRINTABLE_LINE_START:
                state = atLineStart(*p, PartState::QUOTED_PRINTABLE_HEADER_LINE,
                                    PartState::QUOTED_PRINTABLE_LINE_START,
                                    PartState::QUOTED_PRINTABLE_CONTENT);
                break;
            case PartState::QUOTED_PRINTABLE_CONTENT: {
                state = PartState::SEEKING_TEXT_PART;
                size_t before = capacity;
                p = decodeQuotedPrintableBody(p, out, capacity, boundary);
                out += before - capacity;
                break;
            }
        }
        if (*p == '\0' || capacity == 0) {
            break;
        }
        *out++ = *p++;
        --capacity;
    }
    *out = '\0';
    return p;
}

}  // namespace cw
