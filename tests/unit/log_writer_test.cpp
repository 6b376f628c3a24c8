#include "base/log_writer.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "base/filter_options.h"
#include "scratch_folder.h"

#if !defined(_WIN32)
#include <sys/resource.h>

#include <csignal>
#endif

namespace cw {
namespace {

class LogWriterTest : public testing::Test {
  protected:
    void SetUp() override {
        folder = makeScratchFolder();
        ASSERT_TRUE(setLogFolder(folder));
        path = folder + "cobbleweave.log";
    }
    std::vector<std::string> lines() const { return logLinesWithoutStamps(path); }
    std::string folder;
    std::string path;
};

using Lines = std::vector<std::string>;

TEST_F(LogWriterTest, AppendWritesStampedLineWithCrLf) {
    writeLog("=== sessionStart", LOG_APPEND);
    std::string content = readFileBytes(path);
    EXPECT_TRUE(
        std::regex_match(content, std::regex("[0-3][0-9] (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|"
                                             "Sep|Oct|Nov|Dec) [0-9]{2}  [0-2][0-9]:[0-5][0-9]:"
                                             "[0-6][0-9]  === sessionStart\r\n")))
        << content;
}

TEST_F(LogWriterTest, TimeStampLayout) {
    EXPECT_EQ("07 Dec 26  00:41:19  ", formatTimeStamp({2026, 12, 7, 0, 41, 19, 341}));
    EXPECT_EQ("31 Jan 00  23:05:09  ", formatTimeStamp({2000, 1, 31, 23, 5, 9, 31}));
}

// One call is one entry: control bytes inside a text are shown as \xHH, so no
// text can end its line or forge another.
TEST_F(LogWriterTest, ControlBytesInsideTextAreShownEscaped) {
    struct Case {
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"first\nsecond", "first\\x0asecond"},
        {"viagra\r\n01 Jan 24  00:00:00  result: whitelist",
         "viagra\\x0d\\x0a01 Jan 24  00:00:00  result: whitelist"},
        {"lone\rcr", "lone\\x0dcr"},
        {"\x1b[31mred\x7f\x01", "\\x1b[31mred\\x7f\\x01"},
        {"tab\tstays \xe4\xff", "tab\tstays \xe4\xff"},
        // A backslash before an x is escaped as well, so a text cannot forge an
        // escape; other backslashes stay.
        {"forged \\x0d\\x0a, \\X41 and \\d+\\.\\",
         "forged \\x5cx0d\\x5cx0a, \\x5cX41 and \\d+\\.\\"},
    };
    for (const Case& c : cases) {
        writeLog(c.text, LOG_HOLD);
        writeLog(c.text, LOG_FLUSH);
    }
    Lines expected;
    for (const Case& c : cases) {
        expected.push_back(c.shown);
        expected.push_back(c.shown);
    }
    EXPECT_EQ(expected, lines());
}

#if !defined(_WIN32)
// A write that the disk cuts short (here the file size limit) leaves no half
// line: the entry is taken back whole, and the next one starts a line of its own.
TEST_F(LogWriterTest, ShortWriteIsUndoneAndWritingGoesOn) {
    writeLog("before", LOG_APPEND);
    const size_t sizeBefore = readFileBytes(path).size();
    struct rlimit original {};
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &original));
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = original;
    tight.rlim_cur = sizeBefore + 30;
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &tight));
    writeLog("this entry does not fit: " + std::string(100, 'x'), LOG_APPEND);
    writeLog("held lines go the same way", LOG_HOLD);
    writeLog("nor does this flush", LOG_FLUSH);
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &original));
    EXPECT_EQ(sizeBefore, readFileBytes(path).size());
    writeLog("after", LOG_APPEND);
    EXPECT_EQ((Lines{"before", "after"}), lines());
}
#endif

TEST_F(LogWriterTest, UnknownModeAppends) {
    writeLog("seven", 7);
    EXPECT_EQ(Lines{"seven"}, lines());
}

TEST_F(LogWriterTest, HoldWritesNothingUntilFlushThenOldestFirst) {
    writeLog("held 1", LOG_HOLD);
    writeLog("held 2", LOG_HOLD);
    EXPECT_EQ(2, heldLineCount());
    EXPECT_TRUE(lines().empty());
    writeLog("flush", LOG_FLUSH);
    EXPECT_EQ((Lines{"held 1", "held 2", "flush"}), lines());
    EXPECT_EQ(0, heldLineCount());
}

TEST_F(LogWriterTest, DiscardDropsHeldLinesAndWritesNothing) {
    writeLog("held", LOG_HOLD);
    writeLog("ignored text", LOG_DISCARD);
    EXPECT_EQ(0, heldLineCount());
    writeLog("flush", LOG_FLUSH);
    EXPECT_EQ(Lines{"flush"}, lines());
}

TEST_F(LogWriterTest, FlushWithoutHeldLinesWritesOnlyItsOwnLine) {
    writeLog("only", LOG_FLUSH);
    EXPECT_EQ(Lines{"only"}, lines());
}

TEST_F(LogWriterTest, AtMostFortyLinesAreHeldAndFlushedWithOneStamp) {
    for (int i = 1; i <= 45; ++i) {
        writeLog("held " + std::to_string(i), LOG_HOLD);
    }
    EXPECT_EQ(40, heldLineCount());
    writeLog("flush", LOG_FLUSH);
    Lines written = lines();
    ASSERT_EQ(41u, written.size());
    EXPECT_EQ("held 1", written.front());
    EXPECT_EQ("held 40", written[39]);
    EXPECT_EQ("flush", written.back());
    std::string content = readFileBytes(path);
    std::string firstStamp = content.substr(0, 21);
    for (size_t position = 0; position < content.size();
         position = content.find("\r\n", position) + 2) {
        EXPECT_EQ(firstStamp, content.substr(position, 21));
    }
}

