#include "engine/matchers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <list>
#include <string>
#include <vector>

#include "base/filter_options.h"
#include "engine/pattern.h"
#include "log_capture.h"

namespace cw {
namespace {

// A message as the scan hands it to the matchers.
struct TestMessage {
    std::vector<const char*> headers;
    MessageTexts texts;
    AccountInfo account{"pop.example.com", 0, "alice"};
    FetchInfo fetch{};
    MessageStatus status{};
};

class MatchersTest : public LogCaptureTest {
  protected:
    // Reads `ruleText` as the scan does and runs its string or pattern test on
    // freshly prepared subjects; `matched` keeps what it held before.
    void test(const char* ruleText, bool& matched, bool nullPattern = false,
              MessageBudget* budget = nullptr) {
        ruleTexts.emplace_back(ruleText);
        RuleRecord record = readRuleRecord(ruleTexts.back());
        ActiveRule active;
        ASSERT_TRUE(applyRuleOptions(record, active)) << ruleText;
        message.status.account = &message.account;
        message.status.fetchInfo = &message.fetch;
        std::vector<HeaderSelector> selectors{ruleSelectorOf(record)};
        MessageSubjects subjects(message.headers.data(),
                                 static_cast<int32_t>(message.headers.size()), message.texts,
                                 &message.status, selectors);
        RuleUnderTest rule{record, active.flags, 0};
        if (record.flags & FLAG_HAS_STRING) {
            applyStringTest(rule, subjects, matched);
            return;
        }
        PatternCompileResult compiled = compilePattern(record.pattern);
        ASSERT_TRUE(compiled.pattern) << compiled.errorText;
        if (nullPattern) {
            compiled.pattern.reset();
        }
        MatchArea area;
        applyPatternTest(rule, PatternToMatch{compiled.pattern.get()}, subjects, area, matched,
                         nullptr, budget);
    }

    bool matches(const char* ruleText) {
        bool matched = false;
        test(ruleText, matched);
        return matched;
    }

