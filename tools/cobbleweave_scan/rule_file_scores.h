// The scores of a rule file as text: which lines the "# fit:" comments let the
// fit change, and the file with new scores written into those lines, every
// other byte as it was.
//
// A comment line sets how the rules below it, up to the next such line, are fitted:
//
//     # fit: at most 3.0     traits of spam: scores from 0.0 to 3.0
//     # fit: at least -3.0   traits of ham: scores from -3.0 to 0.0
//     # fit: fixed           the scores written by hand stay
//
// Rules above the first of them keep their scores too.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cw::scantool {

struct FitLimit {
    double sign = 1.0;  // +1: from 0 up to cap; -1: from -cap up to 0
    double cap = 0.0;
};

// The lines of a file's bytes as the rule index numbers them: cut at each LF,
// each keeping its CR, if any.
std::vector<std::string_view> splitRuleFileLines(std::string_view content);

// For each line (index 0 is line 1), the limit of the "# fit:" line above it;
// none where the score stays as written.
std::vector<std::optional<FitLimit>> fitLimitsOfLines(const std::vector<std::string_view>& lines);

// A score as the file holds it: one decimal ("2.5", "-1.0", "0.0"), rounded
// from the exact binary value, on every platform alike.
std::string formatRuleScore(double score);

// `line` with its score token replaced by `score` formatted; a rule without a
// score token gets one ("X.X ") before its first element. Nothing when the line
// is no rule that scores, as the rule index reads it.
std::optional<std::string> withScore(std::string_view line, double score);

// `content` with the score of each (line number, score) replaced; false with
// `error` naming the line that is no rule.
bool rewriteScores(std::string_view content, const std::vector<std::pair<int, double>>& scores,
                   std::string& rewritten, std::string& error);

}  // namespace cw::scantool
