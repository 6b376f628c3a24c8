#include "cobbleweave_scan/lint_notes.h"

#include <string>

#include "engine/pattern.h"

namespace cw::scantool {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Where the rule reader stops in a rule it refuses: the '{', '[' or '"' that is
// never closed, or the first element that is none of score, {pattern}, "text"
// and [comment]. npos when it would read the rule whole.
size_t readerStop(std::string_view rule) {
    size_t p = 0;
    auto skipBlanks = [&] {
        while (p < rule.size() && isBlank(rule[p])) {
            ++p;
        }
    };
    skipBlanks();
    size_t digits = rule.find_first_not_of("0123456789", p);
    if (digits != p && digits != std::string_view::npos && isBlank(rule[digits])) {
        p = digits;  // a conditional block number
        skipBlanks();
    }
    while (p < rule.size() && std::string_view("+%=-@!~").find(rule[p]) != std::string_view::npos) {
        ++p;
        skipBlanks();
    }
    p = rule.find(' ', p);  // the field ends at the first blank, never at a TAB
    if (p == std::string_view::npos) {
        return p;
    }
    skipBlanks();
    while (p < rule.size() &&
           std::string_view("0123456789-.").find(rule[p]) != std::string_view::npos) {
        ++p;
    }
    skipBlanks();
    while (p < rule.size()) {
        char open = rule[p];
        size_t close = std::string_view::npos;
        if (open == '{' || open == '[') {
            int depth = 0;
            for (size_t q = p; q < rule.size() && close == std::string_view::npos; ++q) {
                depth += rule[q] == open ? 1 : 0;
                if (rule[q] == (open == '{' ? '}' : ']') && --depth == 0) {
                    close = q;
                }
            }
        } else if (open == '"') {
            close = rule.find('"', p + 1);
        }
        if (close == std::string_view::npos) {
            return p;
        }
        p = close + 1;
        skipBlanks();
    }
    return std::string_view::npos;
}

}  // namespace

std::string_view scoreToken(std::string_view line) {
    size_t colon = line.find(':');
    if (line.empty() || line[0] == '#' || colon == std::string_view::npos) {
        return {};
    }
    size_t start = line.find_first_not_of(" \t", colon + 1);
    if (start == std::string_view::npos) {
        return {};
    }
    size_t end = line.find_first_not_of("0123456789-.", start);
    return line.substr(start, (end == std::string_view::npos ? line.size() : end) - start);
}

std::string refusalReason(const QuotingNote& note, std::string_view rule) {
    size_t stop = readerStop(rule);
    if (note.prefix == "error: error in [") {
        if (stop == std::string_view::npos) {
            return "the rule cannot be read";
        }
        std::string_view element = rule.substr(stop);
        element = element.substr(0, element.find_first_of(" \t"));
        // Appended piece by piece: GCC 12 misreads "x" + std::string on i686 as an
        // overlapping copy (-Wrestrict).
        std::string refusal(1, '\'');
        refusal.append(element);
        refusal.append(
            "' is not a score, a {pattern}, a \"text\" or a [comment] (a text is written \"");
        refusal.append(element);
        refusal.append("\")");
        return refusal;
    }
    std::string reason(note.meaning);
    if (note.prefix == "error: error in {} [" && stop != std::string_view::npos) {
        // What the pattern would be without a closing brace: PCRE2's own words.
        PatternCompileResult compiled = compilePattern(rule.substr(stop + 1), false);
        if (compiled.pattern == nullptr) {
            reason += "; read to the end of the line, the pattern fails: " + compiled.errorText +
                      " at offset " + std::to_string(compiled.errorOffset);
        }
    }
    return reason;
}

std::string compileFailure(std::string_view offsetLine) {
    offsetLine.remove_prefix(COMPILE_OFFSET_LINE.size());
    size_t colon = offsetLine.find(": ");
    if (colon == std::string_view::npos) {
        return std::string(offsetLine);
    }
    return std::string(offsetLine.substr(colon + 2)) + " at offset " +
           std::string(offsetLine.substr(0, colon));
}

}  // namespace cw::scantool
