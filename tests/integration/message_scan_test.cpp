// Messages scored end to end through the exports: rule files in a folder,
// loadConfig, then each message as the host hands it over.
#include <algorithm>
#include <string>
#include <vector>

#include "plugin_host.h"
#include "sample_messages.h"

namespace {

class MessageScan : public PluginHost {
  protected:
    // True when the lines appear in the log in this order (not necessarily adjacent).
    bool logHasInOrder(const std::vector<std::string>& expected) const {
        std::vector<std::string> lines = logLines();
        auto position = lines.begin();
        for (const std::string& line : expected) {
            position = std::find(position, lines.end(), line);
            if (position == lines.end()) {
                return false;
            }
            ++position;
        }
        return true;
    }
    std::string tag() const { return status.tagText; }
};

TEST_F(MessageScan, MatchingCommentedRuleMarksSpamAndHandsItsLine) {
    load("# pharmacy\r\nSubject: 3.0 \"viagra\" [pharma]\r\n");
    scan(PLAIN_SPAM);
    EXPECT_EQ(1, status.spam);
    EXPECT_EQ(0, status.whitelisted);
    EXPECT_EQ(1, status.verdictSet);
    EXPECT_EQ(8, status.verdictCode);
    EXPECT_EQ(0u, tag().rfind("QUELT ID#", 0)) << tag();
    EXPECT_EQ(21u, tag().size()) << tag();
    EXPECT_EQ("X-Quelt: pharma\r\n", addedLines);
    EXPECT_EQ(18u, addedLinesSize);
    EXPECT_TRUE(logHasInOrder({
        "--- New match (" + tag().substr(6) + "):",
        "valid: [Subject: 3.0 \"viagra\" [pharma]] matches [cheap viagra now] in [Subject:]",
        "result: regular rule matches",
        "score (spam, marked): 3.0 > (threshold=0.0)",
    }));
}

TEST_F(MessageScan, NoMatchLeavesTheMessageAndHandsNothing) {
    load("Subject: \"lottery\" [lotto]\r\n");
    scan(PLAIN_SPAM);
    EXPECT_EQ(0, status.spam);
    EXPECT_EQ(0, status.verdictSet);
    EXPECT_EQ("", tag());
    EXPECT_EQ("", addedLines);
    EXPECT_EQ(1u, addedLinesSize);
}

TEST_F(MessageScan, ScoreEqualToTheSpamThresholdIsNotSpam) {
    load("Subject: 0 \"viagra\"\r\n");
    scan(PLAIN_SPAM);
    EXPECT_EQ(0, status.spam);
    EXPECT_TRUE(logContains("score (spam, ignored): 0.0 <= (threshold=0.0)"));
}

TEST_F(MessageScan, WhitelistRuleWhitelists) {
    load("+From: -10 \"sales@pills.example\" [known sender]\r\nSubject: 3 \"viagra\"\r\n");
    scan(PLAIN_SPAM);
    EXPECT_EQ(1, status.whitelisted);
    EXPECT_EQ(0, status.spam);  // -10 + 3 is below the spam threshold
    EXPECT_TRUE(logContains("score (whitelisted, marked): -7.0 < (threshold=99999.0)"));
    EXPECT_TRUE(logContains("score (spam, ignored): -7.0 <= (threshold=0.0)"));
    EXPECT_EQ("X-Quelt: known sender\r\n", addedLines);
}

TEST_F(MessageScan, BothVerdictsCanStand) {
    load("+From: \"pills.example\"\r\nSubject: \"viagra\"\r\n");
    scan(PLAIN_SPAM);
    EXPECT_EQ(1, status.spam);
    EXPECT_EQ(1, status.whitelisted);
}

TEST_F(MessageScan, HostWhitelistingIsNotOverriddenBySpam) {
    load("Subject: \"viagra\"\r\n");
    status.whitelisted = 1;
    scan(PLAIN_SPAM);
    EXPECT_EQ(0, status.spam);
    EXPECT_EQ(0, status.verdictSet);
}

// Pattern rules that need the same word share it in the search for required
// words: each still runs where the word occurs, and its own pattern decides.
TEST_F(MessageScan, RulesNeedingTheSameWordEachRunWhereItOccurs) {
    load(
        "Subject: {cheap.*now} [first]\r\n"
        "Subject: {cheap\\s+v} [second]\r\n"
        "Subject: {cheap\\s+x} [third]\r\n"
        "Subject: {(cheap|lottery) viagra} [fourth]\r\n"
        "Subject: {lottery.*win} [fifth]\r\n");
    scan(PLAIN_SPAM);
    EXPECT_EQ("X-Quelt: first\r\nX-Quelt: second\r\nX-Quelt: fourth\r\n", addedLines);
}

TEST_F(MessageScan, UnknownFetchOrConfigurationLeavesEverythingUntouched) {
    load("Subject: \"viagra\"\r\n");
    HostMessage message = parseMessage(PLAIN_SPAM);
    std::vector<const char*> lines = message.headerPointers();
    plugin.filterOnMessageBody(lines.data(), static_cast<int32_t>(lines.size()), NO_BODY_FILE, 77,
                               &status, configHandle);
    plugin.fetchStart(78);
    plugin.filterOnMessageBody(lines.data(), static_cast<int32_t>(lines.size()), NO_BODY_FILE, 78,
                               &status, configHandle + 100);
    EXPECT_EQ(0, status.spam);
    EXPECT_EQ(0, status.verdictSet);
    EXPECT_EQ("", tag());
    EXPECT_EQ(1u, plugin.getAddedHeaderLines(78, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(1u, plugin.getAddedHeaderLines(79, nullptr, nullptr, nullptr, 0));
    EXPECT_TRUE(logContains("error: filterOnMessageBody: unknown fetch id 77"));
    EXPECT_TRUE(logContains("error: filterOnMessageBody: unknown configuration handle " +
                            std::to_string(configHandle + 100)));
}

TEST_F(MessageScan, AddedLinesAreCutToWholeLinesWithinMaxcomment) {
    const std::string text89(89, 'c');  // "X-Quelt: " + 89 + CR LF = 100 bytes
    load("Subject: \"viagra\" [" + text89 + "]\r\nSubject: \"cheap\" [" + text89 +
         "]\r\nSubject: \"now\" [" + text89 + "]\r\n");
    scan(PLAIN_SPAM);
    const std::string line = "X-Quelt: " + text89 + "\r\n";
    EXPECT_EQ(line + line, addedLines);
    EXPECT_EQ(201u, addedLinesSize);
}

TEST_F(MessageScan, HostBufferExactlyTheTextLengthIsNotWritten) {
    load("Subject: \"viagra\" [pharma]\r\n");
    scan(PLAIN_SPAM);
    std::string buffer(17, '#');
    EXPECT_EQ(18u, plugin.getAddedHeaderLines(fetchId, nullptr, nullptr, buffer.data(), 17));
    EXPECT_EQ(std::string(17, '#'), buffer);
}

TEST_F(MessageScan, ScoreLineIsHandedWithAddscoreEvenWithoutMatch) {
    load("ADDSCORE\r\nSubject: \"lottery\"\r\n");
    scan(PLAIN_SPAM);
    EXPECT_EQ("X-Quelt-Score: 0.0\r\n", addedLines);
}

TEST_F(MessageScan, SuspectAndSpamWarningLines) {
    const std::string options =
        "ADDSCORE\r\nTHRESHOLD_SUSPECT 2.0\r\nTHRESHOLD_SPAM 5.0\r\nNOCOMMENT\r\n";
    struct Case {
        const char* score;
        const char* lines;
        int spam;
    };
    const Case cases[] = {
        {"3.0", "X-Quelt-Score: 3.0\r\nX-Quelt-Warning: suspect (3.0 > 2.0)\r\n", 0},
        {"6.0", "X-Quelt-Score: 6.0\r\nX-Quelt-Warning: spam (6.0 > 5.0)\r\n", 1},
        {"2.0", "X-Quelt-Score: 2.0\r\n", 0},
    };
    for (const Case& c : cases) {
        status = cw::MessageStatus{};
        status.account = &account;
        status.fetchInfo = &fetchInfo;
        load(options + "Subject: " + c.score + " \"viagra\" [x]\r\n");
        scan(PLAIN_SPAM);
        EXPECT_EQ(c.lines, addedLines) << c.score;
        EXPECT_EQ(c.spam, status.spam) << c.score;
    }
}

TEST_F(MessageScan, ChainRulesMustAllMatchAndTheLastOneScores) {
    load(
        "@Subject: \"viagra\"\r\n"
        "# a comment between does not break the chain\r\n"
        "@From: \"pills.example\"\r\n"
        "Body: 4 \"best prices\" [chain]\r\n"
        "@Subject: \"nothing like this\"\r\n"
        "Body: 10 \"best prices\" [broken chain]\r\n"
        "Body: 0.5 \"hello\" [fresh start]\r\n"
        "ADDSCORE\r\n");
    scan(PLAIN_SPAM);
    EXPECT_EQ("X-Quelt-Score: 4.5\r\nX-Quelt: chain\r\nX-Quelt: fresh start\r\n", addedLines);
}

TEST_F(MessageScan, NegatedRuleOnAMissingFieldMatches) {
    load("-X-Spam-Flag: \"yes\" [no flag]\r\n-Subject: \"viagra\" [negated hit]\r\n");
    scan(PLAIN_SPAM);
    EXPECT_EQ("X-Quelt: no flag\r\n", addedLines);
    EXPECT_TRUE(logHasInOrder({
        "valid: [-X-Spam-Flag: \"yes\" [no flag]] does not match any [X-Spam-Flag:]",
        "result: regular rule matches",
    }));
}

TEST_F(MessageScan, StopRuleEndsTheScan) {
    load("=Subject: 1 \"viagra\" [stop]\r\nFrom: 1 \"pills\" [after stop]\r\nADDSCORE\r\n");
    scan(PLAIN_SPAM);
    EXPECT_EQ("X-Quelt-Score: 1.0\r\nX-Quelt: stop\r\n", addedLines);
}

TEST_F(MessageScan, FastScanSkipsLaterWhitelistRules) {
    load("FASTSCAN\r\nTHRESHOLD_SPAM 2\r\nSubject: 3 \"viagra\"\r\n+From: -10 \"pills\"\r\n");
    scan(PLAIN_SPAM);
    EXPECT_EQ(1, status.spam);
    EXPECT_EQ(0, status.whitelisted);
    EXPECT_TRUE(logContains("FASTSCAN evaluated"));
}

TEST_F(MessageScan, SimulationComputesButLeavesTheStatus) {
    load("SIMULATE\r\nSubject: \"viagra\" [pharma]\r\n");
    scan(PLAIN_SPAM);
    EXPECT_EQ(0, status.spam);
    EXPECT_EQ(0, status.verdictSet);
    EXPECT_EQ("X-Quelt: pharma\r\n", addedLines);
    EXPECT_TRUE(logContains("score (spam, marked): 1.0 > (threshold=0.0)"));
}

TEST_F(MessageScan, StatusRemovalClearsTheHostsOppositeVerdict) {
    load("%Subject: \"viagra\"\r\n");
    status.whitelisted = 1;
    scan(PLAIN_SPAM);
    EXPECT_EQ(0, status.whitelisted);
    EXPECT_EQ(1, status.spam);
    EXPECT_TRUE(logContains("message was whitelisted by Vellmox: removing status"));
}

TEST_F(MessageScan, NowhitelistSkipsMessagesTheHostJudged) {
    load("NOWHITELIST\r\nSubject: \"viagra\" [pharma]\r\n");
    status.spam = 1;
    scan(PLAIN_SPAM);
    EXPECT_EQ(0, status.verdictSet);
    EXPECT_EQ("", addedLines);
    EXPECT_TRUE(logContains("filterOnMessageBody: message is marked as spam, nothing more to do"));
}

TEST_F(MessageScan, NowhitelistRulesWithPlusNeverMatch) {
    load("NOWHITELIST\r\n+Subject: \"viagra\" [never]\r\n");
    scan(PLAIN_SPAM);
    EXPECT_EQ(0, status.whitelisted);
    EXPECT_EQ("", addedLines);
    EXPECT_TRUE(logHasInOrder({
        "warning: type mismatch in filter [+Subject: \"viagra\" [never]]",
        "warning: '+' and '%' cannot be used with NOWHITELIST (rule will never match)",
    }));
}

TEST_F(MessageScan, PreviewIsIgnoredWithoutCheckpreview) {
    load("Subject: \"viagra\" [pharma]\r\n");
    HostMessage message = parseMessage(PLAIN_SPAM);
    message.fetchType = cw::POP3_TOP;
    scanMessage(message);
    EXPECT_EQ(0, status.spam);
    EXPECT_EQ("", addedLines);
}

TEST_F(MessageScan, EmptyBracketClearsCommentsCollectedSoFar) {
    load("Subject: \"viagra\" [first]\r\nFrom: \"pills\" []\r\nTo: \"alice\" [after clear]\r\n");
    scan(PLAIN_SPAM);
    EXPECT_EQ("X-Quelt: after clear\r\n", addedLines);
}

TEST_F(MessageScan, BadPatternIsReportedAtEveryMessageEvenWhenPrecompiled) {
    load("PRECOMPILE\r\nSubject: {(unclosed} [bad]\r\nSubject: {v[i1]agra} [good]\r\n");
    scan(PLAIN_SPAM);
    scan(PLAIN_SPAM);
    EXPECT_EQ("X-Quelt: good\r\n", addedLines);
    std::vector<std::string> lines = logLines();
    EXPECT_EQ(2, std::count(lines.begin(), lines.end(),
                            "error: cannot compile [Subject: {(unclosed} [bad]]"));
}

// A rule of a string and a pattern matches its pattern folded once the string
// test has seen a subject (\D becomes \d). Under PRECOMPILE it keeps the text
// its pattern was first matched from, across the messages of one configuration.
TEST_F(MessageScan, PrecompiledRuleKeepsThePatternTextOfItsFirstMessage) {
    const char* const NO_FIELD = "Subject: hello\r\n\r\nBody.\r\n";
    const char* const DIGITS = "X-Code: 77\r\n\r\nBody.\r\n";
    const std::string rule = "X-Code: \"a\"{\\D} [code]\r\n";
    load("NOPRECOMPILE\r\n" + rule);
    scan(NO_FIELD);
    scan(DIGITS);
    EXPECT_EQ("X-Quelt: code\r\n", addedLines);  // folded: \d

    load("PRECOMPILE\r\n" + rule);
    scan(NO_FIELD);  // no subject: as written
    scan(DIGITS);
    EXPECT_EQ("", addedLines);  // still \D

    load("PRECOMPILE\r\n" + rule);
    scan(DIGITS);  // a subject: folded
    scan(NO_FIELD);
    scan(DIGITS);
    EXPECT_EQ("X-Quelt: code\r\n", addedLines);
}

TEST_F(MessageScan, RescanReplacesTheLinesOfTheSameFetch) {
    load("Subject: \"viagra\" [pharma]\r\n");
    plugin.fetchStart(500);
    HostMessage spam = parseMessage(PLAIN_SPAM);
    HostMessage ham = parseMessage("Subject: lunch?\r\n\r\nSee you.\r\n");
    for (const HostMessage* message : {&spam, &ham}) {
        std::vector<const char*> lines = message->headerPointers();
        plugin.filterOnMessageBody(lines.data(), static_cast<int32_t>(lines.size()), NO_BODY_FILE,
                                   500, &status, configHandle);
    }
    EXPECT_EQ(1u, plugin.getAddedHeaderLines(500, nullptr, nullptr, nullptr, 0));
}

TEST_F(MessageScan, DebugLevelTracesTheRunAndItsHeaderSummary) {
    load("DEBUG\r\nSubject: \"viagra\" [pharma]\r\n");
    markLog();
    scan(PLAIN_SPAM);
    // The stand-in host asks for the added lines twice: their size, then them.
    const std::vector<std::string> expected = {
        ">>> fetchStart",
        "<<< fetchStart",
        ">>> filterOnMessageBody",
        "fetchtype: POP3 RETR",
        ">>> Header Info:",
        ">>> From: Pharmacy <sales@pills.example>",
        ">>> To: alice@example.org",
        ">>> Subject: Cheap VIAGRA now",
        "> body loaded: 28 bytes",
        "> body has 2 lines",
        "--- New match (" + tag().substr(6) + "):",
        "valid: [Subject: \"viagra\" [pharma]] matches [cheap viagra now] in [Subject:]",
        "result: regular rule matches",
        "score: 1.0",
        "score (spam, marked): 1.0 > (threshold=0.0)",
        "<<< filterOnMessageBody",
        ">>> getAddedHeaderLines",
        "<<< getAddedHeaderLines",
        ">>> getAddedHeaderLines",
        "<<< getAddedHeaderLines",
    };
    EXPECT_EQ(expected, newLogLines());
}

TEST_F(MessageScan, CheckLevelReportsAnIgnoredPreviewButNoTraces) {
    load("CHECK\r\nSubject: \"viagra\" [pharma]\r\n");
    markLog();
    HostMessage message = parseMessage(PLAIN_SPAM);
    message.fetchType = cw::POP3_TOP;
    scanMessage(message);
    const std::vector<std::string> expected = {
        ">>> Header Info:",
        ">>> From: Pharmacy <sales@pills.example>",
        ">>> To: alice@example.org",
        ">>> Subject: Cheap VIAGRA now",
        "filterOnMessageBody: POP3_TOP ignored",
    };
    EXPECT_EQ(expected, newLogLines());
}

}  // namespace
