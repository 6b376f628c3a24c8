// How long a subject that holds none of a pattern's required literals may be
// while the interpreter is still certain to give a plain no-match on it, never
// its step limit; and how far before the first of the literals a match can
// begin. Both rest on a generous bound of the backtracking steps the pattern
// can spend at one starting position on such a subject.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "common/saturating.h"
#include "engine/pattern_reader.h"

namespace cw {

struct SkipBounds {
    // The longest subject without the literals on which the pattern stays
    // within `stepLimit` steps at every starting position (UNBOUNDED: any).
    size_t skipUpTo = 0;
    // How many bytes before the first of the literals a match can begin at
    // most (UNBOUNDED: unknown). Known only when skipUpTo is UNBOUNDED.
    size_t lead = UNBOUNDED;
};

// The bounds of `root`, whose every match holds one of `required`, under a
// limit of `stepLimit` steps per starting position. Nothing when even an empty
// subject could reach the limit.
std::optional<SkipBounds> skipBoundsOf(const PatternNode& root,
                                       const std::set<std::string>& required, uint64_t stepLimit);

}  // namespace cw
