// Text operations shared by every subsystem. All texts are NUL-terminated 8-bit
// byte strings; white space is exactly space, TAB, LF, VT, FF and CR, and letter
// case is folded for ASCII A-Z only (bytes 0x80-0xFF are never letters).
#pragma once

#include <cstddef>
#include <string>

namespace cw {

constexpr bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr bool isAsciiAlphanumeric(char c) {
    return isAsciiDigit(c) || isAsciiLetter(c);
}

constexpr bool isWhiteSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char asciiLower(char c);

// The value of a hexadecimal digit (either case), or -1 for any other byte.
int hexDigitValue(char c);

// Removes leading and trailing white space; the rest moves to the start of the
// same buffer. An all-white text becomes empty.
void trimWhiteSpace(char* text);
void trimWhiteSpace(std::string& text);

// Overwrites trailing white space with terminators, never going before the start.
void trimTrailingWhiteSpace(char* text);

// Position of the first byte that is not white space (the terminator if none).
const char* skipWhiteSpace(const char* text);
char* skipWhiteSpace(char* text);

// Maps A-Z to a-z and changes nothing else.
void lowerCaseInPlace(char* text);
void lowerCaseInPlace(std::string& text);

// True when `text` begins with `prefix`, ASCII case folded, over the prefix's length.
bool startsWithNoCase(const char* text, const char* prefix);
bool startsWithNoCase(const char* text, const char* prefix, size_t prefixLength);

// True when both texts are equal, ASCII case folded.
bool equalsNoCase(const char* a, const char* b);

// `text` must begin with `open`. Counting depth from 1 after it (+1 per `open`,
// -1 per `close`), returns the position just behind the first `close` that brings
// the depth to 0 and is followed by white space or the end of the text. When the
// text ends at depth 0, returns the end of the text. Otherwise nullptr.
const char* findClosingBracket(const char* text, char open, char close);

// Copies at most `maxBytes` bytes of `text` (shorter if it ends first).
std::string copyAtMost(const char* text, size_t maxBytes);

}  // namespace cw
