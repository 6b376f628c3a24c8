#include "engine/rule_line.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "base/filter_options.h"
#include "log_capture.h"

namespace cw {
namespace {

constexpr uint32_t P = FLAG_HAS_PATTERN;
constexpr uint32_t S = FLAG_HAS_STRING;

// A line as one scan sees it: read into its record, then taken through the
// steps that depend on the options.
struct RuleLine {
    int blockNumber = 0;
    uint32_t flags = 0;
    std::string fieldType;
    double score = 1.0;
    std::string pattern;
    std::string commentLine;
    bool neverMatches = false;
};

bool readRuleLine(const std::string& line, RuleLine& rule) {
    RuleRecord record = readRuleRecord(line);
    ActiveRule active;
    bool isRule = applyRuleOptions(record, active);
    rule = RuleLine{record.blockNumber,
                    active.flags,
                    std::string(record.fieldType),
                    record.score,
                    std::string(record.pattern),
                    buildCommentLine(record),
                    active.neverMatches};
    return isRule;
}

struct ReadCase {
    const char* line;
    int blockNumber;
    uint32_t flags;
    const char* fieldType;
    double score;
    const char* pattern;
    const char* commentLine;
};

class RuleLineTest : public LogCaptureTest {
  protected:
    void expectRead(const ReadCase& c) {
        RuleLine rule;
        ASSERT_TRUE(readRuleLine(c.line, rule)) << c.line;
        EXPECT_EQ(c.blockNumber, rule.blockNumber) << c.line;
        EXPECT_EQ(c.flags, rule.flags) << c.line;
        EXPECT_EQ(c.fieldType, rule.fieldType) << c.line;
        EXPECT_DOUBLE_EQ(c.score, rule.score) << c.line;
        EXPECT_EQ(c.pattern, rule.pattern) << c.line;
        EXPECT_EQ(c.commentLine, rule.commentLine) << c.line;
        EXPECT_FALSE(rule.neverMatches) << c.line;
    }

