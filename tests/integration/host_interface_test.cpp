// The exports that answer the host's identity, capability and per-message
// queries, called by name through the loaded library.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "base/version.h"
#include "plugin_host.h"

namespace {

using HostInterface = PluginHost;

// The texts the host shows. The name is the product's; the version, author and
// home page are what CMakeLists.txt says, written by the build into its version
// header, the version as three numbers (the version resource's form).
TEST_F(HostInterface, IdentityTexts) {
    EXPECT_STREQ("Cobbleweave", plugin.getPluginName());
    EXPECT_STREQ(COBBLEWEAVE_VERSION, plugin.getPluginVersion());
    EXPECT_TRUE(std::regex_match(plugin.getPluginVersion(), std::regex("[0-9]+\\.[0-9]+\\.[0-9]+")))
        << plugin.getPluginVersion();
    EXPECT_STREQ(COBBLEWEAVE_AUTHOR, plugin.getPluginAuthor());
    EXPECT_STREQ(COBBLEWEAVE_HOMEPAGE, plugin.getPluginHomepage());
}

#if defined(_WIN32)
// What Explorer's Properties show of the DLL is the version the host is told.
TEST_F(HostInterface, TheVersionResourceNamesTheSameVersionAndAuthor) {
    char path[MAX_PATH] = "";
    ASSERT_GT(GetModuleFileNameA(static_cast<HMODULE>(plugin.handle), path, MAX_PATH), 0u);
    DWORD size = GetFileVersionInfoSizeA(path, nullptr);
    ASSERT_GT(size, 0u) << "no version resource";
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, info.data()));
    auto value = [&](const char* name) {
        std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
        char* text = nullptr;
        UINT length = 0;
        return VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&text),
                              &length) &&
                       text != nullptr
                   ? std::string(text)
                   : std::string("(none)");
    };
    EXPECT_EQ(plugin.getPluginVersion(), value("FileVersion"));
    EXPECT_EQ(plugin.getPluginVersion(), value("ProductVersion"));
    EXPECT_EQ(plugin.getPluginAuthor(), value("CompanyName"));
    EXPECT_EQ("cobbleweave.dll", value("OriginalFilename"));
    EXPECT_NE(std::string::npos, value("LegalCopyright").find(plugin.getPluginAuthor()));
    EXPECT_NE("(none)", value("FileDescription"));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(plugin.getPluginVersion(), std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                             std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                             std::to_string(HIWORD(fixed->dwFileVersionLS)));
}
#endif

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

