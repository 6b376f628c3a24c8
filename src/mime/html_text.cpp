#include "mime/html_text.h"

#include <algorithm>
#include <cstring>

#include "common/text_ops.h"

namespace cw {

namespace {

// What a tag leaves in the visible text.
enum class Gap { NONE, SPACE, BREAK };

constexpr std::string_view BREAKING_TAGS[] = {
    "address", "article", "aside",   "blockquote", "body",  "br",   "caption", "center", "dd",
    "div",     "dl",      "dt",      "footer",     "form",  "h1",   "h2",      "h3",     "h4",
    "h5",      "h6",      "head",    "header",     "hr",    "html", "li",      "ol",     "option",
    "p",       "pre",     "section", "table",      "title", "tr",   "ul",
};
constexpr std::string_view CELL_TAGS[] = {"td", "th"};
// Elements whose content is never shown.
constexpr std::string_view HIDDEN_CONTENT_TAGS[] = {"script", "style"};

constexpr size_t LONGEST_TAG_NAME = 10;
constexpr size_t LONGEST_DECIMAL_REFERENCE = 7;
constexpr size_t LONGEST_HEX_REFERENCE = 6;
constexpr unsigned NO_BREAK_SPACE = 160;

struct NamedEntity {
    const char* name;
    char byte;
};
constexpr NamedEntity NAMED_ENTITIES[] = {
    {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", ' '},
};

// The name tables are sorted, so that a tag name is looked up in a few
// comparisons: HTML mail holds a tag every few bytes.
static_assert(std::is_sorted(std::begin(BREAKING_TAGS), std::end(BREAKING_TAGS)));
static_assert(std::is_sorted(std::begin(CELL_TAGS), std::end(CELL_TAGS)));
static_assert(std::is_sorted(std::begin(HIDDEN_CONTENT_TAGS), std::end(HIDDEN_CONTENT_TAGS)));

template <size_t N>
bool isOneOf(std::string_view name, const std::string_view (&names)[N]) {
    return std::binary_search(std::begin(names), std::end(names), name);
}

// Collects the visible bytes, turning the gaps between them into one space or
// one line break.
class VisibleText {
  public:
    explicit VisibleText(size_t capacity) { text_.reserve(capacity); }
    void gap(Gap gap) { pending_ = std::max(pending_, gap); }
    void put(char c) { put(std::string_view(&c, 1)); }
    // Bytes shown as they stand, no gap among them.
    void put(std::string_view run) {
        if (pending_ != Gap::NONE && !text_.empty()) {
            text_ += pending_ == Gap::BREAK ? '\n' : ' ';
        }
        pending_ = Gap::NONE;
        text_ += run;
    }
    // A byte that a reference gave: white space counts as a gap, as in the source.
    void putReferenced(unsigned value) {
        if (value == NO_BREAK_SPACE || isWhiteSpace(static_cast<unsigned char>(value))) {
            gap(Gap::SPACE);
        } else {
            put(static_cast<char>(value));
        }
    }
    std::string take() { return std::move(text_); }

  private:
    std::string text_;
    Gap pending_ = Gap::NONE;
};

// The lower-case name of the tag whose text begins behind its '<' (and '/').
std::string tagName(std::string_view text) {
    std::string name;
    for (char c : text) {
        if (!isAsciiLetter(c) && !isAsciiDigit(c)) {
            break;
        }
        if (name.size() == LONGEST_TAG_NAME) {
            return "";
        }
        name += asciiLower(c);
    }
    return name;
}

Gap gapOfTag(std::string_view name) {
    if (isOneOf(name, BREAKING_TAGS)) {
        return Gap::BREAK;
    }
    return isOneOf(name, CELL_TAGS) ? Gap::SPACE : Gap::NONE;
}

// The value of the numeric reference behind "&#" in `text`, and how many bytes
// of `text` it takes; 0 when there is none.
size_t readNumericReference(std::string_view text, unsigned& value) {
    bool hex = !text.empty() && (text[0] == 'x' || text[0] == 'X');
    size_t position = hex ? 1 : 0;
    size_t longest = position + (hex ? LONGEST_HEX_REFERENCE : LONGEST_DECIMAL_REFERENCE);
    value = 0;
    size_t digitsStart = position;
    for (; position < text.size() && position < longest; ++position) {
        int digit = hex ? hexDigitValue(text[position])
                        : (isAsciiDigit(text[position]) ? text[position] - '0' : -1);
        if (digit < 0) {
            break;
        }
        value = value * (hex ? 16 : 10) + static_cast<unsigned>(digit);
    }
    if (position == digitsStart) {
        return 0;
    }
    if (position < text.size() && text[position] == ';') {
        ++position;
    }
    return position;
}

// Decodes the reference at `text` (which begins with '&') into `out`. Returns
// the bytes it took, 0 when it is no reference this decodes.
size_t decodeReference(std::string_view text, VisibleText& out) {
    if (text.size() > 2 && text[1] == '#') {
        unsigned value = 0;
        size_t length = readNumericReference(text.substr(2), value);
        if (length == 0 || value == 0 || value > 0xFF) {
            return 0;
        }
        out.putReferenced(value);
        return 2 + length;
    }
    for (const NamedEntity& entity : NAMED_ENTITIES) {
        size_t length = std::strlen(entity.name);
        if (text.size() > length + 1 && text[length + 1] == ';' &&
            startsWithNoCase(text.data() + 1, entity.name, length)) {
            out.putReferenced(static_cast<unsigned char>(entity.byte));
            return length + 2;
        }
    }
    return 0;
}

// Finds `what` (ASCII case folded) in `text` from `from`; npos when absent.
size_t findNoCase(std::string_view text, const char* what, size_t from) {
    size_t length = std::strlen(what);
    for (size_t position = from; position + length <= text.size(); ++position) {
        if (startsWithNoCase(text.data() + position, what, length)) {
            return position;
        }
    }
    return std::string_view::npos;
}

// The markup that begins at `position` (a '<'): a comment, a tag, or an element
// whose content is hidden. Returns where it ends, having given its gap to
// `out`, or `position` when it is no markup. `closeLeft` turns false once no
// '>' is left, so that no later '<' searches for one again.
size_t skipMarkup(std::string_view html, size_t position, VisibleText& out, bool& closeLeft) {
    std::string_view rest = html.substr(position);
    if (rest.starts_with("<!--")) {
        size_t end = html.find("-->", position + 4);
        return end == std::string_view::npos ? html.size() : end + 3;
    }
    if (rest.size() < 2) {
        return position;
    }
    bool closing = rest[1] == '/';
    char first = closing && rest.size() > 2 ? rest[2] : rest[1];
    if (!isAsciiLetter(first) && first != '!' && first != '?') {
        return position;
    }
    size_t close = closeLeft ? html.find('>', position) : std::string_view::npos;
    if (close == std::string_view::npos) {
        closeLeft = false;
        return position;
    }
    std::string name = tagName(rest.substr(closing ? 2 : 1));
    out.gap(gapOfTag(name));
    if (closing || !isOneOf(name, HIDDEN_CONTENT_TAGS)) {
        return close + 1;
    }
    size_t end = findNoCase(html, ("</" + name).c_str(), close + 1);
    size_t endClose = end == std::string_view::npos ? end : html.find('>', end);
    return endClose == std::string_view::npos ? html.size() : endClose + 1;
}

// The bytes that may begin markup, a reference or a gap.
struct SpecialBytes {
    bool byte[256];
    constexpr SpecialBytes() : byte() {
        for (int c = 0; c < 256; ++c) {
            byte[c] = c == '<' || c == '&' || isWhiteSpace(static_cast<unsigned char>(c));
        }
    }
};
constexpr SpecialBytes SPECIAL;

}  // namespace

std::string htmlVisibleText(std::string_view html) {
    VisibleText out(html.size());
    bool closeLeft = true;
    size_t position = 0;
    while (position < html.size()) {
        // A run of ordinary bytes goes over as it stands.
        size_t runEnd = position;
        while (runEnd < html.size() && !SPECIAL.byte[static_cast<unsigned char>(html[runEnd])]) {
            ++runEnd;
        }
        if (runEnd > position) {
            out.put(html.substr(position, runEnd - position));
            position = runEnd;
            continue;
        }
        char c = html[position];
        size_t next = position;
        if (c == '<') {
            next = skipMarkup(html, position, out, closeLeft);
        } else if (c == '&') {
            next = position + decodeReference(html.substr(position), out);
        } else if (isWhiteSpace(static_cast<unsigned char>(c))) {
            out.gap(Gap::SPACE);
            next = position + 1;
        }
        if (next == position) {
            out.put(c);
            ++next;
        }
        position = next;
    }
    return out.take();
}

}  // namespace cw
