#include "engine/required_literals.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

#include "common/text_ops.h"

namespace cw {

namespace {

constexpr uint32_t UNBOUNDED = std::numeric_limits<uint32_t>::max();
constexpr int MAX_NESTING = 64;
constexpr size_t MAX_EXACT_STRINGS = 16;     // strings an exact set may grow to
constexpr size_t MAX_REQUIRED_STRINGS = 64;  // alternatives a requirement may offer

// A pattern read into a tree. A byte-class item (".", "[...]", "\d", ...) is
// ANY with the number of ways it can match (2 for "\R", which takes one or two).
enum class NodeKind { LITERAL, ANY, EMPTY, SEQUENCE, ALTERNATION, REPEAT };

struct Node {
    NodeKind kind = NodeKind::EMPTY;
    char byte = 0;
    uint32_t ways = 1;
    uint32_t min = 1;
    uint32_t max = 1;
    std::vector<Node> children;
    // On a subject that holds none of the required literals: the node never
    // completes a match, and a sequence never gets past its first `reachable`
    // children (set by markDeadEnds).
    bool neverEnds = false;
    size_t reachable = std::numeric_limits<size_t>::max();
    // For a node that never ends there: how far behind its start at most the
    // first required literal of any of its matches begins.
    size_t lead = std::numeric_limits<size_t>::max();
};

Node leaf(NodeKind kind, char byte = 0, uint32_t ways = 1) {
    Node node;
    node.kind = kind;
    node.byte = byte;
    node.ways = ways;
    return node;
}

// Recursive descent over the safe subset; `failed` is set at the first thing
// outside it.
class PatternReader {
  public:
    explicit PatternReader(std::string_view pattern) : text_(pattern) {}

    bool read(Node& root) {
        root = alternation(0);
        return !failed_ && position_ == text_.size();
    }

    // Whether the pattern holds \G, which matches where the search starts.
    bool anchorsAtStart() const { return anchorsAtStart_; }

  private:
    bool atEnd() const { return position_ >= text_.size(); }
    char peek(size_t ahead = 0) const {
        return position_ + ahead < text_.size() ? text_[position_ + ahead] : '\0';
    }
    bool has(size_t ahead) const { return position_ + ahead < text_.size(); }
    Node fail() {
        failed_ = true;
        return Node();
    }

    Node alternation(int depth) {
        if (depth > MAX_NESTING) {
            return fail();
        }
        Node node;
        node.kind = NodeKind::ALTERNATION;
        node.children.push_back(sequence(depth));
        while (!failed_ && !atEnd() && peek() == '|') {
            ++position_;
            node.children.push_back(sequence(depth));
        }
        return node;
    }

    Node sequence(int depth) {
        Node node;
        node.kind = NodeKind::SEQUENCE;
        while (!failed_ && !atEnd() && peek() != '|' && peek() != ')') {
            bool isItem = true;
            Node item = atom(depth, isItem);
            if (failed_) {
                break;
            }
            if (!isItem) {
                continue;
            }
            quantify(item);
            node.children.push_back(std::move(item));
        }
        return node;
    }

    // One item; `isItem` false for a comment, which stands for nothing.
    Node atom(int depth, bool& isItem) {
        char c = peek();
        switch (c) {
            case '(':
                return group(depth, isItem);
            case '[':
                return byteClass();
            case '.':
                ++position_;
                return leaf(NodeKind::ANY);
            case '^':
            case '$':
                ++position_;
                return leaf(NodeKind::EMPTY);
            case '\\':
                return escape();
            case '*':
            case '+':
            case '?':
            case '{':
                return fail();
            default:
                ++position_;
                return leaf(NodeKind::LITERAL, asciiLower(c));
        }
    }

    Node group(int depth, bool& isItem) {
        ++position_;
        if (peek() == '*') {
            return fail();
        }
        if (peek() == '?') {
            if (peek(1) == '#') {
                size_t close = text_.find(')', position_);
                if (close == std::string_view::npos) {
                    return fail();
                }
                position_ = close + 1;
                // A quantifier behind a comment would apply to the item before it.
                if (std::string_view("?*+{").find(peek()) != std::string_view::npos && has(0)) {
                    return fail();
                }
                isItem = false;
                return Node();
            }
            if (peek(1) != ':') {
                return fail();
            }
            position_ += 2;
        }
        Node inner = alternation(depth + 1);
        if (failed_ || peek() != ')' || atEnd()) {
            return fail();
        }
        ++position_;
        return inner;
    }

