#include "engine/rule_set.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/text_ops.h"

namespace cw {
namespace {

const RuleSet& compiled(FilterConfig& config, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        config.lines.append(line, ORIGIN_MAIN);
    }
    compileRuleSet(config);
    return ruleSetOf(config);
}

TEST(RuleSet, EveryStoredLineGetsItsRecordInFileOrder) {
    FilterConfig config;
    const RuleSet& set =
        compiled(config, {"# note", "", "DEBUG", "Subject: 2 {x} [c]", "5Subject: {x}"});
    ASSERT_EQ(5u, set.rules.size());
    EXPECT_EQ(LineKind::BLANK, set.rules[0].record.kind);
    EXPECT_EQ(LineKind::BLANK, set.rules[1].record.kind);
    EXPECT_EQ(LineKind::OPTION, set.rules[2].record.kind);
    EXPECT_TRUE(set.rules[3].record.isWellFormed());
    EXPECT_EQ(FieldKind::HEADER, set.rules[3].record.field);
    EXPECT_EQ("x", set.rules[3].record.pattern);
    EXPECT_EQ(ReadNote::BLOCK_TYPE_MISMATCH, set.rules[4].record.blockNote);
}

bool matches(const PatternCompileResult& compiled, std::string_view subject) {
    MatchArea area;
    return matchPattern(compiled.pattern.get(), subject.data(), subject.size(), area) >= 0;
}

// Every pattern that can run is compiled when the configuration loads, failures
// included, and stays interpreted there: its machine code is made apart.
TEST(RuleSet, PatternsAreCompiledAtLoadFailuresToo) {
    FilterConfig config;
    const RuleSet& set = compiled(config, {"Subject: {fr.e}", "Subject: {(}"});
    const PatternCompileResult& good = set.patterns.at(set.rules[0].patternSlot);
    ASSERT_TRUE(good.pattern);
    EXPECT_FALSE(good.jit);
    EXPECT_TRUE(matches(good, "FREE"));

    const PatternCompileResult& failed = set.patterns.at(set.rules[1].patternSlot);
    EXPECT_FALSE(failed.pattern);
    EXPECT_EQ(1, failed.errorOffset);
    EXPECT_EQ("missing closing parenthesis", failed.errorText);
}

TEST(RuleSet, StringAndPatternRuleCompilesAFoldedTextOnlyWhenFoldingChangesIt) {
    FilterConfig config;
    const RuleSet& set =
        compiled(config, {"Subject: \"a\"{\\D}", "Subject: \"a\"{\\d}", "Subject: {\\D}"});
    ASSERT_NE(NO_INDEX, set.rules[0].foldedSlot);
    const PatternCompileResult& folded = set.patterns.at(set.rules[0].foldedSlot);
    EXPECT_TRUE(matches(folded, "7"));  // \d: a digit, where \D is anything else
    EXPECT_FALSE(matches(folded, "x"));
    EXPECT_TRUE(matches(set.patterns.at(set.rules[0].patternSlot), "x"));
    EXPECT_EQ(NO_INDEX, set.rules[1].foldedSlot);
    EXPECT_EQ(NO_INDEX, set.rules[2].foldedSlot);
}

TEST(RuleSet, PlainStringRulesWithoutFlagsOnOneFieldFormALiteralGroup) {
    FilterConfig config;
    const RuleSet& set = compiled(config, {
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
    const RuleSet& set = compiled(config, {
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
    // A group's patterns never run, so they are not compiled; the others are.
    EXPECT_EQ(NO_INDEX, set.rules[0].patternSlot);
    EXPECT_NE(NO_INDEX, set.rules[3].patternSlot);
    EXPECT_NE(NO_INDEX, set.rules[5].patternSlot);
}

}  // namespace
}  // namespace cw
