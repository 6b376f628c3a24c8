// What the program prints: result lines, the added header lines, JSON objects
// that scripts can parse, and the summary on standard error.
#include <regex>

#include "tool_runner.h"

namespace {

const char* const OFFER_MESSAGE = "Subject: special offer\r\n\r\nbuy\r\n";
const char* const PLAIN_MESSAGE = "Subject: lunch\r\n\r\nat noon\r\n";

TEST_F(ScanToolTest, ResultLinesShowDashesForMissingScoreAndTag) {
    writeRules("Subject: 6.0 \"offer\" [offer]\r\n");
    std::string offer = writeMail("1-offer.eml", OFFER_MESSAGE);
    std::string plain = writeMail("2-plain.eml", PLAIN_MESSAGE);
    ToolRun result = scan(shellQuoted(mail));
    ASSERT_EQ(0, result.status) << result.err;
    std::vector<std::string> lines = splitLines(result.out);
    ASSERT_EQ(2u, lines.size()) << result.out;
    std::vector<std::string> spam = resultFields(lines[0]);
    ASSERT_EQ(4u, spam.size());
    EXPECT_EQ(offer, spam[0]);
    EXPECT_EQ("spam", spam[1]);
    EXPECT_EQ("-", spam[2]) << "no X-Quelt-Score line without ADDSCORE";
    EXPECT_TRUE(std::regex_match(spam[3], std::regex("QUELT ID#[0-9]{9}-[0-9]{2}"))) << spam[3];
    EXPECT_EQ((std::vector<std::string>{plain, "none", "-", "-"}), resultFields(lines[1]));
    EXPECT_TRUE(result.err.starts_with("2 messages: 1 spam, 0 whitelisted, 0 both, 1 none; "))
        << result.err;
}

TEST_F(ScanToolTest, HeadersOptionPrintsTheAddedLinesBelowTheResult) {
    writeRules(
        "ADDSCORE\r\n"
        "THRESHOLD_SUSPECT 1.0\r\n"
        "Subject: 6.0 \"offer\" [offer]\r\n");
    std::string offer = writeMail("offer.eml", OFFER_MESSAGE);
    ToolRun result = scan("--headers " + shellQuoted(offer));
    ASSERT_EQ(0, result.status) << result.err;
    std::vector<std::string> lines = splitLines(result.out);
    ASSERT_EQ(4u, lines.size()) << result.out;
    EXPECT_EQ("6.0", resultFields(lines[0])[2]);
    EXPECT_EQ("    X-Quelt-Score: 6.0", lines[1]);
    EXPECT_EQ("    X-Quelt-Warning: spam (6.0 > 0.0)", lines[2]);
    EXPECT_EQ("    X-Quelt: offer", lines[3]);
}

TEST_F(ScanToolTest, JsonEscapesQuotesBackslashesAndStrayBytes) {
    // The comment holds a double quote, a backslash, a Latin-1 e-acute (one
    // byte, not UTF-8) and a UTF-8 e-acute.
    writeRules(
        "ADDSCORE\r\n"
        "Subject: 6.0 \"offer\" [say \"hi\" \\ caf\xE9 caf\xC3\xA9]\r\n");
    std::string offer = writeMail("offer.eml", OFFER_MESSAGE);
    ToolRun result = scan("--json " + shellQuoted(offer));
    ASSERT_EQ(0, result.status) << result.err;
    std::string start = "{\"file\":\"" + offer +
                        "\",\"message\":null,\"verdict\":\"spam\",\"score\":6.0,"
                        "\"tag\":\"QUELT ID#";
    std::string end =
        "\",\"bodyFiltering\":true,"
        "\"addedLines\":\"X-Quelt-Score: 6.0\\r\\nX-Quelt: say \\\"hi\\\" \\\\ caf\\u00e9 "
        "caf\xC3\xA9\\r\\n\"}\n";
    ASSERT_EQ(start.size() + 12 + end.size(), result.out.size()) << result.out;
    EXPECT_EQ(start, result.out.substr(0, start.size()));
    EXPECT_TRUE(
        std::regex_match(result.out.substr(start.size(), 12), std::regex("[0-9]{9}-[0-9]{2}")))
        << result.out;
    EXPECT_EQ(end, result.out.substr(start.size() + 12));
}

TEST_F(ScanToolTest, JsonNumbersMboxMessagesAndHasNullScoreWithoutAddScore) {
    writeRules("Subject: 6.0 \"offer\"\r\n");
    std::string path = writeMail("two.mbox",
                                 "From a@example.org Mon Mar  9 10:00:00 2026\n"
                                 "Subject: lunch\n"
                                 "\n"
                                 "From b@example.org Mon Mar  9 11:00:00 2026\n"
                                 "Subject: offer\n"
                                 "\n");
    ToolRun result = scan("--json " + shellQuoted(path));
    ASSERT_EQ(0, result.status) << result.err;
    std::vector<std::string> lines = splitLines(result.out);
    ASSERT_EQ(2u, lines.size()) << result.out;
    EXPECT_EQ("{\"file\":\"" + path +
                  "\",\"message\":1,\"verdict\":\"none\",\"score\":null,\"tag\":\"\","
                  "\"bodyFiltering\":true,\"addedLines\":\"\"}",
              lines[0]);
    EXPECT_TRUE(lines[1].starts_with("{\"file\":\"" + path +
                                     "\",\"message\":2,\"verdict\":\"spam\",\"score\":null,"
                                     "\"tag\":\"QUELT ID#"))
        << lines[1];
}

}  // namespace