    // "[...]" with "]" first taken literally, escapes and POSIX names skipped.
    Node byteClass() {
        ++position_;
        if (peek() == '^') {
            ++position_;
        }
        if (peek() == ']') {
            ++position_;
        }
        while (!atEnd()) {
            char c = peek();
            if (c == ']') {
                ++position_;
                return leaf(NodeKind::ANY);
            }
            if (c == '\\') {
                if (!has(1) || peek(1) == 'Q' || peek(1) == 'E') {
                    return fail();
                }
                position_ += 2;
                continue;
            }
            if (c == '[' && (peek(1) == ':' || peek(1) == '.' || peek(1) == '=')) {
                if (peek(1) != ':') {
                    return fail();
                }
                size_t close = text_.find(":]", position_ + 2);
                if (close == std::string_view::npos) {
                    return fail();
                }
                for (size_t i = position_ + 2; i < close; ++i) {
                    char name = text_[i];
                    if (!((name >= 'a' && name <= 'z') || name == '^')) {
                        return fail();
                    }
                }
                position_ = close + 2;
                continue;
            }
            ++position_;
        }
        return fail();
    }

    Node escape() {
        if (!has(1)) {
            return fail();
        }
        char e = peek(1);
        position_ += 2;
        if (static_cast<unsigned char>(e) >= 0x80) {
            return fail();
        }
        if (!isAsciiAlphanumeric(e)) {
            return leaf(NodeKind::LITERAL, e);
        }
        switch (e) {
            case 'n':
                return leaf(NodeKind::LITERAL, '\n');
            case 'r':
                return leaf(NodeKind::LITERAL, '\r');
            case 't':
                return leaf(NodeKind::LITERAL, '\t');
            case 'f':
                return leaf(NodeKind::LITERAL, '\f');
            case 'e':
                return leaf(NodeKind::LITERAL, '\x1B');
            case 'a':
                return leaf(NodeKind::LITERAL, '\a');
            case 'x': {
                int high = hexDigitValue(peek());
                int low = hexDigitValue(peek(1));
                if (!has(1) || high < 0 || low < 0) {
                    return fail();
                }
                position_ += 2;
                return leaf(NodeKind::LITERAL, asciiLower(static_cast<char>(high * 16 + low)));
            }
            case 'd':
            case 'D':
            case 'w':
            case 'W':
            case 's':
            case 'S':
            case 'h':
            case 'H':
            case 'v':
            case 'V':
                return leaf(NodeKind::ANY);
            case 'N':
                return peek() == '{' ? fail() : leaf(NodeKind::ANY);
            case 'R':
                return leaf(NodeKind::ANY, 0, 2);
            case 'G':
                anchorsAtStart_ = true;
                return leaf(NodeKind::EMPTY);
            case 'b':
            case 'B':
            case 'A':
            case 'z':
            case 'Z':
                return leaf(NodeKind::EMPTY);
            default:
                return fail();
        }
    }

    bool number(uint32_t& value) {
        size_t start = position_;
        value = 0;
        while (!atEnd() && isAsciiDigit(peek()) && position_ - start < 6) {
            value = value * 10 + static_cast<uint32_t>(peek() - '0');
            ++position_;
        }
        return position_ > start && !isAsciiDigit(peek()) && value <= 65535;
    }

    void quantify(Node& item) {
        uint32_t min = 0;
        uint32_t max = 0;
        switch (peek()) {
            case '?':
                max = 1;
                break;
            case '*':
                max = UNBOUNDED;
                break;
            case '+':
                min = 1;
                max = UNBOUNDED;
                break;
            case '{':
                // Only the plain forms; anything else reads differently from one
                // PCRE2 version to the next.
                ++position_;
                if (!number(min)) {
                    fail();
                    return;
                }
                max = min;
                if (peek() == ',') {
                    ++position_;
                    max = UNBOUNDED;
                    if (peek() != '}' && (!number(max) || max < min)) {
                        fail();
                        return;
                    }
                }
                if (peek() != '}') {
                    fail();
                    return;
                }
                break;
            default:
                return;
        }
        ++position_;
        if (peek() == '?' || peek() == '+') {
            ++position_;
        }
        if (std::string_view("?*+{").find(peek()) != std::string_view::npos && has(0)) {
            fail();
            return;
        }
        if (item.kind == NodeKind::EMPTY) {
            fail();
            return;
        }
        Node repeat;
        repeat.kind = NodeKind::REPEAT;
        repeat.min = min;
        repeat.max = max;
        repeat.children.push_back(std::move(item));
        item = std::move(repeat);
    }

