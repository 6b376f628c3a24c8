#include "common/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <system_error>
#include <vector>

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

// The decimal digits of mantissa * 2^shift (shift >= 0), exactly: the number in
// 32-bit limbs, doubled `shift` times, then divided down by 10^9 a chunk at a time.
std::string integerDigits(uint64_t mantissa, int shift) {
    constexpr uint32_t CHUNK = 1000000000;
    std::vector<uint32_t> limbs{static_cast<uint32_t>(mantissa),
                                static_cast<uint32_t>(mantissa >> 32)};
    while (shift > 0) {
        int step = std::min(shift, 31);
        uint64_t carry = 0;
        for (uint32_t& limb : limbs) {
            uint64_t wide = (uint64_t{limb} << step) | carry;
            limb = static_cast<uint32_t>(wide);
            carry = wide >> 32;
        }
        if (carry != 0) {
            limbs.push_back(static_cast<uint32_t>(carry));
        }
        shift -= step;
    }
    std::vector<uint32_t> chunks;  // least significant first
    do {
        uint64_t remainder = 0;
        for (size_t index = limbs.size(); index-- > 0;) {
            uint64_t wide = (remainder << 32) | limbs[index];
            limbs[index] = static_cast<uint32_t>(wide / CHUNK);
            remainder = wide % CHUNK;
        }
        while (limbs.size() > 1 && limbs.back() == 0) {
            limbs.pop_back();
        }
        chunks.push_back(static_cast<uint32_t>(remainder));
    } while (limbs.size() > 1 || limbs[0] != 0);
    std::string digits = std::to_string(chunks.back());
    for (size_t index = chunks.size() - 1; index-- > 0;) {
        std::string chunk = std::to_string(chunks[index]);
        digits.append(9 - chunk.size(), '0');
        digits += chunk;
    }
    return digits;
}

}  // namespace

// Integer arithmetic on the double's own bits, so that neither the C runtime's
// rounding nor the x87 precision the host process set can change a digit (the
// standard library's exact printer would do too, but weighs 180 KB in the DLL).
std::string formatFixed1(double value) {
    if (!std::isfinite(value)) {
        return std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf");
    }
    std::string text = std::signbit(value) ? "-" : "";
    int exponent = 0;
    double fraction = std::frexp(std::fabs(value), &exponent);
    // value = mantissa * 2^shift, the mantissa a 53-bit integer.
    auto mantissa = static_cast<uint64_t>(std::ldexp(fraction, 53));
    int shift = exponent - 53;
    if (shift >= 0) {
        return text + integerDigits(mantissa, shift) + ".0";
    }
    // Tenths: mantissa * 10 / 2^-shift rounded half to even; mantissa * 10 < 2^57.
    uint64_t tenths = 0;
    int dropped = -shift;
    if (dropped < 64) {
        uint64_t scaled = mantissa * 10;
        tenths = scaled >> dropped;
        uint64_t rest = scaled & ((uint64_t{1} << dropped) - 1);
        uint64_t half = uint64_t{1} << (dropped - 1);
        if (rest > half || (rest == half && (tenths & 1) != 0)) {
            ++tenths;
        }
    }  // else the value is below a twentieth: 0.0
    return text + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
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
