#include "engine/literal_list.h"

#include <algorithm>

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

// Folded byte order; a string sorts before every longer string it begins.
bool foldedLess(std::string_view a, std::string_view b) {
    size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        unsigned char x = folded(a[i]);
        unsigned char y = folded(b[i]);
        if (x != y) {
            return x < y;
        }
    }
    return a.size() < b.size();
}

size_t pairIndex(unsigned char first, unsigned char second) {
    return (size_t{first} << 8) | second;
}

}  // namespace

LiteralList::LiteralList(std::vector<std::string_view> strings)
    : count_(strings.size()),
      firstByteStart_(257, 0),
      firstByteAlone_(256, false),
      bytePairStarts_(65536 / 64, 0),
      reportedBy_(strings.size(), 0) {
    std::vector<uint32_t> order;
    for (uint32_t index = 0; index < strings.size(); ++index) {
        std::string_view string = strings[index];
        if (string.empty()) {
            continue;
        }
        order.push_back(index);
        if (string.size() == 1) {
            firstByteAlone_[folded(string[0])] = true;
        } else {
            size_t pair = pairIndex(folded(string[0]), folded(string[1]));
            bytePairStarts_[pair / 64] |= uint64_t{1} << (pair % 64);
        }
    }
    std::stable_sort(order.begin(), order.end(), [&strings](uint32_t a, uint32_t b) {
        return foldedLess(strings[a], strings[b]);
    });
    sorted_.reserve(order.size());
    for (uint32_t index : order) {
        std::string_view string = strings[index];
        sorted_.push_back(Entry{static_cast<uint32_t>(folded_.size()),
                                static_cast<uint32_t>(string.size()), index});
        for (char c : string) {
            folded_ += static_cast<char>(folded(c));
        }
    }
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
}

void LiteralList::findAll(std::string_view text, std::vector<uint32_t>& found) const {
    if (++call_ == 0) {  // the stamps wrapped: start them afresh
        std::fill(reportedBy_.begin(), reportedBy_.end(), 0);
        call_ = 1;
    }
    const uint64_t* pairs = bytePairStarts_.data();
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(folded_.data());
    unsigned char next = text.empty() ? 0 : folded(text[0]);
    for (size_t start = 0; start < text.size(); ++start) {
        unsigned char first = next;
        next = start + 1 < text.size() ? folded(text[start + 1]) : 0;
        size_t pair = pairIndex(first, next);
        bool pairBegins = start + 1 < text.size() && ((pairs[pair / 64] >> (pair % 64)) & 1) != 0;
        if (!pairBegins && !firstByteAlone_[first]) {
            continue;
        }
        auto low = sorted_.begin() + firstByteStart_[first];
        auto high = sorted_.begin() + firstByteStart_[first + 1];
        // Every string in [low, high) matches the text over `depth` bytes from
        // `start`; the ones exactly that long are found, and sort first.
        for (size_t depth = 1; low != high; ++depth) {
            while (low != high && low->length == depth) {
                if (reportedBy_[low->index] != call_) {
                    reportedBy_[low->index] = call_;
                    found.push_back(low->index);
                }
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
}

}  // namespace cw
