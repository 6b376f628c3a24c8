#include "config/statistics.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "base/filter_options.h"
#include "base/log_writer.h"
#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include "config/config_table.h"
#include "scratch_folder.h"

namespace cw {
namespace {

using Counters = std::vector<uint32_t>;
using Lines = std::vector<std::string>;

std::string littleEndian(int32_t value) {
    uint32_t bits = static_cast<uint32_t>(value);
    return {static_cast<char>(bits & 0xFF), static_cast<char>((bits >> 8) & 0xFF),
            static_cast<char>((bits >> 16) & 0xFF), static_cast<char>((bits >> 24) & 0xFF)};
}

std::string statisticsFile(int32_t count,
                           std::initializer_list<std::pair<int32_t, int32_t>> records) {
    std::string bytes = littleEndian(count);
    for (const auto& [index, value] : records) {
        bytes += littleEndian(index) + littleEndian(value);
    }
    return bytes;
}

bool fileExists(const std::string& path) {
    return std::ifstream(path).good();
}

Counters counters() {
    return Counters(std::begin(statisticsCounters.values), std::end(statisticsCounters.values));
}

class StatisticsTest : public testing::Test {
  protected:
    void SetUp() override {
        folder = makeScratchFolder();
        ASSERT_TRUE(setLogFolder(folder));
    }
    void writeStatistics(const std::string& bytes) const {
        writeFileBytes(folder + "statistics.dat", bytes);
    }
    void process(int32_t spam, int32_t whitelisted) {
        MessageStatus status{};
        status.spam = spam;
        status.whitelisted = whitelisted;
        processedMessage(&status);
    }
    Lines logLines() const { return logLinesWithoutStamps(folder + "cobbleweave.log"); }

