#include "mime/quoted_printable_body.h"

#include <cstring>

#include "base/log_writer.h"

namespace cw {

namespace {

bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// Lenient on purpose: lower-case letters past 'f' still give a value.
unsigned escapeDigitValue(char c) {
    if (c >= 'A' && c <= 'F') {
        return static_cast<unsigned>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'z') {
        return static_cast<unsigned>(c - 'a' + 10);
    }
    if (c >= '0' && c <= '9') {
        return static_cast<unsigned>(c - '0');
    }
    return static_cast<unsigned char>(c);
}

}  // namespace

const char* decodeQuotedPrintableBody(const char* source, char* output, size_t& capacity,
                                      const char* boundary) {
    size_t boundaryLength = boundary == nullptr ? 0 : std::strlen(boundary);
    char* out = output;
    const char* p = source;
    while (*p != '\0' && capacity > 0) {
        if (boundary != nullptr && p[0] == '-' && p[1] == '-' && p > source && isLineEnd(p[-1])) {
            if (boundaryLength == 0) {
                writeLog("Warning: End of boundary not found", LOG_APPEND);
                break;
            }
            if (std::strncmp(p + 2, boundary, boundaryLength) == 0) {
                break;
            }
        }
        if (p[0] != '=') {
            *out++ = *p++;
            --capacity;
            continue;
        }
        if (p[1] == '\0') {
            p += 1;
            break;
        }
        if (isLineEnd(p[1])) {
            p += 2;
            if (isLineEnd(*p)) {
                ++p;
            }
            continue;
        }
        if (p[2] == '\0') {
            p += 2;
            break;
        }
        *out++ = static_cast<char>((16 * escapeDigitValue(p[1]) + escapeDigitValue(p[2])) & 0xFF);
        --capacity;
        p += 3;
    }
    *out = '\0';
    return p;
}

}  // namespace cw
