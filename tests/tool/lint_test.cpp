// --lint: the rule reader's warnings and errors of this run, found in the log.
#include <algorithm>

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
        "Subject: [comment only]\r\n"
        "Subject: 2.0 {\\x41(b} [hex escape]\r\n");
    ToolRun result = scan("--lint");
    EXPECT_EQ(3, result.status);
    const std::string at = config + "filters.dat:";
    EXPECT_EQ(at + "1: warning: include blacklist failed: " + toolFolder() + "missing_list.txt\n" +
                  at + "3: error: the '{' of the pattern has no closing '}' " +
                  "[Subject: 2.0 {unclosed [bad brace]]\n" + at +
                  "4: error: the pattern does not compile: missing closing parenthesis at offset "
                  "3 [Subject: 2.0 {a(b} [bad pattern]]\n" +
                  at + "5: error: no blank after the field: a rule is 'Field: [score] {pattern}' " +
                  "or 'Field: [score] \"text\"', and the field ends at the first blank " +
                  "[Subject:nospace]\n" + at +
                  "6: warning: type mismatch in filter [@+Subject: \"x\"]\n" + at +
                  "6: warning: '@' cannot be combined with '+', '=', '%' (will be ignored)\n" + at +
                  "7: error: the rule has neither a {pattern} nor a \"text\" to look for " +
                  "[Subject: [comment only]]\n" + at +
                  "8: error: the pattern does not compile: missing closing parenthesis at offset "
                  "6 [Subject: 2.0 {\\x5cx41(b} [hex escape]]\n",
              result.out);
    EXPECT_TRUE(result.err.ends_with("5 errors, 3 warnings\n")) << result.err;
}

// Each finding names its place and its reason: for a pattern PCRE2's own message
// and offset, for an element what it is not, for an option what it needs.
TEST_F(ScanToolTest, LintSaysWhereAndWhy) {
    writeRules(
        "Subject: 1.0 {unclosed( [b]\r\n"
        "Foo: bar\r\n"
        "THRESHOLD_SPAM x\r\n"
        "THRESHOLD_SUSPECT -2.5\r\n"
        "MAXSIZE=4000\r\n");
    ToolRun result = scan("--lint");
    EXPECT_EQ(3, result.status);
    const std::string at = config + "filters.dat:";
    EXPECT_EQ(at + "1: error: the '{' of the pattern has no closing '}'; read to the end of the " +
                  "line, the pattern fails: missing closing parenthesis at offset 13 " +
                  "[Subject: 1.0 {unclosed( [b]]\n" + at +
                  "2: error: 'bar' is not a score, a {pattern}, a \"text\" or a [comment] (a " +
                  "text is written \"bar\") [Foo: bar]\n" + at +
                  "3: error: THRESHOLD_SPAM needs a number, not 'x': the plug-in reads it as 0\n" +
                  at + "5: error: MAXSIZE needs a number, not '=4000': the plug-in reads it as 0\n",
              result.out);
    EXPECT_TRUE(result.err.ends_with("4 errors, 0 warnings\n")) << result.err;
}

TEST_F(ScanToolTest, LintWithWarningsOnlySucceeds) {
    writeRules(
        "NOWHITELIST\r\n"
        "+From: -5.0 \"friend@example.org\"\r\n");
    ToolRun result = scan("--lint");
    EXPECT_EQ(0, result.status);
    const std::string at = config + "filters.dat:2: ";
    EXPECT_EQ(at + "warning: type mismatch in filter [+From: -5.0 \"friend@example.org\"]\n" + at +
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

// A log already beyond MAXLOGSIZE is not cut during the check (the findings are
// read from it); the lines of this run are still told apart from the old ones.
TEST_F(ScanToolTest, LintFindsItsLinesInALogPastItsLimit) {
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
    EXPECT_EQ(config +
                  "filters.dat:2: error: no blank after the field: a rule is 'Field: [score] " +
                  "{pattern}' or 'Field: [score] \"text\"', and the field ends at the first " +
                  "blank [Subject:nospace]\n",
              result.out);
    EXPECT_TRUE(readBytes(config + "cobbleweave.log").starts_with(oldLog));
}

// So many findings that the log would pass MAXLOGSIZE during the check: every
// one is still reported, with the file that was read.
TEST_F(ScanToolTest, LintReportsEveryFindingWhenTheLogWouldBeCut) {
    std::string rules = "MAXLOGSIZE 10240\r\n";
    for (int i = 0; i < 400; ++i) {
        rules += "Subject:nospace" + std::to_string(i) + "\r\n";
    }
    writeRules(rules);
    ToolRun result = scan("--lint");
    EXPECT_EQ(3, result.status) << result.err;
    EXPECT_EQ(400, std::count(result.out.begin(), result.out.end(), '\n'));
    EXPECT_TRUE(result.out.starts_with(config + "filters.dat:2: error: no blank after the field"))
        << result.out.substr(0, 200);
    EXPECT_NE(std::string::npos, result.out.find(config + "filters.dat:401: error: no blank"));
    EXPECT_NE(std::string::npos, result.err.find("read " + config + "filters.dat\n"));
    EXPECT_TRUE(result.err.ends_with("400 errors, 0 warnings\n")) << result.err;
}

// What the rule reader does without a word: a line longer than it reads as one
// (its tail becomes a rule of its own), CR-only line ends (the file is one
// line), a score too large for a number.
TEST_F(ScanToolTest, LintWarnsAboutWhatTheRuleReaderDoesSilently) {
    const std::string path = config + "filters.dat";
    struct Case {
        std::string rules;
        int status;
        std::string out;
    } cases[] = {
        {"# " + std::string(4100, 'c') + "Subject: 9.0 \"hidden\"\r\n", 0,
         path + ":1: warning: line of 4123 bytes: the plug-in reads its first 4094 bytes " +
             "as one line and the rest as lines of their own\n"},
        {"Subject: \"a\"\rSubject: \"b\"\r", 3,
         path + ":1: error: '\\x0dSubject:' is not a score, a {pattern}, a \"text\" or a " +
             "[comment] (a text is written \"\\x0dSubject:\") [Subject: \"a\"\\x0dSubject: " +
             "\"b\"]\n" + path +
             ": warning: CR without LF (CR-only line ends): the plug-in ends lines at " +
             "LF only, so what follows a lone CR is read as part of the same line\n"},
        {"Subject: 1.0 \"a\"\r\nSubject: " + std::string(400, '9') + " \"b\"\r\n", 0,
         path + ":2: warning: score 99999999999999999999... is too large for a number: " +
             "it counts as the largest one, about 1.8e308\n"},
    };
    for (const Case& c : cases) {
        writeRules(c.rules);
        ToolRun result = scan("--lint");
        EXPECT_EQ(c.status, result.status) << result.err;
        EXPECT_EQ(c.out, result.out);
    }
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
