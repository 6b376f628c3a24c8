#include "engine/rule_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cw {
namespace {

RuleSet& compiled(FilterConfig& config, const std::vector<std::string>& lines) {
    config.lineTexts = lines;
    config.lineOrigins.assign(lines.size(), ORIGIN_MAIN);
    compileRuleSet(config);
    return ruleSetOf(config);
}

TEST(RuleSet, EveryStoredLineGetsItsRecordInFileOrder) {
    FilterConfig config;
    RuleSet& set = compiled(config, {"# note", "", "DEBUG", "Subject: 2 {x} [c]", "5Subject: {x}"});
    ASSERT_EQ(5u, set.rules.size());
    EXPECT_EQ(LineKind::BLANK, set.rules[0].record.kind);
    EXPECT_EQ(LineKind::BLANK, set.rules[1].record.kind);
    EXPECT_EQ(LineKind::OPTION, set.rules[2].record.kind);
    EXPECT_TRUE(set.rules[3].record.isWellFormed());
    EXPECT_EQ(FieldKind::HEADER, set.rules[3].record.field);
    EXPECT_EQ("x", set.rules[3].record.pattern);
    EXPECT_EQ(ReadNote::BLOCK_TYPE_MISMATCH, set.rules[4].record.blockNote);
}

// The cache compiles a pattern at its first use and keeps it, failures included.
class PatternCache : public testing::TestWithParam<bool> {};

TEST_P(PatternCache, CompilesOnceAndKeepsFailuresToo) {
    FilterConfig config;
    config.lineTexts = {"Subject: {fr.e}", "Subject: {(}"};
    config.lineOrigins.assign(2, ORIGIN_MAIN);
    RuleSet& set = ruleSetOf(config);
    set.useJit = GetParam();
    const CompiledRule& good = set.rules[0];
    const PatternEntry& first = obtainPattern(set, good.patternSlot, good.record);
    ASSERT_TRUE(first.result.pattern);
    EXPECT_EQ(GetParam(), first.result.jit);
    EXPECT_EQ(first.result.pattern.get(),
              obtainPattern(set, good.patternSlot, good.record).result.pattern.get());
    MatchArea area;
    EXPECT_LE(0, matchPattern(first.result.pattern.get(), "FREE", 4, area));

    const CompiledRule& bad = set.rules[1];
    const PatternEntry& failed = obtainPattern(set, bad.patternSlot, bad.record);
    EXPECT_FALSE(failed.result.pattern);
    EXPECT_EQ(1, failed.result.errorOffset);
    EXPECT_EQ("missing closing parenthesis", failed.result.errorText);
}

INSTANTIATE_TEST_SUITE_P(JitAndInterpreter, PatternCache, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& useJit) {
                             return useJit.param ? "Jit" : "Interpreter";
                         });

TEST(RuleSet, StringAndPatternRuleKeepsAFoldedTextOnlyWhenFoldingChangesIt) {
    FilterConfig config;
    RuleSet& set =
        compiled(config, {"Subject: \"a\"{\\D}", "Subject: \"a\"{\\d}", "Subject: {\\D}"});
    EXPECT_NE(NO_INDEX, set.rules[0].foldedSlot);
    EXPECT_EQ("\\d", set.patterns[set.rules[0].foldedSlot].foldedText);
    EXPECT_EQ(NO_INDEX, set.rules[1].foldedSlot);
    EXPECT_EQ(NO_INDEX, set.rules[2].foldedSlot);
}

TEST(RuleSet, PlainStringRulesWithoutFlagsOnOneFieldFormALiteralGroup) {
    FilterConfig config;
    RuleSet& set = compiled(config, {
                                        "Any-Sender: 2.0 \"a@x\" [BL]",
                                        "any-sender: \"b@x\"",
                                        "Any-Sender: \"c@x\"",
                                        "-Any-Sender: \"negated@x\"",
                                        "Any-Sender: {pattern}",
                                        "Subject: \"s\"",
                                        "Any-Sender: \"d@x\" [BL]",
                                    });
    ASSERT_EQ(1u, set.groups.size());
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 2, 6}), set.groups[0].members);
    EXPECT_EQ(3u, set.rules[6].member);
    for (uint32_t index : {3u, 4u, 5u}) {
        EXPECT_EQ(NO_INDEX, set.rules[index].group) << index;
    }
}

}  // namespace
}  // namespace cw
