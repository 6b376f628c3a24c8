// Finds which of many plain strings occur in a text, in one walk over the text:
// the strings are kept sorted, so every position of the text where a string can
// begin (a hash of its first three bytes says, rolled along the text) narrows
// the range of strings that start there one byte at a time, and a string is
// found when the range still holds it at its full length. A one-byte string is
// looked for on its own. Letter case is folded for ASCII
// A-Z only, as the plain-string rules compare.
//
// Memory is the sorted index, and a folded copy of the strings unless they are
// given in one block that is its own folded form. A search changes nothing in
// the list: what it marks lives in the caller's LiteralSearchMarks, so one list
// may be searched by several threads at once, each with its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cw {

// What a search marks so that it reports each string once: per string, the
// search that last reported it. Reused from search to search, by lists of any
// size; kept by the caller.
struct LiteralSearchMarks {
    std::vector<uint32_t> reportedBy;
    uint32_t search = 0;
};

class LiteralList {
  public:
    explicit LiteralList(const std::vector<std::string_view>& strings);
    // The strings side by side in `block`, string i ending at ends[i]. The list
    // keeps a view of the block (a folded copy when it holds capital letters),
    // which must outlive it.
    LiteralList(std::string_view block, const std::vector<uint32_t>& ends);
    LiteralList(const LiteralList&) = delete;
    LiteralList& operator=(const LiteralList&) = delete;

    // Appends to `found` the index of every string that occurs in `text`, each
    // once, in no particular order. An empty string is never found. With
    // `firstAt`, also appends there where each found string first begins.
    void findAll(std::string_view text, LiteralSearchMarks& marks, std::vector<uint32_t>& found,
                 std::vector<size_t>* firstAt = nullptr) const;

  private:
    // Where a search reports to.
    struct Reports {
        LiteralSearchMarks& marks;
        std::vector<uint32_t>& found;
        std::vector<size_t>* firstAt;
    };
    // Reports every string that begins at `start`.
    void reportAt(std::string_view text, size_t start, Reports& reports) const;
    // Reports every string of the bucket of `hash` (the hash of the three bytes at
    // `start`, whose bit is set) that begins at `start`.
    void reportBucket(std::string_view text, size_t start, uint32_t hash, Reports& reports) const;
    // Reports string `index` found at `start`, unless this search did already.
    void report(uint32_t index, size_t start, Reports& reports) const;
    uint32_t bucketOf(uint32_t hash) const;
    void build(const std::vector<uint32_t>& ends);
    // Puts sorted_ in folded byte order.
    void sortEntries(const std::vector<uint32_t>& ends);

    // The strings in folded byte order, as offsets into the folded block.
    struct Entry {
        uint32_t offset;  // in folded_
        uint32_t length;
        uint32_t index;  // in the caller's list
    };
    size_t count_ = 0;
    std::vector<Entry> sorted_;
    std::string ownedFolded_;  // when the strings had to be folded
    std::string_view folded_;  // the strings, folded, side by side
    // For each folded first byte: where its strings begin in sorted_ (257 entries).
    std::vector<uint32_t> firstByteStart_;
    // The folded one-byte strings, and a bit for the hash of the first three
    // folded bytes of each longer string (a two-byte string sets the bits of
    // its two bytes followed by any byte): most positions of a text begin no
    // string, and are passed over with one lookup.
    std::vector<unsigned char> singleBytes_;
    std::vector<uint64_t> tripleStarts_;
    // The strings of two or more bytes by the hash of their first three folded
    // bytes (a two-byte string under the hashes of all 256 third bytes), so that
    // a position whose hash is set compares just those: the buckets of the set
    // bits in order, found by rank (the set bits in the words before a word).
    std::vector<uint32_t> tripleRank_;
    std::vector<uint32_t> bucketStart_;    // per set bit; one more at the end
    std::vector<uint32_t> bucketEntries_;  // positions in sorted_
};

}  // namespace cw
