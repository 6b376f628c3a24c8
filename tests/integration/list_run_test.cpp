// An include list's entries are kept and scanned as one run where they make
// one shape of rule; a scan must read exactly as it does with the same rules
// written out line by line: log, evidence, added lines, score and status.
#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "plugin_host.h"

namespace {

const char* const SUBJECT_LIST =
    "lottery\n"
    "cheap\n"
    "prize\n"
    "VIAGRA\n"
    "say \"hi\"\n"  // a quote cannot stand in a plain string: kept as its own line
    "winner\n"
    "viagra\n"
    "  Pills  \n"
    "casino\n"
    "now\n";

const char* const SENDER_LIST =
    "nobody@example.net\n"
    "sales@pills.example\n"
    "PILLS.example\n"
    "someone@else.example\n";

// Patterns of every kind a run tells apart: literal bytes, ones that need a
// literal (one of them also where a long subject holds none), ones that need
// none, one that does not compile, and one whose braces close early.
const char* const PATTERN_LIST =
    "cheap\\s+viagra\n"
    "sales@PILLS\\.example\n"
    "(unclosed\n"
    "^cheap\n"
    "[a-z]+ now\n"
    "x} y\n"
    "(a|aa)+free|pills\n"
    "say \"hi\"\n"
    "viagra NOW\n"
    "h.*o\n";

// The rules the three lists make, in their order.
const char* const EXPANDED_RULES =
    "Subject: 2.5 \"lottery\" [BL]\n"
    "Subject: 2.5 \"cheap\" [BL]\n"
    "Subject: 2.5 \"prize\" [BL]\n"
    "Subject: 2.5 \"VIAGRA\" [BL]\n"
    "Subject: 2.5 \"say \"hi\"\" [BL]\n"
    "Subject: 2.5 \"winner\" [BL]\n"
    "Subject: 2.5 \"viagra\" [BL]\n"
    "Subject: 2.5 \"Pills\" [BL]\n"
    "Subject: 2.5 \"casino\" [BL]\n"
    "Subject: 2.5 \"now\" [BL]\n"
    "B_INCLUDE_SUBJECT 2.5 subjects.txt\n"
    "Any-Sender: 1.0 \"nobody@example.net\" [BL]\n"
    "Any-Sender: 1.0 \"sales@pills.example\" [BL]\n"
    "Any-Sender: 1.0 \"PILLS.example\" [BL]\n"
    "Any-Sender: 1.0 \"someone@else.example\" [BL]\n"
    "B_INCLUDE_SENDER sender-list.txt\n"
    "Subject: 3.0 {cheap\\s+viagra} [BL]\n"
    "Subject: 3.0 {sales@PILLS\\.example} [BL]\n"
    "Subject: 3.0 {(unclosed} [BL]\n"
    "Subject: 3.0 {^cheap} [BL]\n"
    "Subject: 3.0 {[a-z]+ now} [BL]\n"
    "Subject: 3.0 {x} y} [BL]\n"
    "Subject: 3.0 {(a|aa)+free|pills} [BL]\n"
    "Subject: 3.0 {say \"hi\"} [BL]\n"
    "Subject: 3.0 {viagra NOW} [BL]\n"
    "Subject: 3.0 {h.*o} [BL]\n"
    "B_INCLUDE_REG_SUBJECT 3 patterns.txt\n"
    "Any-Sender: 1.0 {cheap\\s+viagra} [BL]\n"
    "Any-Sender: 1.0 {sales@PILLS\\.example} [BL]\n"
    "Any-Sender: 1.0 {(unclosed} [BL]\n"
    "Any-Sender: 1.0 {^cheap} [BL]\n"
    "Any-Sender: 1.0 {[a-z]+ now} [BL]\n"
    "Any-Sender: 1.0 {x} y} [BL]\n"
    "Any-Sender: 1.0 {(a|aa)+free|pills} [BL]\n"
    "Any-Sender: 1.0 {say \"hi\"} [BL]\n"
    "Any-Sender: 1.0 {viagra NOW} [BL]\n"
    "Any-Sender: 1.0 {h.*o} [BL]\n"
    "B_INCLUDE_REG_SENDER patterns.txt\n";

const char* const MESSAGE =
    "From: Pharmacy <sales@pills.example>\r\n"
    "To: alice@example.org\r\n"
    "Subject: Cheap VIAGRA now, say \"hi\" to pills\r\n"
    "\r\n"
    "Hello.\r\n";

struct ScanResult {
    std::vector<std::string> log;  // the scan's lines, match ids left out
    std::string addedLines;
    std::string tag;
    int spam;
};

class ListRunScan : public PluginHost, public testing::WithParamInterface<const char*> {
  protected:
    ScanResult scanWith(const std::string& rules) {
        load(std::string(GetParam()) + rules);
        markLog();
        scan(MESSAGE);
        const std::regex matchId("ID#[0-9-]+");
        ScanResult result{
            {}, addedLines, std::regex_replace(status.tagText, matchId, "ID#"), status.spam};
        for (const std::string& line : newLogLines()) {
            result.log.push_back(std::regex_replace(line, matchId, "ID#"));
        }
        return result;
    }
};

TEST_P(ListRunScan, ReadsAsTheSameRulesWrittenOut) {
    writeConfigFile("subjects.txt", SUBJECT_LIST);
    writeConfigFile("sender-list.txt", SENDER_LIST);
    writeConfigFile("patterns.txt", PATTERN_LIST);
    ScanResult listed = scanWith(
        "B_INCLUDE_SUBJECT 2.5 subjects.txt\nB_INCLUDE_SENDER sender-list.txt\n"
        "B_INCLUDE_REG_SUBJECT 3 patterns.txt\nB_INCLUDE_REG_SENDER patterns.txt\n");
    // The same include lines, their lists gone, follow the written-out rules.
    std::filesystem::remove(folder + "subjects.txt");
    std::filesystem::remove(folder + "sender-list.txt");
    std::filesystem::remove(folder + "patterns.txt");
    ScanResult written = scanWith(EXPANDED_RULES);
    EXPECT_EQ(written.log, listed.log);
    EXPECT_EQ(written.addedLines, listed.addedLines);
    EXPECT_EQ(written.tag, listed.tag);
    EXPECT_EQ(written.spam, listed.spam);
    // The scan got as far as the matches.
    EXPECT_NE(std::string::npos, listed.addedLines.find("BL\r\n"));
}

INSTANTIATE_TEST_SUITE_P(Options, ListRunScan,
                         testing::Values("", "PROFILE\n", "DEBUG\n", "CHECK\nSHOWVALUE\n",
                                         "FASTSCAN\nTHRESHOLD_SPAM 6\n"));

}  // namespace

