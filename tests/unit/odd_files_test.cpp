// Files that are not what their names promise: a FIFO where a rule file, the log
// or the statistics belong, a device or a FIFO named as a list, and a list far
// larger than any real one. Each is refused or cut, and nothing waits or loops.
#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

#include "base/log_writer.h"
#include "config/statistics.h"
#include "config_load_fixture.h"

namespace cw {
namespace {

class OddFilesTest : public ConfigLoadTest {
  protected:
    void makeFifo(const std::string& name) const {
        ASSERT_EQ(0, mkfifo((folder + name).c_str(), 0600)) << name;
    }

    // Runs `work` in a child process, which ends with its result. A child still
    // running after ten seconds hangs: it is killed and the result is false.
    static bool finishesTrue(const std::function<bool()>& work) {
        pid_t child = fork();
        if (child == 0) {
            _exit(work() ? 0 : 1);
        }
        int status = 0;
        for (int waited = 0; waited < 1000; ++waited) {
            if (waitpid(child, &status, WNOHANG) == child) {
                return WIFEXITED(status) && WEXITSTATUS(status) == 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        ADD_FAILURE() << "still running after ten seconds";
        return false;
    }

    bool logHas(const std::string& line) const {
        Lines lines = logLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

TEST_F(OddFilesTest, FifosAsRuleFileLogAndStatisticsAreRefusedWithoutWaiting) {
    makeFifo("filters.dat");
    makeFifo("cobbleweave.log");
    makeFifo("statistics.dat");
    writeConfigFile("local_filters.dat", "Subject: \"x\"\n");
    EXPECT_TRUE(finishesTrue([&] {
        int32_t handle = load();
        writeLog("a line for the log", LOG_APPEND);
        MessageStatus status{};
        processedMessage(&status);
        return storedLines(handle) == Lines{"Subject: \"x\""};
    }));
}

// A statistics file that is refused, not missing, is named in the log: nothing
// else would say why no statistics are kept.
TEST_F(OddFilesTest, AStatisticsFileThatIsNoRegularFileIsNamedInTheLog) {
    for (bool folderInstead : {false, true}) {
        const std::string statistics = folder + "statistics.dat";
        if (folderInstead) {
            std::remove(statistics.c_str());
            ASSERT_EQ(0, mkdir(statistics.c_str(), 0700));
        } else {
            makeFifo("statistics.dat");
        }
        load("");
        EXPECT_TRUE(logHas("error: statistics not kept: " + statistics + " is not a regular file"))
            << (folderInstead ? "folder" : "FIFO");
    }
}

TEST_F(OddFilesTest, DevicesAndFifosAsListsAddNothing) {
    makeFifo("list.fifo");
    writeConfigFile("filters.dat",
                    "B_INCLUDE_LIST /dev/zero\nB_INCLUDE_SENDER /dev/urandom\n"
                    "B_INCLUDE_SUBJECT list.fifo\n");
    EXPECT_TRUE(finishesTrue([&] {
        int32_t handle = load();
        return storedLines(handle).size() == 3 && logHas("include blacklist failed: /dev/zero") &&
               logHas("include blacklist failed: /dev/urandom") &&
               logHas("include blacklist failed: " + folder + "list.fifo");
    }));
}

// A list is read up to 64 MiB (or a million rules), however large the file: here
// a sparse file of 256 MiB of NUL bytes, whose pieces read as empty lines.
TEST_F(OddFilesTest, AHugeListIsCutWithALogLine) {
    const std::string list = folder + "huge.txt";
    FILE* file = std::fopen(list.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    ASSERT_EQ(0, ftruncate(fileno(file), 256L * 1024 * 1024));
    std::fclose(file);
    int32_t handle = load("B_INCLUDE_SENDER huge.txt\n");
    EXPECT_EQ(Lines{"B_INCLUDE_SENDER huge.txt"}, storedLines(handle));
    EXPECT_TRUE(logHas("include blacklist cut: " + list +
                       " holds more than 1000000 rules or 67108864 bytes; the rest of it is not "
                       "read"));
}

// The lists of one load share one bound: two lists of 40 MiB (sparse, NUL
// bytes) fill it, so the second is cut and a third is not read at all.
TEST_F(OddFilesTest, TheListsOfOneLoadShareOneBound) {
    for (const char* name : {"first.txt", "second.txt"}) {
        FILE* file = std::fopen((folder + name).c_str(), "wb");
        ASSERT_NE(nullptr, file);
        ASSERT_EQ(0, ftruncate(fileno(file), 40L * 1024 * 1024));
        std::fclose(file);
    }
    writeConfigFile("third.txt", "a@example.org\n");
    int32_t handle = load(
        "B_INCLUDE_SENDER first.txt\nB_INCLUDE_SENDER second.txt\nB_INCLUDE_SENDER third.txt\n");
    EXPECT_EQ((Lines{"B_INCLUDE_SENDER first.txt", "B_INCLUDE_SENDER second.txt",
                     "B_INCLUDE_SENDER third.txt"}),
              storedLines(handle));
    const std::string bound =
        "include blacklist cut: the lists of this configuration hold more than 1000000 rules "
        "or 67108864 bytes in all; ";
    EXPECT_TRUE(logHas(bound + "the rest of " + folder + "second.txt is not read"));
    EXPECT_TRUE(logHas(bound + "the list " + folder + "third.txt is not read"));
    EXPECT_FALSE(logHas(bound + "the rest of " + folder + "first.txt is not read"));
}

}  // namespace
}  // namespace cw
#endif
