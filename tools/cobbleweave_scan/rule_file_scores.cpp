#include "cobbleweave_scan/rule_file_scores.h"

#include <charconv>

#include "cobbleweave_scan/rule_index.h"

namespace cw::scantool {

namespace {

constexpr std::string_view WHITE_SPACE = " \t\n\v\f\r";

size_t skipWhite(std::string_view text, size_t position) {
    return std::min(text.size(), text.find_first_not_of(WHITE_SPACE, position));
}

// Reads `word` at `position` and moves behind it.
bool readWord(std::string_view text, size_t& position, std::string_view word) {
    if (text.substr(position, word.size()) != word) {
        return false;
    }
    position += word.size();
    return true;
}

// Reads white space, `sign` ("" or "-") and a number of digits and dots at
// `position`, and moves behind them.
bool readCap(std::string_view text, size_t& position, std::string_view sign, double& cap) {
    size_t start = skipWhite(text, position);
    if (start == position || !readWord(text, start, sign)) {
        return false;
    }
    size_t end = std::min(text.size(), text.find_first_not_of("0123456789.", start));
    auto [stop, failure] = std::from_chars(text.data() + start, text.data() + end, cap);
    position = end;
    return end > start && failure == std::errc() && stop == text.data() + end;
}

// The limit a "# fit: ..." line sets: a value, or none for "fixed"; false when
// the line is no such line.
bool readFitLine(std::string_view line, std::optional<FitLimit>& limit) {
    size_t position = skipWhite(line, 0);
    if (!readWord(line, position, "#")) {
        return false;
    }
    position = skipWhite(line, position);
    if (!readWord(line, position, "fit:")) {
        return false;
    }
    position = skipWhite(line, position);
    std::optional<FitLimit> setting;
    if (readWord(line, position, "at most")) {
        setting = FitLimit{1.0, 0.0};
    } else if (readWord(line, position, "at least")) {
        setting = FitLimit{-1.0, 0.0};
    } else if (!readWord(line, position, "fixed")) {
        return false;
    }
    if (setting && !readCap(line, position, setting->sign < 0.0 ? "-" : "", setting->cap)) {
        return false;
    }
    if (skipWhite(line, position) != line.size()) {
        return false;
    }
    limit = setting;
    return true;
}

}  // namespace

std::vector<std::string_view> splitRuleFileLines(std::string_view content) {
    std::vector<std::string_view> lines;
    while (!content.empty()) {
        size_t feed = content.find('\n');
        lines.push_back(content.substr(0, feed));
        content = feed == std::string_view::npos ? std::string_view() : content.substr(feed + 1);
    }
    return lines;
}

std::vector<std::optional<FitLimit>> fitLimitsOfLines(const std::vector<std::string_view>& lines) {
    std::vector<std::optional<FitLimit>> limits;
    std::optional<FitLimit> limit;
    for (std::string_view line : lines) {
        readFitLine(line, limit);
        limits.push_back(limit);
    }
    return limits;
}

std::string formatRuleScore(double score) {
    char text[400];
    auto printed = std::to_chars(text, text + sizeof text, score, std::chars_format::fixed, 1);
    return std::string(text, printed.ptr);
}

std::optional<std::string> withScore(std::string_view line, double score) {
    RuleShape shape = readRuleShape(line);
    if (!shape.scores) {
        return std::nullopt;
    }
    std::string token = formatRuleScore(score) + (shape.scoreLength == 0 ? " " : "");
    std::string changed(line.substr(0, shape.scoreOffset));
    return changed.append(token).append(line.substr(shape.scoreOffset + shape.scoreLength));
}

bool rewriteScores(std::string_view content, const std::vector<std::pair<int, double>>& scores,
                   std::string& rewritten, std::string& error) {
    std::vector<std::string_view> lines = splitRuleFileLines(content);
    std::vector<std::string> changed(lines.begin(), lines.end());
    for (const auto& [number, score] : scores) {
        std::optional<std::string> line;
        if (number >= 1 && static_cast<size_t>(number) <= lines.size()) {
            line = withScore(lines[number - 1], score);
        }
        if (!line) {
            error = "line " + std::to_string(number) + " is no rule with a score";
            return false;
        }
        changed[number - 1] = *line;
    }
    rewritten.clear();
    for (size_t index = 0; index < changed.size(); ++index) {
        rewritten += changed[index];
        if (index + 1 < changed.size() || content.ends_with('\n')) {
            rewritten += '\n';
        }
    }
    return true;
}

}  // namespace cw::scantool
