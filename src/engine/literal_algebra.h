// Which literals every match of a pattern tree must contain: worked out item by
// item, from literal bytes up through sequences, alternations and repeats. All
// strings are folded to lower case as the tree's bytes are (ASCII letters only),
// as caseless patterns compare.
#pragma once

#include <optional>
#include <set>
#include <string>

#include "engine/pattern_reader.h"

namespace cw {

// What a node tells about the strings it matches: either all of them (exact),
// or a set one of which every match contains (empty: nothing known).
struct LiteralInfo {
    bool exact = false;
    std::set<std::string> strings;
};

LiteralInfo literalInfo(const PatternNode& node);

// The requirement an info stands for: a set one of which every match contains.
// An exact set with the empty string in it requires nothing (empty set).
std::set<std::string> requirementOf(LiteralInfo info);

// The exact strings of a run of exact items (`run`) followed by one more exact
// item (`item`): every string of the one followed by every string of the other.
// Nothing when there would be too many to keep exact; the run then ends there.
std::optional<std::set<std::string>> extendedRun(const std::set<std::string>& run,
                                                 const std::set<std::string>& item);

// The same for a literal byte, in place: it never makes more strings than the
// run has, so the run never ends there.
void extendRunByByte(std::set<std::string>& run, char byte);

}  // namespace cw
