// Golden scans: rule files and messages scored through the exports, the whole
// conversation written down (what the host gets back, the status record, every
// log line) and compared byte for byte with the file recorded beside the scenario.
// A scenario is a folder under data/golden/scenarios with a "steps" file:
//
//   load NAME SOURCE...   copies the SOURCE folders into a fresh folder NAME, loadConfig
//   scan NAME [MESSAGE...] scans the messages (all of data/golden/messages when none)
//   release NAME          releaseConfig with NAME's handle
//   statistics            prints the statistics files of the latest loaded folder
//
// A message whose name holds "host-spam" or "host-whitelisted" arrives already
// judged by the host; "preview", "imap" and "smtp" set the fetch type.
// Time stamps and match ids are masked, folders shown by their names.
// COBBLEWEAVE_UPDATE_GOLDEN=1 writes the files instead of comparing.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "plugin_host.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

#if defined(_WIN32)
constexpr char SEPARATOR = '\\';
#else
constexpr char SEPARATOR = '/';
#endif

const fs::path GOLDEN_DIR = fs::path(TEST_DATA_DIR) / "golden";
constexpr int32_t BODY_BYTES_REQUEST = 50;
constexpr const char* UNTOUCHED_TAG = "untouched";

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::vector<std::string> messageNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(GOLDEN_DIR / "messages")) {
        names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> scenarioNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(GOLDEN_DIR / "scenarios")) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Bytes as readable text, reversibly: CR LF becomes a line break, every other
// control byte, byte above 0x7E and backslash an escape.
std::string visible(const std::string& bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            text += '\n';
            ++i;
        } else if (c == '\\') {
            text += "\\\\";
        } else if (c < 0x20 || c > 0x7E) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            text += escape;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

std::string littleEndianWords(const std::string& bytes) {
    std::string text;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        uint32_t value = 0;
        for (int k = 3; k >= 0; --k) {
            value = (value << 8) | static_cast<unsigned char>(bytes[i + static_cast<size_t>(k)]);
        }
        if (i != 0) {
            text += ' ';
        }
        text += std::to_string(value);
    }
    return text;
}

// The folder of the loaded library, as the plug-in reports it in its log lines.
std::string pluginFolder(const PluginLibrary& plugin) {
#if defined(_WIN32)
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(static_cast<HMODULE>(plugin.handle), path, MAX_PATH);
    std::string full(path, length);
#else
    (void)plugin;
    char resolved[PATH_MAX];
    std::string full = realpath(COBBLEWEAVE_LIBRARY, resolved) ? resolved : COBBLEWEAVE_LIBRARY;
#endif
    return full.substr(0, full.find_last_of(SEPARATOR) + 1);
}

class GoldenScan : public PluginHost, public testing::WithParamInterface<std::string> {
  protected:
    void run() {
        std::ifstream steps(GOLDEN_DIR / "scenarios" / GetParam() / "steps");
        ASSERT_TRUE(steps) << "no steps for " << GetParam();
        moduleFolder = pluginFolder(plugin);
        std::string line;
        while (std::getline(steps, line)) {
            std::istringstream words(line);
            std::string verb;
            std::vector<std::string> arguments;
            words >> verb;
            for (std::string word; words >> word;) {
                arguments.push_back(word);
            }
            if (verb.empty() || verb[0] == '#') {
                continue;
            }
            output += "## " + line + "\n";
            if (verb == "load" && arguments.size() >= 2) {
                loadStep(arguments);
            } else if (verb == "scan" && arguments.size() >= 1) {
                scanStep(arguments);
            } else if (verb == "release" && arguments.size() == 1) {
                plugin.releaseConfig(handles[arguments[0]]);
                collectLog();
            } else if (verb == "statistics") {
                statisticsStep();
            } else {
                FAIL() << "unknown step: " << line;
            }
        }
    }

    void loadStep(const std::vector<std::string>& arguments) {
        const std::string& name = arguments[0];
        std::string loadFolder = folder + name + SEPARATOR;
        fs::create_directories(loadFolder);
        for (size_t i = 1; i < arguments.size(); ++i) {
            for (const auto& entry :
                 fs::directory_iterator(GOLDEN_DIR / "scenarios" / arguments[i])) {
                fs::copy_file(entry.path(), fs::path(loadFolder) / entry.path().filename(),
                              fs::copy_options::overwrite_existing);
            }
        }
        loadFolders.push_back({name, loadFolder});
        latestFolder = loadFolder;
        handles[name] = plugin.loadConfig(loadFolder.c_str());
        output += "handle: " + std::to_string(handles[name]) + "\n";
        collectLog();
    }

    void scanStep(const std::vector<std::string>& arguments) {
        std::vector<std::string> names(arguments.begin() + 1, arguments.end());
        if (names.empty()) {
            names = messageNames();
        }
        for (const std::string& name : names) {
            scanOne(name, handles[arguments[0]]);
        }
    }

