// --lint: the rule reader's warnings and errors of this run, found in the log.
#include "tool_runner.h"

namespace {

TEST_F(ScanToolTest, LintReportsEveryBadRuleAndFailsWithThree) {
    writeRules(
        "B_INCLUDE_SENDER 2.0 missing_list.txt\r\n"
        "Subject: 1.0 \"fine\" [good rule]\r\n"
        "Subject: 2.0 {unclosed [bad brace]\r\n"
        "Subject: 2.0 {a(b} [bad pattern]\r\n"
        "Subject:nospace\r\n"
        "@+Subject: \"x\"\r\n"
        "Subject: [comment only]\r\n");
    ToolRun result = scan("--lint");
    EXPECT_EQ(3, result.status);
    EXPECT_EQ("warning: include blacklist failed: " + toolFolder() + "missing_list.txt\n" +
                  "error: error in {} [Subject: 2.0 {unclosed [bad brace]]\n"
                  "error: cannot compile [Subject: 2.0 {a(b} [bad pattern]]\n"
                  "       failed at offset 3: missing closing parenthesis\n"
                  "error: no pattern found [Subject:nospace]\n"
                  "warning: type mismatch in filter [@+Subject: \"x\"]\n"
                  "warning: '@' cannot be combined with '+', '=', '%' (will be ignored)\n"
                  "error: no pattern [Subject: [comment only]]\n",
              result.out);
    EXPECT_TRUE(result.err.ends_with("4 errors, 3 warnings\n")) << result.err;
}

TEST_F(ScanToolTest, LintWithWarningsOnlySucceeds) {
    writeRules(
        "NOWHITELIST\r\n"
        "+From: -5.0 \"friend@example.org\"\r\n");
    ToolRun result = scan("--lint");
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(
        "warning: type mismatch in filter [+From: -5.0 \"friend@example.org\"]\n"
        "warning: '+' and '%' cannot be used with NOWHITELIST (rule will never match)\n",
        result.out);
    EXPECT_TRUE(result.err.ends_with("0 errors, 2 warnings\n")) << result.err;
}

TEST_F(ScanToolTest, LintIgnoresWhatEarlierRunsLogged) {
    writeRules("Subject:nospace\r\n");
    ASSERT_EQ(3, scan("--lint").status);
    writeRules("Subject: \"fixed\"\r\n");
    ToolRun result = scan("--lint");
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("", result.out);
}

// A log beyond MAXLOGSIZE is cut to its newer half while the rules load; the
// lines of this run are still told apart from the old ones.
TEST_F(ScanToolTest, LintFindsItsLinesAfterThePluginCutsTheLog) {
    std::string oldLog;
    while (oldLog.size() <= 12000) {
        oldLog += "01 Jan 26  10:00:00  error: old finding [Subject: old]\r\n";
    }
    writeFile(config + "cobbleweave.log", oldLog);
    writeRules(
        "MAXLOGSIZE 10240\r\n"
        "Subject:nospace\r\n");
    ToolRun result = scan("--lint");
    EXPECT_EQ(3, result.status);
    EXPECT_EQ("error: no pattern found [Subject:nospace]\n", result.out);
    EXPECT_LT(readBytes(config + "cobbleweave.log").size(), oldLog.size());
}

TEST_F(ScanToolTest, LintLeavesTheStatisticsAlone) {
    writeRules("Subject: \"x\"\r\n");
    ASSERT_EQ(0, scan("--lint").status);
    EXPECT_FALSE(std::filesystem::exists(config + "statistics.dat"));
    EXPECT_FALSE(std::filesystem::exists(config + "statistics.txt"));
}

TEST_F(ScanToolTest, LintWithoutAnyReadableRuleFileIsAnInputError) {
    // The configuration folder is not writable for the log: a file stands where
    // the log would be opened for appending.
    std::filesystem::create_directory(config + "cobbleweave.log");
    writeRules("Subject: \"x\"\r\n");
    ToolRun result = scan("--lint");
    EXPECT_EQ(2, result.status);
    EXPECT_NE(std::string::npos, result.err.find("the plug-in read no rule file")) << result.err;
}

}  // namespace
