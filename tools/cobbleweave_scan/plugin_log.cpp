#include "cobbleweave_scan/plugin_log.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace cw::scantool {

namespace {

constexpr size_t LOG_TAIL_SIZE = 256;

constexpr std::string_view FILE_READ = " - reading configuration (";
constexpr std::string_view LIST_READ = "include blacklist (";

// "07 Dec 26  00:41:19  ": the writer's time stamp in front of every log line.
constexpr std::string_view STAMP_SHAPE = "00 Mmm 00  00:00:00  ";

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

}  // namespace

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
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
    return splitLogText(std::string_view(content).substr(start));
}

std::vector<std::string> splitLogText(std::string_view content) {
    std::vector<std::string> lines;
    while (!content.empty()) {
        size_t feed = content.find('\n');
        std::string_view line = content.substr(0, feed);
        content = feed == std::string_view::npos ? std::string_view() : content.substr(feed + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (hasStamp(line)) {
            lines.emplace_back(line.substr(STAMP_SHAPE.size()));
        } else if (!lines.empty()) {
            lines.back().append("\n").append(line);
        } else {
            lines.emplace_back(line);
        }
    }
    return lines;
}

std::string unescapedLogText(std::string_view text) {
    auto hexValue = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t index = 0; index < text.size(); ++index) {
        if (text[index] == '\\' && index + 3 < text.size() && text[index + 1] == 'x' &&
            hexValue(text[index + 2]) >= 0 && hexValue(text[index + 3]) >= 0) {
            bytes += static_cast<char>(hexValue(text[index + 2]) * 16 + hexValue(text[index + 3]));
            index += 3;
        } else {
            bytes += text[index];
        }
    }
    return bytes;
}

std::vector<RuleFileRead> filesOfLoad(const std::vector<std::string>& lines) {
    std::vector<RuleFileRead> files;
    for (const std::string& line : lines) {
        size_t label = line.find(FILE_READ);
        size_t colon = label == std::string::npos ? label : line.find("): ", label);
        if (colon != std::string::npos) {
            files.push_back(RuleFileRead{line.substr(colon + 3), {}});
            continue;
        }
        if (line.starts_with(LIST_READ) && !files.empty()) {
            colon = line.find("): ", LIST_READ.size());
            if (colon != std::string::npos) {
                std::string listLabel = line.substr(LIST_READ.size(), colon - LIST_READ.size());
                files.back().lists.push_back(ListFileRead{listLabel, line.substr(colon + 3)});
            }
        }
    }
    return files;
}

std::string noRuleFileProblem(const std::string& configFolder) {
    return "the plug-in read no rule file: neither " + configFolder +
           "filters.dat nor default_filters.dat beside the plug-in could be read, or the folder "
           "is not writable for its log";
}

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view WHITE_SPACE = " \t\n\v\f\r";
    size_t first = text.find_first_not_of(WHITE_SPACE);
    if (first == std::string_view::npos) {
        return {};
    }
    size_t last = text.find_last_not_of(WHITE_SPACE);
    return text.substr(first, last - first + 1);
}

std::string fileName(std::string_view path) {
    size_t separator = path.find_last_of("/\\");
    return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

}  // namespace cw::scantool
