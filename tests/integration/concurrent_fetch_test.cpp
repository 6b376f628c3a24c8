// Fetches from several host threads at once, each going through fetchStart,
// filterOnMessageBody, getAddedHeaderLines and fetchEnd: every message keeps its
// own lines, and the log's lines stay whole.
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

using ConcurrentFetches = PluginHost;

TEST_F(ConcurrentFetches, EveryMessageGetsItsOwnLinesAndNoLogLineIsTorn) {
    ASSERT_NE(0, load(RULES));
    // "decoded payload", base64: the body decoder runs in every scan.
    const std::string body = "ZGVjb2RlZCBwYXlsb2Fk\r\n";
    std::vector<std::string> failures(THREADS);
    auto fetchAll = [&](int thread) {
        cw::AccountInfo ownAccount = account;
        for (int number = 0; number < MESSAGES_PER_THREAD; ++number) {
            int32_t id = 1000 * (thread + 1) + number;
            std::string subject = "Subject: " + subjectOf(thread, number) + "\r\n";
            const char* lines[] = {"From: sender@example.org\r\n", subject.c_str(),
                                   "Content-Type: text/plain\r\n",
                                   "Content-Transfer-Encoding: base64\r\n"};
            cw::FetchInfo ownFetch{};
            ownFetch.fetchType = cw::POP3_RETR;
            ownFetch.bodyByteCount = static_cast<uint32_t>(body.size());
            cw::MessageStatus own{};
            own.account = &ownAccount;
            own.fetchInfo = &ownFetch;
            std::string bodyPath = folder + "body-" + std::to_string(id) + ".tmp";
            BodyFileHandle bodyFile = openBodyFile(bodyPath, body);
            plugin.fetchStart(id);
            plugin.filterOnMessageBody(lines, 4, bodyFile, id, &own, configHandle);
            char added[1024] = "";
            plugin.getAddedHeaderLines(id, nullptr, nullptr, added, sizeof added);
            plugin.fetchEnd(id);
            closeBodyFile(bodyFile, bodyPath);
            if (added != expectedLines(thread, number)) {
                failures[thread] += "fetch " + std::to_string(id) + " got [" + added + "]\n";
            }
        }
    };
    std::vector<std::thread> threads;
    for (int thread = 0; thread < THREADS; ++thread) {
        threads.emplace_back(fetchAll, thread);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int thread = 0; thread < THREADS; ++thread) {
        EXPECT_EQ("", failures[thread]) << "thread " << thread;
    }

    // Every line is one time stamp, one text and CR LF; the traces of each call
    // and the header summary of each message appear once per message.
    const std::regex wholeLine(R"(\d\d [A-Z][a-z]{2} \d\d  \d\d:\d\d:\d\d  [^\r\n]*)");
    const std::regex stampInside(R"(\d\d:\d\d:\d\d  )");
    std::map<std::string, int> counts;
    std::string log = readConfigFile("cobbleweave.log");
    size_t position = 0;
    int torn = 0;
    while (position < log.size()) {
        size_t end = log.find("\r\n", position);
        ASSERT_NE(std::string::npos, end) << "the log ends inside a line";
        std::string line = log.substr(position, end - position);
        position = end + 2;
        if (!std::regex_match(line, wholeLine) || std::regex_search(line.substr(21), stampInside)) {
            ADD_FAILURE() << "torn log line: [" << line << "]";
            if (++torn == 5) {
                break;
            }
            continue;
        }
        ++counts[line.substr(21)];
    }
    const int messages = THREADS * MESSAGES_PER_THREAD;
    for (const char* trace : {">>> fetchStart", "<<< fetchStart", ">>> filterOnMessageBody",
                              ">>> getAddedHeaderLines", ">>> fetchEnd", "<<< fetchEnd"}) {
        EXPECT_EQ(messages, counts[trace]) << trace;
    }
    for (int thread = 0; thread < THREADS; ++thread) {
        for (int number = 0; number < MESSAGES_PER_THREAD; ++number) {
            std::string summary = ">>> Subject: " + subjectOf(thread, number);
            EXPECT_EQ(1, counts[summary]) << summary;
        }
    }
}

}  // namespace
