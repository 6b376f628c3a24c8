// Lengths and counts that may have no bound: one value stands for "unbounded",
// and sums and products stop there instead of wrapping around, so that a bound
// too large to hold reads as no bound rather than as a small number.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cw {

// No bound. SIZE_MAX, because no text held in memory can be that long, and
// because it is what std::string::npos and a failed find already are.
inline constexpr size_t UNBOUNDED = SIZE_MAX;

// a + b, or UNBOUNDED where that does not fit (so UNBOUNDED + b is UNBOUNDED).
constexpr size_t saturatingAdd(size_t a, size_t b) {
    return a > UNBOUNDED - b ? UNBOUNDED : a + b;
}

// a * b, or UNBOUNDED where that does not fit. Zero times anything is zero: a
// repeat of nothing is nothing, however often.
constexpr size_t saturatingMultiply(size_t a, size_t b) {
    if (a == 0 || b == 0) {
        return 0;
    }
    return a > UNBOUNDED / b ? UNBOUNDED : a * b;
}

}  // namespace cw
