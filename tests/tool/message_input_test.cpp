// How messages reach the plug-in: header lines one by one with their line ends,
// the body from its first byte, mbox files cut apart, folders in order, and the
// account and fetch type from the options.
#include <algorithm>

#include "tool_runner.h"

namespace {

// Each rule below matches only when the plug-in got the message the way the
// host hands it over; its comment says what it proves.
const char* const POSITION_RULES =
    "Body: 6.0 {^first body line\\r\\nsecond} [body starts behind the blank line]\r\n"
    "Line: 6.0 {^$} [body holds a blank line]\r\n"
    "CompleteHeader: 6.0 \"BODYWORD\" [header text holds body text]\r\n"
    "Match: 6.0 \"BODYWORD\" [a header line holds body text]\r\n"
    "Match: 6.0 {^folded part$} [continuation line is an entry of its own]\r\n"
    "CompleteHeader: 6.0 {position test\\r\\nX-Folded} [header lines keep their line ends]\r\n";

const char* const POSITION_MESSAGE =
    "Subject: position test\r\n"
    "X-Folded: first part\r\n"
    "  folded part\r\n"
    "\r\n"
    "first body line\r\n"
    "second body line with BODYWORD\r\n";

const char* const POSITION_ADDED_LINES =
    "    X-Quelt: body starts behind the blank line\n"
    "    X-Quelt: continuation line is an entry of its own\n"
    "    X-Quelt: header lines keep their line ends\n";

// The first result line's fields and the added lines below it.
struct HeadersResult {
    std::vector<std::string> fields;
    std::string addedLines;
};

HeadersResult firstResult(const std::string& out) {
    std::vector<std::string> lines = splitLines(out);
    HeadersResult result;
    if (lines.empty()) {
        result.fields = {""};
        return result;
    }
    result.fields = resultFields(lines[0]);
    for (size_t index = 1; index < lines.size() && lines[index].starts_with("    "); ++index) {
        result.addedLines += lines[index] + "\n";
    }
    return result;
}

TEST_F(ScanToolTest, BodyStartsBehindTheBlankLineInAMessageFile) {
    writeRules(POSITION_RULES);
    std::string path = writeMail("position.eml", POSITION_MESSAGE);
    ToolRun result = scan("--headers " + shellQuoted(path));
    ASSERT_EQ(0, result.status) << result.err;
    HeadersResult first = firstResult(result.out);
    EXPECT_EQ(path, first.fields[0]);
    EXPECT_EQ(POSITION_ADDED_LINES, first.addedLines);
}

TEST_F(ScanToolTest, BodyStartsBehindTheBlankLineFromStandardInput) {
    writeRules(POSITION_RULES);
    std::string input = POSITION_MESSAGE;
    ToolRun result = scan("--headers -", &input);
    ASSERT_EQ(0, result.status) << result.err;
    HeadersResult first = firstResult(result.out);
    EXPECT_EQ("-", first.fields[0]);
    EXPECT_EQ(POSITION_ADDED_LINES, first.addedLines);
}

TEST_F(ScanToolTest, BodyStartsBehindTheBlankLineInsideAnMbox) {
    writeRules(POSITION_RULES);
    std::string path =
        writeMail("position.mbox", std::string("From a@example.org Mon Mar  9 10:00:00 2026\r\n") +
                                       POSITION_MESSAGE +
                                       "\r\n"
                                       "From b@example.org Mon Mar  9 11:00:00 2026\r\n"
                                       "Subject: next\r\n"
                                       "\r\n"
                                       "BODYWORD again\r\n");
    ToolRun result = scan("--headers " + shellQuoted(path));
    ASSERT_EQ(0, result.status) << result.err;
    HeadersResult first = firstResult(result.out);
    EXPECT_EQ(path + "#1", first.fields[0]);
    EXPECT_EQ(POSITION_ADDED_LINES, first.addedLines);
}

// The last message of an mbox runs to the end of the file and is read from it,
// unless an escape was undone or the blank line in front of the end dropped:
// then its body differs from the file's bytes and is copied. Either way the
// plug-in gets exactly the message's body.
TEST_F(ScanToolTest, LastMessageOfAnMboxGetsExactlyItsBody) {
    writeRules(
        "Line: 6.0 {^\\r?$} [blank line]\r\n"
        "Body: 6.0 {^From here} [unescaped]\r\n"
        "Body: 6.0 {^(From here\\r\\n)?body line\\r\\nBODYWORD\\z} [whole body]\r\n");
    const std::string from = "From a@example.org Mon Mar  9 10:00:00 2026\r\n";
    const std::string last = "Subject: last\r\n\r\nbody line\r\nBODYWORD\r\n";
    const struct {
        const char* name;
        std::string mbox;
        const char* addedLines;
    } cases[] = {
        {"alone.mbox", from + last, "    X-Quelt: whole body\n"},
        {"blank-end.mbox", from + last + "\r\n", "    X-Quelt: whole body\n"},
        {"escaped.mbox", from + "Subject: last\r\n\r\n>From here\r\nbody line\r\nBODYWORD\r\n",
         "    X-Quelt: unescaped\n    X-Quelt: whole body\n"},
        {"second.mbox", from + "Subject: first\r\n\r\nbody line\r\n\r\n" + from + last,
         "    X-Quelt: whole body\n"},
    };
    for (const auto& c : cases) {
        std::string path = writeMail(c.name, c.mbox);
        ToolRun result = scan("--headers " + shellQuoted(path));
        ASSERT_EQ(0, result.status) << result.err;
        std::string out = result.out;
        size_t lastResult = out.rfind(path + "#");
        ASSERT_NE(std::string::npos, lastResult) << out;
        HeadersResult found = firstResult(out.substr(lastResult));
        EXPECT_EQ(c.addedLines, found.addedLines) << c.name;
    }
}

// A body handed over as a copy (standard input here) reaches the plug-in whole
// in its single read, however large: larger than a pipe holds at first, and
// larger than the largest pipe.
TEST_F(ScanToolTest, CopiedBodyReachesThePluginWholeInOneRead) {
    writeRules(
        "MAXSIZE 131072\r\n"
        "Body: 6.0 {MARKER\\z} [end of the area]\r\n");
    for (size_t bodySize : {size_t{131072}, size_t{1500000}}) {
        // The area holds the first 131072 bytes: the marker ends exactly there.
        std::string body(131072 - 6, 'x');
        body += "MARKER";
        body.resize(bodySize, 'y');
        std::string input = "Subject: large\r\n\r\n" + body;
        ToolRun result = scan("--headers -", &input);
        ASSERT_EQ(0, result.status) << result.err;
        EXPECT_EQ("    X-Quelt: end of the area\n", firstResult(result.out).addedLines) << bodySize;
    }
}

const char* const THREE_MESSAGE_MBOX =
    "From alice@example.org Mon Mar  9 10:00:00 2026\n"
    "Subject: first\n"
    "\n"
    "MARKER-1 in the first body\n"
    "\n"
    "From bob@example.org Mon Mar  9 11:00:00 2026\n"
    "Subject: second\n"
    "\n"
    ">From the car park we walk.\n"
    ">>From here on quoted.\n"
    "MARKER-2\n"
    "\n"
    "From carol@example.org Mon Mar  9 12:00:00 2026\n"
    "Subject: third\n"
    "\n"
    "MARKER-3\n";

TEST_F(ScanToolTest, MboxIsCutIntoItsMessagesWithFromLinesUnescaped) {
    writeRules(
        "Line: 6.0 {^From the car park we walk\\.$} [unescaped]\r\n"
        "Line: 6.0 {^>From here on quoted\\.$} [one level unescaped]\r\n"
        "Body: 6.0 \"MARKER-2\" [second body]\r\n");
    std::string path = writeMail("three.mbox", THREE_MESSAGE_MBOX);
    ToolRun result = scan("--headers " + shellQuoted(path));
    ASSERT_EQ(0, result.status) << result.err;
    std::vector<std::string> lines = splitLines(result.out);
    ASSERT_EQ(6u, lines.size()) << result.out;
    EXPECT_EQ((std::vector<std::string>{path + "#1", "none", "-", "-"}), resultFields(lines[0]));
    std::vector<std::string> second = resultFields(lines[1]);
    EXPECT_EQ(path + "#2", second[0]);
    EXPECT_EQ("spam", second[1]);
    EXPECT_EQ("    X-Quelt: unescaped", lines[2]);
    EXPECT_EQ("    X-Quelt: one level unescaped", lines[3]);
    EXPECT_EQ("    X-Quelt: second body", lines[4]);
    EXPECT_EQ((std::vector<std::string>{path + "#3", "none", "-", "-"}), resultFields(lines[5]));
}

// The second message is "Subject: second\n", "\n", the two unescaped lines and
// "MARKER-2\n": 16 + 1 + 27 + 22 + 9 = 75 bytes, without its separator line
// and the blank line in front of the next one.
TEST_F(ScanToolTest, MboxMessageSizeLeavesOutSeparatorsAndEscapes) {
    writeRules(
        "@Size: \"75\"\r\n"
        "-Size: 6.0 \"76\" [exactly 75 bytes]\r\n");
    std::string path = writeMail("three.mbox", THREE_MESSAGE_MBOX);
    ToolRun result = scan(shellQuoted(path));
    ASSERT_EQ(0, result.status) << result.err;
    std::vector<std::string> lines = splitLines(result.out);
    ASSERT_EQ(3u, lines.size()) << result.out;
    EXPECT_EQ("none", resultFields(lines[0])[1]);
    EXPECT_EQ("spam", resultFields(lines[1])[1]);
    EXPECT_EQ("none", resultFields(lines[2])[1]);
}

TEST_F(ScanToolTest, FoldersAreReadRecursivelyInNameOrderWithoutHiddenFiles) {
    writeRules("Subject: 6.0 \"x\"\r\n");
    writeMail("b.eml", "Subject: b\r\n\r\n");
    writeMail("a.eml", "Subject: a\r\n\r\n");
    writeMail(".hidden.eml", "Subject: hidden\r\n\r\n");
    writeMail(".cache/c.eml", "Subject: cached\r\n\r\n");
    writeMail("sub/c.eml", "Subject: c\r\n\r\n");
    ToolRun result = scan(shellQuoted(mail));
    ASSERT_EQ(0, result.status) << result.err;
    std::vector<std::string> names;
    for (const std::string& line : splitLines(result.out)) {
        names.push_back(resultFields(line)[0]);
    }
    EXPECT_EQ((std::vector<std::string>{mail + "a.eml", mail + "b.eml", mail + "sub/c.eml"}),
              names);
}

struct AccountCase {
    const char* options;
    const char* rule;
    const char* verdict;
    bool bodyFiltering;
};

TEST_F(ScanToolTest, AccountAndFetchTypeComeFromTheOptions) {
    const AccountCase cases[] = {
        {"", "Servername: 6.0 {^pop\\.example\\.org$}", "spam", true},
        {"", "Username: 6.0 {^user$}", "spam", true},
        {"--server mx.test.example", "Servername: 6.0 {^mx\\.test\\.example$}", "spam", true},
        {"--user=tom", "Username: 6.0 {^tom$}", "spam", true},
        {"--fetch-type imap4", "Subject: 6.0 \"hello\"", "spam", true},
        {"--fetch-type smtp", "Subject: 6.0 \"hello\"", "spam", true},
        {"--fetch-type pop3-top", "Subject: 6.0 \"hello\"", "none", false},
        {"--fetch-type 102", "Subject: 6.0 \"hello\"", "none", false},
    };
    std::string path = writeMail("hello.eml", "Subject: hello\r\n\r\nhi\r\n");
    for (const AccountCase& c : cases) {
        writeRules(std::string(c.rule) + "\r\n");
        ToolRun result = scan(std::string("--json ") + c.options + " " + shellQuoted(path));
        ASSERT_EQ(0, result.status) << c.options << " " << result.err;
        EXPECT_NE(std::string::npos,
                  result.out.find(std::string("\"verdict\":\"") + c.verdict + "\""))
            << c.options << " " << c.rule << "\n"
            << result.out;
        EXPECT_NE(std::string::npos, result.out.find(std::string("\"bodyFiltering\":") +
                                                     (c.bodyFiltering ? "true" : "false")))
            << c.options << "\n"
            << result.out;
    }
}

TEST_F(ScanToolTest, OnlyThePluginWritesAndOnlyIntoTheConfigurationFolder) {
    writeRules("Subject: 6.0 \"offer\"\r\n");
    writeMail("one.eml", "Subject: offer\r\n\r\nbuy\r\n");
    writeMail("two.mbox", "From x@example.org Mon Mar  9 10:00:00 2026\nSubject: hi\n\nhello\n");
    ToolRun result = scan(shellQuoted(mail));
    ASSERT_EQ(0, result.status) << result.err;
    std::vector<std::string> mailFiles;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(mail)) {
        mailFiles.push_back(entry.path().filename().string());
    }
    std::sort(mailFiles.begin(), mailFiles.end());
    EXPECT_EQ((std::vector<std::string>{"one.eml", "two.mbox"}), mailFiles);
    std::vector<std::string> configFiles;
    for (const auto& entry : std::filesystem::directory_iterator(config)) {
        configFiles.push_back(entry.path().filename().string());
    }
    std::sort(configFiles.begin(), configFiles.end());
    EXPECT_EQ((std::vector<std::string>{"cobbleweave.log", "filters.dat", "statistics.dat",
                                        "statistics.txt"}),
              configFiles);
    // processedMessage ran once for each message.
    EXPECT_TRUE(
        readBytes(config + "statistics.txt").starts_with("Processed messages   :     2\r\n"))
        << readBytes(config + "statistics.txt");
}

}  // namespace