    // One message as the host hands it over, from fetchStart to fetchEnd.
    void scanOne(const std::string& name, int32_t handle) {
        HostMessage message = parseMessage(readBytes(GOLDEN_DIR / "messages" / (name + ".eml")));
        message.fetchType = name.find("preview") != std::string::npos ? cw::POP3_TOP
                            : name.find("imap") != std::string::npos  ? cw::IMAP4_SERVER
                            : name.find("smtp") != std::string::npos  ? cw::SMTP_RELAY
                                                                      : cw::POP3_RETR;
        cw::MessageStatus record{};
        record.spam = name.find("host-spam") != std::string::npos ? 1 : 0;
        record.whitelisted = name.find("host-whitelisted") != std::string::npos ? 1 : 0;
        record.reserved1 = 0x5A5A5A5A;
        std::snprintf(record.tagText, sizeof record.tagText, "%s", UNTOUCHED_TAG);
        record.account = &account;
        record.fetchInfo = &fetchInfo;
        fetchInfo = cw::FetchInfo{};
        fetchInfo.messageSize = static_cast<int32_t>(message.body.size() + 2);
        for (const std::string& header : message.headerLines) {
            fetchInfo.messageSize += static_cast<int32_t>(header.size());
        }
        fetchInfo.bodyByteCount = static_cast<uint32_t>(message.body.size());
        fetchInfo.fetchType = message.fetchType;

        std::string bodyPath = folder + "body.eml";
        {
            std::ofstream out(bodyPath, std::ios::binary);
            out << message.body;
        }
#if defined(_WIN32)
        HANDLE body = CreateFileA(bodyPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
#else
        int body = open(bodyPath.c_str(), O_RDONLY);
#endif
        std::vector<const char*> lines = message.headerPointers();
        ++fetchId;
        plugin.fetchStart(fetchId);
        int wanted = plugin.requireBodyFiltering(nullptr, nullptr, nullptr, &record);
        uint32_t bodyBytes =
            plugin.minBodyBytesRequired(BODY_BYTES_REQUEST, nullptr, nullptr, nullptr, &record);
        plugin.filterOnMessageBody(lines.data(), static_cast<int32_t>(lines.size()), body, fetchId,
                                   &record, handle);
#if defined(_WIN32)
        CloseHandle(body);
#else
        close(body);
#endif
        uint32_t size = plugin.getAddedHeaderLines(fetchId, nullptr, nullptr, nullptr, 0);
        std::string added(size + 1, '\x7f');
        uint32_t again = plugin.getAddedHeaderLines(fetchId, nullptr, nullptr, added.data(), size);
        plugin.processedMessage(nullptr, nullptr, nullptr, nullptr, &record);
        plugin.fetchEnd(fetchId);

        std::ostringstream report;
        report << "# message " << name << ": body filtering " << wanted << ", body bytes "
               << bodyBytes << "\n"
               << "status: spam " << record.spam << ", whitelisted " << record.whitelisted
               << ", reserved " << std::hex << record.reserved1 << std::dec << ", verdictSet "
               << record.verdictSet << ", verdictCode " << record.verdictCode << ", tag ["
               << masked(record.tagText) << "]\n"
               << "added lines (" << size << (again == size ? "" : ", second call differs")
               << "):\n"
               << visible(added.substr(0, strnlen(added.c_str(), added.size()))) << "\n";
        output += report.str();
        collectLog();
    }

    void statisticsStep() {
        output += visible(readBytes(latestFolder + "statistics.txt"));
        output +=
            "statistics.dat: " + littleEndianWords(readBytes(latestFolder + "statistics.dat")) +
            "\n";
    }

    // Appends what each folder's log gained since the last look.
    void collectLog() {
        for (const auto& [name, path] : loadFolders) {
            std::string content = readBytes(path + "cobbleweave.log");
            size_t& seen = logSeen[path];
            if (content.size() > seen) {
                output += "log " + name + ":\n" + masked(visible(content.substr(seen)));
                seen = content.size();
            }
        }
    }

    std::string masked(std::string text) const {
        static const std::regex stamp(
            "(^|\n)[0-3][0-9] [A-Z][a-z][a-z] [0-9][0-9]  "
            "[0-2][0-9]:[0-5][0-9]:[0-6][0-9]  ");
        static const std::regex matchId("ID#[0-9]{9}-[0-9]{2}");
        text = std::regex_replace(text, stamp, "$1");
        text = std::regex_replace(text, matchId, "ID#<id>");
        for (const auto& [name, path] : loadFolders) {
            text = replaceAll(text, visible(path), "<" + name + ">/");
        }
        return replaceAll(text, visible(moduleFolder), "<module>/");
    }

    static std::string replaceAll(std::string text, const std::string& from,
                                  const std::string& to) {
        for (size_t at = text.find(from); at != std::string::npos;
             at = text.find(from, at + to.size())) {
            text.replace(at, from.size(), to);
        }
        return text;
    }

    std::string output;
    std::string moduleFolder;
    std::string latestFolder;
    std::vector<std::pair<std::string, std::string>> loadFolders;
    std::map<std::string, size_t> logSeen;
    std::map<std::string, int32_t> handles;
};

TEST_P(GoldenScan, ConversationIsUnchanged) {
    run();
    fs::path expectedPath = GOLDEN_DIR / "scenarios" / GetParam() / "expected.txt";
    if (std::getenv("COBBLEWEAVE_UPDATE_GOLDEN") != nullptr) {
        std::ofstream(expectedPath, std::ios::binary) << output;
        return;
    }
    std::string expected = readBytes(expectedPath);
    ASSERT_FALSE(expected.empty()) << "no recorded conversation at " << expectedPath.string();
    if (expected != output) {
        // Name the first line that differs rather than printing megabytes.
        std::istringstream want(expected);
        std::istringstream got(output);
        std::string wantLine;
        std::string gotLine;
        int number = 1;
        while (std::getline(want, wantLine) && std::getline(got, gotLine) && wantLine == gotLine) {
            ++number;
        }
        FAIL() << GetParam() << ": line " << number << " differs\nexpected: " << wantLine
               << "\nactual:   " << gotLine;
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, GoldenScan, testing::ValuesIn(scenarioNames()),
                         [](const testing::TestParamInfo<std::string>& scenario) {
                             std::string name = scenario.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
