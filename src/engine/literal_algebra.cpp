#include "engine/literal_algebra.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

#include "common/saturating.h"

namespace cw {

StringSet::StringSet(std::initializer_list<std::string> strings) {
    for (const std::string& string : strings) {
        insert(string);
    }
}

void StringSet::insert(std::string string) {
    auto at = std::lower_bound(strings_.begin(), strings_.end(), string);
    if (at == strings_.end() || *at != string) {
        strings_.insert(at, std::move(string));
    }
}

void StringSet::insertAll(const StringSet& other) {
    std::vector<std::string> merged;
    merged.reserve(strings_.size() + other.strings_.size());
    std::set_union(std::make_move_iterator(strings_.begin()),
                   std::make_move_iterator(strings_.end()), other.strings_.begin(),
                   other.strings_.end(), std::back_inserter(merged));
    strings_ = std::move(merged);
}

bool StringSet::contains(std::string_view string) const {
    return std::binary_search(strings_.begin(), strings_.end(), string);
}

void StringSet::appendToEach(char byte) {
    for (std::string& string : strings_) {
        string += byte;
    }
    if (strings_.size() > 1) {
        std::sort(strings_.begin(), strings_.end());
    }
}

namespace {

// An exact set lists every string an item matches, and a sequence multiplies
// the sets of its items: each two-way choice ("colou?r", "(visa|amex)") doubles
// it. 16 spells out a phrase with four such choices; past that the run's
// strings are too many and too alike to be worth searching for each.
constexpr size_t MAX_EXACT_STRINGS = 16;
// A requirement of an alternation offers every branch's strings. 64 holds the
// word lists of real rules (the longest shipped one has 33 words) with room to
// spare; with more, a rule would put that many literals into its group's list,
// and the shortest of them would let most subjects through anyway.
constexpr size_t MAX_REQUIRED_STRINGS = 64;

LiteralInfo exactly(StringSet strings) {
    return LiteralInfo{true, std::move(strings)};
}

size_t shortestLength(const StringSet& strings) {
    size_t shortest = UNBOUNDED;
    for (const std::string& string : strings) {
        shortest = std::min(shortest, string.size());
    }
    return shortest;
}

// The more selective of two requirements: longer shortest string, then fewer.
StringSet better(StringSet a, StringSet b) {
    if (a.empty()) {
        return b;
    }
    if (b.empty()) {
        return a;
    }
    size_t shortestA = shortestLength(a);
    size_t shortestB = shortestLength(b);
    // Returned one by one, so that the chosen set is moved, not copied.
    if (shortestA != shortestB) {
        if (shortestA > shortestB) {
            return a;
        }
        return b;
    }
    if (b.size() < a.size()) {
        return b;
    }
    return a;
}

LiteralInfo sequenceInfo(const PatternNode& node) {
    StringSet run{""};  // the exact strings since the last break
    StringSet best;
    bool exact = true;
    for (const PatternNode& child : node.children) {
        if (child.kind == NodeKind::LITERAL) {
            extendRunByByte(run, child.byte);  // most of a pattern, spared a set of its own
            continue;
        }
        LiteralInfo info = literalInfo(child);
        if (!info.exact) {
            best = better(better(std::move(best), requirementOf(exactly(std::move(run)))),
                          std::move(info.strings));
            run = {""};
            exact = false;
            continue;
        }
        if (std::optional<StringSet> extended = extendedRun(run, info.strings)) {
            run = std::move(*extended);
            continue;
        }
        best = better(std::move(best), requirementOf(exactly(std::move(run))));
        run = std::move(info.strings);
        exact = false;
    }
    if (exact) {
        return exactly(std::move(run));
    }
    return LiteralInfo{false, better(std::move(best), requirementOf(exactly(std::move(run))))};
}

LiteralInfo alternationInfo(const PatternNode& node) {
    std::vector<LiteralInfo> branches;
    bool allExact = true;
    StringSet all;
    for (const PatternNode& child : node.children) {
        branches.push_back(literalInfo(child));
        allExact = allExact && branches.back().exact;
        all.insertAll(branches.back().strings);
    }
    if (allExact && all.size() <= MAX_EXACT_STRINGS) {
        return exactly(std::move(all));
    }
    StringSet required;
    for (const LiteralInfo& branch : branches) {
        StringSet requirement = requirementOf(branch);
        if (requirement.empty()) {
            return LiteralInfo{};
        }
        required.insertAll(requirement);
    }
    if (required.size() > MAX_REQUIRED_STRINGS) {
        return LiteralInfo{};
    }
    return LiteralInfo{false, std::move(required)};
}

LiteralInfo repeatInfo(const PatternNode& node) {
    LiteralInfo item = literalInfo(node.children[0]);
    if (node.min == 0) {
        if (node.max == 1 && item.exact && item.strings.size() < MAX_EXACT_STRINGS) {
            item.strings.insert("");
            return item;
        }
        return LiteralInfo{};
    }
    if (node.min == 1 && node.max == 1) {
        return item;
    }
    // Repeated at least once: what one repetition requires, every match does.
    return LiteralInfo{false, requirementOf(std::move(item))};
}

}  // namespace

StringSet requirementOf(LiteralInfo info) {
    if (info.exact && info.strings.contains("")) {
        return {};
    }
    return std::move(info.strings);
}

std::optional<StringSet> extendedRun(const StringSet& run, const StringSet& item) {
    StringSet product;
    for (const std::string& head : run) {
        for (const std::string& tail : item) {
            product.insert(head + tail);
        }
    }
    if (product.size() > MAX_EXACT_STRINGS) {
        return std::nullopt;
    }
    return product;
}

void extendRunByByte(StringSet& run, char byte) {
    run.appendToEach(byte);
}

LiteralInfo literalInfo(const PatternNode& node) {
    switch (node.kind) {
        case NodeKind::LITERAL:
            return exactly({std::string(1, node.byte)});
        case NodeKind::EMPTY:
            return exactly({""});
        case NodeKind::ANY:
            return LiteralInfo{};
        case NodeKind::SEQUENCE:
            return sequenceInfo(node);
        case NodeKind::ALTERNATION:
            return alternationInfo(node);
        case NodeKind::REPEAT:
            return repeatInfo(node);
    }
    return LiteralInfo{};
}

}  // namespace cw
