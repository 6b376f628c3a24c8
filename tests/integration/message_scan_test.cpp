// Messages scored end to end through the exports: rule files in a folder,
// loadConfig, then each message as the host hands it over.
#include <algorithm>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "plugin_host.h"

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

const char* const PLAIN_SPAM =
    "From: Pharmacy <sales@pills.example>\r\n"
    "To: alice@example.org\r\n"
    "Subject: Cheap VIAGRA now\r\n"
    "\r\n"
    "Hello,\r\n"
    "best prices today.\r\n";

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

TEST_F(MessageScan, Base64TextBodyIsTestedDecoded) {
    load(
        "Line: 2 {cheap pills} [decoded line]\r\n"
        "Body: 5 \"cheap pills\" [raw body]\r\n"
        "~Body: 1 \"cheap pills\" [decoded body]\r\n"
        "ADDSCORE\r\n");
    scan(
        "Subject: offer\r\n"
        "Content-Type: text/plain; charset=us-ascii\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "\r\n"
        "QnV5IGNoZWFwIHBpbGxzIHRvZGF5Lg==\r\n");  // "Buy cheap pills today."
    EXPECT_EQ("X-Quelt-Score: 3.0\r\nX-Quelt: decoded line\r\nX-Quelt: decoded body\r\n",
              addedLines);
    EXPECT_TRUE(logContains("Found: Content-Transfer-Encoding: base64"));
    EXPECT_TRUE(logContains("...with valid Content-Type"));
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

TEST_F(MessageScan, QuotedPrintableSoftBreaksJoinLines) {
    load("Line: \"win a prize\" [qp]\r\n");
    scan(
        "Subject: hi\r\n"
        "Content-Type: text/plain; charset=iso-8859-1\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n"
        "\r\n"
        "Gr=FC=DFe, you win a =\r\n"
        "prize!\r\n");
    EXPECT_EQ("X-Quelt: qp\r\n", addedLines);
}

const char* const MULTIPART =
    "From: promo@shop.example\r\n"
    "Subject: News\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/alternative; boundary=\"b1\"\r\n"
    "\r\n"
    "This is a multi-part message.\r\n"
    "--b1\r\n"
    "Content-Type: text/plain; charset=utf-8\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "\r\n"
    "Claim your =\r\n"
    "free gift now\r\n"
    "--b1\r\n"
    "Content-Type: text/html; charset=utf-8\r\n"
    "\r\n"
    "<p><a href=3D\"http://gift.example/\">claim</a></p>\r\n"
    "--b1--\r\n";

TEST_F(MessageScan, MultipartTextPartIsDecodedAndOtherPartsKept) {
    load(
        "Line: {^claim your free gift now} [gift]\r\n"
        "~Body: {href=3D\"http://gift} [html part kept as it was]\r\n"
        "Line: \"--b1--\" [closing boundary line]\r\n");
    scan(MULTIPART);
    EXPECT_EQ(
        "X-Quelt: gift\r\nX-Quelt: html part kept as it was\r\nX-Quelt: closing boundary "
        "line\r\n",
        addedLines);
    EXPECT_TRUE(logContains("Found: Content-Type: multipart/mixed; or multipart/alternative;"));
}

// The headers announce a transfer encoding, but no decoder takes the body (no
// text type, or one without the space behind its colon): the rules that test
// the decoded body test the raw one instead of an empty text.
TEST_F(MessageScan, BodyThatNoDecoderTookIsTestedAsItStands) {
    load(
        "~Body: 1 {prize today} [decoded body]\r\n"
        "Line: 2 {^you win a =$} [line]\r\n"
        "ADDSCORE\r\n");
    for (const char* typeLine : {"", "Content-type:text/plain\r\n"}) {
        scan(std::string("Subject: hi\r\n") + typeLine +
             "Content-Transfer-Encoding: quoted-printable\r\n"
             "\r\n"
             "You win a =\r\n"
             "prize today.\r\n");
        EXPECT_EQ("X-Quelt-Score: 3.0\r\nX-Quelt: decoded body\r\nX-Quelt: line\r\n", addedLines)
            << typeLine;
        EXPECT_FALSE(logContains("Found: Content-Transfer-Encoding: quoted-printable"));
    }
}

// Only a multipart body has boundary lines: in any other a line that begins
// with "--" (the end of an HTML comment, a signature) is decoded like the rest.
TEST_F(MessageScan, QuotedPrintableBodyIsDecodedPastDashLines) {
    load(
        "~Body: {<!--\\s*-->\\s*order=\\s*now} [after the comment]\r\n"
        "Line: {^-- the=\\s*team} [signature]\r\n");
    scan(
        "Subject: hi\r\n"
        "Content-Type: text/html\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n"
        "\r\n"
        "<!--\r\n"
        "-->\r\n"
        "order=3D now\r\n"
        "-- \r\n"
        "-- the=3D team\r\n");
    EXPECT_EQ("X-Quelt: after the comment\r\nX-Quelt: signature\r\n", addedLines);
    EXPECT_FALSE(logContains("Warning: End of boundary not found"));
}

const char* const HTML_NEWSLETTER =
    "Subject: News\r\n"
    "Content-Type: multipart/alternative; boundary=\"b1\"\r\n"
    "\r\n"
    "--b1\r\n"
    "Content-Type: text/plain\r\n"
    "\r\n"
    "Plain part <not a tag>\r\n"
    "--b1\r\n"
    "Content-Type: text/html\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "\r\n"
    "<p>Click <a href=3D\"http://x.example/\">here</a>&nbsp;to get V<!-- x -->iag=\r\n"
    "ra &amp; more</p>\r\n"
    "--b1--\r\n";

// HtmlText: tests the body with its HTML parts as a reader sees them; the four
// string rules on it are searched together as one list.
TEST_F(MessageScan, HtmlTextRulesSeeTheVisibleTextOfHtmlParts) {
    load(
        "~HtmlText: {click here to get viagra & more} [html part read]\r\n"
        "~HtmlText: {plain part <not a tag>} [plain part as is]\r\n"
        "~Body: {click here} [phrase in the source]\r\n"
        "HtmlText: {click here to get viag= ra} [raw html part read]\r\n"
        "~HtmlText: \"unsubscribe\" [list 1]\r\n"
        "~HtmlText: \"viagra &\" [list 2]\r\n"
        "~HtmlText: \"<p>\" [list 3]\r\n"
        "~HtmlText: \"&nbsp;\" [list 4]\r\n");
    scan(HTML_NEWSLETTER);
    EXPECT_EQ(
        "X-Quelt: html part read\r\nX-Quelt: plain part as is\r\nX-Quelt: raw html part "
        "read\r\nX-Quelt: list 2\r\n",
        addedLines);
    EXPECT_TRUE(logContains(
        "valid: [~HtmlText: {click here to get viagra & more} [html part read]] matches "
        "something in [HtmlText:]"));
    EXPECT_TRUE(
        logContains("valid: [~HtmlText: \"viagra &\" [list 2]] matches something in [HtmlText:]"));
}

TEST_F(MessageScan, EncodedSubjectIsDecodedOnlyWithTheTilde) {
    load(
        "~Subject: {^gr\xFC\xDF"
        "e$} [decoded]\r\n"
        "Subject: \"gr\xFC\" [raw]\r\n"
        "CompleteHeader: \"subject: gr\xFC\xDF"
        "e\" [decoded header]\r\n");
    scan(
        "From: a@example.org\r\n"
        "Subject: =?ISO-8859-1?Q?Gr=FC=DFe?=\r\n"
        "\r\n"
        "body\r\n");
    EXPECT_EQ("X-Quelt: decoded\r\nX-Quelt: decoded header\r\n", addedLines);
}

TEST_F(MessageScan, OnlyTheFirstMaxsizeBytesOfTheBodyAreRead) {
    load("MAXSIZE 1024\r\nBody: \"early-needle\" [early]\r\nBody: \"late-needle\" [late]\r\n");
    std::string body = std::string(500, 'x') + "early-needle" + std::string(1000, 'y') +
                       "late-needle" + std::string(500, 'z') + "\r\n";
    scan("Subject: long\r\n\r\n" + body);
    EXPECT_EQ("X-Quelt: early\r\n", addedLines);
}

TEST_F(MessageScan, MaxlinesLimitsTheTestedLines) {
    load("MAXLINES 2\r\nLine: \"third\" [third]\r\nLine: \"second\" [second]\r\n");
    scan("Subject: s\r\n\r\nfirst\r\nsecond\r\nthird\r\n");
    EXPECT_EQ("X-Quelt: second\r\n", addedLines);
    EXPECT_TRUE(logContains("number of lines exceeds limit of 2 lines"));
}

// Five runaway rules of 250 ms each on one message: the message's second of
// pattern tests ends the scan, and one line names the rules it cut off. A
// negated rule cut off never scores for what it did not see.
TEST_F(MessageScan, MessageBudgetCutsOffRunawayRulesAndNamesThemOnce) {
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

TEST_F(MessageScan, ScansFromSeveralThreadsKeepTheirOwnResults) {
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
TEST_F(MessageScan, RunawayPatternStopsAtItsFirstLimitWithOneLine) {
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
TEST_F(MessageScan, PatternBelowTheLimitOnEveryLineStopsAtItsTimeBudget) {
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

// Texts from a message reach the log with their control bytes escaped: neither an
// encoded word that decodes to CR LF nor a lone CR in a header line can end the
// entry and start a forged one. Every line of the file is one time-stamped entry.
TEST_F(MessageScan, MessageTextsCannotForgeLogLines) {
    load("CHECK\r\n~Subject: 1.0 {viagra}\r\nX-Note: 1.0 {cheap}\r\n");
    scan(
        "Subject: =?utf-8?q?viagra=0D=0A01_Jan_24__00:00:00__result:_whitelist_rule_matches?="
        "\r\nX-Note: cheap\r01 Jan 24  00:00:00  result: whitelist rule matches\r\n\r\nhi\r\n");
    EXPECT_EQ(1, status.spam);
    EXPECT_TRUE(
        logContains("valid: [~Subject: 1.0 {viagra}] matches [viagra\\x0d\\x0a01 Jan 24  "
                    "00:00:00  result: whitelist rule matches] in [Subject:]"));
    EXPECT_TRUE(
        logContains("valid: [X-Note: 1.0 {cheap}] matches [cheap\\x0d01 Jan 24  00:00:00  "
                    "result: whitelist rule matches] in [X-Note:]"));
    const std::string log = readConfigFile("cobbleweave.log");
    const std::regex entry(
        "[0-3][0-9] [A-Z][a-z]{2} [0-9]{2}  [0-2][0-9]:[0-5][0-9]:[0-6][0-9]  [^\r\n]*");
    size_t position = 0;
    size_t entries = 0;
    while (position < log.size()) {
        size_t end = log.find("\r\n", position);
        ASSERT_NE(std::string::npos, end) << log.substr(position);
        const std::string line = log.substr(position, end - position);
        EXPECT_TRUE(std::regex_match(line, entry)) << line;
        EXPECT_FALSE(line.substr(21).starts_with("result: whitelist rule matches]")) << line;
        position = end + 2;
        ++entries;
    }
    EXPECT_EQ(logLines().size(), entries);
}

// A score too large for a double counts as the largest finite one, and the sum
// stays finite: the host never gets "inf" or "nan" as the score.
TEST_F(MessageScan, HugeScoresStayFinite) {
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
