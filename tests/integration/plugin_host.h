// A stand-in host for the integration tests: loads the built library by its path,
// as the host does, and drives it through its exports with records laid out as
// the host lays them out. Each test gets a scratch configuration folder.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/host_records.h"
#include "plugin_loader/plugin_library.h"

// A body file handle that reads nothing.
#if defined(_WIN32)
inline const BodyFileHandle NO_BODY_FILE = INVALID_HANDLE_VALUE;
#else
inline constexpr BodyFileHandle NO_BODY_FILE = -1;
#endif

// One message as the host hands it over: header lines with their own line ends,
// the body in a file positioned at its first byte.
struct HostMessage {
    std::vector<std::string> headerLines;
    std::string body;
    int32_t fetchType = cw::POP3_RETR;

    // The header lines as the host passes them: an array of text pointers.
    std::vector<const char*> headerPointers() const {
        std::vector<const char*> pointers;
        for (const std::string& line : headerLines) {
            pointers.push_back(line.c_str());
        }
        return pointers;
    }
};

// Splits "Header: a\r\n...\r\n\r\nbody" at the first empty line.
HostMessage parseMessage(const std::string& text);

// Writes `body` to `path` and opens it for reading as the host hands a body over;
// NO_BODY_FILE on failure. closeBodyFile closes it and removes the file.
BodyFileHandle openBodyFile(const std::string& path, const std::string& body);
void closeBodyFile(BodyFileHandle body, const std::string& path);

class PluginHost : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a file into the configuration folder.
    void writeConfigFile(const std::string& name, const std::string& content);
    std::string readConfigFile(const std::string& name) const;
    bool configFileExists(const std::string& name) const;

    // Loads the configuration folder (writing `mainRules` as filters.dat first when given).
    int32_t load(const std::string& mainRules);
    int32_t loadFolder();

    // fetchStart, filterOnMessageBody and getAddedHeaderLines for one message.
    void scan(const std::string& messageText);
    void scanMessage(const HostMessage& message);

    // The log's lines, time stamps removed; CR LF line ends are required.
    std::vector<std::string> logLines() const;
    // Log lines written since the last call of markLog().
    void markLog();
    std::vector<std::string> newLogLines() const;
    bool logContains(const std::string& line) const;

    PluginLibrary plugin;
    std::string folder;  // ends with the path separator
    int32_t configHandle = 0;
    int32_t fetchId = 0;
    cw::MessageStatus status{};
    cw::AccountInfo account{};
    cw::FetchInfo fetchInfo{};
    std::string addedLines;
    uint32_t addedLinesSize = 0;

  private:
    size_t logMark_ = 0;
};