    // Reads `line`, expects it not to be a rule, and returns what it logged.
    Lines rejectedLog(const std::string& line) {
        size_t before = logLines().size();
        RuleLine rule;
        EXPECT_FALSE(readRuleLine(line.c_str(), rule)) << line;
        Lines all = logLines();
        return Lines(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    }
};

TEST_F(RuleLineTest, WellFormedRulesAreTakenApart) {
    const ReadCase cases[] = {
        {"Subject: {free}", 0, P, "Subject:", 1.0, "free", ""},
        {" \t Subject: \"Free Offer\" \r\n", 0, S, "Subject:", 1.0, "Free Offer", ""},
        {"32 Subject: {x}", 32, P, "Subject:", 1.0, "x", ""},
        {"1\tSubject: {x}", 1, P, "Subject:", 1.0, "x", ""},
        {"~ ~Subject: {x}", 0, P | FLAG_USE_DECODED, "Subject:", 1.0, "x", ""},
        {"!-Line: {x}", 0, P | FLAG_TEXT_PARTS_ONLY | FLAG_NEGATE, "Line:", 1.0, "x", ""},
        {"@Body: {x}", 0, P | FLAG_CHAIN_WITH_NEXT, "Body:", 1.0, "x", ""},
        {"Subject: 2.5 {x}", 0, P, "Subject:", 2.5, "x", ""},
        {"Subject: 1.5.2 {x}", 0, P, "Subject:", 1.5, "x", ""},
        {"Subject: 2-3 {x}", 0, P, "Subject:", 2.0, "x", ""},
        {"Subject: - {x}", 0, P, "Subject:", 0.0, "x", ""},
        {"Subject: -5 {x}", 0, P, "Subject:", -5.0, "x", ""},
        {"Subject: .5 {x}", 0, P, "Subject:", 0.5, "x", ""},
        {"Subject: 3{x}", 0, P, "Subject:", 3.0, "x", ""},
        {"Subject: {a{2,3}} [Repeat]", 0, P, "Subject:", 1.0, "a{2,3}", "X-Quelt: Repeat\r\n"},
        {"Subject: {a}b{c}", 0, P, "Subject:", 1.0, "a}b{c", ""},
        {"Subject: {a b}  \"c d\"", 0, P | S, "Subject:", 1.0, "c d", ""},
        {"Subject: \"c\"{d}", 0, P | S, "Subject:", 1.0, "d", ""},
        {"Subject: {x} [first] [second]", 0, P, "Subject:", 1.0, "x", "X-Quelt: second\r\n"},
        {"Subject: 2 {x} []", 0, P | FLAG_CLEAR_COMMENTS, "Subject:", 2.0, "x", "X-Quelt: \r\n"},
        {"Subject: [] {x} [kept]", 0, P | FLAG_CLEAR_COMMENTS, "Subject:", 1.0, "x",
         "X-Quelt: kept\r\n"},
        {"Subject: {x} [a [nested] comment]", 0, P, "Subject:", 1.0, "x",
         "X-Quelt: a [nested] comment\r\n"},
        {"Subject:\t2 {x}", 0, P, "Subject:\t2", 1.0, "x", ""},
        {"X-Spam-Flag:   {YES}", 0, P, "X-Spam-Flag:", 1.0, "YES", ""},
        {"-Comments: {x}", 0, P | FLAG_NEGATE, "Comments:", 1.0, "x", ""},
        {"3 Debug: {x}", 3, P, "Debug:", 1.0, "x", ""},
    };
    for (const ReadCase& c : cases) {
        expectRead(c);
    }
    EXPECT_TRUE(logLines().empty());
}

TEST_F(RuleLineTest, FlagsInAnyOrderWithBlanksGiveTheSameSet) {
    RuleLine spaced;
    RuleLine glued;
    ASSERT_TRUE(readRuleLine("+ =Subject: {x}", spaced));
    ASSERT_TRUE(readRuleLine("=+Subject: {x}", glued));
    EXPECT_EQ(FLAG_WHITELIST_RULE | FLAG_STOP_AFTER_MATCH | P, spaced.flags);
    EXPECT_EQ(spaced.flags, glued.flags);
    EXPECT_EQ("Subject:", spaced.fieldType);
}

TEST_F(RuleLineTest, LinesThatAreNoRulesAreSkippedSilently) {
    const char* lines[] = {
        "",
        "   \t\r\n",
        "# Subject: {x}",
        "  #comment",
        "Comments: {x}",
        "check",
        "DEBUG",
        "profile on",
        "Quiet",
        "whitelist",
        "NOWHITELIST",
        "THRESHOLD_SPAM 5.0",
        "b_include_spam list.txt",
        "MaxSizeOfSomething: {x}",
        "+ -",
        "7 ~-",
    };
    for (const char* line : lines) {
        EXPECT_EQ(Lines{}, rejectedLog(line)) << line;
    }
}

TEST_F(RuleLineTest, MalformedRulesLogOneLineQuotingTheTrimmedText) {
    const struct {
        const char* line;
        const char* logLine;
    } cases[] = {
        {"0 Subject: {x}", "warning: conditional block value out of range (1-32) [0 Subject: {x}]"},
        {"33 Subject: {x}",
         "warning: conditional block value out of range (1-32) [33 Subject: {x}]"},
        {"99999999999 Subject: {x}",
         "warning: conditional block value out of range (1-32) [99999999999 Subject: {x}]"},
        {"5Subject: {x}", "warning: type mismatch in conditional block value [5Subject: {x}]"},
        {"  12  ", "warning: type mismatch in conditional block value [12]"},
        {"Subject:{x}", "error: no pattern found [Subject:{x}]"},
        {"-Subject:\t{x}", "error: no pattern found [-Subject:\t{x}]"},
        {"Subject: {x", "error: error in {} [Subject: {x]"},
        {"Subject: {a}b} [c]", "error: error in {} [Subject: {a}b} [c]]"},
        {"Subject: {x} [c", "error: error in [] [Subject: {x} [c]"},
        {"Subject: \"x", "error: error in \"\" [Subject: \"x]"},
        {"Subject: {x} y", "error: error in [Subject: {x} y]"},
        {"Subject: 1e5 {x}", "error: error in [Subject: 1e5 {x}]"},
        {"Subject: \"x\"y", "error: error in [Subject: \"x\"y]"},
        {"Subject: 2 [only a comment]", "no pattern [Subject: 2 [only a comment]]"},
        {"Subject: {}", "no pattern [Subject: {}]"},
        {"Subject: 4", "no pattern [Subject: 4]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Lines{c.logLine}, rejectedLog(c.line)) << c.line;
    }
}

TEST_F(RuleLineTest, BracketOnlyLineHasNoPatternAfterARuleWithOne) {
    RuleLine rule;
    ASSERT_TRUE(readRuleLine("Subject: {x} [first]", rule));
    EXPECT_FALSE(readRuleLine("Subject: [second]", rule));
    EXPECT_EQ(Lines{"no pattern [Subject: [second]]"}, logLines());
}

TEST_F(RuleLineTest, ShortQuotesStopAt256BytesLongOnesShowTheWholeRule) {
    std::string noBlank = "Subject:" + std::string(300, 'a');
    EXPECT_EQ(Lines{"error: no pattern found [" + noBlank.substr(0, 256) + "]"},
              rejectedLog(noBlank));
    std::string unclosed = "Subject: {" + std::string(300, 'b');
    EXPECT_EQ(Lines{"error: error in {} [" + unclosed + "]"}, rejectedLog(unclosed));
}

TEST_F(RuleLineTest, OnlyThe4095FirstBytesOfALineAreRead) {
    std::string brace = "Subject: {" + std::string(4085, 'a');
    ASSERT_EQ(4095u, brace.size());
    EXPECT_EQ(Lines{"error: error in {} [" + brace + "]"}, rejectedLog(brace + "}"));
    RuleLine rule;
    ASSERT_TRUE(readRuleLine((brace.substr(0, 4094) + "}zzzz").c_str(), rule));
    EXPECT_EQ(std::string(4084, 'a'), rule.pattern);
}

TEST_F(RuleLineTest, ChainCombinedWithActingFlagsWarnsAndStaysAChain) {
    RuleLine rule;
    ASSERT_TRUE(readRuleLine("@+=%Subject: {x}", rule));
    EXPECT_EQ(FLAG_CHAIN_WITH_NEXT | P, rule.flags);
    EXPECT_FALSE(rule.neverMatches);
    EXPECT_EQ((Lines{"warning: type mismatch in filter [@+=%Subject: {x}]",
                     "warning: '@' cannot be combined with '+', '=', '%' (will be ignored)"}),
              logLines());
}

TEST_F(RuleLineTest, WhitelistFlagsUnderNoWhitelistWarnAndNeverMatch) {
    filterOptions.whitelist = false;
    const char* lines[] = {"+Subject: {x}", "%Subject: {x}"};
    for (const char* line : lines) {
        RuleLine rule;
        EXPECT_TRUE(readRuleLine(line, rule)) << line;
        EXPECT_TRUE(rule.neverMatches) << line;
    }
    const std::string warning =
        "warning: '+' and '%' cannot be used with NOWHITELIST (rule will never match)";
    EXPECT_EQ((Lines{"warning: type mismatch in filter [+Subject: {x}]", warning,
                     "warning: type mismatch in filter [%Subject: {x}]", warning}),
              logLines());
}

TEST_F(RuleLineTest, NoWhitelistConflictStillReportsLaterErrors) {
    filterOptions.whitelist = false;
    EXPECT_EQ((Lines{"warning: type mismatch in filter [+Subject: {x]",
                     "warning: '+' and '%' cannot be used with NOWHITELIST (rule will never match)",
                     "error: error in {} [+Subject: {x]"}),
              rejectedLog("+Subject: {x"));
}

TEST_F(RuleLineTest, ChainConflictClearsWhitelistBeforeTheNoWhitelistCheck) {
    filterOptions.whitelist = false;
    RuleLine rule;
    ASSERT_TRUE(readRuleLine("@+Subject: {x}", rule));
    EXPECT_FALSE(rule.neverMatches);
    EXPECT_EQ(2u, logLines().size());
}

TEST_F(RuleLineTest, ReadingLogsNothingTheScanReportsTheNotesEveryTime) {
    const std::string lines[] = {"5Subject: {x}", "@+Subject: {x}", "Subject: {x", "Subject: 2"};
    std::vector<RuleRecord> records;
    for (const std::string& line : lines) {
        records.push_back(readRuleRecord(line));
    }
    EXPECT_EQ(Lines{}, logLines());
    const Lines once = {"warning: type mismatch in conditional block value [5Subject: {x}]",
                        "warning: type mismatch in filter [@+Subject: {x}]",
                        "warning: '@' cannot be combined with '+', '=', '%' (will be ignored)",
                        "error: error in {} [Subject: {x]", "no pattern [Subject: 2]"};
    for (int scan = 0; scan < 2; ++scan) {
        for (const RuleRecord& record : records) {
            ActiveRule rule;
            applyRuleOptions(record, rule);
        }
    }
    Lines twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(twice, logLines());
}

TEST_F(RuleLineTest, OneRecordFollowsTheOptionsOfEachScan) {
    const std::string line = "4 +~Subject: 2.25 {x} [note]";
    RuleRecord record = readRuleRecord(line);
    ActiveRule rule;
    ASSERT_TRUE(applyRuleOptions(record, rule));
    EXPECT_FALSE(rule.neverMatches);
    EXPECT_EQ("X-Quelt: note\r\n", buildCommentLine(record));

    filterOptions.whitelist = false;
    filterOptions.showValue = true;
    filterOptions.profile = true;
    ASSERT_TRUE(applyRuleOptions(record, rule));
    EXPECT_TRUE(rule.neverMatches);
    EXPECT_EQ("X-Quelt: [2.2] note\r\n", buildCommentLine(record));

    filterOptions.useBlock = true;
    filterOptions.blockMask = 1u << 2;
    EXPECT_FALSE(applyRuleOptions(record, rule));
    EXPECT_EQ((Lines{line, "warning: type mismatch in filter [" + line + "]",
                     "warning: '+' and '%' cannot be used with NOWHITELIST (rule will never match)",
                     line}),
              logLines());
}

TEST_F(RuleLineTest, ReadingClearsWhatTheRuleBeforeLeft) {
    filterOptions.whitelist = false;
    RuleLine rule;
    ASSERT_TRUE(readRuleLine("4 +~Subject: 3 {x} [c]", rule));
    ASSERT_TRUE(rule.neverMatches);
    ASSERT_TRUE(readRuleLine("Body: \"y\"", rule));
    EXPECT_EQ(0, rule.blockNumber);
    EXPECT_EQ(S, rule.flags);
    EXPECT_EQ("Body:", rule.fieldType);
    EXPECT_DOUBLE_EQ(1.0, rule.score);
    EXPECT_EQ("y", rule.pattern);
    EXPECT_EQ("", rule.commentLine);
    EXPECT_FALSE(rule.neverMatches);
}

TEST_F(RuleLineTest, BlockFilterKeepsOnlySelectedBlocks) {
    filterOptions.useBlock = true;
    filterOptions.blockMask = (1u << 2) | (1u << 31);
    RuleLine rule;
    EXPECT_TRUE(readRuleLine("3 Subject: {x}", rule));
    EXPECT_TRUE(readRuleLine("32 Subject: {x}", rule));
    EXPECT_TRUE(readRuleLine("Subject: {x}", rule));
    EXPECT_EQ(Lines{}, rejectedLog("4 Subject: {x}"));
    EXPECT_EQ(Lines{}, rejectedLog("1 Subject: {x"));
}

TEST_F(RuleLineTest, BlockNumberHasNoEffectWithoutTheBlockSwitch) {
    filterOptions.blockMask = 0;
    expectRead({"4 +Subject: 2 {x}", 4, P | FLAG_WHITELIST_RULE, "Subject:", 2.0, "x", ""});
}

TEST_F(RuleLineTest, ShowValuePutsTheRulesOwnScoreIntoTheCommentLine) {
    filterOptions.showValue = true;
    expectRead({"Subject: 2.25 {x} [Spam word]", 0, P, "Subject:", 2.25, "x",
                "X-Quelt: [2.2] Spam word\r\n"});
    expectRead({"Subject: -5 {x} []", 0, P | FLAG_CLEAR_COMMENTS, "Subject:", -5.0, "x",
                "X-Quelt: [-5.0] \r\n"});
    expectRead({"Subject: [c] {x}", 0, P, "Subject:", 1.0, "x", "X-Quelt: [1.0] c\r\n"});
}

TEST_F(RuleLineTest, OverlongCommentIsCutToKeepTheLineAndItsCrLfIn4096Bytes) {
    std::string line = "A: \"x\"[" + std::string(4087, 'c') + "]";
    ASSERT_EQ(4095u, line.size());
    RuleLine rule;
    ASSERT_TRUE(readRuleLine(line.c_str(), rule));
    EXPECT_EQ("X-Quelt: " + std::string(4085, 'c') + "\r\n", rule.commentLine);

    filterOptions.showValue = true;
    ASSERT_TRUE(readRuleLine(line.c_str(), rule));
    EXPECT_EQ("X-Quelt: [1.0] " + std::string(4079, 'c') + "\r\n", rule.commentLine);
}

TEST_F(RuleLineTest, TextOnlyMarksEveryLineRule) {
    filterOptions.textOnly = true;
    expectRead({"Line: {x}", 0, P | FLAG_TEXT_PARTS_ONLY, "Line:", 1.0, "x", ""});
    expectRead({"lINE: {x}", 0, P | FLAG_TEXT_PARTS_ONLY, "lINE:", 1.0, "x", ""});
    expectRead({"Body: {x}", 0, P, "Body:", 1.0, "x", ""});
    expectRead({"Lines: {x}", 0, P, "Lines:", 1.0, "x", ""});
}

TEST_F(RuleLineTest, ProfileLogsEveryTrimmedLineThatIsNotBlankOrComment) {
    filterOptions.profile = true;
    RuleLine rule;
    const char* lines[] = {"  Subject: {x}  \r\n", "", "# note", "THRESHOLD_SPAM 5",
                           "5Subject: {x}"};
    for (const char* line : lines) {
        readRuleLine(line, rule);
    }
    EXPECT_EQ((Lines{"Subject: {x}", "THRESHOLD_SPAM 5", "5Subject: {x}",
                     "warning: type mismatch in conditional block value [5Subject: {x}]"}),
              logLines());
}

TEST(RuleSteps, BlockNumberMovesPastDigitsAndWhiteSpaceOnlyWhenValid) {
    const struct {
        const char* text;
        BlockNumberStatus status;
        int blockNumber;
        const char* rest;
    } cases[] = {
        {"Subject: {x}", BlockNumberStatus::NONE, 0, "Subject: {x}"},
        {"07 \t Subject: {x}", BlockNumberStatus::VALID, 7, "Subject: {x}"},
        {"32 x", BlockNumberStatus::VALID, 32, "x"},
        {"0 x", BlockNumberStatus::OUT_OF_RANGE, 0, nullptr},
        {"7x", BlockNumberStatus::BAD_FORM, 0, nullptr},
        {"7", BlockNumberStatus::BAD_FORM, 0, nullptr},
    };
    for (const auto& c : cases) {
        const char* line = c.text;
        int blockNumber = -1;
        EXPECT_EQ(c.status, parseBlockNumber(line, blockNumber)) << c.text;
        EXPECT_EQ(c.blockNumber, blockNumber) << c.text;
        if (c.rest != nullptr) {
            EXPECT_STREQ(c.rest, line) << c.text;
        }
    }
}

TEST(RuleSteps, FieldTypeEndsAtTheFirstSpaceOnly) {
    const char* line = "X-Header:\tvalue  more";
    std::string_view fieldType;
    ASSERT_TRUE(splitFieldType(line, fieldType));
    EXPECT_EQ("X-Header:\tvalue", fieldType);
    EXPECT_STREQ("more", line);
    const char* noBlank = "Subject:\t{x}";
    EXPECT_FALSE(splitFieldType(noBlank, fieldType));
}

TEST(RuleSteps, EveryFlagCharacterSetsItsBit) {
    const char* line = "!%+-=@~ Subject:";
    EXPECT_EQ(0xF1Cu, parseRuleFlags(line));
    EXPECT_STREQ("Subject:", line);
}

}  // namespace
}  // namespace cw