namespace {

using RegListScan = PluginHost;

// Patterns of a list are compiled for good only when a subject may hold a
// match; one that does not compile is still reported at its turn in every scan,
// and a good one still matches in every scan.
TEST_F(RegListScan, ABadPatternAmongGoodOnesIsReportedAndTheGoodOnesMatchEveryTime) {
    writeConfigFile("patterns.txt",
                    "cheap\\s+pills\nwin\\w+ now\n(unclosed lottery\ncasino\\s+\\d+\n"
                    "free\\s+money\n");
    load("B_INCLUDE_REG_SUBJECT 2 patterns.txt\n");
    const char* message = "From: a@b.example\r\nSubject: Cheap   pills here\r\n\r\nHello.\r\n";
    const std::regex matchId("ID#[0-9-]+");
    std::vector<std::vector<std::string>> scans;
    for (int round = 0; round < 2; ++round) {
        markLog();
        scan(message);
        scans.emplace_back();
        for (const std::string& line : newLogLines()) {
            scans.back().push_back(std::regex_replace(line, matchId, "ID#"));
        }
        EXPECT_EQ("X-Quelt: BL\r\n", addedLines);
    }
    EXPECT_EQ(scans[0], scans[1]);
    for (const std::string& expected :
         {std::string("valid: [Subject: 2.0 {cheap\\s+pills} [BL]] matches [Cheap   pills here] "
                      "in [Subject:]"),
          std::string("error: cannot compile [Subject: 2.0 {(unclosed lottery} [BL]]")}) {
        EXPECT_NE(scans[1].end(), std::find(scans[1].begin(), scans[1].end(), expected))
            << expected;
    }
}

}  // namespace