    std::string_view text_;
    size_t position_ = 0;
    bool failed_ = false;
    bool anchorsAtStart_ = false;
};

// What a node tells about the strings it matches: either all of them (exact),
// or a set one of which every match contains (empty: nothing known).
struct LiteralInfo {
    bool exact = false;
    std::set<std::string> strings;
};

LiteralInfo exactly(std::set<std::string> strings) {
    return LiteralInfo{true, std::move(strings)};
}

// The requirement an info stands for; an exact set with the empty string in it
// requires nothing.
std::set<std::string> requirementOf(const LiteralInfo& info) {
    if (info.exact && info.strings.count("") != 0) {
        return {};
    }
    return info.strings;
}

size_t shortestLength(const std::set<std::string>& strings) {
    size_t shortest = std::numeric_limits<size_t>::max();
    for (const std::string& string : strings) {
        shortest = std::min(shortest, string.size());
    }
    return shortest;
}

// The more selective of two requirements: longer shortest string, then fewer.
std::set<std::string> better(std::set<std::string> a, std::set<std::string> b) {
    if (a.empty()) {
        return b;
    }
    if (b.empty()) {
        return a;
    }
    size_t shortestA = shortestLength(a);
    size_t shortestB = shortestLength(b);
    if (shortestA != shortestB) {
        return shortestA > shortestB ? a : b;
    }
    return b.size() < a.size() ? b : a;
}

LiteralInfo literalInfo(const Node& node);

LiteralInfo sequenceInfo(const Node& node) {
    std::set<std::string> run{""};  // the exact strings since the last break
    std::set<std::string> best;
    bool exact = true;
    for (const Node& child : node.children) {
        LiteralInfo info = literalInfo(child);
        if (!info.exact) {
            best = better(better(best, requirementOf(exactly(run))), info.strings);
            run = {""};
            exact = false;
            continue;
        }
        std::set<std::string> product;
        for (const std::string& head : run) {
            for (const std::string& tail : info.strings) {
                product.insert(head + tail);
            }
        }
        if (product.size() <= MAX_EXACT_STRINGS) {
            run = std::move(product);
            continue;
        }
        best = better(best, requirementOf(exactly(run)));
        run = std::move(info.strings);
        exact = false;
    }
    if (exact) {
        return exactly(std::move(run));
    }
    return LiteralInfo{false, better(best, requirementOf(exactly(run)))};
}

LiteralInfo alternationInfo(const Node& node) {
    std::vector<LiteralInfo> branches;
    bool allExact = true;
    std::set<std::string> all;
    for (const Node& child : node.children) {
        branches.push_back(literalInfo(child));
        allExact = allExact && branches.back().exact;
        all.insert(branches.back().strings.begin(), branches.back().strings.end());
    }
    if (allExact && all.size() <= MAX_EXACT_STRINGS) {
        return exactly(std::move(all));
    }
    std::set<std::string> required;
    for (const LiteralInfo& branch : branches) {
        std::set<std::string> requirement = requirementOf(branch);
        if (requirement.empty()) {
            return LiteralInfo{};
        }
        required.insert(requirement.begin(), requirement.end());
    }
    if (required.size() > MAX_REQUIRED_STRINGS) {
        return LiteralInfo{};
    }
    return LiteralInfo{false, std::move(required)};
}

LiteralInfo repeatInfo(const Node& node) {
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
    return LiteralInfo{false, requirementOf(item)};
}

LiteralInfo literalInfo(const Node& node) {
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

constexpr size_t UNLIMITED = std::numeric_limits<size_t>::max();

size_t addLengths(size_t a, size_t b) {
    return (a == UNLIMITED || b == UNLIMITED || a > UNLIMITED - b) ? UNLIMITED : a + b;
}

// The most bytes a node can match.
size_t maximumLength(const Node& node) {
    switch (node.kind) {
        case NodeKind::LITERAL:
            return 1;
        case NodeKind::ANY:
            return node.ways;  // "\R" takes up to two bytes, the others one
        case NodeKind::EMPTY:
            return 0;
        case NodeKind::SEQUENCE: {
            size_t sum = 0;
            for (const Node& child : node.children) {
                sum = addLengths(sum, maximumLength(child));
            }
            return sum;
        }
        case NodeKind::ALTERNATION: {
            size_t most = 0;
            for (const Node& child : node.children) {
                most = std::max(most, maximumLength(child));
            }
            return most;
        }
        case NodeKind::REPEAT: {
            size_t item = maximumLength(node.children[0]);
            if (item == 0) {
                return 0;
            }
            if (node.max == UNBOUNDED || item == UNLIMITED || node.max > UNLIMITED / item) {
                return UNLIMITED;
            }
            return item * node.max;
        }
    }
    return UNLIMITED;
}

// Where in `text` the first of the required literals begins (it holds one).
size_t firstRequiredAt(const std::string& text, const std::set<std::string>& required) {
    size_t first = UNLIMITED;
    for (const std::string& literal : required) {
        first = std::min(first, text.find(literal));
    }
    return first;
}

bool holdsOneOf(const std::string& text, const std::set<std::string>& required) {
    for (const std::string& literal : required) {
        if (text.find(literal) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Marks what a subject without any of `required` can never get past: a run of
// exact items every string of which holds a required literal cannot match in
// such a subject, so nothing after it in its sequence is ever tried. Returns
// whether `node` never completes there.
bool markDeadEnds(Node& node, const std::set<std::string>& required) {
    switch (node.kind) {
        case NodeKind::LITERAL:
            node.neverEnds = holdsOneOf(std::string(1, node.byte), required);
            node.lead = 0;
            break;
        case NodeKind::ANY:
        case NodeKind::EMPTY:
            break;
        case NodeKind::SEQUENCE: {
            node.reachable = node.children.size();
            std::set<std::string> run{""};  // the exact strings of the run ending here
            size_t beforeRun = 0;           // the most bytes the items before it match
            size_t beforeChild = 0;         // the same for the items before this one
            for (size_t index = 0; index < node.children.size(); ++index) {
                Node& child = node.children[index];
                bool childNeverEnds = markDeadEnds(child, required);
                LiteralInfo info = literalInfo(child);
                if (!info.exact) {
                    run = {""};
                } else {
                    std::set<std::string> product;
                    for (const std::string& head : run) {
                        for (const std::string& tail : info.strings) {
                            product.insert(head + tail);
                        }
                    }
                    if (product.size() > MAX_EXACT_STRINGS) {
                        product = info.strings;
                        beforeRun = beforeChild;
                    }
                    run = std::move(product);
                }
                bool runNeverMatches = std::all_of(
                    run.begin(), run.end(),
                    [&](const std::string& text) { return holdsOneOf(text, required); });
                if (childNeverEnds || runNeverMatches) {
                    node.neverEnds = true;
                    node.reachable = index + 1;
                    if (childNeverEnds) {
                        node.lead = addLengths(beforeChild, child.lead);
                    }
                    if (runNeverMatches) {
                        size_t within = 0;
                        for (const std::string& text : run) {
                            within = std::max(within, firstRequiredAt(text, required));
                        }
                        node.lead = std::min(node.lead, addLengths(beforeRun, within));
                    }
                    break;
                }
                beforeChild = addLengths(beforeChild, maximumLength(child));
                if (!info.exact) {
                    beforeRun = beforeChild;
                }
            }
            break;
        }
        case NodeKind::ALTERNATION: {
            node.neverEnds = true;
            node.lead = 0;
            for (Node& child : node.children) {
                node.neverEnds = markDeadEnds(child, required) && node.neverEnds;
                node.lead = std::max(node.lead, child.lead);
            }
            break;
        }
        case NodeKind::REPEAT:
            node.neverEnds = markDeadEnds(node.children[0], required) && node.min > 0;
            node.lead = node.children[0].lead;
            break;
    }
    return node.neverEnds;
}

// An upper bound of the backtracking steps the interpreter spends on one node
// from one position when everything after it keeps failing: `ways` is how many
// different ends it can reach, `steps` what trying all of them costs, on a
// subject without the required literals (markDeadEnds has marked the nodes).
// Generous on purpose (the tests check it against the library's own count);
// doubles, so that a bound too large to matter is infinity.
struct StepBound {
    double ways = 1;
    double steps = 1;
};

StepBound reachableStepBound(const Node& node, double length);

size_t minimumLength(const Node& node) {
    switch (node.kind) {
        case NodeKind::LITERAL:
        case NodeKind::ANY:
            return 1;
        case NodeKind::EMPTY:
            return 0;
        case NodeKind::SEQUENCE: {
            size_t sum = 0;
            for (const Node& child : node.children) {
                sum += minimumLength(child);
            }
            return sum;
        }
        case NodeKind::ALTERNATION: {
            size_t least = std::numeric_limits<size_t>::max();
            for (const Node& child : node.children) {
                least = std::min(least, minimumLength(child));
            }
            return least;
        }
        case NodeKind::REPEAT:
            return node.min * minimumLength(node.children[0]);
    }
    return 0;
}

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

StepBound stepBound(const Node& node, double length) {
    StepBound bound = reachableStepBound(node, length);
    if (node.neverEnds) {
        bound.ways = 0;
    }
    return bound;
}

StepBound reachableStepBound(const Node& node, double length) {
    constexpr double INFINITE = std::numeric_limits<double>::infinity();
    switch (node.kind) {
        case NodeKind::LITERAL:
        case NodeKind::EMPTY:
            return StepBound{1, 1};
        case NodeKind::ANY:
            return StepBound{static_cast<double>(node.ways), static_cast<double>(node.ways)};
        case NodeKind::SEQUENCE: {
            StepBound total{1, 0};
            auto end = node.children.begin() +
                       static_cast<std::ptrdiff_t>(std::min(node.reachable, node.children.size()));
            for (auto child = std::make_reverse_iterator(end); child != node.children.rend();
                 ++child) {
                StepBound bound = stepBound(*child, length);
                total.steps = bound.steps + bound.ways * total.steps;
                total.ways *= bound.ways;
            }
            total.steps += 1;
            return total;
        }
        case NodeKind::ALTERNATION: {
            StepBound total{0, 2};
            for (const Node& child : node.children) {
                StepBound bound = stepBound(child, length);
                total.ways += bound.ways;
                total.steps += bound.steps + 1;
            }
            return total;
        }
        case NodeKind::REPEAT: {
            const Node& item = node.children[0];
            size_t itemLength = minimumLength(item);
            double max = node.max == UNBOUNDED ? INFINITE : node.max;
            if (itemLength > 0) {
                max = std::min(max, std::floor(length / static_cast<double>(itemLength)));
            }
            if (max == INFINITE) {
                return StepBound{INFINITE, INFINITE};  // empty repetitions without end
            }
            max = std::max(max, static_cast<double>(node.min));
            StepBound one = stepBound(item, length);
            return StepBound{powerSum(one.ways, node.min, max),
                             powerSum(one.ways, 0, max) * (one.steps + 3) + 3};
        }
    }
    return StepBound{INFINITE, INFINITE};
}

bool stepsStayBelow(const Node& root, uint64_t length, uint64_t stepLimit) {
    double steps = 2 * stepBound(root, static_cast<double>(length)).steps + 64;
    return steps <= static_cast<double>(stepLimit);
}

// The longest subject length whose bound stays within the limit (the bound
// grows with the length).
size_t longestSkippableLength(const Node& root, uint64_t stepLimit) {
    uint64_t low = 0;
    uint64_t high = std::numeric_limits<size_t>::max();
    if (stepsStayBelow(root, high, stepLimit)) {
        return static_cast<size_t>(high);
    }
    while (high - low > 1) {
        uint64_t middle = low + (high - low) / 2;
        if (stepsStayBelow(root, middle, stepLimit)) {
            low = middle;
        } else {
            high = middle;
        }
    }
    return static_cast<size_t>(low);
}

}  // namespace

RequiredLiterals requiredLiteralsOf(std::string_view pattern, uint64_t stepLimit) {
    RequiredLiterals result;
    Node root;
    PatternReader reader(pattern);
    if (!reader.read(root)) {
        return result;
    }
    std::set<std::string> required = requirementOf(literalInfo(root));
    if (required.empty()) {
        return result;
    }
    markDeadEnds(root, required);
    if (!stepsStayBelow(root, 0, stepLimit)) {
        return result;
    }
    result.anyOf.assign(required.begin(), required.end());
    result.skipUpTo = longestSkippableLength(root, stepLimit);
    // Before the lead, a search could only meet attempts that fail as on a
    // subject without the literals: within the limit when any length is.
    if (root.neverEnds && !reader.anchorsAtStart() &&
        result.skipUpTo == std::numeric_limits<size_t>::max()) {
        result.lead = root.lead;
    }
    return result;
}

}  // namespace cw
