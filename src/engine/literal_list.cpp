#include "engine/literal_list.h"

#include <algorithm>

namespace cw {

namespace {

unsigned char folded(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
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

}  // namespace

LiteralList::LiteralList(std::vector<std::string_view> strings)
    : strings_(std::move(strings)), firstByteStart_(257, 0), reportedBy_(strings_.size(), 0) {
    for (uint32_t index = 0; index < strings_.size(); ++index) {
        if (!strings_[index].empty()) {
            sorted_.push_back(index);
        }
    }
    std::stable_sort(sorted_.begin(), sorted_.end(), [this](uint32_t a, uint32_t b) {
        return foldedLess(strings_[a], strings_[b]);
    });
    // firstByteStart_[c] is the first sorted string whose first byte is c or more.
    size_t position = 0;
    for (unsigned byte = 0; byte < 256; ++byte) {
        while (position < sorted_.size() && folded(strings_[sorted_[position]][0]) < byte) {
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
    for (size_t start = 0; start < text.size(); ++start) {
        unsigned char first = folded(text[start]);
        auto low = sorted_.begin() + firstByteStart_[first];
        auto high = sorted_.begin() + firstByteStart_[first + 1];
        // Every string in [low, high) matches the text over `depth` bytes from
        // `start`; the ones exactly that long are found, and sort first.
        for (size_t depth = 1; low != high; ++depth) {
            while (low != high && strings_[*low].size() == depth) {
                if (reportedBy_[*low] != call_) {
                    reportedBy_[*low] = call_;
                    found.push_back(*low);
                }
                ++low;
            }
            if (low == high || start + depth >= text.size()) {
                break;
            }
            unsigned char next = folded(text[start + depth]);
            auto byteAt = [this, depth](uint32_t index) { return folded(strings_[index][depth]); };
            low = std::partition_point(low, high, [&](uint32_t i) { return byteAt(i) < next; });
            high = std::partition_point(low, high, [&](uint32_t i) { return byteAt(i) == next; });
        }
    }
}

}  // namespace cw
