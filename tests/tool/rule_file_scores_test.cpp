// Finding the score token of a rule line and the "# fit:" lines, byte for byte.
#include "cobbleweave_scan/rule_file_scores.h"

#include <gtest/gtest.h>

namespace {

using cw::scantool::fitLimitsOfLines;
using cw::scantool::withScore;

TEST(RuleFileScoresTest, ReplacesOnlyTheScoreToken) {
    struct Case {
        std::string line;
        std::string expected;  // empty: no rule to write a score into
    } cases[] = {
        {"Subject: 1.0 {x}", "Subject: 2.5 {x}"},
        {"  1 !Body:  2  \"win\"  [win]\r", "  1 !Body:  2.5  \"win\"  [win]\r"},
        {"+ ~From: \t-4 \"a@b\"", "+ ~From: \t2.5 \"a@b\""},
        {"~Subject: {x} [y]", "~Subject: 2.5 {x} [y]"},
        {"Body:   {x}\r", "Body:   2.5 {x}\r"},
        {"THRESHOLD_SPAM 5.0", ""},
        {"Subject: 1.0", ""},
        {"# Subject: 1.0 {x}", ""},
        {"", ""},
    };
    for (const Case& test : cases) {
        std::optional<std::string> changed = withScore(test.line, 2.5);
        EXPECT_EQ(test.expected, changed.value_or("")) << test.line;
    }
}

TEST(RuleFileScoresTest, FitLinesSetTheLimitOfTheLinesBelow) {
    struct Case {
        std::string_view line;
        double sign;  // 0: the score stays
        double cap;
    } cases[] = {
        {"Subject: {above every fit line}", 0, 0},
        {"# fit: at most 3.0", 1, 3.0},
        {"Subject: {x}", 1, 3.0},
        {"#fit:at most 2\r", 1, 2.0},
        {"# fit: at most x", 1, 2.0},  // not a fit line: the limit above holds
        {"  #  fit:  at least -1.5  ", -1, 1.5},
        {"# fit: at least 1.5", -1, 1.5},
        {"# fit: fixed", 0, 0},
        {"Subject: {y}", 0, 0},
    };
    std::vector<std::string_view> lines;
    for (const Case& test : cases) {
        lines.push_back(test.line);
    }
    auto limits = fitLimitsOfLines(lines);
    ASSERT_EQ(lines.size(), limits.size());
    for (size_t index = 0; index < lines.size(); ++index) {
        EXPECT_EQ(cases[index].sign, limits[index] ? limits[index]->sign : 0) << lines[index];
        EXPECT_EQ(cases[index].cap, limits[index] ? limits[index]->cap : 0) << lines[index];
    }
}

}  // namespace
