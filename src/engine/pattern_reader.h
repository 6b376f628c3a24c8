// A regular expression read into a tree of the few constructs whose literals
// and backtracking can be told from the text alone; what the literal analysis
// (literal_algebra.h) and the step bound (step_bound.h) work on.
//
// Reading is conservative. It knows literal bytes, escaped punctuation, \n \r \t
// \f \e \a and two-digit \x escapes, the character types and classes (any one
// byte, which breaks a literal), anchors and \b, groups "(...)" and "(?:...)",
// alternation, comments "(?#...)" and the quantifiers ? * + {n} {n,} {n,m} with
// their lazy and possessive forms. Anything else (flags, lookarounds,
// backreferences, \Q...\E, verbs, named groups, ...) is not read at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "common/saturating.h"

namespace cw {

// A byte-class item (".", "[...]", "\d", ...) is ANY; anchors and \b are EMPTY.
enum class NodeKind { LITERAL, ANY, EMPTY, SEQUENCE, ALTERNATION, REPEAT };

struct PatternNode {
    NodeKind kind = NodeKind::EMPTY;
    char byte = 0;  // LITERAL: the byte, folded to lower case (ASCII letters only)
    // ANY: how many bytes it can take, which is also how many ways it can match
    // (2 for "\R", which takes CR LF or one byte; 1 for the others).
    uint32_t ways = 1;
    size_t min = 1;  // REPEAT: the least and most repetitions (max may be UNBOUNDED)
    size_t max = 1;
    std::vector<PatternNode> children;  // SEQUENCE, ALTERNATION: at least one; REPEAT: one
};

struct PatternTree {
    PatternNode root;             // always an ALTERNATION
    bool anchorsAtStart = false;  // holds \G, which matches where the search starts
};

// The tree of `pattern`, or nothing when it uses anything outside the subset
// above or is not a well-formed pattern.
std::optional<PatternTree> readPattern(std::string_view pattern);

}  // namespace cw
