#include "engine/pattern_trial.h"

#include <gtest/gtest.h>

#include <string>

namespace cw {
namespace {

TEST(PatternTrial, GivesTheFiveAnswers) {
    const std::string info = "Info from Cobbleweave plugin";
    // Below the step limit at every starting position, but 38 s over 4 KB
    // without the rule's budget.
    const std::string runaway(4096, 'a');
    const struct {
        const char* testString;
        std::string pattern;
        std::string caption;
        std::string text;
    } cases[] = {
        {"Hello", "hello", info, "Match succeeded"},
        {"xabc", "^abc", info, "No match"},
        {"  Hello\t", "  ^hello$ ", info, "Match succeeded"},  // both texts are trimmed
        {"abc", "a(", info, "Sytax error in pattern: 2"},
        {"abc", "ab[c", info, "Sytax error in pattern: 4"},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "(a+)+$", info, "Matching error"},
        {runaway.c_str(), "[a-z]{0,92}[a-z]{0,92}[a-z]{0,92}[a-z0-9][!?]", info, "Matching error"},
        {"   ", "abc", "Error from Cobbleweave plugin",
         "You didn't enter a test string or a pattern!"},
        {"abc", "", "Error from Cobbleweave plugin",
         "You didn't enter a test string or a pattern!"},
    };
    for (const auto& c : cases) {
        PatternTrialAnswer answer = tryPattern(c.testString, c.pattern);
        EXPECT_EQ(c.caption, answer.caption) << c.testString << " / " << c.pattern;
        EXPECT_EQ(c.text, answer.text) << c.testString << " / " << c.pattern;
    }
}

}  // namespace
}  // namespace cw
