// The literals a regular expression cannot match without: read from the pattern
// text when a rule set is compiled, so that a scan can pass over a subject that
// holds none of them without running the pattern on it.
//
// Reading is conservative (engine/pattern_reader.h lists what it knows): a
// pattern that uses anything else gives no literals, and always runs. The
// literals are worked out in engine/literal_algebra.h, how long a subject
// without them may be in engine/step_bound.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/saturating.h"
#include "engine/step_bound.h"

namespace cw {

struct RequiredLiterals {
    // Every match contains at least one of these, folded to lower case (ASCII
    // letters only, as the caseless patterns compare). Empty: no such literals.
    std::vector<std::string> anyOf;
    // The longest subject on which a pattern without its literals is certain to
    // stop short of `stepLimit` backtracking steps at every starting position,
    // so that it reports a plain no-match there rather than its step limit.
    // Longer subjects run the pattern whatever they hold.
    size_t skipUpTo = 0;
    // How many bytes before the first of the literals in a subject a match can
    // begin at most, so that a search may start there (UNBOUNDED: unknown).
    size_t lead = UNBOUNDED;
};

// The work of many patterns read in one load (for one step limit), shared by
// the patterns of one shape: the entries of a pattern list mostly differ in
// their words alone. Used by one thread at a time.
struct LiteralAnalysisMemo {
    SkipLengthMemo skipLengths;
    // A flat pattern is one sequence of literal bytes and of items that hold
    // none ("cheap\s+offer", "v[i1]agra", "\bfree.*money"). Its literal is the
    // first longest run of literal bytes between items that break runs, and all
    // else about it follows from its shape; so its result is kept by its shape,
    // the literal as where it lies among the pattern's literal bytes.
    struct FlatResult {
        uint32_t literalFrom = 0;
        uint32_t literalLength = 0;  // 0: no literal
        size_t skipUpTo = 0;
        size_t lead = UNBOUNDED;
    };
    std::unordered_map<std::string, FlatResult> byFlatShape;
    std::string shape;  // the key being made, reused
};

// The required literals of `pattern` as a caseless pattern matched under a
// limit of `stepLimit` steps per starting position. Many patterns read with one
// `memo` (for one step limit) share the work of the patterns of one shape.
RequiredLiterals requiredLiteralsOf(std::string_view pattern, uint64_t stepLimit,
                                    LiteralAnalysisMemo* memo = nullptr);

// The bytes a pattern matches when it is nothing but literal bytes (escaped
// punctuation included), else false.
bool literalOfPattern(std::string_view pattern, std::string& literal);

}  // namespace cw
