// A fresh folder per test for the files the plug-in writes.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

inline std::string makeScratchFolder() {
    std::string pattern = testing::TempDir() + "cobbleweave-unit-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        ADD_FAILURE() << "cannot create " << pattern;
        return testing::TempDir();
    }
    return std::string(buffer.data()) + "/";
}

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