    std::string folder;
};

TEST_F(StatisticsTest, RecordsForOneIndexAddUp) {
    writeStatistics(statisticsFile(2, {{3, 7}, {3, 5}}));
    readStatistics(folder);
    EXPECT_EQ((Counters{0, 0, 0, 12, 0}), counters());
    EXPECT_EQ(folder + "statistics.dat", configPaths.statisticsPath);
    EXPECT_EQ(Lines{"reading statistics: " + folder + "statistics.dat"}, logLines());
}

TEST_F(StatisticsTest, RecordsMayComeInAnyOrderAndIndexesOutsideTheFiveAreIgnored) {
    writeStatistics(statisticsFile(6, {{4, 9}, {5, 100}, {-1, 100}, {0, 2}, {2, 1}, {1, 3}}));
    readStatistics(folder);
    EXPECT_EQ((Counters{2, 3, 1, 0, 9}), counters());
}

TEST_F(StatisticsTest, AShortFileIsReadUpToItsEnd) {
    std::string bytes = statisticsFile(5, {{0, 4}, {1, 2}});
    bytes += littleEndian(2) + "\x07\x00";  // a record cut in its value
    writeStatistics(bytes);
    readStatistics(folder);
    EXPECT_EQ((Counters{4, 2, 0, 0, 0}), counters());
}

TEST_F(StatisticsTest, RecordsBeyondTheCountAreNotRead) {
    writeStatistics(statisticsFile(1, {{0, 4}, {1, 2}}));
    readStatistics(folder);
    EXPECT_EQ((Counters{4, 0, 0, 0, 0}), counters());
}

TEST_F(StatisticsTest, EmptyFilesAndNegativeCountsGiveZeros) {
    for (const std::string& bytes :
         {std::string(), std::string("\x01\x00", 2), statisticsFile(-3, {{0, 4}})}) {
        statisticsCounters.values[0] = 99;
        writeStatistics(bytes);
        readStatistics(folder);
        EXPECT_EQ((Counters{0, 0, 0, 0, 0}), counters()) << bytes.size();
    }
}

TEST_F(StatisticsTest, AMissingFileResetsTheCountersWithoutALogLine) {
    statisticsCounters.values[3] = 17;
    readStatistics(folder);
    EXPECT_EQ((Counters{0, 0, 0, 0, 0}), counters());
    EXPECT_TRUE(logLines().empty());
}

TEST_F(StatisticsTest, ProcessedMessageWritesFortyFourLittleEndianBytesAndTheReport) {
    readStatistics(folder);
    statisticsCounters.values[STAT_PROCESSED] = 1;
    statisticsCounters.values[STAT_SPAM_BY_PLUGIN] = 1;
    process(1, 0);
    EXPECT_EQ(std::string("\x05\x00\x00\x00"
                          "\x00\x00\x00\x00\x01\x00\x00\x00"
                          "\x01\x00\x00\x00\x01\x00\x00\x00"
                          "\x02\x00\x00\x00\x00\x00\x00\x00"
                          "\x03\x00\x00\x00\x01\x00\x00\x00"
                          "\x04\x00\x00\x00\x00\x00\x00\x00",
                          44),
              readFileBytes(folder + "statistics.dat"));
    EXPECT_EQ(
        "Processed messages   :     1\r\n"
        "Tagged by Cobbleweave:     1 (SPAM)\r\n"
        "                     :     0 (whitelisted)\r\n"
        "Tagged by Vellmox    :     1 (SPAM)\r\n"
        "                     :     0 (whitelisted)\r\n",
        readFileBytes(folder + "statistics.txt"));
}

TEST_F(StatisticsTest, SpamAndWhitelistedMayBothCountForOneMessage) {
    readStatistics(folder);
    process(1, 1);
    process(0, 7);
    process(0, 0);
    EXPECT_EQ((Counters{0, 0, 0, 1, 2}), counters());
}

// Every scan that reaches its verdict counts as processed; the plug-in's own
// verdicts count only when it may set them (no SIMULATE).
TEST_F(StatisticsTest, PluginVerdictsCountUnlessSimulating) {
    const struct {
        bool spam;
        bool whitelisted;
        bool simulate;
        Counters expected;
    } cases[] = {
        {false, false, false, {1, 0, 0, 0, 0}}, {true, false, false, {1, 1, 0, 0, 0}},
        {false, true, false, {1, 0, 1, 0, 0}},  {true, true, false, {1, 1, 1, 0, 0}},
        {true, true, true, {1, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        readStatistics(folder);
        filterOptions.simulate = c.simulate;
        countPluginVerdict(c.spam, c.whitelisted);
        EXPECT_EQ(c.expected, counters())
            << "spam " << c.spam << " whitelisted " << c.whitelisted << " simulate " << c.simulate;
    }
    filterOptions.simulate = false;
}

TEST_F(StatisticsTest, LargeCountersKeepTheirByteOrderAndReadBackUnchanged) {
    readStatistics(folder);
    statisticsCounters.values[STAT_PROCESSED] = 0x01020304;
    statisticsCounters.values[STAT_WHITELISTED_BY_PLUGIN] = 4294967295u;
    statisticsCounters.values[STAT_SPAM_BY_HOST] = 123456;
    process(0, 0);
    std::string bytes = readFileBytes(folder + "statistics.dat");
    ASSERT_EQ(44u, bytes.size());
    EXPECT_EQ(std::string("\x04\x03\x02\x01"), bytes.substr(8, 4));
    EXPECT_EQ(std::string("\xff\xff\xff\xff"), bytes.substr(24, 4));
    EXPECT_EQ(
        "Processed messages   : 16909060\r\n"
        "Tagged by Cobbleweave:     0 (SPAM)\r\n"
        "                     : 4294967295 (whitelisted)\r\n"
        "Tagged by Vellmox    : 123456 (SPAM)\r\n"
        "                     :     0 (whitelisted)\r\n",
        readFileBytes(folder + "statistics.txt"));

    readStatistics(folder);
    EXPECT_EQ((Counters{0x01020304, 0, 4294967295u, 123456, 0}), counters());
}

TEST_F(StatisticsTest, OldFilesAreReplacedWholeAndNothingIsLeftBeside) {
    writeFileBytes(folder + "statistics.txt", std::string(500, 'o'));
    writeStatistics(statisticsFile(7, {{0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}}));
    readStatistics(folder);
    process(0, 0);
    EXPECT_EQ(44u, readFileBytes(folder + "statistics.dat").size());
    EXPECT_EQ(
        "Processed messages   :     7\r\n"
        "Tagged by Cobbleweave:     0 (SPAM)\r\n"
        "                     :     0 (whitelisted)\r\n"
        "Tagged by Vellmox    :     0 (SPAM)\r\n"
        "                     :     0 (whitelisted)\r\n",
        readFileBytes(folder + "statistics.txt"));
    EXPECT_FALSE(fileExists(folder + "statistics.dat.new"));
    EXPECT_FALSE(fileExists(folder + "statistics.txt.new"));
}

#if !defined(_WIN32)
ino_t fileIdentity(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

// Every write of the process fails while this lives (a file size limit of 0),
// as writes fail on a broken disk.
class FailingWrites {
  public:
    FailingWrites() {
        getrlimit(RLIMIT_FSIZE, &saved_);
        struct rlimit none = saved_;
        none.rlim_cur = 0;
        previous_ = signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &none);
    }
    ~FailingWrites() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previous_);
    }

  private:
    struct rlimit saved_ {};
    void (*previous_)(int) = nullptr;
};

TEST_F(StatisticsTest, FilesOfUnchangedLengthAreRewrittenInPlace) {
    readStatistics(folder);
    process(1, 0);
    ino_t data = fileIdentity(folder + "statistics.dat");
    ino_t report = fileIdentity(folder + "statistics.txt");
    process(1, 1);
    EXPECT_EQ(data, fileIdentity(folder + "statistics.dat"));
    EXPECT_EQ(report, fileIdentity(folder + "statistics.txt"));
    EXPECT_EQ((Counters{0, 0, 0, 2, 1}), counters());
    EXPECT_NE(std::string::npos, readFileBytes(folder + "statistics.txt").find("    2 (SPAM)"));
}

TEST_F(StatisticsTest, FailingWritesLeaveTheOldFilesWhole) {
    readStatistics(folder);
    process(1, 0);
    const std::string data = readFileBytes(folder + "statistics.dat");
    const std::string report = readFileBytes(folder + "statistics.txt");
    {
        FailingWrites failing;
        process(0, 1);  // same lengths: written in place
        statisticsCounters.values[STAT_PROCESSED] = 123456;
        process(0, 1);  // the report grows a digit: replaced whole
    }
    EXPECT_EQ(data, readFileBytes(folder + "statistics.dat"));
    EXPECT_EQ(report, readFileBytes(folder + "statistics.txt"));
    EXPECT_FALSE(fileExists(folder + "statistics.dat.new"));
    EXPECT_FALSE(fileExists(folder + "statistics.txt.new"));
    process(0, 0);  // and the next message brings them up to date
    EXPECT_NE(std::string::npos, readFileBytes(folder + "statistics.txt").find("123456"));
}
#endif

TEST_F(StatisticsTest, WithoutAStatisticsPathOnlyTheCountersChange) {
    process(1, 0);
    EXPECT_EQ((Counters{0, 0, 0, 1, 0}), counters());
    EXPECT_FALSE(fileExists("statistics.dat"));
    EXPECT_FALSE(fileExists("statistics.txt"));
    EXPECT_FALSE(fileExists("txt"));
}

TEST_F(StatisticsTest, ProcessedMessageIsTracedOnlyAtDebug) {
    readStatistics(folder);
    process(0, 0);
    EXPECT_TRUE(logLines().empty());
    filterOptions.traceLevel = TRACE_DEBUG;
    process(0, 0);
    EXPECT_EQ(Lines{"=== processedMessage"}, logLines());
}

}  // namespace
}  // namespace cw
