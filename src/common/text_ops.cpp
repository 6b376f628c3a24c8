#include "common/text_ops.h"

#include <cstring>

namespace cw {

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

void trimWhiteSpace(char* text) {
    trimTrailingWhiteSpace(text);
    char* start = skipWhiteSpace(text);
    if (start != text) {
        std::memmove(text, start, std::strlen(start) + 1);
    }
}

void trimWhiteSpace(std::string& text) {
    size_t end = text.size();
    while (end > 0 && isWhiteSpace(static_cast<unsigned char>(text[end - 1]))) {
        --end;
    }
    size_t start = 0;
    while (start < end && isWhiteSpace(static_cast<unsigned char>(text[start]))) {
        ++start;
    }
    text.erase(end);
    text.erase(0, start);
}

void trimTrailingWhiteSpace(char* text) {
    size_t length = std::strlen(text);
    while (length > 0 && isWhiteSpace(static_cast<unsigned char>(text[length - 1]))) {
        text[--length] = '\0';
    }
}

const char* skipWhiteSpace(const char* text) {
    while (*text != '\0' && isWhiteSpace(static_cast<unsigned char>(*text))) {
        ++text;
    }
    return text;
}

char* skipWhiteSpace(char* text) {
    return const_cast<char*>(skipWhiteSpace(static_cast<const char*>(text)));
}

void lowerCaseInPlace(char* text) {
    for (; *text != '\0'; ++text) {
        *text = asciiLower(*text);
    }
}

void lowerCaseInPlace(std::string& text) {
    for (char& c : text) {
        c = asciiLower(c);
    }
}

bool startsWithNoCase(const char* text, const char* prefix, size_t prefixLength) {
    for (size_t i = 0; i < prefixLength; ++i) {
        // Equal bytes, the usual case for header names, need no folding.
        if (text[i] == '\0' ||
            (text[i] != prefix[i] && asciiLower(text[i]) != asciiLower(prefix[i]))) {
            return false;
        }
    }
    return true;
}

bool startsWithNoCase(const char* text, const char* prefix) {
    return startsWithNoCase(text, prefix, std::strlen(prefix));
}

bool equalsNoCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (asciiLower(*a) != asciiLower(*b)) {
            return false;
        }
    }
    return *a == *b;
}

const char* findClosingBracket(const char* text, char open, char close) {
    if (*text != open) {
        return nullptr;
    }
    int depth = 1;
    const char* p = text + 1;
    for (; *p != '\0'; ++p) {
        if (*p == open) {
            ++depth;
        } else if (*p == close) {
            --depth;
            if (depth == 0 && (p[1] == '\0' || isWhiteSpace(static_cast<unsigned char>(p[1])))) {
                return p + 1;
            }
        }
    }
    return depth == 0 ? p : nullptr;
}

std::string copyAtMost(const char* text, size_t maxBytes) {
    return std::string(text, strnlen(text, maxBytes));
}

}  // namespace cw
