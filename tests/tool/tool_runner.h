// Runs cobbleweave-scan the way a user does, through the shell, and collects its
// exit status and output. Each test gets a scratch folder holding its own
// configuration folder ("config/") and its mail ("mail/").
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

// "'text'" for the shell.
inline std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// The lines of `text` without their LF.
inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The TAB-separated fields of a result line.
inline std::vector<std::string> resultFields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
        fields.push_back(line.substr(start, tab - start));
    }
    fields.push_back(line.substr(start));
    return fields;
}

class ScanToolTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = testing::TempDir() + "cobbleweave-tool-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        ASSERT_NE(mkdtemp(buffer.data()), nullptr) << pattern;
        scratch = std::string(buffer.data()) + "/";
        config = scratch + "config/";
        mail = scratch + "mail/";
        std::filesystem::create_directory(config);
        std::filesystem::create_directory(mail);
    }

    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(scratch, ignored);
    }

    // The shipped rules and lists, with default_filters.dat as the user's filters.dat.
    void useShippedConfig() {
        for (const auto& entry :
             std::filesystem::directory_iterator(std::string(EXAMPLES_DIR) + "/config")) {
            std::filesystem::copy_file(entry.path(), config + entry.path().filename().string());
        }
        std::filesystem::rename(config + "default_filters.dat", config + "filters.dat");
    }

    void writeRules(const std::string& rules) { writeFile(config + "filters.dat", rules); }

    // Writes `bytes` to `name` below the mail folder and returns its path.
    std::string writeMail(const std::string& name, const std::string& bytes) {
        std::string path = mail + name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        writeFile(path, bytes);
        return path;
    }

    static void writeFile(const std::string& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary);
        out << bytes;
    }

    // Runs the program with `arguments` (already quoted for the shell), standard
    // input from `input` when given.
    ToolRun run(const std::string& arguments, const std::string* input = nullptr) {
        std::string outPath = scratch + "stdout";
        std::string errPath = scratch + "stderr";
        std::string command = shellQuoted(SCAN_TOOL) + " " + arguments + " >" +
                              shellQuoted(outPath) + " 2>" + shellQuoted(errPath);
        if (input != nullptr) {
            std::string inPath = scratch + "stdin";
            writeFile(inPath, *input);
            command += " <" + shellQuoted(inPath);
        }
        int raw = std::system(command.c_str());
        ToolRun result;
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.out = readBytes(outPath);
        result.err = readBytes(errPath);
        return result;
    }

    // Runs the program on the test's configuration folder.
    ToolRun scan(const std::string& arguments, const std::string* input = nullptr) {
        return run("--config " + shellQuoted(config) + " " + arguments, input);
    }

    // The folder of the program, where the plug-in and the shipped rules stand.
    static std::string toolFolder() {
        return std::filesystem::path(SCAN_TOOL).parent_path().string() + "/";
    }

    std::string scratch;
    std::string config;
    std::string mail;
};
