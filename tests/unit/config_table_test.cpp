#include "config/config_table.h"

#include <gtest/gtest.h>
#include <filesystem>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "base/filter_options.h"
#include "config/rule_file_reader.h"
#include "config_load_fixture.h"

namespace cw {
namespace {

std::vector<int32_t> tableHandles() {
    std::vector<int32_t> handles;
    for (const auto& entry : configTable.entries) {
        handles.push_back(entry->handle);
    }
    return handles;
}

using ConfigTableTest = ConfigLoadTest;

// Memory running out while a list is read: the place is logged, the reading
// stops, and the configuration keeps the lines read so far under a handle.
TEST_F(ConfigTableTest, ALoadOutOfMemoryIsLoggedAndKeepsWhatItRead) {
    writeConfigFile("list.txt", "x@a.example\ny@b.example\nz@c.example\n");
    linesBeforeFailedAllocation = 3;
    int32_t handle = load("Subject: {a} [1]\nB_INCLUDE_SENDER list.txt\nSubject: {b}\n");
    linesBeforeFailedAllocation = SIZE_MAX;
    EXPECT_NE(0, handle);
    EXPECT_EQ((Lines{"Subject: {a} [1]", "Any-Sender: 1.0 \"x@a.example\" [BL]",
                     "Any-Sender: 1.0 \"y@b.example\" [BL]"}),
              storedLines(handle));
    Lines log = logLines();
    auto failed = std::find(log.begin(), log.end(),
                            "loadConfig.cobbleweaves.1 / memory allocation failed");
    ASSERT_NE(log.end(), failed);
    ASSERT_NE(log.end(), failed + 1);
    EXPECT_EQ("error: loadConfig: out of memory, the configuration keeps the 3 lines read so far",
              *(failed + 1));
}

TEST_F(ConfigTableTest, HandlesCountUpAndAreNeverReused) {
    EXPECT_EQ(1, load());
    EXPECT_EQ(2, load());
    releaseConfig(1);
    EXPECT_EQ(3, load());
    EXPECT_EQ((std::vector<int32_t>{2, 3}), tableHandles());
}

TEST_F(ConfigTableTest, ReleasingTheMiddleConfigKeepsTheOthersInLoadOrder) {
    load("rule one\n");
    load("rule two\n");
    load("rule three\n");
    releaseConfig(2);
    EXPECT_EQ((std::vector<int32_t>{1, 3}), tableHandles());
    EXPECT_EQ(nullptr, findConfig(2));
    EXPECT_EQ(Lines{"rule one"}, storedLines(1));
    EXPECT_EQ(Lines{"rule three"}, storedLines(3));
}

TEST_F(ConfigTableTest, ReleasingAnUnknownHandleChangesNothingAndTracesMinusOne) {
    load("DEBUG\n");
    load();
    releaseConfig(7);
    EXPECT_EQ((std::vector<int32_t>{1, 2}), tableHandles());
    Lines log = logLines();
    Lines tail(log.end() - 5, log.end());
    EXPECT_EQ((Lines{">>> releaseConfig", "trying config handle: 7", "that is configuration: -1",
                     "configurations left: 2", "<<< releaseConfig"}),
              tail);
}

TEST_F(ConfigTableTest, ReleaseTracesTheIndexFound) {
    load("DEBUG\n");
    load();
    releaseConfig(2);
    Lines log = logLines();
    Lines tail(log.end() - 5, log.end());
    EXPECT_EQ((Lines{">>> releaseConfig", "trying config handle: 2", "that is configuration: 1",
                     "configurations left: 1", "<<< releaseConfig"}),
              tail);
}

TEST_F(ConfigTableTest, WithoutAnyRuleFileTheConfigIsEmptyAndNamesTheDefaultPathTried) {
    EXPECT_EQ(1, load());
    EXPECT_TRUE(storedLines(1).empty());
    EXPECT_EQ(moduleFolderPath + "default_filters.dat", configPaths.mainRuleFilePath);
    EXPECT_TRUE(logLines().empty());
}

TEST_F(ConfigTableTest, MainRuleFileFallsBackToDefaultFiltersInTheModuleFolder) {
    writeModuleFile("default_filters.dat", "default rule\n");
    int32_t handle = load();
    EXPECT_EQ(Lines{"default rule"}, storedLines(handle));
    EXPECT_EQ(Origins{ORIGIN_MAIN}, storedOrigins(handle));
    EXPECT_EQ(moduleFolderPath + "default_filters.dat", configPaths.mainRuleFilePath);
    EXPECT_EQ(Lines{"Cobbleweave 3.0.0 - reading configuration (1): " + moduleFolderPath +
                    "default_filters.dat"},
              logLines());
}

TEST_F(ConfigTableTest, FiltersDatInTheFolderWinsOverTheDefault) {
    writeModuleFile("default_filters.dat", "default rule\n");
    int32_t handle = load("own rule\n");
    EXPECT_EQ(Lines{"own rule"}, storedLines(handle));
    EXPECT_EQ(folder + "filters.dat", configPaths.mainRuleFilePath);
}

TEST_F(ConfigTableTest, LocalRuleFileFallsBackToTheModuleFolder) {
    writeModuleFile("local_filters.dat", "module local\n");
    int32_t handle = load("main\n");
    EXPECT_EQ((Lines{"main", "module local"}), storedLines(handle));
    EXPECT_EQ((Origins{ORIGIN_MAIN, ORIGIN_LOCAL}), storedOrigins(handle));
    EXPECT_EQ((Lines{"Cobbleweave 3.0.0 - reading configuration (1): " + folder + "filters.dat",
                     "Cobbleweave 3.0.0 - reading configuration (2): " + moduleFolderPath +
                         "local_filters.dat"}),
              logLines());
}

TEST_F(ConfigTableTest, LocalRuleFileInTheFolderWinsOverTheModuleFolder) {
    writeModuleFile("local_filters.dat", "module local\n");
    writeConfigFile("local_filters.dat", "folder local\n");
    int32_t handle = load("main\n");
    EXPECT_EQ((Lines{"main", "folder local"}), storedLines(handle));
}

TEST_F(ConfigTableTest, EveryLineIsStoredWithoutItsTrailingWhiteSpace) {
    int32_t handle = load(
        "# a comment\n"
        "\n"
        "  Subject: 2 \"lead kept\" \t \r\n"
        "MAXSIZE 4096\n"
        "\t\v\f \n"
        "NOCOMMENT\n"
        "Body: 1 {x}\n"
        "DEBUG\n"
        "last without line end  ");
    EXPECT_EQ((Lines{"# a comment", "", "  Subject: 2 \"lead kept\"", "MAXSIZE 4096", "",
                     "NOCOMMENT", "Body: 1 {x}", "DEBUG", "last without line end"}),
              storedLines(handle));
}

TEST_F(ConfigTableTest, CrLfRuleFileIsReadLikeLf) {
    int32_t withLf = load("first\n\nsecond \nthird\n");
    int32_t withCrLf = load("first\r\n\r\nsecond \r\nthird\r\n");
    EXPECT_EQ((Lines{"first", "", "second", "third"}), storedLines(withLf));
    EXPECT_EQ(storedLines(withLf), storedLines(withCrLf));
}

TEST_F(ConfigTableTest, ALineEndsAtItsFirstNulByte) {
    int32_t handle = load(std::string("kept\0dropped\nnext\n", 18));
    EXPECT_EQ((Lines{"kept", "next"}), storedLines(handle));
}

TEST_F(ConfigTableTest, LongLinesAreStoredInPiecesOf4094Bytes) {
    struct Case {
        size_t length;
        std::vector<size_t> storedLengths;
    };
    const Case cases[] = {
        {4093, {4093, 4}},
        {4094, {4094, 0, 4}},  // the line end alone makes an empty line
        {4095, {4094, 1, 4}},
        {9000, {4094, 4094, 812, 4}},
    };
    for (const Case& c : cases) {
        int32_t handle = load(std::string(c.length, 'a') + "\nnext\n");
        std::vector<size_t> lengths;
        for (const std::string& line : storedLines(handle)) {
            lengths.push_back(line.size());
        }
        EXPECT_EQ(c.storedLengths, lengths) << c.length;
    }
}

TEST_F(ConfigTableTest, ACrLfLineOf4094CharactersAlsoLeavesAnEmptyLine) {
    int32_t handle = load(std::string(4094, 'b') + "\r\nnext\r\n");
    EXPECT_EQ((Lines{std::string(4094, 'b'), "", "next"}), storedLines(handle));
}

TEST_F(ConfigTableTest, EntryTraceAppearsOnlyWhenThePreviousLoadLeftDebug) {
    load("DEBUG\n");
    EXPECT_EQ((Lines{"Cobbleweave 3.0.0 - reading configuration (1): " + folder + "filters.dat",
                     "debug enabled", "new config handle: 1", "number of active configs: 1",
                     "<<< loadConfig"}),
              logLines());

    writeFileBytes(folder + "cobbleweave.log", "");
    load("QUIET\n");
    EXPECT_EQ((Lines{">>> loadConfig",
                     "Cobbleweave 3.0.0 - reading configuration (1): " + folder + "filters.dat",
                     "quiet enabled"}),
              logLines());

    writeFileBytes(folder + "cobbleweave.log", "");
    load("DEBUG\n");
    EXPECT_EQ((Lines{"Cobbleweave 3.0.0 - reading configuration (1): " + folder + "filters.dat",
                     "debug enabled", "new config handle: 3", "number of active configs: 3",
                     "<<< loadConfig"}),
              logLines());
}

TEST_F(ConfigTableTest, TheLogFollowsTheFolderOfTheLatestLoad) {
    std::string other = makeScratchFolder();
    writeFileBytes(other + "filters.dat", "rule\n");
    load("rule\n");
    loadConfig(other.c_str());
    EXPECT_EQ(Lines{"Cobbleweave 3.0.0 - reading configuration (1): " + folder + "filters.dat"},
              logLines());
    EXPECT_EQ(Lines{"Cobbleweave 3.0.0 - reading configuration (1): " + other + "filters.dat"},
              logLinesWithoutStamps(other + "cobbleweave.log"));
}

// Builds a folder path of exactly `length` characters (separator included)
// inside `base`, creating it.
std::string folderOfLength(const std::string& base, size_t length) {
    std::string path = base + std::string(length - base.size() - 1, 'd') + platform::PATH_SEPARATOR;
    EXPECT_TRUE(std::filesystem::create_directory(path.substr(0, path.size() - 1))) << path;
    return path;
}

TEST_F(ConfigTableTest, AFolderOf242CharactersIsRead) {
    std::string longest = folderOfLength(folder, 242);
    writeFileBytes(longest + "filters.dat", "rule\n");
    writeFileBytes(longest + "local_filters.dat", "local\n");
    int32_t handle = loadConfig(longest.c_str());
    EXPECT_EQ((Lines{"rule", "local"}), storedLines(handle));
    EXPECT_EQ(longest + "statistics.dat", configPaths.statisticsPath);
}

TEST_F(ConfigTableTest, ALongerFolderIsRefusedWithALogLineAndAnEmptyConfig) {
    load("rule\n");
    std::string tooLong = folderOfLength(folder, 243);
    writeFileBytes(tooLong + "filters.dat", "never read\n");
    writeFileBytes(folder + "cobbleweave.log", "");

    EXPECT_EQ(2, loadConfig(tooLong.c_str()));
    EXPECT_TRUE(storedLines(2).empty());
    EXPECT_TRUE(configPaths.mainRuleFilePath.empty());
    EXPECT_EQ(folder + "statistics.dat", configPaths.statisticsPath);
    EXPECT_EQ(
        Lines{"error: configuration folder too long (243 characters, at most 242): " + tooLong},
        logLines());
}

TEST_F(ConfigTableTest, AVeryLongFolderIsQuotedWith256CharactersAtMost) {
    load();
    std::string huge(5000, 'x');
    EXPECT_EQ(2, loadConfig(huge.c_str()));
    EXPECT_EQ(Lines{"error: configuration folder too long (5000 characters, at most 242): " +
                    std::string(256, 'x')},
              logLines());
}

TEST_F(ConfigTableTest, ANullFolderIsTakenAsEmpty) {
    EXPECT_EQ(1, loadConfig(nullptr));
    EXPECT_EQ(2, load("rule\n"));
    EXPECT_EQ(Lines{"rule"}, storedLines(2));
}

TEST_F(ConfigTableTest, EveryLoadResetsTheThreeSettingsAndKeepsTheOthers) {
    load("CHECKPREVIEW\nNOCOMMENT\nCHECK\nSIMULATE\nMAXSIZE 2048\n");
    EXPECT_TRUE(filterOptions.checkPreview);
    EXPECT_FALSE(filterOptions.comment);
    EXPECT_EQ(TRACE_CHECK, filterOptions.traceLevel);
    load("rule\n");
    EXPECT_FALSE(filterOptions.checkPreview);
    EXPECT_TRUE(filterOptions.comment);
    EXPECT_EQ(TRACE_QUIET, filterOptions.traceLevel);
    EXPECT_TRUE(filterOptions.simulate);
    EXPECT_EQ(2048, filterOptions.maxSize);
}

TEST_F(ConfigTableTest, TheLocalRuleFileHasTheLastWord) {
    writeConfigFile("local_filters.dat", "THRESHOLD_WHITELISTED -2\n");
    int32_t handle = load("THRESHOLD_WHITELISTED 4\nrule\nOPTION-LIKE rule\nDEBUGGING\n");
    EXPECT_EQ(-2.0, filterOptions.thresholdWhitelisted);
    EXPECT_EQ(TRACE_DEBUG, filterOptions.traceLevel);
    EXPECT_EQ(5, findConfig(handle)->lineCount());
}

}  // namespace
}  // namespace cw