    TestMessage message;
    std::list<std::string> ruleTexts;  // the records point into them
};

TEST(FieldPrefixLength, HeaderNamesGroupsAndWholeTextFields) {
    const struct {
        const char* line;
        const char* field;
        int length;
    } cases[] = {
        {"Subject: hello", "Subject:", 8},
        {"SUBJECT: hello", "subject:", 8},
        {"X-Subject: hello", "Subject:", -1},
        {"Subject hello", "Subject:", -1},
        {"anything", "Body:", 0},
        {"anything", "htmltext:", 0},
        {"HtmlText: hello", "HtmlText:", 9},
        {"anything", "match:", 0},
        {"anything", "CompleteHeader:", 0},
        {"anything", "Line:", 0},
        {"anything", "Username:", 0},
        {"anything", "Servername:", 0},
        {"Body: hello", "Body:", 5},
        {"From: a", "Any-Sender:", 5},
        {"sender: a", "Any-Sender:", 7},
        {"Reply-To: a", "Any-Sender:", 9},
        {"X-Sender: a", "Any-Sender:", 9},
        {"Envelope-From: a", "Any-Sender:", 14},
        {"X-Envelope-From: a", "any-sender:", 16},
        {"X-From: a", "Any-Sender:", -1},
        {"To: a", "Any-Sender:", -1},
        {"Any-Sender: a", "Any-Sender:", 11},
        {"To: a", "Any-Recipient:", 3},
        {"Cc: a", "Any-Recipient:", 3},
        {"bcc: a", "Any-Recipient:", 4},
        {"Envelope-To: a", "Any-Recipient:", 12},
        {"X-Envelope-To: a", "Any-Recipient:", 14},
        {"From: a", "Any-Recipient:", -1},
        {"Any-Recipient: a", "Any-Sender:", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.length, fieldPrefixLength(c.line, c.field)) << c.line << " / " << c.field;
    }
}

TEST_F(MatchersTest, StringRuleFoldsCaseAndCutsTheNameAndOneSpace) {
    message.headers = {"SUBJECT:   FREE offer\r\n"};
    EXPECT_TRUE(matches("Subject: \"free\""));
    EXPECT_EQ(Lines{"valid: [Subject: \"free\"] matches [  free offer] in [Subject:]"},
              heldLines());
}

TEST_F(MatchersTest, HeaderFieldTestsOnlyLinesOfThatHeader) {
    message.headers = {"X-From: bob\r\n", "Sender: bob\r\n", nullptr, "Subject: From: bob\r\n"};
    EXPECT_FALSE(matches("From: \"bob\""));
    message.headers.push_back("from: Bob <b@x>\r\n");
    EXPECT_TRUE(matches("From: \"bob\""));
    EXPECT_EQ(Lines{"valid: [From: \"bob\"] matches [bob <b@x>] in [From:]"}, heldLines());
}

TEST_F(MatchersTest, AnySenderTestsItsSixHeadersEvenAfterAMatch) {
    message.headers = {"From: bob1",     "Sender: bob2",        "Reply-To: bob3",
                       "X-Sender: bob4", "Envelope-From: bob5", "X-Envelope-From: bob6",
                       "To: bob7",       "X-From: bob8",        "Resent-From: bob9"};
    EXPECT_TRUE(matches("Any-Sender: \"bob\""));
    Lines expected;
    for (const char* tested : {"bob1", "bob2", "bob3", "bob4", "bob5", "bob6"}) {
        expected.push_back(std::string("valid: [Any-Sender: \"bob\"] matches [") + tested +
                           "] in [Any-Sender:]");
    }
    EXPECT_EQ(expected, heldLines());
}

TEST_F(MatchersTest, AnyRecipientTestsItsFiveHeadersInAnyCase) {
    message.headers = {
        "To: a@x",   "cc: b@x",       "BCC: c@x", "Envelope-To: d@x", "X-Envelope-To: e@x",
        "From: f@x", "Resent-To: g@x"};
    EXPECT_TRUE(matches("Any-Recipient: {@x$}"));
    Lines expected;
    for (const char* tested : {"a@x", "b@x", "c@x", "d@x", "e@x"}) {
        expected.push_back(std::string("valid: [Any-Recipient: {@x$}] matches [") + tested +
                           "] in [Any-Recipient:]");
    }
    EXPECT_EQ(expected, heldLines());
}

TEST_F(MatchersTest, LiteralGroupHeaderLosesItsWholeName) {
    message.headers = {"Any-Sender: bob\r\n"};
    EXPECT_TRUE(matches("Any-Sender: {^bob$}"));
    EXPECT_EQ(Lines{"valid: [Any-Sender: {^bob$}] matches [bob] in [Any-Sender:]"}, heldLines());
}

TEST_F(MatchersTest, MatchFieldTestsEveryHeaderLineWhole) {
    message.headers = {"  Subject: hi\r\n", "X-Hi: hi\r\n"};
    EXPECT_TRUE(matches("Match: {^subject: hi$}"));
    EXPECT_EQ(Lines{"valid: [Match: {^subject: hi$}] matches [Subject: hi] in [Match:]"},
              heldLines());
}

TEST_F(MatchersTest, AnchorStandsBehindTheNameAndOneSpace) {
    message.headers = {"Subject: Free stuff\r\n"};
    EXPECT_TRUE(matches("Subject: {^free}"));
    EXPECT_EQ(Lines{"valid: [Subject: {^free}] matches [Free stuff] in [Subject:]"}, heldLines());
    message.headers = {"Subject:  free\r\n", "Subject:\tfree\r\n"};
    EXPECT_FALSE(matches("Subject: {^free}"));
}

TEST_F(MatchersTest, PatternSeesTheWholeSubjectWithoutMultiLine) {
    message.texts.rawBody = "first line\r\nsecond line\r\n";
    EXPECT_FALSE(matches("Body: {^second}"));
    EXPECT_FALSE(matches("Body: {first.line.second}"));
    EXPECT_TRUE(matches("Body: {first line\\s+second line$}"));
    EXPECT_EQ(Lines{"valid: [Body: {first line\\s+second line$}] matches something in [Body:]"},
              heldLines());
}

TEST_F(MatchersTest, HeaderRuleFindsTheFirstLineOfTheNamedHeader) {
    // The header index keys " X-Mailer: lead" by its name too, but the line does
    // not begin with it.
    message.headers = {" X-Mailer: lead\r\n", "Subject: x\r\n", nullptr, "x-mailer: foo\r\n",
                       "X-Mailer: bar\r\n"};
    EXPECT_TRUE(matches("Header: \"X-Mailer:\""));
    EXPECT_EQ(Lines{"valid: [X-Mailer:] exists: [x-mailer: foo]"}, heldLines());
}

TEST_F(MatchersTest, HeaderRuleIsAPrefixTestThatGroupsServeButWholeTextNamesDoNot) {
    message.headers = {"X-Mailer-Info: bar\r\n", "Reply-To: c@x\r\n"};
    EXPECT_TRUE(matches("Header: \"X-Mailer\""));
    EXPECT_TRUE(matches("Header: {Any-Sender:}"));
    EXPECT_FALSE(matches("Header: \"X-Mailer:\""));
    EXPECT_FALSE(matches("Header: \"Body:\""));
    EXPECT_EQ((Lines{"valid: [X-Mailer] exists: [X-Mailer-Info: bar]",
                     "valid: [Any-Sender:] exists: [Reply-To: c@x]"}),
              heldLines());
}

TEST_F(MatchersTest, SizeRuleComparesTheLeadingIntegerSigned) {
    message.fetch.messageSize = 20000;
    EXPECT_TRUE(matches("Size: \"20000\""));
    EXPECT_EQ(Lines{"valid: msgsize=20000 >= 20000"}, heldLines());
    message.fetch.messageSize = 19999;
    EXPECT_FALSE(matches("Size: \"20000\""));
    EXPECT_TRUE(matches("Size: \" 15000 bytes\""));
    EXPECT_TRUE(matches("Size: \"abc\""));
    EXPECT_EQ((Lines{"valid: msgsize=19999 >= 15000", "valid: msgsize=19999 >= 0"}), heldLines());
    message.fetch.messageSize = -1;
    EXPECT_FALSE(matches("Size: \"abc\""));
}

TEST_F(MatchersTest, MoreGroupsThanTheVectorHoldsStillMatch) {
    std::string groups;
    for (int i = 0; i < 50; ++i) {
        groups += "(a)";
    }
    std::string line = "Subject: " + std::string(50, 'a');
    message.headers = {line.c_str()};
    EXPECT_TRUE(matches(("Subject: {" + groups + "}").c_str()));
}

TEST_F(MatchersTest, NegatedRuleSetsMatchedButHoldsNoEvidence) {
    message.headers = {"Subject: free\r\n"};
    message.fetch.messageSize = 10;
    EXPECT_TRUE(matches("-Subject: \"free\""));
    EXPECT_TRUE(matches("-Subject: {free}"));
    EXPECT_TRUE(matches("-Header: \"Subject:\""));
    EXPECT_TRUE(matches("-Size: \"1\""));
    EXPECT_EQ(0, heldLineCount());
    EXPECT_EQ(Lines{}, logLines());
}

TEST_F(MatchersTest, HostValuesAreTestedWholeAndMissingOnesNotAtAll) {
    EXPECT_TRUE(matches("Username: \"ALICE\""));
    EXPECT_TRUE(matches("Servername: {^pop\\.}"));
    EXPECT_EQ((Lines{"valid: [Username: \"ALICE\"] matches [alice] in [Username:]",
                     "valid: [Servername: {^pop\\.}] matches [pop.example.com] in [Servername:]"}),
              heldLines());
    message.account.userName = nullptr;
    EXPECT_FALSE(matches("Username: {.*}"));
    EXPECT_FALSE(matches("Username: {^$}"));
}

TEST_F(MatchersTest, LineRulesUseDecodedLinesWheneverTheBodyIsEncodedAndDecoded) {
    message.texts.rawLines = {"raw line\r", nullptr};
    message.texts.decodedLines = {nullptr, "decoded line\r"};
    message.texts.bodyIsEncoded = true;
    message.texts.bodyDecoded = true;
    EXPECT_TRUE(matches("Line: \"line\""));
    EXPECT_TRUE(matches("~Line: \"line\""));
    // Announced, but no decoder ran: the raw lines rather than none.
    message.texts.bodyDecoded = false;
    EXPECT_TRUE(matches("Line: \"line\""));
    message.texts.bodyIsEncoded = false;
    EXPECT_TRUE(matches("~Line: \"line\""));
    EXPECT_EQ((Lines{"valid: [Line: \"line\"] matches [decoded line] in [Line:]",
                     "valid: [~Line: \"line\"] matches [decoded line] in [Line:]",
                     "valid: [Line: \"line\"] matches [raw line] in [Line:]",
                     "valid: [~Line: \"line\"] matches [raw line] in [Line:]"}),
              heldLines());
}

TEST_F(MatchersTest, DecodedFlagSwitchesWholeHeaderAndBodyOnlyForEncodedBodies) {
    message.texts.rawHeaderText = "raw header";
    message.texts.decodedHeaderText = "decoded header";
    message.texts.rawBody = "raw body";
    message.texts.decodedBody = "decoded body";
    const struct {
        const char* rule;
        bool bodyIsEncoded;
        bool bodyDecoded;
        bool matched;
    } cases[] = {
        {"CompleteHeader: \"decoded\"", true, true, true},
        {"~CompleteHeader: \"raw\"", true, true, true},
        {"~CompleteHeader: \"raw\"", true, false, true},
        {"~CompleteHeader: \"decoded\"", false, false, true},
        {"Body: \"raw\"", true, true, true},
        {"~Body: \"decoded\"", true, true, true},
        {"~Body: \"raw\"", false, false, true},
        {"~Body: \"raw\"", true, false, true},  // announced, but no decoder ran
        {"CompleteHeader: \"raw\"", true, true, false},
        {"~Body: \"raw\"", true, true, false},
    };
    for (const auto& c : cases) {
        message.texts.bodyIsEncoded = c.bodyIsEncoded;
        message.texts.bodyDecoded = c.bodyDecoded;
        EXPECT_EQ(c.matched, matches(c.rule))
            << c.rule << " encoded " << c.bodyIsEncoded << " decoded " << c.bodyDecoded;
    }
    writeLog("", LOG_DISCARD);
    message.texts.bodyIsEncoded = true;
    EXPECT_TRUE(matches("~CompleteHeader: {raw}"));
    EXPECT_EQ(Lines{"valid: [~CompleteHeader: {raw}] matches something in [CompleteHeader:]"},
              heldLines());
}

// HtmlText: tests the visible text of the body that Body: would test.
TEST_F(MatchersTest, HtmlTextTestsTheVisibleTextOfTheBodyThatBodyTests) {
    message.headers = {"Content-Type: text/html\r\n",
                       "Content-Transfer-Encoding: quoted-printable\r\n"};
    message.texts.rawBody = "<p>Click <a href=3D\"x\">he=\r\nre</a> =3D=3D=3D";
    message.texts.decodedBody = "<p>Click <a href=\"x\">here</a> ===";
    message.texts.bodyIsEncoded = true;
    message.texts.bodyDecoded = true;
    EXPECT_TRUE(matches("~HtmlText: {^click here ===$}"));
    EXPECT_TRUE(matches("HtmlText: \"click he= re\""));
    EXPECT_FALSE(matches("HtmlText: \"click here\""));
    EXPECT_FALSE(matches("~Body: \"click here\""));
    message.texts.bodyDecoded = false;  // no decoder ran: the raw body's visible text
    EXPECT_TRUE(matches("~HtmlText: {^Click he= re =3D=3D=3D$}"));
    EXPECT_EQ((Lines{"valid: [~HtmlText: {^click here ===$}] matches something in [HtmlText:]",
                     "valid: [HtmlText: \"click he= re\"] matches something in [HtmlText:]",
                     "valid: [~HtmlText: {^Click he= re =3D=3D=3D$}] matches something in "
                     "[HtmlText:]"}),
              heldLines());
}

TEST_F(MatchersTest, DecodedFlagDecodesEncodedWordsOfHeaderLines) {
    message.headers = {"Subject: =?ISO-8859-1?Q?Gr=FC=DFe?=\r\n"};
    EXPECT_TRUE(
        matches("~Subject: {^Gr\xFC\xDF"
                "e$}"));
    EXPECT_FALSE(
        matches("Subject: {^Gr\xFC\xDF"
                "e$}"));
    EXPECT_TRUE(matches("Subject: \"=?iso-8859-1?q?gr=fc\""));
}

TEST_F(MatchersTest, DecodedFlagLeavesWordsOfBodyLinesAndWholeHeaderAlone) {
    message.texts.rawBody = "=?ISO-8859-1?Q?Gr=FC=DFe?=";
    message.texts.rawLines = {"=?ISO-8859-1?Q?Gr=FC=DFe?="};
    message.texts.decodedHeaderText = "Subject: =?ISO-8859-1?Q?Gr=FC=DFe?=";
    EXPECT_TRUE(matches("~Body: \"q?gr=fc\""));
    EXPECT_TRUE(matches("~Line: \"q?gr=fc\""));
    EXPECT_TRUE(matches("~CompleteHeader: \"q?gr=fc\""));
}

TEST_F(MatchersTest, DecodingIsTracedAtDebugLevel) {
    filterOptions.traceLevel = TRACE_DEBUG;
    message.headers = {"  Subject: =?ISO-8859-1?Q?Gr=FC=DFe?=\r\n", "Subject: plain\r\n"};
    matches("~Subject: \"x\"");
    EXPECT_EQ((Lines{"mime encoded: [Subject: =?ISO-8859-1?Q?Gr=FC=DFe?=]",
                     "mime decoded: [Subject: Gr\xFC\xDF"
                     "e]"}),
              logLines());
}

TEST_F(MatchersTest, MatchingErrorsAreLoggedAndNeverMatch) {
    bool matched = false;
    message.headers = {"Subject: x"};
    test("Subject: {x}", matched, true);
    EXPECT_FALSE(matched);
    // The first subject at the limit spends the rule's budget for the message:
    // the others, the matching one too, are not tested, and one line says so.
    std::string subject = "Subject: " + std::string(40, 'a') + "b";
    message.headers = {subject.c_str(), subject.c_str(), "Subject: aaa"};
    test("Subject: {(a+)+$}", matched);
    EXPECT_FALSE(matched);
    EXPECT_EQ((Lines{"error NULL: either code or subject or ovector was passed as NULL",
                     "error MATCHLIMIT: the recursion and backtracking limit is reached by "
                     "[Subject: {(a+)+$}]; its other tests in this message are skipped"}),
              logLines());
}

// Over 4 KB this pattern stays below the step limit at every starting
// position and took 38 s; the rule's budget now stops it within the match.
const char* const RUNAWAY_BODY_RULE =
    "Body: 5 {[a-z]{0,92}[a-z]{0,92}[a-z]{0,92}[a-z0-9][!?]} [tb92]";

TEST_F(MatchersTest, RunawayRuleStopsWithinItsBudgetAndIsNamed) {
    message.texts.rawBody = std::string(4096, 'a');
    bool matched = false;
    test(RUNAWAY_BODY_RULE, matched);
    EXPECT_FALSE(matched);
    EXPECT_EQ((Lines{"error: [" + std::string(RUNAWAY_BODY_RULE) +
                     "] took more than 250 ms in this message; its other tests in this message "
                     "are skipped"}),
              logLines());
}

// Once the message's budget is spent, the rule at work and every pattern rule
// after it are cut off, unmatched, and left for the scan to name.
TEST_F(MatchersTest, SpentMessageBudgetCutsOffTheRulesLeft) {
    message.texts.rawBody = std::string(4096, 'a');
    message.headers = {"Subject: x"};
    MessageBudget budget;
    budget.deadline = deadlineAfter(std::chrono::milliseconds(20));
    bool matched = false;
    test(RUNAWAY_BODY_RULE, matched, false, &budget);
    test("Subject: {x}", matched, false, &budget);
    EXPECT_FALSE(matched);
    EXPECT_EQ((std::vector<std::string_view>{RUNAWAY_BODY_RULE, "Subject: {x}"}), budget.cutRules);
    EXPECT_TRUE(logLines().empty());
}

TEST_F(MatchersTest, TestsNeverClearAnEarlierMatch) {
    bool matched = true;
    message.headers = {"Subject: x"};
    message.fetch.messageSize = 1;
    test("Subject: \"absent\"", matched);
    test("Subject: {absent}", matched);
    test("Size: \"100\"", matched);
    EXPECT_TRUE(matched);
}

// A text part begins at "Content-Type: text/", any other Content-Type line ends it.
const std::vector<const char*> MULTIPART_LINES = {
    "preamble spam\r",
    "--b1\r",
    "Content-Type: text/plain; charset=us-ascii\r",
    "\r",
    "plain spam\r",
    "--b1\r",
    "content-type: TEXT/html\r",
    "\r",
    "<b>html spam</b>\r",
    "--b1\r",
    "Content-Type: image/gif\r",
    "\r",
    "gif spam\r",
    "--b1--\r",
};

TEST_F(MatchersTest, TextOnlyLineRuleTestsOnlyLinesOfTextParts) {
    message.headers = {"Content-Type: multipart/mixed; boundary=\"b1\"\r\n"};
    message.texts.decodedLines = MULTIPART_LINES;
    message.texts.bodyIsEncoded = true;
    message.texts.bodyDecoded = true;
    EXPECT_TRUE(matches("!Line: \"spam\""));
    EXPECT_EQ((Lines{"valid: [!Line: \"spam\"] matches [plain spam] in [Line:]",
                     "valid: [!Line: \"spam\"] matches [<b>html spam</b>] in [Line:]"}),
              heldLines());
    EXPECT_FALSE(matches("!Line: \"content-type\""));
    EXPECT_TRUE(matches("Line: \"content-type\""));
}

TEST_F(MatchersTest, TextOnlyStartsFromTheMessagesOwnContentType) {
    message.texts.rawLines = {"hello spam\r", "Content-Type: image/png\r", "later spam\r"};
    EXPECT_TRUE(matches("!Line: \"hello\""));
    message.headers = {"Subject: x\r\n", "Content-Type: text/plain\r\n"};
    EXPECT_TRUE(matches("!Line: \"hello\""));
    EXPECT_FALSE(matches("!Line: \"later\""));
    message.headers = {"Content-Type: image/png\r\n", "Content-Type: text/plain\r\n"};
    EXPECT_FALSE(matches("!Line: \"spam\""));
}

TEST_F(MatchersTest, TextOnlyOptionRestrictsEveryLineRule) {
    filterOptions.textOnly = true;
    message.headers = {"Content-Type: multipart/alternative; boundary=b1\r\n"};
    message.texts.rawLines = MULTIPART_LINES;
    EXPECT_FALSE(matches("Line: \"preamble\""));
    EXPECT_TRUE(matches("Line: \"plain spam\""));
}

}  // namespace
}  // namespace cw