TEST_F(LogWriterTest, FlushKeepsHeldLinesWhenTheFileCannotBeOpened) {
    writeLog("held", LOG_HOLD);
    ASSERT_TRUE(setLogFolder(folder + "missing-folder/"));
    writeLog("lost flush", LOG_FLUSH);
    EXPECT_EQ(1, heldLineCount());
    ASSERT_TRUE(setLogFolder(folder));
    writeLog("flush", LOG_FLUSH);
    EXPECT_EQ((Lines{"held", "flush"}), lines());
}

TEST_F(LogWriterTest, NothingReachesAFileBeforeTheFolderIsKnown) {
    ASSERT_TRUE(setLogFolder(""));
    ASSERT_FALSE(setLogFolder(std::string(300, 'x') + "/"));
    EXPECT_TRUE(logFilePath().empty());
    writeLog("held before any load", LOG_HOLD);
    writeLog("appended before any load", LOG_APPEND);
    EXPECT_EQ(1, heldLineCount());
    EXPECT_EQ("", readFileBytes(path));
}

// Fills the log past `limit` with 100-byte lines (21 stamp + 77 text + CR LF).
void fillLog(int count) {
    for (int i = 0; i < count; ++i) {
        std::string text = std::to_string(1000 + i) + std::string(73, '.');
        writeLog(text, LOG_APPEND);
    }
}

TEST_F(LogWriterTest, FileIsCutToLinesAfterItsMiddleOncePastTheLimit) {
    filterOptions.maxLogSize = 10240;
    fillLog(102);  // 10200 bytes: not yet past the limit
    EXPECT_EQ(10200u, readFileBytes(path).size());
    fillLog(1);  // 10300 bytes: cut at 5150, inside line 51, so line 52 comes first
    Lines kept = lines();
    ASSERT_EQ(51u, kept.size());
    EXPECT_EQ("1052" + std::string(73, '.'), kept.front());
    EXPECT_EQ(5100u, readFileBytes(path).size());
}

// The rest of the line at the middle is read as text, so its CR LF counts as one
// of the 1023 characters dropped: 1022 characters before it still end the line.
TEST_F(LogWriterTest, CutDropsALineEndThatIsTheThousandTwentyThirdCharacter) {
    filterOptions.maxLogSize = 2101;
    writeLog("x", LOG_APPEND);                     // 24 bytes
    writeLog(std::string(2028, 'y'), LOG_APPEND);  // 2051 bytes, its CR at 2073
    writeLog("tail", LOG_APPEND);                  // 2102 bytes: cut at 1051
    std::string content = readFileBytes(path);
    ASSERT_EQ(27u, content.size()) << content.substr(0, 40);
    EXPECT_EQ("  tail\r\n", content.substr(19));
}

TEST_F(LogWriterTest, SizeEqualToTheLimitIsNotCut) {
    filterOptions.maxLogSize = 10300;
    fillLog(103);
    EXPECT_EQ(10300u, readFileBytes(path).size());
}

TEST_F(LogWriterTest, TracingOrKeepLogFileLetTheFileGrow) {
    filterOptions.maxLogSize = 10240;
    filterOptions.traceLevel = TRACE_CHECK;
    fillLog(110);
    EXPECT_EQ(11000u, readFileBytes(path).size());
    filterOptions.traceLevel = TRACE_QUIET;
    filterOptions.keepLogFile = true;
    fillLog(10);
    EXPECT_EQ(12000u, readFileBytes(path).size());
}

TEST_F(LogWriterTest, HoldAndDiscardAlsoCutAnOversizedFile) {
    filterOptions.maxLogSize = 10240;
    filterOptions.keepLogFile = true;
    fillLog(110);
    filterOptions.keepLogFile = false;
    writeLog("held", LOG_HOLD);
    EXPECT_LT(readFileBytes(path).size(), 6000u);
}

TEST_F(LogWriterTest, ALowerLimitOrAnotherFileIsCheckedAtTheNextHold) {
    filterOptions.maxLogSize = 100000;
    fillLog(110);
    writeLog("held", LOG_HOLD);
    EXPECT_EQ(11000u, readFileBytes(path).size());
    filterOptions.maxLogSize = 10240;
    writeLog("held", LOG_HOLD);
    EXPECT_EQ(5400u, readFileBytes(path).size());

    std::string other = makeScratchFolder();
    writeFileBytes(other + "cobbleweave.log", readFileBytes(path) + readFileBytes(path));
    ASSERT_TRUE(setLogFolder(other));
    writeLog("", LOG_DISCARD);
    EXPECT_EQ(5300u, readFileBytes(other + "cobbleweave.log").size());
}

TEST_F(LogWriterTest, ConcurrentAppendsProduceWholeLines) {
    auto writer = [](char mark) {
        for (int i = 0; i < 200; ++i) {
            writeLog(std::string(60, mark), LOG_APPEND);
        }
    };
    std::thread first(writer, 'a');
    std::thread second(writer, 'b');
    first.join();
    second.join();
    Lines written = lines();
    ASSERT_EQ(400u, written.size());
    for (const std::string& line : written) {
        EXPECT_TRUE(line == std::string(60, 'a') || line == std::string(60, 'b')) << line;
    }
}

TEST_F(LogWriterTest, TraceLinesOnlyAtDebugLevel) {
    traceLine("quiet");
    filterOptions.traceLevel = TRACE_CHECK;
    traceLine("check");
    filterOptions.traceLevel = TRACE_DEBUG;
    traceLine("debug");
    EXPECT_EQ(Lines{"debug"}, lines());
}

}  // namespace
}  // namespace cw
