#include "engine/rule_set.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/text_ops.h"

namespace cw {
namespace {

RuleSet& compiled(FilterConfig& config, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        config.lines.append(line, ORIGIN_MAIN);
    }
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
    config.lines.append("Subject: {fr.e}", ORIGIN_MAIN);
    config.lines.append("Subject: {(}", ORIGIN_MAIN);
    RuleSet& set = ruleSetOf(config);
    set.useJit = GetParam();
    const CompiledRule& good = set.rules[0];
    PatternEntry& first = obtainPattern(set, good.patternSlot, good.record);
    ASSERT_TRUE(first.result.pattern);
    EXPECT_EQ(first.result.pattern.get(),
              obtainPattern(set, good.patternSlot, good.record).result.pattern.get());
    // The machine code is made for the first match, not before.
    EXPECT_FALSE(first.result.jit);
    MatchArea area;
    EXPECT_LE(0, matchPattern(patternForMatching(first.result), "FREE", 4, area));
    EXPECT_EQ(GetParam(), first.result.jit);

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

TEST(RuleSet, LiteralPatternsAreThoseWithoutMetaCharacters) {
    const struct {
        const char* pattern;
        bool literal;
        const char* bytes;
    } cases[] = {
        {"click here", true, "click here"},
        {"earn \\$", true, "earn $"},
        {"\\.\\[x\\]", true, ".[x]"},
        {"100% free", true, "100% free"},
        {"a#b-c/d", true, "a#b-c/d"},
        {"opt.?in", false, ""},
        {"(visa|mastercard)", false, ""},
        {"a{2}", false, ""},
        {"^free", false, ""},
        {"free$", false, ""},
        {"\\d+", false, ""},
        {"a\\", false, ""},
        {"\\Qa\\E", false, ""},
    };
    for (const auto& c : cases) {
        std::string literal;
        EXPECT_EQ(c.literal, literalOfPattern(c.pattern, literal)) << c.pattern;
        if (c.literal) {
            EXPECT_EQ(c.bytes, literal) << c.pattern;
        }
    }
}

// A literal pattern, compiled caselessly, matches exactly where its folded bytes
// occur in the folded subject: what lets a literal group stand for the patterns.
TEST(RuleSet, LiteralPatternMatchesWhereItsFoldedBytesOccur) {
    std::mt19937 random(7);
    const std::string alphabet = "aAbB .$\xC4\xE4";
    auto randomText = [&](size_t maxLength) {
        std::string text(1 + random() % maxLength, ' ');
        for (char& c : text) {
            c = alphabet[random() % alphabet.size()];
        }
        return text;
    };
    MatchArea area;
    for (int round = 0; round < 500; ++round) {
        std::string literal = randomText(4);
        std::string pattern;
        for (char c : literal) {
            pattern += (c == '.' || c == '$') ? std::string("\\") + c : std::string(1, c);
        }
        std::string check;
        ASSERT_TRUE(literalOfPattern(pattern, check)) << pattern;
        ASSERT_EQ(literal, check);
        PatternCompileResult compiled = compilePattern(pattern);
        ASSERT_TRUE(compiled.pattern) << pattern;
        std::string subject = randomText(20);
        std::string foldedSubject = subject;
        std::string foldedLiteral = literal;
        lowerCaseInPlace(foldedSubject);
        lowerCaseInPlace(foldedLiteral);
        bool occurs = foldedSubject.find(foldedLiteral) != std::string::npos;
        bool matches =
            matchPattern(compiled.pattern.get(), subject.data(), subject.size(), area) >= 0;
        ASSERT_EQ(occurs, matches) << "pattern '" << pattern << "' subject '" << subject << "'";
    }
}

TEST(RuleSet, LiteralPatternRulesGroupApartFromStringRulesAndByDecoding) {
    FilterConfig config;
    RuleSet& set = compiled(config, {
                                        "~Body: {click here}",
                                        "~Body: {remove me}",
                                        "~Body: {earn \\$}",
                                        "~Body: {opt.?in}",
                                        "~Body: {100% free}",
                                        "Body: {unsubscribe}",
                                        "~Body: \"cash\"",
                                    });
    ASSERT_EQ(1u, set.groups.size());
    EXPECT_TRUE(set.groups[0].patterns);
    EXPECT_TRUE(set.groups[0].decoded);
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 2, 4}), set.groups[0].members);
    EXPECT_EQ("earn $", set.groups[0].literals[2]);
}

}  // namespace
}  // namespace cw