// The answers that never change, and the exports that do nothing: those write
// no line even at DEBUG, where the others trace their call and nothing more.
TEST_F(HostInterface, FixedAnswers) {
    load("DEBUG\n");
    markLog();
    EXPECT_EQ(256, plugin.getMaxBytesToAdd());  // MAXCOMMENT's default
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
    EXPECT_EQ((std::vector<std::string>{"=== getMaxBytesToAdd", "=== createPluginWindow",
                                        "=== hasPluginWindow"}),
              newLogLines());
    load("MAXCOMMENT 1000\n");
    EXPECT_EQ(1000, plugin.getMaxBytesToAdd());
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

// A host that passes no status, or one without its fetch information, gets the
// answers of a fetch of unknown type and a line in the log, never a crash.
TEST_F(HostInterface, MissingStatusOrFetchInfoIsLoggedAndAnsweredAsUnknown) {
    load("Subject: \"x\"\n");
    cw::MessageStatus withoutFetchInfo{};
    for (cw::MessageStatus* given : {static_cast<cw::MessageStatus*>(nullptr), &withoutFetchInfo}) {
        const std::string what = given == nullptr ? "no message status" : "no fetch information";
        markLog();
        EXPECT_EQ(1, plugin.requireBodyFiltering(nullptr, nullptr, nullptr, given));
        EXPECT_EQ(0u, plugin.minBodyBytesRequired(50, nullptr, nullptr, nullptr, given));
        plugin.fetchStart(7);
        const char* header[] = {"Subject: x\r\n"};
        plugin.filterOnMessageBody(header, 1, NO_BODY_FILE, 7, given, configHandle);
        plugin.fetchEnd(7);
        EXPECT_EQ((std::vector<std::string>{"error: requireBodyFiltering: " + what,
                                            "error: minBodyBytesRequired: " + what,
                                            "error: filterOnMessageBody: " + what}),
                  newLogLines());
    }
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

// The version check runs in a host program of its own, copied under the names to
// try. On Windows the check's message boxes are real windows, read and answered
// by a second thread of that program (version_host.cpp).

#if defined(_WIN32)
// Runs the program with its arguments; returns what it wrote on standard output
// and standard error.
std::string runProgram(const std::string& program, const std::vector<std::string>& arguments) {
    std::string commandLine = "\"" + program + "\"";
    for (const std::string& argument : arguments) {
        commandLine += " \"" + argument + "\"";
    }
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        return "cannot create a pipe";
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    bool started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &process);
    CloseHandle(writeEnd);
    std::string output;
    if (started) {
        char chunk[512];
        DWORD count = 0;
        while (ReadFile(readEnd, chunk, sizeof chunk, &count, nullptr) && count > 0) {
            output.append(chunk, count);
        }
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    } else {
        output = "cannot start " + program + " (error " + std::to_string(GetLastError()) + ")";
    }
    CloseHandle(readEnd);
    return output;
}

// What version_host prints for a message box it answered.
std::string boxLine(const std::string& caption, const std::string& text) {
    return caption + ": " + text + " [OK]\n";
}
#else
std::string runProgram(const std::string& program, const std::vector<std::string>& arguments) {
    std::string command = "'" + program + "'";
    for (const std::string& argument : arguments) {
        command += " '" + argument + "'";
    }
    std::string output;
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char chunk[512];
        size_t count;
        while ((count = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
            output.append(chunk, count);
        }
        pclose(pipe);
    }
    return output;
}

std::string boxLine(const std::string& caption, const std::string& text) {
    return caption + ": " + text + "\n";
}
#endif

// Runs the version host under the file name `name` for each version text. Each
// copy gets a folder of its own: names that differ only in case are one file on Windows.
std::string checkVersionsAs(const std::string& folder, const std::string& name,
                            const std::vector<std::string>& versions) {
    static int copies = 0;
    std::filesystem::path hostFolder = folder + "host-" + std::to_string(++copies);
    std::string host = (hostFolder / name).string();
    std::error_code error;
    std::filesystem::create_directory(hostFolder, error);
    if (!error) {
        std::filesystem::copy_file(VERSION_HOST, host, error);
    }
    if (error) {
        return "cannot copy the version host: " + error.message();
    }
    std::vector<std::string> arguments = {COBBLEWEAVE_LIBRARY};
    arguments.insert(arguments.end(), versions.begin(), versions.end());
    return runProgram(host, arguments);
}

std::string resultLine(const std::string& version, int result) {
    return "checkVellmoxVersion(" + version + ") = " + std::to_string(result) + "\n";
}

const std::vector<std::string> VERSIONS = {"1.27", "1.26", "1.3", "1.100", "9.9", "", "2", "1.27b"};

TEST_F(HostInterface, VersionIsComparedAsOneDecimalNumber) {
    const std::string tooOld = boxLine("Error from Vellmox Cobbleweave plugin",
                                       "Cobbleweave plugin needs Vellmox v1.27 or later!");
    std::string expected = resultLine("1.27", 1) + tooOld + resultLine("1.26", 0) +
                           resultLine("1.3", 1) + tooOld + resultLine("1.100", 0) +
                           resultLine("9.9", 1) + tooOld + resultLine("", 0) + resultLine("2", 1) +
                           resultLine("1.27b", 1);
    EXPECT_EQ(expected, checkVersionsAs(folder, "vellmox.exe", VERSIONS))
        << "on Windows the boxes need a display: run under scripts/wine-run.sh --start-server";
    EXPECT_EQ(resultLine("1.27", 1), checkVersionsAs(folder, "VELLMOX.EXE", {"1.27"}));
}

TEST_F(HostInterface, OtherHostsAreRefusedWhateverTheirVersion) {
    const std::string refused =
        boxLine("Plugin loading failed",
                "Cobbleweave plugin does only work with official releases of Vellmox");
    std::string expected;
    for (const std::string& version : VERSIONS) {
        expected += refused + resultLine(version, 0);
    }
    EXPECT_EQ(expected, checkVersionsAs(folder, "mailproxy.exe", VERSIONS))
        << "on Windows the boxes need a display: run under scripts/wine-run.sh --start-server";
}

}  // namespace
