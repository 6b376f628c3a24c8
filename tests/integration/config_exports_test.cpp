// Rule files, include lists and statistics as the host meets them: a folder of
// files, loadConfig and releaseConfig through the exports, then the log and the
// files the plug-in writes.
#include <string>
#include <vector>

#include "plugin_host.h"

namespace {

using Lines = std::vector<std::string>;

std::string littleEndian(int32_t value) {
    uint32_t bits = static_cast<uint32_t>(value);
    return {static_cast<char>(bits & 0xFF), static_cast<char>((bits >> 8) & 0xFF),
            static_cast<char>((bits >> 16) & 0xFF), static_cast<char>((bits >> 24) & 0xFF)};
}

class ConfigExports : public PluginHost {
  protected:
    void writeConfigFolder() {
        writeConfigFile("filters.dat",
                        "# main rules\r\n"
                        "DEBUG\r\n"
                        "MAXSIZE 50\r\n"
                        "B_INCLUDE_SENDER 2.5 senders.txt\r\n");
        writeConfigFile("local_filters.dat", "THRESHOLD_SPAM 2.25\r\n");
        writeConfigFile("senders.txt", "sales@pills.example\r\n\r\nbulk@mailer.example\r\n");
        writeConfigFile("statistics.dat", littleEndian(2) + littleEndian(3) + littleEndian(7) +
                                              littleEndian(3) + littleEndian(5));
    }
    void processed(int32_t spam, int32_t whitelisted) {
        cw::MessageStatus message{};
        message.spam = spam;
        message.whitelisted = whitelisted;
        plugin.processedMessage(nullptr, nullptr, nullptr, nullptr, &message);
    }
};

TEST_F(ConfigExports, LoadReadsBothRuleFilesTheListAndTheStatistics) {
    writeConfigFolder();
    EXPECT_EQ(1, loadFolder());
    EXPECT_EQ((Lines{
                  "Cobbleweave 3.0.0 - reading configuration (1): " + folder + "filters.dat",
                  "debug enabled",
                  "scanning max. 1024 bytes",
                  "include blacklist (Any-Sender:): " + folder + "senders.txt",
                  "score for included rules: 2.5",
                  "score for included rules: 2.5",
                  "Cobbleweave 3.0.0 - reading configuration (2): " + folder + "local_filters.dat",
                  "threshold for 'spam': >2.2",
                  "new config handle: 1",
                  "number of active configs: 1",
                  "reading statistics: " + folder + "statistics.dat",
                  "<<< loadConfig",
              }),
              logLines());
}

TEST_F(ConfigExports, IncludedSenderRulesScoreMessagesWithTheirComment) {
    writeConfigFolder();
    loadFolder();
    scan("From: Pharmacy <sales@pills.example>\r\nSubject: hello\r\n\r\nbody\r\n");
    EXPECT_EQ(1, status.spam);
    EXPECT_EQ("X-Quelt: BL\r\n", addedLines);
}

TEST_F(ConfigExports, ProcessedMessageRewritesBothStatisticsFiles) {
    writeConfigFolder();
    loadFolder();
    processed(1, 1);
    EXPECT_EQ(littleEndian(5) + littleEndian(0) + littleEndian(0) + littleEndian(1) +
                  littleEndian(0) + littleEndian(2) + littleEndian(0) + littleEndian(3) +
                  littleEndian(13) + littleEndian(4) + littleEndian(1),
              readConfigFile("statistics.dat"));
    EXPECT_EQ(
        "Processed messages   :     0\r\n"
        "Tagged by Cobbleweave:     0 (SPAM)\r\n"
        "                     :     0 (whitelisted)\r\n"
        "Tagged by Vellmox    :    13 (SPAM)\r\n"
        "                     :     1 (whitelisted)\r\n",
        readConfigFile("statistics.txt"));
    EXPECT_EQ("=== processedMessage", logLines().back());
}

TEST_F(ConfigExports, CountsContinueAcrossLoads) {
    writeConfigFile("filters.dat", "Subject: 1 \"offer\"\r\n");
    loadFolder();
    processed(1, 0);
    processed(1, 0);
    loadFolder();
    processed(0, 1);
    EXPECT_EQ(
        "Processed messages   :     0\r\n"
        "Tagged by Cobbleweave:     0 (SPAM)\r\n"
        "                     :     0 (whitelisted)\r\n"
        "Tagged by Vellmox    :     2 (SPAM)\r\n"
        "                     :     1 (whitelisted)\r\n",
        readConfigFile("statistics.txt"));
}

TEST_F(ConfigExports, HandlesAreNeverReusedAndReleaseIsTraced) {
    writeConfigFile("filters.dat", "DEBUG\r\n");
    EXPECT_EQ(1, loadFolder());
    EXPECT_EQ(2, loadFolder());
    markLog();
    plugin.releaseConfig(1);
    plugin.releaseConfig(1);
    EXPECT_EQ((Lines{">>> releaseConfig", "trying config handle: 1", "that is configuration: 0",
                     "configurations left: 1", "<<< releaseConfig", ">>> releaseConfig",
                     "trying config handle: 1", "that is configuration: -1",
                     "configurations left: 1", "<<< releaseConfig"}),
              newLogLines());
    EXPECT_EQ(3, loadFolder());
}

TEST_F(ConfigExports, AFolderTooLongForTheRulePathsIsRefusedInTheLog) {
    writeConfigFile("filters.dat", "rule\r\n");
    loadFolder();
    markLog();
    std::string tooLong = folder + std::string(300, 'l') + "/";
    EXPECT_EQ(2, plugin.loadConfig(tooLong.c_str()));
    EXPECT_EQ(Lines{"error: configuration folder too long (" + std::to_string(tooLong.size()) +
                    " characters, at most 242): " + tooLong.substr(0, 256)},
              newLogLines());
}

// No folder, or an empty one, would read and write the current folder's files.
TEST_F(ConfigExports, AMissingOrEmptyFolderIsRefusedInTheLog) {
    writeConfigFile("filters.dat", "rule\r\n");
    loadFolder();
    markLog();
    EXPECT_EQ(2, plugin.loadConfig(nullptr));
    EXPECT_EQ(3, plugin.loadConfig(""));
    EXPECT_EQ((Lines{"error: no configuration folder given, none is read",
                     "error: empty configuration folder, none is read"}),
              newLogLines());
}

}  // namespace
