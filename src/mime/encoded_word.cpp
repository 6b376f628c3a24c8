#include "mime/encoded_word.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "common/text_ops.h"
#include "mime/base64_body.h"

namespace cw {

namespace {

bool isCharsetByte(unsigned char c) {
    return c >= 0x21 && c <= 0x7E && std::strchr("()<>,;:/[]?.=@\"", c) == nullptr;
}

bool isEncodedTextByte(unsigned char c) {
    return c >= 0x21 && c <= 0x7E && c != '?';
}

bool isEncodingByte(char c) {
    return c == 'B' || c == 'b' || c == 'Q' || c == 'q';
}

// Only space, TAB, CR and LF join two words; VT and FF do not.
bool isJoiningWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isOnlyJoiningWhiteSpace(const char* from, const char* to) {
    for (; from < to; ++from) {
        if (!isJoiningWhiteSpace(*from)) {
            return false;
        }
    }
    return true;
}

bool endsEncodedText(char c) {
    return c == '?' || c == '\0';
}

// Both decoders write at most `room` bytes and stop at a decoded NUL; they
// return the number of bytes written.
size_t decodeQText(const char* text, char* output, size_t room) {
    size_t written = 0;
    for (const char* p = text; !endsEncodedText(*p) && written < room;) {
        char byte = *p;
        if (byte == '_') {
            byte = ' ';
            ++p;
        } else if (byte == '=' && hexDigitValue(p[1]) >= 0 && hexDigitValue(p[2]) >= 0) {
            byte = static_cast<char>(16 * hexDigitValue(p[1]) + hexDigitValue(p[2]));
            p += 3;
        } else {
            ++p;
        }
        if (byte == '\0') {
            break;
        }
        output[written++] = byte;
    }
    return written;
}

size_t decodeBText(const char* text, char* output, size_t room) {
    size_t written = 0;
    unsigned bits = 0;
    int bitCount = 0;
    for (const char* p = text; !endsEncodedText(*p) && *p != '=' && written < room; ++p) {
        int value = base64Value(static_cast<unsigned char>(*p));
        if (value < 0) {
            continue;
        }
        bits = (bits << 6) | static_cast<unsigned>(value);
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            char byte = static_cast<char>((bits >> bitCount) & 0xFF);
            bits &= (1u << bitCount) - 1;
            if (byte == '\0') {
                break;
            }
            output[written++] = byte;
        }
    }
    return written;
}

}  // namespace

const char* findEncodedWord(const char* text, const char** wordEnd) {
    const char* from = text;
    for (;;) {
        const char* start = std::strstr(from, "=?");
        if (start == nullptr) {
            return nullptr;
        }
        const char* p = start + 2;
        while (isCharsetByte(static_cast<unsigned char>(*p))) {
            ++p;
        }
        if (p[0] != '?' || !isEncodingByte(p[1]) || p[2] != '?') {
            from = p;
            continue;
        }
        const char* q = p + 3;
        while (isEncodedTextByte(static_cast<unsigned char>(*q))) {
            ++q;
        }
        if (q[0] == '?' && q[1] == '=') {
            if (wordEnd != nullptr) {
                *wordEnd = q + 2;
            }
            return start;
        }
        // One byte back, so that an "=?" whose '=' ended the encoded text is found.
        from = q - 1;
    }
}

int decodeEncodedWord(char* output, const char* word, size_t capacity) {
    const char* charset = std::strchr(word, '?');
    const char* encoding = charset != nullptr ? std::strchr(charset + 1, '?') : nullptr;
    if (encoding == nullptr) {
        return -1;
    }
    char kind = encoding[1];
    if (kind != 'B' && kind != 'b' && kind != 'Q' && kind != 'q') {
        return -1;
    }
    if (capacity == 0) {
        return 0;
    }
    const char* textMark = std::strchr(encoding + 2, '?');
    const char* text = textMark != nullptr ? textMark + 1 : "";
    size_t room = capacity - 1;
    size_t written = (kind == 'B' || kind == 'b') ? decodeBText(text, output, room)
                                                  : decodeQText(text, output, room);
    output[written] = '\0';
    return 0;
}

void decodeHeaderWords(std::string& text) {
    const char* source = text.c_str();
    size_t length = std::strlen(source);
    if (length == 0) {
        return;
    }
    // Each call has its own work area, so decoders on several threads share
    // nothing. Decoding never lengthens a text, so the input's length bounds the
    // output.
    std::string workArea;
    try {
        workArea.resize(length + 1);
    } catch (const std::bad_alloc&) {
        return;
    }
    char* const area = workArea.data();
    char* out = area;
    size_t capacity = length;
    bool wordDecoded = false;
    const char* position = source;
    while (*position != '\0' && capacity > 0) {
        const char* wordEnd = nullptr;
        const char* word = findEncodedWord(position, &wordEnd);
        if (word == nullptr) {
            size_t count = strnlen(position, capacity);
            std::memcpy(out, position, count);
            out += count;
            break;
        }
        if (word > position && !(wordDecoded && isOnlyJoiningWhiteSpace(position, word))) {
            size_t count = std::min(static_cast<size_t>(word - position), capacity);
            std::memcpy(out, position, count);
            out += count;
            capacity -= count;
        }
        decodeEncodedWord(out, word, capacity + 1);
        size_t decoded = std::strlen(out);
        out += decoded;
        capacity -= decoded;
        wordDecoded = true;
        position = wordEnd;
    }
    text.assign(area, static_cast<size_t>(out - area));
}

}  // namespace cw
