// The exports that answer the host's identity, capability and per-message
// queries, called by name through the loaded library.
#include <cstdio>
#include <cstring>
#include <string>

#include "plugin_host.h"

namespace {

using HostInterface = PluginHost;

TEST_F(HostInterface, IdentityTexts) {
    EXPECT_STREQ("Cobbleweave", plugin.getPluginName());
    EXPECT_STREQ("3.0.0", plugin.getPluginVersion());
    EXPECT_GT(std::strlen(plugin.getPluginAuthor()), 0u);
    EXPECT_EQ(0, std::strncmp(plugin.getPluginHomepage(), "http", 4));
}

TEST_F(HostInterface, DescriptionIsCopiedOnlyIntoABufferLargeEnough) {
    const char* description =
        "A plugin allowing you to filter or whitelist your email based on Perl Regular Expressions";
    char buffer[100];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(90, plugin.getPluginDescription(buffer, 89));
    EXPECT_EQ('#', buffer[0]);
    EXPECT_EQ(90, plugin.getPluginDescription(buffer, 0));
    EXPECT_EQ('#', buffer[0]);
    EXPECT_EQ(90, plugin.getPluginDescription(buffer, 90));
    EXPECT_STREQ(description, buffer);
    EXPECT_EQ('#', buffer[90]);
}

TEST_F(HostInterface, CapabilitiesOverwriteAllFiveIntegers) {
    int32_t record[6] = {9, 9, 9, 9, 9, 9};
    plugin.getPluginCapabilities(nullptr, record);
    EXPECT_EQ(0, record[0]);
    EXPECT_EQ(3, record[1]);
    EXPECT_EQ(0, record[2]);
    EXPECT_EQ(0, record[3]);
    EXPECT_EQ(0, record[4]);
    EXPECT_EQ(9, record[5]);
}

TEST_F(HostInterface, BodyPrefixIsEmptyAndNeverWritesAnEmptyBuffer) {
    char buffer[4] = {'x', 'y', 'z', '\0'};
    EXPECT_EQ(1, plugin.getMessageBodyPrefix(nullptr, nullptr, nullptr, buffer, 0));
    EXPECT_EQ('x', buffer[0]);
    EXPECT_EQ(1, plugin.getMessageBodyPrefix(nullptr, nullptr, nullptr, buffer, 1));
    EXPECT_EQ('\0', buffer[0]);
    EXPECT_EQ('y', buffer[1]);
}

TEST_F(HostInterface, FixedAnswers) {
    EXPECT_EQ(256, plugin.getMaxBytesToAdd());
    EXPECT_EQ(0, plugin.createPluginWindow());
    EXPECT_EQ(0, plugin.hasPluginWindow());
    EXPECT_EQ(0, plugin.requireBodyRewriting());
    EXPECT_EQ(0, plugin.requireHeaderRewriting());
    EXPECT_EQ(1, plugin.validateConfigDialog());
    plugin.filterOnEmailAddress();
    plugin.filterOnHost();
    plugin.filterOnIpAddress();
    plugin.filterOnMessageHeaders();
    plugin.rewriteMessageBody();
    plugin.rewriteMessageHeaders();
    plugin.housekeeping();
}

TEST_F(HostInterface, PreviewsAreFilteredOnlyWithCheckPreview) {
    for (int32_t type : {cw::POP3_RETR, cw::IMAP4_SERVER, cw::SMTP_RELAY, 7}) {
        fetchInfo.fetchType = type;
        EXPECT_EQ(1, plugin.requireBodyFiltering(nullptr, nullptr, nullptr, &status)) << type;
    }
    fetchInfo.fetchType = cw::POP3_TOP;
    EXPECT_EQ(0, plugin.requireBodyFiltering(nullptr, nullptr, nullptr, &status));
    load("CHECKPREVIEW\n");
    EXPECT_EQ(1, plugin.requireBodyFiltering(nullptr, nullptr, nullptr, &status));
}

TEST_F(HostInterface, BodyBytesAreReportedOnlyForRequestFifty) {
    fetchInfo.bodyByteCount = 12345;
    EXPECT_EQ(12345u, plugin.minBodyBytesRequired(50, nullptr, nullptr, nullptr, &status));
    EXPECT_EQ(0u, plugin.minBodyBytesRequired(49, nullptr, nullptr, nullptr, &status));
}

TEST_F(HostInterface, DebugLevelTracesTheEntryPoints) {
    load("DEBUG\n");
    markLog();
    plugin.sessionStart();
    plugin.housekeeping();
    fetchInfo.fetchType = cw::POP3_TOP;
    plugin.requireBodyFiltering(nullptr, nullptr, nullptr, &status);
    plugin.minBodyBytesRequired(49, nullptr, nullptr, nullptr, &status);
    fetchInfo.bodyByteCount = 4321;
    plugin.minBodyBytesRequired(50, nullptr, nullptr, nullptr, &status);
    char prefix[4];
    plugin.getMessageBodyPrefix(nullptr, nullptr, nullptr, prefix, sizeof prefix);
    plugin.fetchStart(1);
    plugin.fetchEnd(1);
    plugin.getMaxBytesToAdd();
    plugin.sessionEnd();
    std::vector<std::string> expected = {
        "=== sessionStart",
        "=== housekeeping",
        "=== requireBodyFiltering",
        "<<< requireBodyFiltering: POP3_TOP ignored",
        "=== minBodyBytesRequired: 0",
        "=== minBodyBytesRequired: 4321",
        "=== getMessageBodyPrefix",
        ">>> fetchStart",
        "<<< fetchStart",
        ">>> fetchEnd",
        "<<< fetchEnd",
        "=== getMaxBytesToAdd",
        "=== sessionEnd",
    };
    EXPECT_EQ(expected, newLogLines());
}

TEST_F(HostInterface, QuietLevelWritesNoTraceLines) {
    load("QUIET\n");
    markLog();
    plugin.sessionStart();
    plugin.fetchStart(1);
    plugin.fetchEnd(1);
    plugin.fetchEnd(1);
    EXPECT_EQ(std::vector<std::string>{"error: fetchEnd:index not found"}, newLogLines());
}

// The version check runs in its own host program, copied under the names to try.
// Not under Wine: a refusal opens a message box there, which needs a display.
#if !defined(_WIN32)

// Runs the version host under `name`; returns its output.
std::string checkVersionAs(const std::string& folder, const std::string& name,
                           const std::string& version, std::string& messages) {
    std::string host = folder + name;
    std::string copy = "cp '" VERSION_HOST "' '" + host + "'";
    if (std::system(copy.c_str()) != 0) {
        return "copy failed";
    }
    std::string command =
        "'" + host + "' '" COBBLEWEAVE_LIBRARY "' '" + version + "' 2>'" + folder + "messages.txt'";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, pipe) != nullptr) {
            output += line;
        }
        pclose(pipe);
    }
    FILE* file = std::fopen((folder + "messages.txt").c_str(), "rb");
    messages.clear();
    if (file != nullptr) {
        char line[512];
        while (std::fgets(line, sizeof line, file) != nullptr) {
            messages += line;
        }
        std::fclose(file);
    }
    return output;
}

