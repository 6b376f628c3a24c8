#include "engine/literal_list.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "common/text_ops.h"

namespace cw {

namespace {

struct FoldTable {
    unsigned char byte[256];
    constexpr FoldTable() : byte() {
        for (int c = 0; c < 256; ++c) {
            byte[c] = static_cast<unsigned char>((c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c);
        }
    }
};
constexpr FoldTable FOLD;

unsigned char folded(char c) {
    return FOLD.byte[static_cast<unsigned char>(c)];
}

// The hash of three bytes: 5 bits apart, so that it rolls along a text as
// ((hash << 5) ^ next) & TRIPLE_MASK. 4 KB of bits.
constexpr uint32_t TRIPLE_MASK = (1u << 15) - 1;

// The most strings of one bucket that are compared one by one.
constexpr uint32_t MAX_BUCKET_WALK = 16;

uint32_t tripleHash(unsigned char first, unsigned char second, unsigned char third) {
    return ((uint32_t{first} << 10) ^ (uint32_t{second} << 5) ^ third) & TRIPLE_MASK;
}

bool hasBit(const uint64_t* bits, uint32_t index) {
    return ((bits[index / 64] >> (index % 64)) & 1) != 0;
}

// How many bytes of a string one sort key holds.
constexpr size_t KEY_BYTES = 7;

// The sort key of `string` from `depth` on: its next KEY_BYTES bytes, big-endian
// and padded with zeros, then how many of them it has (KEY_BYTES + 1 for more to
// come), so that a string sorts before the longer ones it begins.
uint64_t sortKeyAt(std::string_view string, size_t depth) {
    const size_t left = string.size() - depth;
    uint64_t key = 0;
    for (size_t at = 0; at < KEY_BYTES; ++at) {
        key = key << 8 | (at < left ? static_cast<unsigned char>(string[depth + at]) : 0u);
    }
    return key << 8 | std::min(left, KEY_BYTES + 1);
}

}  // namespace

LiteralList::LiteralList(const std::vector<std::string_view>& strings) {
    std::vector<uint32_t> ends;
    ends.reserve(strings.size());
    for (std::string_view string : strings) {
        ownedFolded_ += string;
        ends.push_back(static_cast<uint32_t>(ownedFolded_.size()));
    }
    lowerCaseInPlace(ownedFolded_);  // the same folding: ASCII letters only
    folded_ = ownedFolded_;
    build(ends);
}

LiteralList::LiteralList(std::string_view block, const std::vector<uint32_t>& ends) {
    // A block without capital letters is its own folded form and is not copied.
    if (std::any_of(block.begin(), block.end(),
                    [](char c) { return folded(c) != static_cast<unsigned char>(c); })) {
        ownedFolded_ = block;
        lowerCaseInPlace(ownedFolded_);
        folded_ = ownedFolded_;
    } else {
        folded_ = block;
    }
    build(ends);
}

void LiteralList::build(const std::vector<uint32_t>& ends) {
    count_ = ends.size();
    firstByteStart_.assign(257, 0);
    tripleStarts_.assign((TRIPLE_MASK + 1) / 64, 0);
    auto markTriple = [this](uint32_t hash) {
        tripleStarts_[hash / 64] |= uint64_t{1} << (hash % 64);
    };
    auto stringOf = [this](const Entry& entry) {
        return folded_.substr(entry.offset, entry.length);
    };
    size_t nonEmpty = 0;
    for (uint32_t index = 0; index < ends.size(); ++index) {
        nonEmpty += ends[index] != (index == 0 ? 0 : ends[index - 1]);
    }
    sorted_.reserve(nonEmpty);
    for (uint32_t index = 0; index < ends.size(); ++index) {
        uint32_t begin = index == 0 ? 0 : ends[index - 1];
        if (ends[index] == begin) {
            continue;
        }
        sorted_.push_back(Entry{begin, ends[index] - begin, index});
        std::string_view string = stringOf(sorted_.back());
        if (string.size() == 1) {
            singleBytes_.push_back(static_cast<unsigned char>(string[0]));
        } else if (string.size() == 2) {
            for (unsigned third = 0; third < 256; ++third) {
                markTriple(tripleHash(static_cast<unsigned char>(string[0]),
                                      static_cast<unsigned char>(string[1]),
                                      static_cast<unsigned char>(third)));
            }
        } else {
            markTriple(tripleHash(static_cast<unsigned char>(string[0]),
                                  static_cast<unsigned char>(string[1]),
                                  static_cast<unsigned char>(string[2])));
        }
    }
    std::sort(singleBytes_.begin(), singleBytes_.end());
    singleBytes_.erase(std::unique(singleBytes_.begin(), singleBytes_.end()), singleBytes_.end());
    sortEntries(ends);
    // firstByteStart_[c] is the first sorted string whose first byte is c or more.
    size_t position = 0;
    for (unsigned byte = 0; byte < 256; ++byte) {
        while (position < sorted_.size() &&
               static_cast<unsigned char>(folded_[sorted_[position].offset]) < byte) {
            ++position;
        }
        firstByteStart_[byte] = static_cast<uint32_t>(position);
    }
    firstByteStart_[256] = static_cast<uint32_t>(sorted_.size());

    tripleRank_.resize(tripleStarts_.size());
    uint32_t setBits = 0;
    for (size_t word = 0; word < tripleStarts_.size(); ++word) {
        tripleRank_[word] = setBits;
        setBits += static_cast<uint32_t>(std::popcount(tripleStarts_[word]));
    }
    // Each string under the bucket of each of its hashes, bucket by bucket and
    // in sorted order within one: counted first, then placed.
    auto forEachBucket = [&](const Entry& entry, auto&& visit) {
        const unsigned char* bytes =
            reinterpret_cast<const unsigned char*>(folded_.data()) + entry.offset;
        if (entry.length == 2) {
            for (unsigned third = 0; third < 256; ++third) {
                visit(bucketOf(tripleHash(bytes[0], bytes[1], static_cast<unsigned char>(third))));
            }
        } else if (entry.length > 2) {
            visit(bucketOf(tripleHash(bytes[0], bytes[1], bytes[2])));
        }
    };
    bucketStart_.assign(setBits + 1, 0);
    for (const Entry& entry : sorted_) {
        forEachBucket(entry, [&](uint32_t bucket) { ++bucketStart_[bucket + 1]; });
    }
    for (uint32_t bucket = 0; bucket < setBits; ++bucket) {
        bucketStart_[bucket + 1] += bucketStart_[bucket];
    }
    bucketEntries_.resize(bucketStart_[setBits]);
    std::vector<uint32_t> next(bucketStart_.begin(), bucketStart_.end() - 1);
    for (uint32_t sortedAt = 0; sortedAt < sorted_.size(); ++sortedAt) {
        forEachBucket(sorted_[sortedAt],
                      [&](uint32_t bucket) { bucketEntries_[next[bucket]++] = sortedAt; });
    }
}

void LiteralList::sortEntries(const std::vector<uint32_t>& ends) {
    // Comparing whole strings at scattered places in the block took most of a
    // million-entry list's load. The entries are sorted instead by a key of
    // KEY_BYTES bytes read once per entry, and only groups that tie on a key
    // with more to come are sorted again by their next KEY_BYTES bytes. While
    // sorting, an entry's offset and length hold its key (high and low half), so
    // the sort needs no memory beside the entries; they are set again at the end.
    auto stringOf = [&](uint32_t index) {
        uint32_t begin = index == 0 ? 0 : ends[index - 1];
        return folded_.substr(begin, ends[index] - begin);
    };
    auto keyOf = [](const Entry& entry) { return uint64_t{entry.offset} << 32 | entry.length; };
    auto setKey = [&](Entry& entry, size_t depth) {
        uint64_t key = sortKeyAt(stringOf(entry.index), depth);
        entry.offset = static_cast<uint32_t>(key >> 32);
        entry.length = static_cast<uint32_t>(key);
    };
    struct Group {
        size_t begin;
        size_t end;
        size_t depth;
    };
    std::vector<Group> groups;
    if (!sorted_.empty()) {
        groups.push_back(Group{0, sorted_.size(), 0});
    }
    while (!groups.empty()) {
        Group group = groups.back();
        groups.pop_back();
        auto first = sorted_.begin() + static_cast<std::ptrdiff_t>(group.begin);
        auto last = sorted_.begin() + static_cast<std::ptrdiff_t>(group.end);
        bool allAlike = true;
        for (auto entry = first; entry != last; ++entry) {
            setKey(*entry, group.depth);
            allAlike = allAlike && keyOf(*entry) == keyOf(*first);
        }
        // Keys alike (a prefix every string shares) need no sort. The sort is
        // by key alone, which copes with many alike (a tie broken by the list
        // order made it fall back to a heap sort). The order of equal strings
        // does not matter: a search reports them all, in no particular order.
        if (!allAlike) {
            std::sort(first, last,
                      [&](const Entry& a, const Entry& b) { return keyOf(a) < keyOf(b); });
        }
        for (auto tie = first; tie != last;) {
            auto end = tie + 1;
            while (end != last && keyOf(*end) == keyOf(*tie)) {
                ++end;
            }
            if (end - tie > 1 && (keyOf(*tie) & 0xFF) == KEY_BYTES + 1) {
                groups.push_back(Group{static_cast<size_t>(tie - sorted_.begin()),
                                       static_cast<size_t>(end - sorted_.begin()),
                                       group.depth + KEY_BYTES});
            }
            tie = end;
        }
    }
    for (Entry& entry : sorted_) {
        entry.offset = entry.index == 0 ? 0 : ends[entry.index - 1];
        entry.length = ends[entry.index] - entry.offset;
    }
}

uint32_t LiteralList::bucketOf(uint32_t hash) const {
    uint64_t below = tripleStarts_[hash / 64] & ((uint64_t{1} << (hash % 64)) - 1);
    return tripleRank_[hash / 64] + static_cast<uint32_t>(std::popcount(below));
}

void LiteralList::findAll(std::string_view text, LiteralSearchMarks& marks,
                          std::vector<uint32_t>& found, std::vector<size_t>* firstAt) const {
    Reports reports{marks, found, firstAt};
    if (marks.reportedBy.size() < count_) {
        marks.reportedBy.resize(count_, 0);
    }
    if (++marks.search == 0) {  // the numbers wrapped: start them afresh
        std::fill(marks.reportedBy.begin(), marks.reportedBy.end(), 0);
        marks.search = 1;
    }
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    // A one-byte string occurs where its byte first does, in either case.
    for (unsigned char single : singleBytes_) {
        unsigned char other = static_cast<unsigned char>(
            (single >= 'a' && single <= 'z') ? single - ('a' - 'A') : single);
        for (size_t start = 0; start < size; ++start) {
            if (bytes[start] == single || bytes[start] == other) {
                reportAt(text, start, reports);
                break;
            }
        }
    }
    // Every position with three bytes to go whose hash begins a string; the
    // last two positions are tried as they are.
    const uint64_t* triples = tripleStarts_.data();
    size_t tail = size < 2 ? 0 : size - 2;
    if (size >= 3) {
        uint32_t hash = ((uint32_t{FOLD.byte[bytes[0]]} << 5) ^ FOLD.byte[bytes[1]]) & TRIPLE_MASK;
        for (size_t start = 0; start < tail; ++start) {
            hash = ((hash << 5) ^ FOLD.byte[bytes[start + 2]]) & TRIPLE_MASK;
            if (hasBit(triples, hash)) {
                reportBucket(text, start, hash, reports);
            }
        }
    }
    for (size_t start = tail; start < size; ++start) {
        reportAt(text, start, reports);
    }
}

void LiteralList::report(uint32_t index, size_t start, Reports& reports) const {
    if (reports.marks.reportedBy[index] != reports.marks.search) {
        reports.marks.reportedBy[index] = reports.marks.search;
        reports.found.push_back(index);
        if (reports.firstAt != nullptr) {
            reports.firstAt->push_back(start);
        }
    }
}

void LiteralList::reportBucket(std::string_view text, size_t start, uint32_t hash,
                               Reports& reports) const {
    const uint32_t bucket = bucketOf(hash);
    // A crowded bucket (a big list's common first letters) is cheaper to narrow
    // down in the sorted strings than to walk.
    if (bucketStart_[bucket + 1] - bucketStart_[bucket] > MAX_BUCKET_WALK) {
        reportAt(text, start, reports);
        return;
    }
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data()) + start;
    const size_t room = text.size() - start;
    for (uint32_t slot = bucketStart_[bucket]; slot < bucketStart_[bucket + 1]; ++slot) {
        const Entry& entry = sorted_[bucketEntries_[slot]];
        if (entry.length > room) {
            continue;
        }
        const unsigned char* string =
            reinterpret_cast<const unsigned char*>(folded_.data()) + entry.offset;
        uint32_t same = 0;
        while (same < entry.length && FOLD.byte[bytes[same]] == string[same]) {
            ++same;
        }
        if (same == entry.length) {
            report(entry.index, start, reports);
        }
    }
}

void LiteralList::reportAt(std::string_view text, size_t start, Reports& reports) const {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(folded_.data());
    unsigned char first = folded(text[start]);
    auto low = sorted_.begin() + firstByteStart_[first];
    auto high = sorted_.begin() + firstByteStart_[first + 1];
    // Every string in [low, high) matches the text over `depth` bytes from
    // `start`; the ones exactly that long are found, and sort first.
    for (size_t depth = 1; low != high; ++depth) {
        while (low != high && low->length == depth) {
            report(low->index, start, reports);
            ++low;
        }
        if (low == high || start + depth >= text.size()) {
            break;
        }
        unsigned char byte = folded(text[start + depth]);
        low = std::partition_point(
            low, high, [&](const Entry& entry) { return bytes[entry.offset + depth] < byte; });
        high = std::partition_point(
            low, high, [&](const Entry& entry) { return bytes[entry.offset + depth] == byte; });
    }
}

}  // namespace cw
