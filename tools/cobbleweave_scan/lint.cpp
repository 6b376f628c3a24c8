#include "cobbleweave_scan/lint.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>

namespace cw::scantool {

namespace {

constexpr size_t LOG_TAIL_SIZE = 256;
constexpr int EXIT_INPUT_ERROR = 2;

// "07 Dec 26  00:41:19  ": the writer's time stamp in front of every log line.
constexpr std::string_view STAMP_SHAPE = "00 Mmm 00  00:00:00  ";

constexpr std::string_view COMPILE_OFFSET_LINE = "       failed at offset";
constexpr std::string_view INCLUDE_ANNOUNCED = "include blacklist (";
constexpr std::string_view INCLUDE_FAILED = "include blacklist failed: ";
constexpr std::string_view FILE_READ = " - reading configuration (";

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool hasStamp(std::string_view line) {
    if (line.size() < STAMP_SHAPE.size()) {
        return false;
    }
    for (size_t index = 0; index < STAMP_SHAPE.size(); ++index) {
        unsigned char byte = static_cast<unsigned char>(line[index]);
        switch (STAMP_SHAPE[index]) {
            case '0':
                if (!std::isdigit(byte)) {
                    return false;
                }
                break;
            case 'M':
            case 'm':
                if (!std::isalpha(byte)) {
                    return false;
                }
                break;
            default:
                if (byte != static_cast<unsigned char>(STAMP_SHAPE[index])) {
                    return false;
                }
        }
    }
    return true;
}

bool beginsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (size_t index = 0; index < prefix.size(); ++index) {
        if (std::tolower(static_cast<unsigned char>(text[index])) !=
            std::tolower(static_cast<unsigned char>(prefix[index]))) {
            return false;
        }
    }
    return true;
}

// "error:" and the matcher's "error NULL: ..." forms.
bool isErrorLine(std::string_view line) {
    return beginsWithNoCase(line, "error") && line.size() > 5 && (line[5] == ':' || line[5] == ' ');
}

}  // namespace

LogMark markLog(const std::string& logPath) {
    std::string content = readWholeFile(logPath);
    LogMark mark;
    mark.size = content.size();
    mark.tail = content.substr(content.size() - std::min(content.size(), LOG_TAIL_SIZE));
    return mark;
}

std::vector<std::string> logLinesSince(const std::string& logPath, const LogMark& mark) {
    std::string content = readWholeFile(logPath);
    size_t start = 0;
    bool grewInPlace =
        content.size() >= mark.size &&
        content.compare(mark.size - mark.tail.size(), mark.tail.size(), mark.tail) == 0;
    if (grewInPlace) {
        start = mark.size;
    } else if (!mark.tail.empty()) {
        // The plug-in cut the log to its newer half: the new lines follow the old tail.
        size_t found = content.rfind(mark.tail);
        start = found == std::string::npos ? 0 : found + mark.tail.size();
    }
    std::vector<std::string> lines;
    std::string_view rest = std::string_view(content).substr(start);
    while (!rest.empty()) {
        size_t feed = rest.find('\n');
        std::string_view line = rest.substr(0, feed);
        rest = feed == std::string_view::npos ? std::string_view() : rest.substr(feed + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (hasStamp(line)) {
            line.remove_prefix(STAMP_SHAPE.size());
        }
        lines.emplace_back(line);
    }
    return lines;
}

std::vector<LintFinding> lintFindings(const std::vector<std::string>& lines) {
    std::vector<LintFinding> findings;
    for (size_t index = 0; index < lines.size(); ++index) {
        const std::string& line = lines[index];
        std::string_view previous = index > 0 ? std::string_view(lines[index - 1]) : "";
        if (line.starts_with(COMPILE_OFFSET_LINE) && !findings.empty()) {
            findings.back().text += "\n" + line;
        } else if (isErrorLine(line)) {
            findings.push_back({true, line});
        } else if (beginsWithNoCase(line, "warning")) {
            findings.push_back({false, line});
        } else if (line.starts_with("no pattern [")) {
            findings.push_back({true, "error: " + line});
        } else if (line.find(" / memory allocation failed") != std::string::npos) {
            findings.push_back({true, "error: " + line});
        } else if (line.starts_with(INCLUDE_FAILED) && previous.starts_with(INCLUDE_ANNOUNCED)) {
            // Only the last attempt counts: a list missing beside the rule file is
            // looked for in the plug-in's folder next.
            findings.push_back({false, "warning: " + line});
        }
    }
    return findings;
}

std::vector<std::string> filesRead(const std::vector<std::string>& lines) {
    std::vector<std::string> files;
    for (const std::string& line : lines) {
        size_t label = line.find(FILE_READ);
        size_t colon = label == std::string::npos ? label : line.find("): ", label);
        if (colon != std::string::npos) {
            files.push_back(line.substr(colon + 3));
        }
    }
    return files;
}

int runLint(const HostSettings& settings) {
    HostSettings lintSettings = settings;
    // A preview would end the scan before the first rule is read.
    lintSettings.fetchType = POP3_RETR;
    std::string logPath = settings.configFolder + "cobbleweave.log";
    LogMark mark = markLog(logPath);

    HostSession session;
    std::string error;
    if (!openHostSession(lintSettings, session, error)) {
        std::fprintf(stderr, "cobbleweave-scan: %s\n", error.c_str());
        return EXIT_INPUT_ERROR;
    }
    Message empty;
    empty.source = "(empty message)";
    ScanOutcome outcome;
    bool scanned = scanMessage(session, empty, false, outcome, error);
    closeHostSession(session);
    if (!scanned) {
        std::fprintf(stderr, "cobbleweave-scan: %s\n", error.c_str());
        return EXIT_INPUT_ERROR;
    }

    std::vector<std::string> lines = logLinesSince(logPath, mark);
    std::vector<std::string> files = filesRead(lines);
    if (lines.empty() || files.empty()) {
        std::fprintf(stderr,
                     "cobbleweave-scan: the plug-in read no rule file: neither %sfilters.dat nor "
                     "default_filters.dat beside the plug-in could be read, or the folder is not "
                     "writable for its log\n",
                     settings.configFolder.c_str());
        return EXIT_INPUT_ERROR;
    }
    std::vector<LintFinding> findings = lintFindings(lines);
    size_t errors = 0;
    for (const LintFinding& finding : findings) {
        std::printf("%s\n", finding.text.c_str());
        errors += finding.isError ? 1 : 0;
    }
    std::fflush(stdout);
    size_t warnings = findings.size() - errors;
    for (const std::string& file : files) {
        std::fprintf(stderr, "read %s\n", file.c_str());
    }
    std::fprintf(stderr, "%zu error%s, %zu warning%s\n", errors, errors == 1 ? "" : "s", warnings,
                 warnings == 1 ? "" : "s");
    return errors > 0 ? EXIT_LINT_ERRORS : 0;
}

}  // namespace cw::scantool
