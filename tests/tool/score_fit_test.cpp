// --fit on folders small enough to work the fit out by hand.
#include "tool_runner.h"

namespace {

// THRESHOLD_SPAM 4.0. Scores by hand (the rules in brackets):
//   spam s1-s3  [base 2.0, cash]                          before 3.0, not marked
//   ham  a1-a2  [base 2.0, lottery 4.0, meeting, thread]  before 6.0, marked
//   ham  b1     nothing                                   0.0
// Weights: spam 1; ham-a 2 x max(1, 3/2) = 3; ham-b 2 x max(1, 3/1) = 6.
// cash hits only spam, whose sum stays at or below 5.0 up to the cap, so
// every step pushes it up: 3.0, its cap. meeting and thread hit only ham that
// the fixed rules alone put above the threshold: meeting falls to 0.0 (from
// the 1.0 of a rule without a score), thread to -2.0, its cap. Afterwards
// spam sums 5.0 > 4.0 and ham-a 4.0, not above it. Each fold of five keeps
// spam with cash and a ham-a message in its training mail, so every held-out
// message gets the same verdict.
const std::string RULES =
    "THRESHOLD_SPAM 4.0\r\n"
    "Subject: 2.0 {base} [base]\r\n"
    "# fit: at most 3.0\r\n"
    "Subject:   1.0   {cash} [cash]\r\n"
    "Body: {meeting} [meeting]\r\n"
    "Subject: 1.0 {never} [never]\n"
    "#  fit:  at least -2.0\r\n"
    "Body: -1.0 {thread} [thread]\r\n"
    "# fit: fixed\r\n"
    "Body: 4.0 {lottery} [lottery]\r\n";

const std::string FITTED =
    "THRESHOLD_SPAM 4.0\r\n"
    "Subject: 2.0 {base} [base]\r\n"
    "# fit: at most 3.0\r\n"
    "Subject:   3.0   {cash} [cash]\r\n"
    "Body: 0.0 {meeting} [meeting]\r\n"
    "Subject: 1.0 {never} [never]\n"
    "#  fit:  at least -2.0\r\n"
    "Body: -2.0 {thread} [thread]\r\n"
    "# fit: fixed\r\n"
    "Body: 4.0 {lottery} [lottery]\r\n";

class ScoreFitTest : public ScanToolTest {
  protected:
    void SetUp() override {
        ScanToolTest::SetUp();
        writeRules(RULES);
        for (const char* name : {"spam/s1.eml", "spam/s2.eml", "spam/s3.eml"}) {
            writeMail(name, "Subject: base cash\r\n\r\nhello\r\n");
        }
        for (const char* name : {"ham-a/a1.eml", "ham-a/a2.eml"}) {
            writeMail(name, "Subject: base\r\n\r\nmeeting lottery thread\r\n");
        }
        writeMail("ham-b/b1.eml", "Subject: hello\r\n\r\nhi\r\n");
    }

