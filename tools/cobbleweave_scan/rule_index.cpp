#include "cobbleweave_scan/rule_index.h"

#include <charconv>
#include <cstring>

#include "common/number_text.h"
#include "config/include_keywords.h"

namespace cw::scantool {

namespace {

constexpr std::string_view WHITE_SPACE = " \t\n\v\f\r";
constexpr std::string_view FLAG_CHARACTERS = "!%+-=@~";
constexpr std::string_view LIST_COMMENT = "BL";
constexpr char GENERATED_KEY_MARK = '\x01';

bool isWhite(char c) {
    return WHITE_SPACE.find(c) != std::string_view::npos;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The longest decimal number at the start of `text`; 0 when there is none.
double leadingNumber(std::string_view text) {
    double value = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// Behind the element that begins at text[0] with `open` and ends with the
// `close` that brings the depth to 0 and is followed by white space or the end;
// npos when there is no such end.
size_t elementEnd(std::string_view text, char open, char close) {
    int depth = 1;
    for (size_t index = 1; index < text.size(); ++index) {
        if (text[index] == open) {
            ++depth;
        } else if (text[index] == close && --depth == 0 &&
                   (index + 1 == text.size() || isWhite(text[index + 1]))) {
            return index + 1;
        }
    }
    return depth == 0 ? text.size() : std::string_view::npos;
}

std::string generatedKey(std::string_view label, ListRuleForm form, std::string_view entry) {
    std::string key(1, GENERATED_KEY_MARK);
    key.append(label).push_back(form == ListRuleForm::QUOTED ? '"' : '{');
    return key.append(entry);
}

// The key of a logged rule that a list made ("Subject: 3.0 {entry} [BL]"), or
// empty when the text has not that form.
std::string generatedKeyOfText(std::string_view text) {
    for (const IncludeKeyword& keyword : includeKeywords()) {
        std::string_view label = keyword.label;
        if (keyword.form == ListRuleForm::WHOLE_LINE || !text.starts_with(label) ||
            text.size() <= label.size() || text[label.size()] != ' ') {
            continue;
        }
        std::string_view rest = text.substr(label.size() + 1);
        size_t scoreEnd = rest.find_first_not_of("0123456789.-");
        if (scoreEnd == std::string_view::npos || rest[scoreEnd] != ' ' ||
            !rest.ends_with(" [BL]")) {
            return "";
        }
        std::string_view element = rest.substr(scoreEnd + 1, rest.size() - scoreEnd - 6);
        if (element.size() >= 2 && element.front() == '"' && element.back() == '"') {
            return generatedKey(label, ListRuleForm::QUOTED, element.substr(1, element.size() - 2));
        }
        if (element.size() >= 2 && element.front() == '{' && element.back() == '}') {
            return generatedKey(label, ListRuleForm::BRACED, element.substr(1, element.size() - 2));
        }
    }
    return "";
}

// The lines of a text file with their line ends and trailing white space removed.
std::vector<std::string> fileLines(const std::string& path) {
    std::string content = readWholeFile(path);
    std::vector<std::string> lines;
    std::string_view rest = content;
    while (!rest.empty()) {
        size_t feed = rest.find('\n');
        std::string_view line = rest.substr(0, feed);
        rest = feed == std::string_view::npos ? std::string_view() : rest.substr(feed + 1);
        size_t last = line.find_last_not_of(WHITE_SPACE);
        lines.emplace_back(last == std::string_view::npos ? std::string_view()
                                                          : line.substr(0, last + 1));
    }
    return lines;
}

void addRule(RuleIndex& index, IndexedRule rule, const std::string& key) {
    index.byKey[key].push_back(index.rules.size());
    index.rules.push_back(std::move(rule));
}

void addRuleLine(RuleIndex& index, const std::string& file, int line, std::string_view text) {
    std::string_view rule = trimmed(text);
    RuleShape shape = readRuleShape(rule);
    if (shape.scores) {
        addRule(index, IndexedRule{file, line, std::string(rule), shape.comment, shape.score},
                std::string(rule));
    }
}

// The include line's score, as the loader reads it.
double includeScore(std::string_view line, const IncludeKeyword& keyword) {
    std::string_view text = line.substr(line.find_first_not_of(WHITE_SPACE));
    return includeScoreOf(std::string(trimmed(text.substr(std::strlen(keyword.keyword)))).c_str());
}

void addListRules(RuleIndex& index, const ListFileRead& list, const IncludeKeyword& keyword,
                  double score) {
    std::vector<std::string> lines = fileLines(list.path);
    for (size_t number = 0; number < lines.size(); ++number) {
        std::string_view entry = trimmed(lines[number]);
        if (entry.empty()) {
            continue;
        }
        int line = static_cast<int>(number) + 1;
        if (keyword.form == ListRuleForm::WHOLE_LINE) {
            addRuleLine(index, list.path, line, entry);
            continue;
        }
        std::string text = listRulePrefix(keyword, score);
        text.append(entry).append(listRuleSuffix(keyword));
        // Scored as the rule's text says: with one decimal.
        double ruleScore = readLeadingDecimal(formatFixed1(score).c_str());
        addRule(index, IndexedRule{list.path, line, text, std::string(LIST_COMMENT), ruleScore},
                generatedKey(list.label, keyword.form, entry));
    }
}

}  // namespace

RuleShape readRuleShape(std::string_view line) {
    RuleShape shape;
    std::string_view text = trimmed(line);
    if (text.empty() || text.front() == '#') {
        return shape;
    }
    if (isDigit(text.front())) {
        size_t digits = text.find_first_not_of("0123456789");
        if (digits == std::string_view::npos || !isWhite(text[digits])) {
            return shape;
        }
        text = trimmed(text.substr(digits));
    }
    bool chain = false;
    while (!text.empty() && FLAG_CHARACTERS.find(text.front()) != std::string_view::npos) {
        chain = chain || text.front() == '@';
        text = trimmed(text.substr(1));
    }
    size_t blank = text.find(' ');
    if (chain || blank == std::string_view::npos) {
        return shape;
    }
    text = trimmed(text.substr(blank));
    size_t scoreEnd = std::min(text.size(), text.find_first_not_of("0123456789.-"));
    shape.score = scoreEnd == 0 ? 1.0 : leadingNumber(text.substr(0, scoreEnd));
    shape.scoreOffset = text.empty() ? 0 : static_cast<size_t>(text.data() - line.data());
    shape.scoreLength = scoreEnd;
    text = trimmed(text.substr(scoreEnd));
    bool hasPattern = false;
    while (!text.empty()) {
        size_t end;
        if (text.front() == '{') {
            end = elementEnd(text, '{', '}');
            hasPattern = true;
        } else if (text.front() == '[') {
            end = elementEnd(text, '[', ']');
            if (end != std::string_view::npos) {
                shape.comment = std::string(text.substr(1, end - 2));
            }
        } else if (text.front() == '"') {
            end = text.find('"', 1);
            end = end == std::string_view::npos ? end : end + 1;
            hasPattern = true;
        } else {
            return shape;
        }
        if (end == std::string_view::npos) {
            return shape;
        }
        text = trimmed(text.substr(end));
    }
    shape.scores = hasPattern;
    return shape;
}

RuleIndex buildRuleIndex(const std::vector<RuleFileRead>& files) {
    RuleIndex index;
    for (const RuleFileRead& file : files) {
        std::vector<std::string> lines = fileLines(file.path);
        size_t nextList = 0;
        for (size_t number = 0; number < lines.size(); ++number) {
            const std::string& line = lines[number];
            if (const IncludeKeyword* keyword = includeKeywordOf(line.c_str())) {
                if (nextList < file.lists.size()) {
                    addListRules(index, file.lists[nextList++], *keyword,
                                 includeScore(line, *keyword));
                }
                continue;
            }
            addRuleLine(index, file.path, static_cast<int>(number) + 1, line);
        }
    }
    return index;
}

size_t ruleOfLoggedText(RuleIndex& index, const std::string& loggedText, size_t occurrence) {
    const std::string text = unescapedLogText(loggedText);
    auto found = index.byKey.find(text);
    if (found == index.byKey.end()) {
        std::string key = generatedKeyOfText(text);
        found = key.empty() ? index.byKey.end() : index.byKey.find(key);
    }
    if (found == index.byKey.end()) {
        RuleShape shape = readRuleShape(text);
        IndexedRule rule{"", 0, text, shape.comment, shape.score};
        addRule(index, std::move(rule), text);
        return index.rules.size() - 1;
    }
    const std::vector<size_t>& rules = found->second;
    return rules[std::min(occurrence, rules.size() - 1)];
}

}  // namespace cw::scantool
