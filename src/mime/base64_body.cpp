#include "mime/base64_body.h"

namespace cw {

namespace {

// A zero byte would end the decoded text for every later step.
constexpr char ZERO_BYTE_STAND_IN = '*';

struct Base64Writer {
    char* out;
    size_t& capacity;

    // False once the capacity is used up.
    bool put(unsigned value) {
        if (capacity == 0) {
            return false;
        }
        char byte = static_cast<char>(value & 0xFF);
        *out++ = byte == '\0' ? ZERO_BYTE_STAND_IN : byte;
        --capacity;
        return true;
    }
};

}  // namespace

int base64Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

const char* decodeBase64Body(const char* source, char* output, size_t& capacity) {
    Base64Writer writer{output, capacity};
    unsigned group[4] = {0, 0, 0, 0};
    int count = 0;
    const char* p = source;
    while (*p != '\0' && capacity > 0) {
        char c = *p++;
        if (c == '-') {
            break;
        }
        if (c == '=') {
            if (count > 0) {
                unsigned second = count > 1 ? group[1] : 0;
                if (writer.put(4 * group[0] + second / 16) && count == 3) {
                    writer.put(16 * (group[1] % 16) + group[2] / 4);
                }
            }
            break;
        }
        int value = base64Value(static_cast<unsigned char>(c));
        if (value < 0) {
            continue;
        }
        group[count++] = static_cast<unsigned>(value);
        if (count == 4) {
            count = 0;
            if (!writer.put(4 * group[0] + group[1] / 16) ||
                !writer.put(16 * (group[1] % 16) + group[2] / 4) ||
                !writer.put(64 * (group[2] % 4) + group[3])) {
                break;
            }
        }
    }
    *writer.out = '\0';
    return p;
}

}  // namespace cw