    ToolRun fit(const std::string& options) {
        return scan("--spam " + shellQuoted(mail + "spam") + " --ham " +
                    shellQuoted(mail + "ham-a") + " --ham " + shellQuoted(mail + "ham-b") +
                    " --fit " + options);
    }
};

TEST_F(ScoreFitTest, DrivesScoresToWhatTheMailShowsAndWritesOnlyThem) {
    std::string out = scratch + "fitted.dat";
    ToolRun result = fit(shellQuoted(out));
    ASSERT_EQ(0, result.status) << result.err;
    EXPECT_EQ(FITTED, readBytes(out));
    EXPECT_EQ(RULES, readBytes(config + "filters.dat"));
    EXPECT_EQ(
        "Scores of " + config +
            "filters.dat fitted to 6 messages at THRESHOLD_SPAM 4.0.\n"
            "A missed spam costs 1.0, a ham message marked as spam 2.0 x max(1, spam "
            "messages / messages of its folder).\n"
            "\n"
            "spam " +
            mail +
            "spam: 3 messages, each weighs 1.0\n"
            "  before, with the current scores:          0 marked as spam, recall 0.00%\n"
            "  after, cross-validated (5 folds):         3 marked as spam, recall 100.00%\n"
            "  after, fitted on all the mail:            3 marked as spam, recall 100.00%\n"
            "\n"
            "ham " +
            mail +
            "ham-a: 2 messages, each weighs 3.0\n"
            "  before, with the current scores:          2 marked as spam, false positives "
            "100.00%\n"
            "  after, cross-validated (5 folds):         0 marked as spam, false positives 0.00%\n"
            "  after, fitted on all the mail:            0 marked as spam, false positives 0.00%\n"
            "\n"
            "ham " +
            mail +
            "ham-b: 1 messages, each weighs 6.0\n"
            "  before, with the current scores:          0 marked as spam, false positives 0.00%\n"
            "  after, cross-validated (5 folds):         0 marked as spam, false positives 0.00%\n"
            "  after, fitted on all the mail:            0 marked as spam, false positives 0.00%\n"
            "\n"
            "3 rules fitted, 3 scores changed:\n"
            "  filters.dat:4 [cash]: 1.0 -> 3.0\n"
            "  filters.dat:5 [meeting]: 1.0 -> 0.0\n"
            "  filters.dat:8 [thread]: -1.0 -> -2.0\n",
        result.out);
}

TEST_F(ScoreFitTest, WithoutOutTheCopyGoesToStandardOutputTheSameEveryTime) {
    ToolRun first = fit("");
    ToolRun second = fit("");
    ASSERT_EQ(0, first.status) << first.err;
    EXPECT_EQ(FITTED, first.out);
    EXPECT_EQ(first.out, second.out);
    EXPECT_TRUE(first.err.starts_with("Scores of " + config + "filters.dat fitted")) << first.err;
    EXPECT_EQ(RULES, readBytes(config + "filters.dat"));
    // Named as OUT, the user's own file is replaced.
    ASSERT_EQ(0, fit(shellQuoted(config + "filters.dat")).status);
    EXPECT_EQ(FITTED, readBytes(config + "filters.dat"));
}

TEST_F(ScoreFitTest, InputErrorsExitWithTwoAndWriteNothing) {
    std::filesystem::create_directory(mail + "empty");
    const std::string out = scratch + "fitted.dat";
    const std::string labelled = "--spam " + shellQuoted(mail + "spam") + " --ham ";
    struct Case {
        std::string name;
        std::string rules;
        std::string arguments;
        std::string error;
    } cases[] = {
        {"empty folder", RULES, labelled + shellQuoted(mail + "empty"), "holds no files"},
        {"missing folder", RULES, labelled + shellQuoted(mail + "missing"), "cannot read"},
        {"no fit line", "THRESHOLD_SPAM 4.0\r\nSubject: 2.0 {base}\r\n",
         labelled + shellQuoted(mail + "ham-a"), "can be fitted"},
        {"fit lines above no rule that hits", "# fit: at most 3.0\r\nSubject: 2.0 {zzz}\r\n",
         labelled + shellQuoted(mail + "ham-a"), "can be fitted"},
    };
    for (const Case& test : cases) {
        writeRules(test.rules);
        ToolRun result = scan(test.arguments + " --fit " + shellQuoted(out));
        EXPECT_EQ(2, result.status) << test.name;
        EXPECT_NE(std::string::npos, result.err.find(test.error))
            << test.name << ": " << result.err;
        EXPECT_EQ(test.rules, readBytes(config + "filters.dat")) << test.name;
        EXPECT_FALSE(std::filesystem::exists(out)) << test.name;
    }
}

TEST_F(ScoreFitTest, OutThatCannotBeWrittenExitsWithTwo) {
    ToolRun result = fit(shellQuoted(scratch + "no-such-folder/fitted.dat"));
    EXPECT_EQ(2, result.status);
    EXPECT_NE(std::string::npos, result.err.find("cannot write")) << result.err;
    EXPECT_EQ(RULES, readBytes(config + "filters.dat"));
}

TEST_F(ScoreFitTest, RuleFileThatDoesNotLoadExitsWithTwo) {
    // A folder stands where the log would be opened: the plug-in reads no rule file.
    std::filesystem::create_directory(config + "cobbleweave.log");
    ToolRun result = fit(shellQuoted(scratch + "fitted.dat"));
    EXPECT_EQ(2, result.status);
    EXPECT_NE(std::string::npos, result.err.find("the plug-in read no rule file")) << result.err;
    EXPECT_EQ(RULES, readBytes(config + "filters.dat"));
    EXPECT_FALSE(std::filesystem::exists(scratch + "fitted.dat"));
}

TEST_F(ScoreFitTest, MisusedOptionsAreUsageErrors) {
    const std::string spam = " --spam " + shellQuoted(mail + "spam");
    const std::string ham = " --ham " + shellQuoted(mail + "ham-a");
    const std::string arguments[] = {
        spam + ham + " --fit --json",
        spam + ham + " --fit --lint",
        spam + ham + " --fit --headers",
        spam + ham + " --fit out.dat " + shellQuoted(mail + "ham-b"),
        spam + " --fit",
        ham + " --fit",
        spam + ham + " --fit --folds 1",
        spam + ham + " --fit --folds x",
        spam + ham + " --folds 3",
        spam + ham + " --fit=",
    };
    for (const std::string& argument : arguments) {
        ToolRun result = scan(argument);
        EXPECT_EQ(1, result.status) << argument;
        EXPECT_TRUE(result.err.starts_with("cobbleweave-scan: ")) << argument << result.err;
    }
    EXPECT_EQ(RULES, readBytes(config + "filters.dat"));
}

}  // namespace
