// Reading the plug-in's log, cobbleweave.log: the program learns from it what the
// plug-in did, since the exports tell the host nothing but the verdict and the
// added lines. Every line of the log begins with the writer's time stamp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cw::scantool {

// Where the log stood before a run: its size and its last bytes, by which the new
// lines are found again should the plug-in cut the log meanwhile.
struct LogMark {
    uint64_t size = 0;
    std::string tail;
};

LogMark markLog(const std::string& logPath);

// The lines appended to the log since `mark`, line ends and time stamps removed.
std::vector<std::string> logLinesSince(const std::string& logPath, const LogMark& mark);

// The lines of a log text, line ends and time stamps removed. A line without a
// time stamp is the rest of a logged text that held a line feed (a header line
// that a "Header:" rule found, with its line end): it is joined to the line
// before it with a line feed.
std::vector<std::string> splitLogText(std::string_view content);

// A logged text with the writer's escapes undone: every \xHH (control bytes,
// and a backslash that stood before an x) is the byte it stands for.
std::string unescapedLogText(std::string_view text);

// What the log says a load read: the rule files in order, each with the list
// files of its include lines in the order of those lines.
struct ListFileRead {
    std::string label;  // "Any-Sender:", "Subject:" or "complete rule file"
    std::string path;
};

struct RuleFileRead {
    std::string path;
    std::vector<ListFileRead> lists;
};

std::vector<RuleFileRead> filesOfLoad(const std::vector<std::string>& lines);

// Why a load of `configFolder` that reported no rule file read none.
std::string noRuleFileProblem(const std::string& configFolder);

// The whole file; empty when it cannot be read.
std::string readWholeFile(const std::string& path);

bool beginsWithNoCase(std::string_view text, std::string_view prefix);

// `text` without the white space (blank, TAB, CR, LF, VT, FF) at its ends.
std::string_view trimmed(std::string_view text);

// The last part of a path, after its last '/' or '\'.
std::string fileName(std::string_view path);

}  // namespace cw::scantool
