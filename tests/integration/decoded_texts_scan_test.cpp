// The texts rules see, scored end to end through the exports: bodies decoded
// from base64, quoted-printable and multipart, HTML as a reader sees it,
// encoded words, the size and line limits, and message texts in the log.
#include <regex>
#include <string>
#include <vector>

#include "plugin_host.h"

namespace {

class DecodedTextsScan : public PluginHost {};

TEST_F(DecodedTextsScan, Base64TextBodyIsTestedDecoded) {
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

TEST_F(DecodedTextsScan, QuotedPrintableSoftBreaksJoinLines) {
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

TEST_F(DecodedTextsScan, MultipartTextPartIsDecodedAndOtherPartsKept) {
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
TEST_F(DecodedTextsScan, BodyThatNoDecoderTookIsTestedAsItStands) {
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
TEST_F(DecodedTextsScan, QuotedPrintableBodyIsDecodedPastDashLines) {
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
TEST_F(DecodedTextsScan, HtmlTextRulesSeeTheVisibleTextOfHtmlParts) {
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

TEST_F(DecodedTextsScan, EncodedSubjectIsDecodedOnlyWithTheTilde) {
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

TEST_F(DecodedTextsScan, OnlyTheFirstMaxsizeBytesOfTheBodyAreRead) {
    load("MAXSIZE 1024\r\nBody: \"early-needle\" [early]\r\nBody: \"late-needle\" [late]\r\n");
    std::string body = std::string(500, 'x') + "early-needle" + std::string(1000, 'y') +
                       "late-needle" + std::string(500, 'z') + "\r\n";
    scan("Subject: long\r\n\r\n" + body);
    EXPECT_EQ("X-Quelt: early\r\n", addedLines);
}

TEST_F(DecodedTextsScan, MaxlinesLimitsTheTestedLines) {
    load("MAXLINES 2\r\nLine: \"third\" [third]\r\nLine: \"second\" [second]\r\n");
    scan("Subject: s\r\n\r\nfirst\r\nsecond\r\nthird\r\n");
    EXPECT_EQ("X-Quelt: second\r\n", addedLines);
    EXPECT_TRUE(logContains("number of lines exceeds limit of 2 lines"));
}

// Texts from a message reach the log with their control bytes escaped: neither an
// encoded word that decodes to CR LF nor a lone CR in a header line can end the
// entry and start a forged one. Every line of the file is one time-stamped entry.
TEST_F(DecodedTextsScan, MessageTextsCannotForgeLogLines) {
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

}  // namespace
