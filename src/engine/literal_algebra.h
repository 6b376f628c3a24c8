// Which literals every match of a pattern tree must contain: worked out item by
// item, from literal bytes up through sequences, alternations and repeats. All
// strings are folded to lower case as the tree's bytes are (ASCII letters only),
// as caseless patterns compare.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/pattern_reader.h"

namespace cw {

// A set of strings, sorted and without repeats, in a vector: nearly every set
// here holds one string grown a byte at a time, for which a tree-based set paid
// a node and a rebalance at every byte of every pattern of a big list.
class StringSet {
  public:
    StringSet() = default;
    StringSet(std::initializer_list<std::string> strings);

    void insert(std::string string);
    void insertAll(const StringSet& other);
    bool contains(std::string_view string) const;
    // Appends `byte` to every string: they stay distinct, the order may change.
    void appendToEach(char byte);

    size_t size() const { return strings_.size(); }
    bool empty() const { return strings_.empty(); }
    std::vector<std::string>::const_iterator begin() const { return strings_.begin(); }
    std::vector<std::string>::const_iterator end() const { return strings_.end(); }

  private:
    std::vector<std::string> strings_;
};

// What a node tells about the strings it matches: either all of them (exact),
// or a set one of which every match contains (empty: nothing known).
struct LiteralInfo {
    bool exact = false;
    StringSet strings;
};

LiteralInfo literalInfo(const PatternNode& node);

// The requirement an info stands for: a set one of which every match contains.
// An exact set with the empty string in it requires nothing (empty set).
StringSet requirementOf(LiteralInfo info);

// The exact strings of a run of exact items (`run`) followed by one more exact
// item (`item`): every string of the one followed by every string of the other.
// Nothing when there would be too many to keep exact; the run then ends there.
std::optional<StringSet> extendedRun(const StringSet& run, const StringSet& item);

// The same for a literal byte, in place: it never makes more strings than the
// run has, so the run never ends there.
void extendRunByByte(StringSet& run, char byte);

}  // namespace cw
