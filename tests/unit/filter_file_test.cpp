#include "config/filter_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "config_load_fixture.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#endif

namespace cw {
namespace {

class FilterFileTest : public ConfigLoadTest {
  protected:
    std::string configFile(const std::string& name) const { return readFileBytes(folder + name); }
    bool configFileExists(const std::string& name) const {
        return std::filesystem::exists(folder + name);
    }
};

TEST_F(FilterFileTest, EditorTextHoldsTheMainFileLinesEachEndedByCrLf) {
    writeConfigFile("senders.txt", "spam@example.org\n");
    writeConfigFile("local_filters.dat", "local rule\n");
    int32_t handle = load("# comment\r\n\r\nB_INCLUDE_SENDER=senders.txt 5\r\nrule  \r\nlast");
    EXPECT_EQ("# comment\r\n\r\nB_INCLUDE_SENDER=senders.txt 5\r\nrule\r\nlast\r\n",
              editorText(handle));
}

TEST_F(FilterFileTest, EditorTextIsEmptyForOnlyLocalLinesAndForUnknownHandles) {
    writeConfigFile("local_filters.dat", "local rule\n");
    int32_t handle = load();
    EXPECT_EQ("", editorText(handle));
    EXPECT_EQ("", editorText(handle + 1));
    releaseConfig(handle);
    EXPECT_EQ("", editorText(handle));
}

// The editor reads the lines on the host's window thread while another thread
// may be releasing the configuration: the read waits for the release to end.
TEST_F(FilterFileTest, EditorTextWaitsForAReleaseInProgressOnAnotherThread) {
    int32_t handle = load("rule\n");
    std::string text = "(not read)";
    std::thread reader;
    {
        platform::LockGuard releaseInProgress(moduleState.fetchLock);
        reader = std::thread([&] { text = editorText(handle); });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        releaseConfig(handle);
    }
    reader.join();
    EXPECT_EQ("", text);
}

// A main-file line longer than a read piece reaches the editor as several lines;
// the configuration says so, so that the editor can refuse to save them.
TEST_F(FilterFileTest, AMainFileLineLongerThanAPieceIsNoted) {
    struct Case {
        std::string mainRules;
        std::string localRules;
        bool noted;
    } cases[] = {
        // A piece holds 4094 bytes, the line end (read as one byte) included.
        {"# " + std::string(4091, 'x') + "\r\nrule\r\n", "", false},
        {"# " + std::string(4092, 'x') + "\r\n", "", true},
        {"# " + std::string(4092, 'x'), "", false},  // a full piece that ends the file
        {"rule\r\n", "# " + std::string(5000, 'x') + "\r\n", false},  // the local file's
    };
    for (const Case& c : cases) {
        writeConfigFile("local_filters.dat", c.localRules);
        int32_t handle = load(c.mainRules);
        EXPECT_EQ(c.noted, mainRuleFileHasCutLines(handle)) << c.mainRules.size();
    }
    EXPECT_FALSE(mainRuleFileHasCutLines(999));
}

TEST_F(FilterFileTest, SaveKeepsThePreviousFileAsBackup) {
    load("first version\r\n");
    size_t loadLines = logLines().size();
    saveFilterText(folder, "second version\r\n");
    EXPECT_EQ("second version\r\n", configFile("filters.dat"));
    EXPECT_EQ("first version\r\n", configFile("filters.bak"));
    saveFilterText(folder, "third version\r\n");
    EXPECT_EQ("third version\r\n", configFile("filters.dat"));
    EXPECT_EQ("second version\r\n", configFile("filters.bak"));
    EXPECT_FALSE(configFileExists("filters.dat.new"));
    Lines log = logLines();
    EXPECT_EQ((Lines{"saving configuration: " + folder + "filters.dat",
                     "writing configuration: " + folder + "filters.dat",
                     "saving configuration: " + folder + "filters.dat",
                     "writing configuration: " + folder + "filters.dat"}),
              Lines(log.begin() + static_cast<long>(loadLines), log.end()));
}

TEST_F(FilterFileTest, SaveWithoutAnOldFileMakesNoBackup) {
    writeModuleFile("default_filters.dat", "default rule\r\n");
    int32_t handle = load();
    saveFilterText(folder, editorText(handle));
    EXPECT_EQ("default rule\r\n", configFile("filters.dat"));
    EXPECT_FALSE(configFileExists("filters.bak"));
    EXPECT_EQ("default rule\r\n", readFileBytes(moduleFolderPath + "default_filters.dat"));
}

TEST_F(FilterFileTest, SavingAnEmptyEditorWritesAnEmptyFile) {
    writeConfigFile("filters.dat", "old\r\n");
    saveFilterText(folder, "");
    EXPECT_TRUE(configFileExists("filters.dat"));
    EXPECT_EQ("", configFile("filters.dat"));
    EXPECT_EQ("old\r\n", configFile("filters.bak"));
}

#if !defined(_WIN32)
// A disk that fills up half-way through the write: the file-size limit makes the
// write of the new file fail after its first bytes, as a full disk would.
TEST_F(FilterFileTest, SaveThatFailsHalfWayLeavesTheOldFileAndBackupWhole) {
    writeConfigFile("filters.dat", "previous rules\r\n");
    writeConfigFile("filters.bak", "older rules\r\n");
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    rlimit small = limit;
    small.rlim_cur = 4096;
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
    testing::internal::CaptureStderr();
    saveFilterText(folder, std::string(100000, 'x'));
    std::string boxes = testing::internal::GetCapturedStderr();
    setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_EQ("Error from CobbleweavePlugin: File too large\n", boxes);
    EXPECT_EQ("previous rules\r\n", configFile("filters.dat"));
    EXPECT_EQ("previous rules\r\n", configFile("filters.bak"));
    EXPECT_FALSE(configFileExists("filters.dat.new"));
}
#endif

}  // namespace
}  // namespace cw
