// Number reading and printing that give the same result on every target and in
// every C locale: the two C runtimes round "%.1f" ties differently and strtod
// follows the locale, so neither is used for anything that reaches a file.
#pragma once

#include <cstdint>
#include <string>

#if defined(__clang__)
#define CW_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#elif defined(__GNUC__)
#define CW_PRINTF_FORMAT(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define CW_PRINTF_FORMAT(fmt, args)
#endif

namespace cw {

// The value as "%.1f" prints it with correct rounding (ties to even on the exact
// binary value), e.g. 2.25 -> "2.2", 2.35 -> "2.4" (2.35 is slightly above), -0.04 -> "-0.0".
std::string formatFixed1(double value);

// Reads the leading decimal number of `text`: optional white space, an optional
// sign, digits, an optional point and fraction, an optional exponent. No number
// reads as 0.0; one beyond the range of a double as the largest finite one (with
// its sign), never as infinity. `end` (optional) receives the position behind
// what was read.
double readLeadingDecimal(const char* text, const char** end = nullptr);

// Reads optional white space, an optional sign and the leading decimal digits, as
// atoi does, saturating at the 32-bit range instead of overflowing. No digits: 0.
int32_t readLeadingInteger(const char* text);

// printf into a std::string. Never pass doubles: use formatFixed1 and "%s".
std::string formatText(const char* format, ...) CW_PRINTF_FORMAT(1, 2);

}  // namespace cw
