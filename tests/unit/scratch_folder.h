// A fresh folder per test for the files the plug-in writes, and the host's body
// file opened on a path; the same on linux and under Wine.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

// The folders this process made, removed with everything in them when it ends
// (each test runs in a process of its own), unless COBBLEWEAVE_KEEP_SCRATCH is
// set for a look after a failure.
struct ScratchFolders {
    std::vector<std::filesystem::path> made;
    ~ScratchFolders() {
        if (std::getenv("COBBLEWEAVE_KEEP_SCRATCH") != nullptr) {
            return;
        }
        for (const std::filesystem::path& folder : made) {
            std::error_code ignored;  // a file still open under Windows stays behind
            std::filesystem::remove_all(folder, ignored);
        }
    }
};

// A new folder below the test's temporary folder, ending in the path separator.
inline std::string makeScratchFolder() {
    namespace fs = std::filesystem;
    static ScratchFolders folders;
    static unsigned counter = 0;
    const fs::path base = fs::path(testing::TempDir());
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path folder =
            base / ("cobbleweave-unit-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        std::error_code error;
        if (fs::create_directory(folder, error)) {
            folders.made.push_back(folder);
            return folder.string() + cw::platform::PATH_SEPARATOR;
        }
    }
    ADD_FAILURE() << "cannot create a folder below " << base.string();
    return testing::TempDir();
}

// A body file handle that reads nothing.
#if defined(_WIN32)
inline const cw::platform::BodyFile NO_BODY_FILE = INVALID_HANDLE_VALUE;
#else
inline constexpr cw::platform::BodyFile NO_BODY_FILE = -1;
#endif

// The body file as the host hands it over: open, positioned at `offset`.
class BodyFileForTest {
  public:
    BodyFileForTest(const std::string& path, long offset) {
#if defined(_WIN32)
        handle_ = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, handle_) << path;
        EXPECT_NE(INVALID_SET_FILE_POINTER, SetFilePointer(handle_, offset, nullptr, FILE_BEGIN));
#else
        handle_ = open(path.c_str(), O_RDONLY);
        EXPECT_GE(handle_, 0) << path;
        EXPECT_EQ(offset, lseek(static_cast<int>(handle_), offset, SEEK_SET));
#endif
    }
    ~BodyFileForTest() {
#if defined(_WIN32)
        CloseHandle(handle_);
#else
        close(static_cast<int>(handle_));
#endif
    }
    BodyFileForTest(const BodyFileForTest&) = delete;
    BodyFileForTest& operator=(const BodyFileForTest&) = delete;

    cw::platform::BodyFile handle() const {
        return handle_;
    }

  private:
    cw::platform::BodyFile handle_;
};

inline std::string readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

inline void writeFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// The lines of a log file with their 21-byte time stamps ("dd Mon yy  hh:mm:ss  ") removed.
inline std::vector<std::string> logLinesWithoutStamps(const std::string& path) {
    std::string content = readFileBytes(path);
    std::vector<std::string> lines;
    size_t position = 0;
    while (position < content.size()) {
        size_t end = content.find("\r\n", position);
        if (end == std::string::npos) {
            ADD_FAILURE() << "log line without CR LF: " << content.substr(position);
            break;
        }
        std::string line = content.substr(position, end - position);
        lines.push_back(line.size() >= 21 ? line.substr(21) : line);
        position = end + 2;
    }
    return lines;
}