TEST_F(HostInterface, VersionIsComparedAsOneDecimalNumber) {
    const std::string versionMessage =
        "Error from Vellmox Cobbleweave plugin: Cobbleweave plugin needs Vellmox v1.27 or later!\n";
    struct Case {
        const char* version;
        const char* result;
    };
    const Case cases[] = {{"1.27", "1\n"}, {"1.26", "0\n"}, {"1.3", "1\n"},  {"1.100", "0\n"},
                          {"", "0\n"},     {"2", "1\n"},    {"1.27b", "1\n"}};
    for (const Case& c : cases) {
        std::string messages;
        EXPECT_EQ(c.result, checkVersionAs(folder, "VELLMOX.EXE", c.version, messages))
            << c.version;
        EXPECT_EQ(std::string(c.result) == "1\n" ? "" : versionMessage, messages) << c.version;
    }
}

TEST_F(HostInterface, OtherHostsAreRefusedWhateverTheirVersion) {
    std::string messages;
    EXPECT_EQ("0\n", checkVersionAs(folder, "mailproxy.exe", "9.9", messages));
    EXPECT_EQ(
        "Plugin loading failed: Cobbleweave plugin does only work with official releases of "
        "Vellmox\n",
        messages);
    EXPECT_EQ("1\n", checkVersionAs(folder, "vellmox.exe", "9.9", messages));
}

#endif

}  // namespace
