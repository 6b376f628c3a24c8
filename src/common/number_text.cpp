#include "common/number_text.h"

#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <system_error>

#include "common/text_ops.h"

namespace cw {

namespace {

// Whether a number that does not fit a double underflows rather than overflows:
// the place of its first nonzero digit (0 units, -1 tenths) plus its exponent
// is negative. [text, end) is what was read, without the sign.
bool underflows(const char* text, const char* end) {
    const char* exponent = std::find_if(text, end, [](char c) { return c == 'e' || c == 'E'; });
    const char* point = std::find(text, exponent, '.');
    const char* first = std::find_if(text, exponent, [](char c) { return c >= '1' && c <= '9'; });
    if (first == exponent) {
        return true;
    }
    int64_t place = first < point ? point - first - 1 : point - first;
    int64_t shift = 0;
    if (exponent != end) {
        const char* q = exponent + 1;
        bool negative = *q == '-';
        if (*q == '+' || *q == '-') {
            ++q;
        }
        for (; q < end && shift < (int64_t{1} << 40); ++q) {
            shift = shift * 10 + (*q - '0');
        }
        shift = negative ? -shift : shift;
    }
    return place + shift < 0;
}

}  // namespace

std::string formatFixed1(double value) {
    // 1e308 printed fixed needs about 310 characters.
    char buffer[400];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    if (result.ec != std::errc()) {
        return "0.0";
    }
    return std::string(buffer, result.ptr);
}

double readLeadingDecimal(const char* text, const char** end) {
    const char* p = skipWhiteSpace(text);
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    const char* numberStart = p;
    size_t mantissaDigits = 0;
    while (isAsciiDigit(*p)) {
        ++p;
        ++mantissaDigits;
    }
    if (*p == '.') {
        const char* afterPoint = p + 1;
        size_t fractionDigits = 0;
        while (isAsciiDigit(afterPoint[fractionDigits])) {
            ++fractionDigits;
        }
        if (mantissaDigits > 0 || fractionDigits > 0) {
            p = afterPoint + fractionDigits;
            mantissaDigits += fractionDigits;
        }
    }
    if (mantissaDigits == 0) {
        if (end != nullptr) {
            *end = text;
        }
        return 0.0;
    }
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-') {
            ++q;
        }
        if (isAsciiDigit(*q)) {
            while (isAsciiDigit(*q)) {
                ++q;
            }
            p = q;
        }
    }
    double value = 0.0;
    auto result = std::from_chars(numberStart, p, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Underflow gives zero, like strtod; overflow the largest finite value,
        // not infinity: a score must stay a number when it is added and printed.
        value = underflows(numberStart, p) ? 0.0 : std::numeric_limits<double>::max();
    }
    if (end != nullptr) {
        *end = p;
    }
    return negative ? -value : value;
}

int32_t readLeadingInteger(const char* text) {
    const char* p = skipWhiteSpace(text);
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    int64_t value = 0;
    for (; isAsciiDigit(*p); ++p) {
        value = value * 10 + (*p - '0');
        if (value > int64_t{1} << 32) {
            value = int64_t{1} << 32;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    if (value < std::numeric_limits<int32_t>::min()) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(value);
}

std::string formatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    // Most texts (log lines, time stamps) fit the first try; only a longer one
    // is formatted a second time, into a string of its measured length.
    char first[512];
    int length = std::vsnprintf(first, sizeof first, format, args);
    std::string text;
    if (length > 0 && static_cast<size_t>(length) < sizeof first) {
        text.assign(first, static_cast<size_t>(length));
    } else if (length > 0) {
        text.resize(static_cast<size_t>(length));
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    }
    va_end(again);
    va_end(args);
    return text;
}

}  // namespace cw
