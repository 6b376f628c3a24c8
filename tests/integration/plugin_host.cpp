#include "plugin_host.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#if defined(_WIN32)
constexpr char PATH_SEPARATOR = '\\';
#else
#include <fcntl.h>
#include <unistd.h>
constexpr char PATH_SEPARATOR = '/';
#endif

namespace {

constexpr size_t TIME_STAMP_LENGTH = 21;  // "dd Mon yy  hh:mm:ss  "

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace

HostMessage parseMessage(const std::string& text) {
    HostMessage message;
    size_t position = 0;
    while (position < text.size()) {
        size_t end = text.find('\n', position);
        end = (end == std::string::npos) ? text.size() : end + 1;
        std::string line = text.substr(position, end - position);
        position = end;
        if (line == "\r\n" || line == "\n") {
            break;
        }
        message.headerLines.push_back(line);
    }
    message.body = text.substr(position);
    return message;
}

void PluginHost::SetUp() {
    std::string error;
    ASSERT_TRUE(loadPluginLibrary(COBBLEWEAVE_LIBRARY, plugin, error)) << error;
    namespace fs = std::filesystem;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path scratch = fs::path(testing::TempDir()) / ("cobbleweave-" + std::to_string(stamp));
    ASSERT_TRUE(fs::create_directory(scratch)) << scratch.string();
    folder = scratch.string() + PATH_SEPARATOR;
    account.serverName = "pop.example.org";
    account.userName = "alice";
    status.account = &account;
    status.fetchInfo = &fetchInfo;
}

void PluginHost::TearDown() {
    unloadPluginLibrary(plugin);
    if (!folder.empty() && std::getenv("KEEP_TEST_FOLDERS") == nullptr) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
}

void PluginHost::writeConfigFile(const std::string& name, const std::string& content) {
    std::ofstream out(folder + name, std::ios::binary);
    out << content;
}

std::string PluginHost::readConfigFile(const std::string& name) const {
    return readFile(folder + name);
}

bool PluginHost::configFileExists(const std::string& name) const {
    return std::filesystem::exists(folder + name);
}

int32_t PluginHost::load(const std::string& mainRules) {
    writeConfigFile("filters.dat", mainRules);
    return loadFolder();
}

int32_t PluginHost::loadFolder() {
    configHandle = plugin.loadConfig(folder.c_str());
    return configHandle;
}

void PluginHost::scan(const std::string& messageText) {
    scanMessage(parseMessage(messageText));
}

BodyFileHandle openBodyFile(const std::string& path, const std::string& body) {
    {
        std::ofstream out(path, std::ios::binary);
        out << body;
    }
#if defined(_WIN32)
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
#else
    return open(path.c_str(), O_RDONLY);
#endif
}

void closeBodyFile(BodyFileHandle body, const std::string& path) {
#if defined(_WIN32)
    CloseHandle(body);
#else
    close(static_cast<int>(body));
#endif
    std::remove(path.c_str());
}

void PluginHost::scanMessage(const HostMessage& message) {
    std::string bodyPath = folder + "body.tmp";
    BodyFileHandle body = openBodyFile(bodyPath, message.body);
    ASSERT_NE(NO_BODY_FILE, body);
    std::vector<const char*> lines = message.headerPointers();
    fetchInfo.messageSize = 0;
    for (const std::string& line : message.headerLines) {
        fetchInfo.messageSize += static_cast<int32_t>(line.size());
    }
    fetchInfo.messageSize += static_cast<int32_t>(2 + message.body.size());
    fetchInfo.bodyByteCount = static_cast<uint32_t>(message.body.size());
    fetchInfo.fetchType = message.fetchType;

    ++fetchId;
    plugin.fetchStart(fetchId);
    plugin.filterOnMessageBody(lines.data(), static_cast<int32_t>(lines.size()), body, fetchId,
                               &status, configHandle);
    closeBodyFile(body, bodyPath);

    addedLinesSize = plugin.getAddedHeaderLines(fetchId, nullptr, nullptr, nullptr, 0);
    std::string buffer(addedLinesSize, '\x7f');
    ASSERT_EQ(addedLinesSize,
              plugin.getAddedHeaderLines(fetchId, nullptr, nullptr, buffer.data(), addedLinesSize));
    addedLines = buffer.c_str();
}

std::vector<std::string> PluginHost::logLines() const {
    std::string content = readFile(folder + "cobbleweave.log");
    std::vector<std::string> lines;
    size_t position = 0;
    while (position < content.size()) {
        size_t end = content.find("\r\n", position);
        EXPECT_NE(end, std::string::npos) << "log line without CR LF";
        if (end == std::string::npos) {
            break;
        }
        std::string line = content.substr(position, end - position);
        lines.push_back(line.size() >= TIME_STAMP_LENGTH ? line.substr(TIME_STAMP_LENGTH) : line);
        position = end + 2;
    }
    return lines;
}

void PluginHost::markLog() {
    logMark_ = logLines().size();
}

std::vector<std::string> PluginHost::newLogLines() const {
    std::vector<std::string> lines = logLines();
    if (logMark_ >= lines.size()) {
        return {};
    }
    return std::vector<std::string>(lines.begin() + static_cast<long>(logMark_), lines.end());
}

bool PluginHost::logContains(const std::string& line) const {
    for (const std::string& logged : logLines()) {
        if (logged == line) {
            return true;
        }
    }
    return false;
}
