// The shipped rules on the shipped example messages: spam is marked, ordinary
// mail is left alone, the colleague is whitelisted, and the rules read cleanly.
#include "tool_runner.h"

namespace {

struct ExpectedVerdict {
    const char* name;
    const char* verdict;
};

// In the order the program reads the folder.
const ExpectedVerdict EXAMPLE_VERDICTS[] = {
    {"01-personal-plain.eml", "none"},
    {"02-newsletter-html.eml", "none"},
    {"03-base64-text.eml", "none"},
    {"04-quoted-printable.eml", "none"},
    {"05-multipart-alternative.eml", "none"},
    {"06-encoded-subject-b.eml", "none"},
    {"07-encoded-subject-q.eml", "none"},
    {"08-spam-pharma.eml", "spam"},
    {"09-spam-lottery.eml", "spam"},
    {"10-spam-phishing.eml", "spam"},
    {"11-mailing-list.eml", "none"},
    {"12-whitelisted-colleague.eml", "whitelisted"},
    {"13-blocked-sender.eml", "spam"},
    {"14-archive.mbox#1", "none"},
    {"14-archive.mbox#2", "spam"},
    {"14-archive.mbox#3", "none"},
};

TEST_F(ScanToolTest, ShippedRulesMarkTheSpamExamplesAndNothingElse) {
    useShippedConfig();
    ToolRun result = scan(shellQuoted(std::string(EXAMPLES_DIR) + "/messages"));
    ASSERT_EQ(0, result.status) << result.err;
    std::vector<std::string> lines = splitLines(result.out);
    ASSERT_EQ(std::size(EXAMPLE_VERDICTS), lines.size()) << result.out;
    for (size_t index = 0; index < lines.size(); ++index) {
        const ExpectedVerdict& expected = EXAMPLE_VERDICTS[index];
        std::vector<std::string> fields = resultFields(lines[index]);
        ASSERT_EQ(4u, fields.size()) << lines[index];
        EXPECT_TRUE(fields[0].ends_with(std::string("/") + expected.name)) << lines[index];
        EXPECT_EQ(expected.verdict, fields[1]) << lines[index];
        EXPECT_NE("-", fields[2]) << "ADDSCORE is on, every message has a score: " << lines[index];
        EXPECT_EQ(std::string(expected.verdict) == "none", fields[3] == "-") << lines[index];
    }
    EXPECT_TRUE(result.err.starts_with("16 messages: 5 spam, 1 whitelisted, 0 both, 10 none; "))
        << result.err;
}

TEST_F(ScanToolTest, WhitelistedColleagueEndsTheScanWithItsOwnScore) {
    useShippedConfig();
    ToolRun result = scan("--headers " + shellQuoted(std::string(EXAMPLES_DIR) +
                                                     "/messages/12-whitelisted-colleague.eml"));
    ASSERT_EQ(0, result.status) << result.err;
    std::vector<std::string> lines = splitLines(result.out);
    ASSERT_EQ(3u, lines.size()) << result.out;
    EXPECT_EQ("-10.0", resultFields(lines[0])[2]);
    EXPECT_EQ("    X-Quelt-Score: -10.0", lines[1]);
    EXPECT_EQ("    X-Quelt: [-10.0] known correspondent", lines[2]);
}

TEST_F(ScanToolTest, ShippedRulesLintWithoutFindings) {
    useShippedConfig();
    ToolRun result = scan("--lint");
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("", result.out);
    EXPECT_EQ("read " + config + "filters.dat\n0 errors, 0 warnings\n", result.err);
}

// Without a filters.dat the plug-in falls back to the default rules beside it,
// whose lists the build puts there too.
TEST_F(ScanToolTest, DefaultRulesBesideThePluginFindTheirLists) {
    ToolRun result = scan("--lint");
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("", result.out);
    EXPECT_EQ("read " + toolFolder() + "default_filters.dat\n0 errors, 0 warnings\n", result.err);
}

}  // namespace
