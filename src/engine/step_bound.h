// How long a subject that holds none of a pattern's required literals may be
// while the interpreter is still certain to give a plain no-match on it, never
// its step limit; and how far before the first of the literals a match can
// begin. Both rest on a generous bound of the backtracking steps the pattern
// can spend at one starting position on such a subject.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "common/saturating.h"
#include "engine/literal_algebra.h"
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

// The longest skippable lengths already worked out, by the shape of the tree
// that decides them (its literal bytes left out): the entries of a pattern
// list mostly differ in their words alone, and finding the length costs some
// sixty walks of the tree. For one step limit; used by one thread at a time.
struct SkipLengthMemo {
    // Nothing where even an empty subject could reach the limit.
    std::unordered_map<std::string, std::optional<size_t>> byShape;
    std::string shape;  // the key being made, reused
};

// Writes out what a tree is but for its literal bytes: kinds, ways, repeat
// counts and children.
void appendTreeShape(const PatternNode& root, std::string& shape);

// The bounds of `root`, whose every match holds one of `required`, under a
// limit of `stepLimit` steps per starting position. Nothing when even an empty
// subject could reach the limit. With `memo`, trees of a shape seen before are
// not walked again.
std::optional<SkipBounds> skipBoundsOf(const PatternNode& root, const StringSet& required,
                                       uint64_t stepLimit, SkipLengthMemo* memo = nullptr);

}  // namespace cw
