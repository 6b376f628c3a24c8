// Finds which of many plain strings occur in a text, in one walk over the text:
// the strings are kept sorted, so every position of the text where a string can
// begin (its first two bytes say) narrows the range of strings that start there
// one byte at a time, and a string is found when the range still holds it at its
// full length. Letter case is folded for ASCII
// A-Z only, as the plain-string rules compare.
//
// Memory is a folded copy of the strings, the sorted index and a stamp per string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cw {

class LiteralList {
  public:
    explicit LiteralList(std::vector<std::string_view> strings);

    // Appends to `found` the index of every string that occurs in `text`, each
    // once, in no particular order. An empty string is never found.
    void findAll(std::string_view text, std::vector<uint32_t>& found) const;

    size_t size() const { return count_; }

  private:
    // The strings in folded byte order, folded, side by side in one block, so
    // that narrowing a range reads neighbouring bytes.
    struct Entry {
        uint32_t offset;  // in folded_
        uint32_t length;
        uint32_t index;  // in the caller's list
    };
    size_t count_ = 0;
    std::vector<Entry> sorted_;
    std::string folded_;
    // For each folded first byte: where its strings begin in sorted_ (257 entries).
    std::vector<uint32_t> firstByteStart_;
    // Which folded first bytes begin a one-byte string, and which folded byte
    // pairs begin a longer one: most positions of a text begin neither, and are
    // passed over with two lookups.
    std::vector<bool> firstByteAlone_;
    std::vector<uint64_t> bytePairStarts_;  // a bit for each of the 65536 pairs
    // The call that last reported each string, so that one call reports it once.
    mutable std::vector<uint32_t> reportedBy_;
    mutable uint32_t call_ = 0;
};

}  // namespace cw
