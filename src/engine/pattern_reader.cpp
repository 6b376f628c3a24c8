#include "engine/pattern_reader.h"

#include <algorithm>
#include <string>

#include "common/text_ops.h"

namespace cw {

namespace {

// Rule patterns are pieces of at most 4094 bytes, room for 2,000 nested groups,
// and every pass over the tree recurses once per group. 64 keeps that to a few
// hundred frames on the host's thread, while real rules nest a handful deep.
constexpr int MAX_NESTING = 64;
// The largest count PCRE2 accepts in a {n,m} quantifier (a larger one does not
// compile), and its number of digits.
constexpr size_t MAX_REPEAT_COUNT = 65535;
constexpr size_t MAX_REPEAT_DIGITS = 5;

PatternNode leaf(NodeKind kind, char byte = 0, uint32_t ways = 1) {
    PatternNode node;
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

    std::optional<PatternTree> read() {
        PatternTree tree;
        tree.root = alternation(0);
        if (failed_ || position_ != text_.size()) {
            return std::nullopt;
        }
        tree.anchorsAtStart = anchorsAtStart_;
        return tree;
    }

  private:
    bool atEnd() const { return position_ >= text_.size(); }
    char peek(size_t ahead = 0) const {
        return position_ + ahead < text_.size() ? text_[position_ + ahead] : '\0';
    }
    bool has(size_t ahead) const { return position_ + ahead < text_.size(); }
    PatternNode fail() {
        failed_ = true;
        return PatternNode();
    }

    PatternNode alternation(int depth) {
        if (depth > MAX_NESTING) {
            return fail();
        }
        PatternNode node;
        node.kind = NodeKind::ALTERNATION;
        node.children.push_back(sequence(depth));
        while (!failed_ && !atEnd() && peek() == '|') {
            ++position_;
            node.children.push_back(sequence(depth));
        }
        return node;
    }

    PatternNode sequence(int depth) {
        PatternNode node;
        node.kind = NodeKind::SEQUENCE;
        // Every item takes a byte at least: no growing a byte at a time.
        node.children.reserve(std::min<size_t>(text_.size() - position_, 64));
        while (!failed_ && !atEnd() && peek() != '|' && peek() != ')') {
            bool isItem = true;
            PatternNode item = atom(depth, isItem);
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
    PatternNode atom(int depth, bool& isItem) {
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

    PatternNode group(int depth, bool& isItem) {
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
                return PatternNode();
            }
            if (peek(1) != ':') {
                return fail();
            }
            position_ += 2;
        }
        PatternNode inner = alternation(depth + 1);
        if (failed_ || peek() != ')' || atEnd()) {
            return fail();
        }
        ++position_;
        return inner;
    }

    // "[...]" with "]" first taken literally, escapes and POSIX names skipped.
    PatternNode byteClass() {
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

    PatternNode escape() {
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
                return leaf(NodeKind::ANY, 0, 2);  // CR LF, or one line-break byte
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

    // A repeat count of at most MAX_REPEAT_COUNT, read up to one digit past
    // its length, so that a longer run of digits fails without being read on.
    bool number(size_t& value) {
        size_t start = position_;
        value = 0;
        while (!atEnd() && isAsciiDigit(peek()) && position_ - start <= MAX_REPEAT_DIGITS) {
            value = value * 10 + static_cast<size_t>(peek() - '0');
            ++position_;
        }
        return position_ > start && !isAsciiDigit(peek()) && value <= MAX_REPEAT_COUNT;
    }

    void quantify(PatternNode& item) {
        size_t min = 0;
        size_t max = 0;
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
        PatternNode repeat;
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

}  // namespace

std::optional<PatternTree> readPattern(std::string_view pattern) {
    return PatternReader(pattern).read();
}

}  // namespace cw
