// The bounds of a scan, end to end through the exports: the step limit and
// the time budgets of a rule and of a message, scores past any double, and
// scans from several threads at once.
#include <string>
#include <thread>
#include <vector>

#include "plugin_host.h"
#include "sample_messages.h"

namespace {

class ScanBounds : public PluginHost {};

// Five runaway rules of 250 ms each on one message: the message's second of
// pattern tests ends the scan, and one line names the rules it cut off. A
// negated rule cut off never scores for what it did not see.
TEST_F(ScanBounds, MessageBudgetCutsOffRunawayRulesAndNamesThemOnce) {
    std::string rules;
    for (int i = 1; i <= 5; ++i) {
        rules += "Body: 5 {[a-z]{0,92}[a-z]{0,92}[a-z]{0,92}[a-z0-9][!?]} [r" + std::to_string(i) +
                 "]\r\n";
    }
    rules += "-Subject: 9 {never} [negated]\r\n";
    load(rules);
    scan("Subject: s\r\n\r\n" + std::string(4096, 'a') + "\r\n");
    std::vector<std::string> lines = logLines();
    int ownBudget = 0;
    std::vector<std::string> cutLines;
    for (const std::string& line : lines) {
        ownBudget += line.find("took more than 250 ms in this message") != std::string::npos;
        if (line.find("error: the rules took more than 1000 ms on this message; not tested on "
                      "all of it: [Body: ") != std::string::npos) {
            cutLines.push_back(line);
        }
    }
    ASSERT_EQ(1u, cutLines.size());
    EXPECT_NE(std::string::npos, cutLines[0].find("[r5]] [-Subject: 9 {never} [negated]]"));
    size_t named = 0;
    for (size_t at = 0; (at = cutLines[0].find("} [", at)) != std::string::npos; ++at) {
        ++named;
    }
    EXPECT_EQ(6u, ownBudget + named);
    EXPECT_EQ("", addedLines);
}

TEST_F(ScanBounds, ScansFromSeveralThreadsKeepTheirOwnResults) {
    load("Subject: \"viagra\" [pharma]\r\nSubject: \"lunch\" [lunch]\r\n");
    // Scans fetches firstId..firstId+49 of one message; returns the first wrong result.
    auto scanMany = [this](const HostMessage& message, int32_t firstId, const std::string& expected,
                           std::string* failure) {
        std::vector<const char*> lines = message.headerPointers();
        for (int32_t id = firstId; id < firstId + 50; ++id) {
            cw::MessageStatus own{};
            own.account = &account;
            own.fetchInfo = &fetchInfo;
            plugin.fetchStart(id);
            plugin.filterOnMessageBody(lines.data(), static_cast<int32_t>(lines.size()),
                                       NO_BODY_FILE, id, &own, configHandle);
            char buffer[256] = "";
            plugin.getAddedHeaderLines(id, nullptr, nullptr, buffer, sizeof buffer);
            plugin.fetchEnd(id);
            if (own.spam != 1 || expected != buffer) {
                *failure = "fetch " + std::to_string(id) + " got [" + buffer + "]";
                return;
            }
        }
    };
    const HostMessage spam = parseMessage(PLAIN_SPAM);
    const HostMessage lunch = parseMessage("Subject: lunch today?\r\n\r\n");
    std::string spamFailure;
    std::string lunchFailure;
    std::thread first(scanMany, std::cref(spam), 1000, "X-Quelt: pharma\r\n", &spamFailure);
    std::thread second(scanMany, std::cref(lunch), 2000, "X-Quelt: lunch\r\n", &lunchFailure);
    first.join();
    second.join();
    EXPECT_EQ("", spamFailure);
    EXPECT_EQ("", lunchFailure);
}

// A runaway pattern over a 64 KB body of lines that each make it backtrack
// without end: the first line at the match limit ends the rule's tests for the
// message, with one line naming it; the other rules decide as usual.
TEST_F(ScanBounds, RunawayPatternStopsAtItsFirstLimitWithOneLine) {
    load("Line: 5.0 {(a+)+$} [runaway]\r\nSubject: 1.0 \"hostile\" [subject]\r\nADDSCORE\r\n");
    std::string body;
    while (body.size() < 64 * 1024) {
        body += std::string(40, 'a') + "!\r\n";
    }
    scan("Subject: hostile\r\n\r\n" + body);
    EXPECT_EQ(1, status.spam);
    EXPECT_EQ("X-Quelt-Score: 1.0\r\nX-Quelt: subject\r\n", addedLines);
    std::vector<std::string> limitLines;
    for (const std::string& line : logLines()) {
        if (line.rfind("error MATCHLIMIT", 0) == 0) {
            limitLines.push_back(line);
        }
    }
    EXPECT_EQ((std::vector<std::string>{
                  "error MATCHLIMIT: the recursion and backtracking limit is reached by "
                  "[Line: 5.0 {(a+)+$} [runaway]]; its other tests in this message are skipped"}),
              limitLines);
}

// Lines on which the same pattern stays just below the limit: each costs
// milliseconds, and the rule stops at its time budget for the message.
TEST_F(ScanBounds, PatternBelowTheLimitOnEveryLineStopsAtItsTimeBudget) {
    load("Line: 5.0 {(a+)+$} [slow]\r\nSubject: 1.0 \"slow\" [subject]\r\nADDSCORE\r\n");
    std::string body;
    while (body.size() < 64 * 1024) {
        body += std::string(18, 'a') + "!\r\n";
    }
    scan("Subject: slow\r\n\r\n" + body);
    EXPECT_EQ("X-Quelt-Score: 1.0\r\nX-Quelt: subject\r\n", addedLines);
    EXPECT_TRUE(
        logContains("error: [Line: 5.0 {(a+)+$} [slow]] took more than 250 ms in this "
                    "message; its other tests in this message are skipped"));
}

// A score too large for a double counts as the largest finite one, and the sum
// stays finite: the host never gets "inf" or "nan" as the score.
TEST_F(ScanBounds, HugeScoresStayFinite) {
    const std::string huge(400, '9');
    load("Subject: " + huge + " \"viagra\"\r\nSubject: -" + huge + " \"cheap\"\r\nADDSCORE\r\n");
    scan(PLAIN_SPAM);
    EXPECT_EQ("X-Quelt-Score: 0.0\r\n", addedLines);
    load("Subject: " + huge + " \"viagra\"\r\nSubject: " + huge + " \"cheap\"\r\nADDSCORE\r\n");
    scan(PLAIN_SPAM);
    EXPECT_EQ(1, status.spam);
    // The largest double printed with one decimal, cut with the score line to 255 bytes.
    EXPECT_EQ(0u, addedLines.rfind("X-Quelt-Score: 179769313486231570814527", 0)) << addedLines;
    EXPECT_EQ(255u, addedLines.size());
    EXPECT_EQ("\r\n", addedLines.substr(253));
}

}  // namespace
