// Fetches from several host threads at once, each going through fetchStart,
// filterOnMessageBody, getAddedHeaderLines and fetchEnd: every message keeps its
// own lines, and the log's lines stay whole, also while another thread loads
// and releases configurations. Built as a program of its own, which the tsan
// preset runs under ThreadSanitizer.
#include <atomic>
#include <cstring>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "plugin_host.h"

namespace {

constexpr int THREADS = 4;
constexpr int MESSAGES_PER_THREAD = 24;
constexpr int BITS = 5;  // enough to tell MESSAGES_PER_THREAD messages apart

// Each message's subject names its thread and the set bits of its number, so the
// rules that match it, and with them its added lines, are its own.
const char* const RULES =
    "DEBUG\r\n"
    "KEEPLOGFILE\r\n"
    "ADDSCORE\r\n"
    "SHOWVALUE\r\n"
    "MAXCOMMENT 4096\r\n"
    "THRESHOLD_SPAM 100000\r\n"
    "THRESHOLD_SUSPECT 100000\r\n"
    "Subject: 1000 \"thread-0\" [thread 0]\r\n"
    "Subject: 2000 \"thread-1\" [thread 1]\r\n"
    "Subject: 3000 \"thread-2\" [thread 2]\r\n"
    "Subject: 4000 \"thread-3\" [thread 3]\r\n"
    "Subject: 1 {\\bbit0\\b} [bit 0]\r\n"
    "Subject: 2 {\\bbit1\\b} [bit 1]\r\n"
    "Subject: 4 {\\bbit2\\b} [bit 2]\r\n"
    "Subject: 8 {\\bbit3\\b} [bit 3]\r\n"
    "Subject: 16 {\\bbit4\\b} [bit 4]\r\n"
    "~Body: 0.5 \"decoded payload\" [payload]\r\n";

// "decoded payload", base64: the body decoder runs in every scan.
const char* const BODY = "ZGVjb2RlZCBwYXlsb2Fk\r\n";

std::string subjectOf(int thread, int number) {
    std::string subject = "thread-" + std::to_string(thread);
    for (int bit = 0; bit < BITS; ++bit) {
        if (number & (1 << bit)) {
            subject += " bit" + std::to_string(bit);
        }
    }
    return subject;
}

// The lines the rules above hand over for that message, in rule order.
std::string expectedLines(int thread, int number) {
    std::string lines = "X-Quelt-Score: " + std::to_string(1000 * (thread + 1) + number) + ".5\r\n";
    lines += "X-Quelt: [" + std::to_string(1000 * (thread + 1)) + ".0] thread " +
             std::to_string(thread) + "\r\n";
    for (int bit = 0; bit < BITS; ++bit) {
        if (number & (1 << bit)) {
            lines +=
                "X-Quelt: [" + std::to_string(1 << bit) + ".0] bit " + std::to_string(bit) + "\r\n";
        }
    }
    return lines + "X-Quelt: [0.5] payload\r\n";
}

class ConcurrentFetches : public PluginHost {
  protected:
    // Runs THREADS host threads of MESSAGES_PER_THREAD fetches each on the loaded
    // configuration, calling `meanwhile` on this thread until they are done.
    template <typename Meanwhile>
    void fetchFromAllThreads(Meanwhile meanwhile) {
        std::vector<std::string> failures(THREADS);
        std::atomic<int> running{THREADS};
        std::vector<std::thread> threads;
        for (int thread = 0; thread < THREADS; ++thread) {
            threads.emplace_back([&, thread] {
                failures[thread] = fetchAll(thread);
                --running;
            });
        }
        while (running > 0) {
            meanwhile();
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        for (int thread = 0; thread < THREADS; ++thread) {
            EXPECT_EQ("", failures[thread]) << "thread " << thread;
        }
    }

    // The messages of one thread; returns what went wrong.
    std::string fetchAll(int thread) {
        std::string failures;
        cw::AccountInfo ownAccount = account;
        for (int number = 0; number < MESSAGES_PER_THREAD; ++number) {
            int32_t id = 1000 * (thread + 1) + number;
            std::string subject = "Subject: " + subjectOf(thread, number) + "\r\n";
            const char* lines[] = {"From: sender@example.org\r\n", subject.c_str(),
                                   "Content-Type: text/plain\r\n",
                                   "Content-Transfer-Encoding: base64\r\n"};
            cw::FetchInfo ownFetch{};
            ownFetch.fetchType = cw::POP3_RETR;
            ownFetch.bodyByteCount = static_cast<uint32_t>(std::strlen(BODY));
            cw::MessageStatus own{};
            own.account = &ownAccount;
            own.fetchInfo = &ownFetch;
            std::string bodyPath = folder + "body-" + std::to_string(id) + ".tmp";
            BodyFileHandle bodyFile = openBodyFile(bodyPath, BODY);
            plugin.fetchStart(id);
            plugin.requireBodyFiltering(nullptr, nullptr, nullptr, &own);
            plugin.getMaxBytesToAdd();
            plugin.filterOnMessageBody(lines, 4, bodyFile, id, &own, configHandle);
            char added[1024] = "";
            plugin.getAddedHeaderLines(id, nullptr, nullptr, added, sizeof added);
            plugin.fetchEnd(id);
            closeBodyFile(bodyFile, bodyPath);
            if (added != expectedLines(thread, number)) {
                failures += "fetch " + std::to_string(id) + " got [" + added + "]\n";
            }
        }
        return failures;
    }

    // Every log line is one time stamp, one text and CR LF; returns how often
    // each text occurs.
    std::map<std::string, int> wholeLogLines() {
        const std::regex wholeLine(R"(\d\d [A-Z][a-z]{2} \d\d  \d\d:\d\d:\d\d  [^\r\n]*)");
        const std::regex stampInside(R"(\d\d:\d\d:\d\d  )");
        std::map<std::string, int> counts;
        std::string log = readConfigFile("cobbleweave.log");
        size_t position = 0;
        int torn = 0;
        while (position < log.size() && torn < 5) {
            size_t end = log.find("\r\n", position);
            if (end == std::string::npos) {
                ADD_FAILURE() << "the log ends inside a line";
                break;
            }
            std::string line = log.substr(position, end - position);
            position = end + 2;
            if (!std::regex_match(line, wholeLine) ||
                std::regex_search(line.substr(21), stampInside)) {
                ADD_FAILURE() << "torn log line: [" << line << "]";
                ++torn;
                continue;
            }
            ++counts[line.substr(21)];
        }
        return counts;
    }

    // The header summary of each message appears once: its scan ran once, whole.
    void expectOneSummaryPerMessage(std::map<std::string, int>& counts) {
        for (int thread = 0; thread < THREADS; ++thread) {
            for (int number = 0; number < MESSAGES_PER_THREAD; ++number) {
                std::string summary = ">>> Subject: " + subjectOf(thread, number);
                EXPECT_EQ(1, counts[summary]) << summary;
            }
        }
    }
};

TEST_F(ConcurrentFetches, EveryMessageGetsItsOwnLinesAndNoLogLineIsTorn) {
    ASSERT_NE(0, load(RULES));
    fetchFromAllThreads([] { std::this_thread::yield(); });

    std::map<std::string, int> counts = wholeLogLines();
    const int messages = THREADS * MESSAGES_PER_THREAD;
    for (const char* trace : {">>> fetchStart", "<<< fetchStart", ">>> filterOnMessageBody",
                              ">>> getAddedHeaderLines", ">>> fetchEnd", "<<< fetchEnd"}) {
        EXPECT_EQ(messages, counts[trace]) << trace;
    }
    expectOneSummaryPerMessage(counts);
}

// A load resets the options and reads them again while the fetching threads
// read them; each load here reads the same rules, so every message must still
// get exactly its own lines. (The trace lines of the exports may miss a few
// while a load has reset the trace level, so they are not counted.)
TEST_F(ConcurrentFetches, ReloadsWhileFetchingKeepEveryMessageItsOwnLines) {
    ASSERT_NE(0, load(RULES));
    int reloads = 0;
    fetchFromAllThreads([&] {
        int32_t handle = plugin.loadConfig(folder.c_str());
        EXPECT_NE(0, handle);
        plugin.releaseConfig(handle);
        ++reloads;
    });
    EXPECT_LT(0, reloads);

    std::map<std::string, int> counts = wholeLogLines();
    std::string readingRules = std::string("Cobbleweave ") + plugin.getPluginVersion() +
                               " - reading configuration (1): " + folder + "filters.dat";
    EXPECT_EQ(reloads + 1, counts[readingRules]);
    expectOneSummaryPerMessage(counts);
}

}  // namespace
