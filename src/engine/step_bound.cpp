#include "engine/step_bound.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <utility>
#include <vector>

#include "engine/literal_algebra.h"

namespace cw {

namespace {

// What a subject without any of the required literals lets a node do.
struct DeadEnd {
    bool neverEnds = false;  // the node never completes a match there
    // For a node that never ends there: how far behind its start at most the
    // first required literal of any of its matches begins.
    size_t lead = UNBOUNDED;
    // The marks of the children a match can reach, in order: a sequence's stop
    // at the first that never ends, since nothing after it is ever tried.
    std::vector<DeadEnd> children;
};

// Where in `text` the first of the required literals begins (it holds one).
size_t firstRequiredAt(const std::string& text, const StringSet& required) {
    size_t first = UNBOUNDED;
    for (const std::string& literal : required) {
        first = std::min(first, text.find(literal));
    }
    return first;
}

bool holdsOneOf(const std::string& text, const StringSet& required) {
    for (const std::string& literal : required) {
        if (text.find(literal) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Whether one of the required literals ends `text`: all a string that held none
// can have come to hold by one more byte (a long run of literal bytes would
// otherwise be searched again at every byte).
bool endsInOneOf(const std::string& text, const StringSet& required) {
    return std::any_of(required.begin(), required.end(),
                       [&](const std::string& literal) { return text.ends_with(literal); });
}

// The most bytes a node can match.
size_t maximumLength(const PatternNode& node) {
    switch (node.kind) {
        case NodeKind::LITERAL:
            return 1;
        case NodeKind::ANY:
            return node.ways;  // "\R" takes up to two bytes, the others one
        case NodeKind::EMPTY:
            return 0;
        case NodeKind::SEQUENCE: {
            size_t sum = 0;
            for (const PatternNode& child : node.children) {
                sum = saturatingAdd(sum, maximumLength(child));
            }
            return sum;
        }
        case NodeKind::ALTERNATION: {
            size_t most = 0;
            for (const PatternNode& child : node.children) {
                most = std::max(most, maximumLength(child));
            }
            return most;
        }
        case NodeKind::REPEAT: {
            // An item without a bound keeps none even under {0}, which matches
            // nothing: cautious, it only ever leaves a lead unknown.
            size_t item = maximumLength(node.children[0]);
            return item == UNBOUNDED ? UNBOUNDED : saturatingMultiply(item, node.max);
        }
    }
    return UNBOUNDED;
}

// The fewest bytes a node can match.
size_t minimumLength(const PatternNode& node) {
    switch (node.kind) {
        case NodeKind::LITERAL:
        case NodeKind::ANY:
            return 1;
        case NodeKind::EMPTY:
            return 0;
        case NodeKind::SEQUENCE: {
            size_t sum = 0;
            for (const PatternNode& child : node.children) {
                sum = saturatingAdd(sum, minimumLength(child));
            }
            return sum;
        }
        case NodeKind::ALTERNATION: {
            size_t least = UNBOUNDED;
            for (const PatternNode& child : node.children) {
                least = std::min(least, minimumLength(child));
            }
            return least;
        }
        case NodeKind::REPEAT:
            return saturatingMultiply(node.min, minimumLength(node.children[0]));
    }
    return 0;
}

DeadEnd markDeadEnds(const PatternNode& node, const StringSet& required);

// A run of exact items every string of which holds a required literal cannot
// match on a subject without them, and neither can an item that never ends:
// the sequence stops at the first of either.
DeadEnd sequenceDeadEnds(const PatternNode& node, const StringSet& required) {
    DeadEnd mark;
    StringSet run{""};       // the exact strings of the run ending here
    size_t beforeRun = 0;    // the most bytes the items before it match
    size_t beforeChild = 0;  // the same for the items before this one
    mark.children.reserve(node.children.size());
    for (const PatternNode& child : node.children) {
        mark.children.push_back(markDeadEnds(child, required));
        const DeadEnd& childMark = mark.children.back();
        // A literal byte is exact and always extends the run.
        const bool literal = child.kind == NodeKind::LITERAL;
        LiteralInfo info = literal ? LiteralInfo{true, {}} : literalInfo(child);
        if (literal) {
            extendRunByByte(run, child.byte);
        } else if (!info.exact) {
            run = {""};
        } else if (std::optional<StringSet> extended = extendedRun(run, info.strings)) {
            run = std::move(*extended);
        } else {
            run = std::move(info.strings);
            beforeRun = beforeChild;
        }
        bool runNeverMatches =
            literal && run.size() == 1
                ? endsInOneOf(*run.begin(), required)
                : std::all_of(run.begin(), run.end(),
                              [&](const std::string& text) { return holdsOneOf(text, required); });
        if (childMark.neverEnds || runNeverMatches) {
            mark.neverEnds = true;
            if (childMark.neverEnds) {
                mark.lead = saturatingAdd(beforeChild, childMark.lead);
            }
            if (runNeverMatches) {
                size_t within = 0;
                for (const std::string& text : run) {
                    within = std::max(within, firstRequiredAt(text, required));
                }
                mark.lead = std::min(mark.lead, saturatingAdd(beforeRun, within));
            }
            break;
        }
        beforeChild = saturatingAdd(beforeChild, maximumLength(child));
        if (!info.exact) {
            beforeRun = beforeChild;
        }
    }
    return mark;
}

DeadEnd markDeadEnds(const PatternNode& node, const StringSet& required) {
    DeadEnd mark;
    switch (node.kind) {
        case NodeKind::LITERAL:
            mark.neverEnds = holdsOneOf(std::string(1, node.byte), required);
            mark.lead = 0;
            break;
        case NodeKind::ANY:
        case NodeKind::EMPTY:
            break;
        case NodeKind::SEQUENCE:
            mark = sequenceDeadEnds(node, required);
            break;
        case NodeKind::ALTERNATION:
            mark.neverEnds = true;
            mark.lead = 0;
            for (const PatternNode& child : node.children) {
                mark.children.push_back(markDeadEnds(child, required));
                mark.neverEnds = mark.children.back().neverEnds && mark.neverEnds;
                mark.lead = std::max(mark.lead, mark.children.back().lead);
            }
            break;
        case NodeKind::REPEAT:
            mark.children.push_back(markDeadEnds(node.children[0], required));
            mark.neverEnds = mark.children[0].neverEnds && node.min > 0;
            mark.lead = mark.children[0].lead;
            break;
    }
    return mark;
}

// An upper bound of the backtracking steps the interpreter spends on one node
// from one position when everything after it keeps failing: `ways` is how many
// different ends it can reach, `steps` what trying all of them costs, on a
// subject without the required literals. Generous on purpose: each node is
// charged the backtracking points the interpreter may record around it, and the
// property tests check the bound against the library's own count. In doubles,
// which saturate at infinity by themselves: a bound too large to matter is
// infinite, and one that comes out NaN (infinity less infinity) compares as
// over every limit.
struct StepBound {
    double ways = 1;
    double steps = 1;
};

constexpr double INFINITE = std::numeric_limits<double>::infinity();

// Sum of ways^k for k in [from, to].
double powerSum(double ways, double from, double to) {
    if (to < from) {
        return 0;
    }
    if (ways == 1) {
        return to - from + 1;
    }
    return (std::pow(ways, to + 1) - std::pow(ways, from)) / (ways - 1);
}

StepBound reachableStepBound(const PatternNode& node, const DeadEnd& mark, double length);

// A node that never ends reaches no end: what follows it is never tried.
StepBound stepBound(const PatternNode& node, const DeadEnd& mark, double length) {
    StepBound bound = reachableStepBound(node, mark, length);
    if (mark.neverEnds) {
        bound.ways = 0;
    }
    return bound;
}

StepBound reachableStepBound(const PatternNode& node, const DeadEnd& mark, double length) {
    switch (node.kind) {
        case NodeKind::LITERAL:
        case NodeKind::EMPTY:
            return StepBound{1, 1};
        case NodeKind::ANY:
            return StepBound{static_cast<double>(node.ways), static_cast<double>(node.ways)};
        case NodeKind::SEQUENCE: {
            // Each end of an item starts the rest of the sequence over; the
            // children past the marked ones are never reached.
            StepBound total{1, 0};
            for (size_t index = mark.children.size(); index-- > 0;) {
                StepBound bound = stepBound(node.children[index], mark.children[index], length);
                total.steps = bound.steps + bound.ways * total.steps;
                total.ways *= bound.ways;
            }
            total.steps += 1;  // entering the sequence
            return total;
        }
        case NodeKind::ALTERNATION: {
            StepBound total{0, 2};  // the group's opening and its close
            for (size_t index = 0; index < node.children.size(); ++index) {
                StepBound bound = stepBound(node.children[index], mark.children[index], length);
                total.ways += bound.ways;
                total.steps += bound.steps + 1;  // starting the branch
            }
            return total;
        }
        case NodeKind::REPEAT: {
            const PatternNode& item = node.children[0];
            // No more repetitions than the subject has room for, unless the
            // item can match nothing and repeat without moving on.
            size_t itemLength = minimumLength(item);
            double max = node.max == UNBOUNDED ? INFINITE : static_cast<double>(node.max);
            if (itemLength > 0) {
                max = std::min(max, std::floor(length / static_cast<double>(itemLength)));
            }
            if (max == INFINITE) {
                return StepBound{INFINITE, INFINITE};
            }
            max = std::max(max, static_cast<double>(node.min));
            StepBound one = stepBound(item, mark.children[0], length);
            // Every sequence of up to `max` repetitions may be tried; each
            // repetition is charged its bracket's entry, its close and the choice
            // to try one more (3), and the repeat as a whole the same three.
            return StepBound{powerSum(one.ways, static_cast<double>(node.min), max),
                             powerSum(one.ways, 0, max) * (one.steps + 3) + 3};
        }
    }
    return StepBound{INFINITE, INFINITE};
}

bool stepsStayBelow(const PatternNode& root, const DeadEnd& mark, uint64_t length,
                    uint64_t stepLimit) {
    // Twice the bound and 64 more: a margin for what the bound does not count,
    // the points of the match attempt itself (its outer bracket, the start and
    // the end), and for the interpreter recording more than one point where the
    // bound charges one.
    double steps = 2 * stepBound(root, mark, static_cast<double>(length)).steps + 64;
    return steps <= static_cast<double>(stepLimit);
}

// The longest subject length whose bound stays within the limit (the bound
// grows with the length), found by halving.
size_t longestSkippableLength(const PatternNode& root, const DeadEnd& mark, uint64_t stepLimit) {
    uint64_t low = 0;
    uint64_t high = UNBOUNDED;
    if (stepsStayBelow(root, mark, high, stepLimit)) {
        return UNBOUNDED;
    }
    while (high - low > 1) {
        uint64_t middle = low + (high - low) / 2;
        if (stepsStayBelow(root, mark, middle, stepLimit)) {
            low = middle;
        } else {
            high = middle;
        }
    }
    return static_cast<size_t>(low);
}

// What the step bound reads of a node and its mark, written out: kinds, ways,
// repeat counts, the marks' ends and how many children a match reaches, and
// the minimum length of every child (a repeat's room); never a literal byte.
void appendShape(const PatternNode& node, const DeadEnd* mark, std::string& shape) {
    // Counts past 32 bits (no bound) are alike: the reader takes none that large.
    auto appendNumber = [&shape](size_t number) {
        const auto bits = static_cast<uint32_t>(std::min<size_t>(number, UINT32_MAX));
        shape.append(reinterpret_cast<const char*>(&bits), sizeof bits);
    };
    shape += static_cast<char>(node.kind);
    shape += static_cast<char>(mark == nullptr ? 2 : mark->neverEnds ? 1 : 0);
    if (node.kind == NodeKind::ANY) {
        appendNumber(node.ways);
    } else if (node.kind == NodeKind::REPEAT) {
        appendNumber(node.min);
        appendNumber(node.max);
    }
    if (node.kind == NodeKind::LITERAL || node.kind == NodeKind::EMPTY ||
        node.kind == NodeKind::ANY) {
        return;  // no children
    }
    appendNumber(node.children.size());
    appendNumber(mark == nullptr ? 0 : mark->children.size());
    for (size_t index = 0; index < node.children.size(); ++index) {
        const DeadEnd* childMark =
            mark != nullptr && index < mark->children.size() ? &mark->children[index] : nullptr;
        appendShape(node.children[index], childMark, shape);
    }
}

// longestSkippableLength, or nothing when an empty subject can reach the
// limit already.
std::optional<size_t> skippableLength(const PatternNode& root, const DeadEnd& mark,
                                      uint64_t stepLimit) {
    if (!stepsStayBelow(root, mark, 0, stepLimit)) {
        return std::nullopt;
    }
    return longestSkippableLength(root, mark, stepLimit);
}

}  // namespace

void appendTreeShape(const PatternNode& root, std::string& shape) {
    appendShape(root, nullptr, shape);
}

std::optional<SkipBounds> skipBoundsOf(const PatternNode& root, const StringSet& required,
                                       uint64_t stepLimit, SkipLengthMemo* memo) {
    DeadEnd mark = markDeadEnds(root, required);
    std::optional<size_t> length;
    if (memo != nullptr) {
        memo->shape.clear();
        appendShape(root, &mark, memo->shape);
        auto found = memo->byShape.find(memo->shape);
        if (found == memo->byShape.end()) {
            found =
                memo->byShape.emplace(memo->shape, skippableLength(root, mark, stepLimit)).first;
        }
        length = found->second;
    } else {
        length = skippableLength(root, mark, stepLimit);
    }
    if (!length) {
        return std::nullopt;
    }
    SkipBounds bounds;
    bounds.skipUpTo = *length;
    // Before the lead, a search could only meet attempts that fail as on a
    // subject without the literals: within the limit when any length is.
    if (mark.neverEnds && bounds.skipUpTo == UNBOUNDED) {
        bounds.lead = mark.lead;
    }
    return bounds;
}

}  // namespace cw
