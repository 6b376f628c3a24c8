// Checking the rule files of a configuration folder. The plug-in reads its rule
// lines only while it scans a message, so the check loads the folder, scans one
// empty message and reports the warnings and errors the plug-in has appended to
// its log (cobbleweave.log in the folder) meanwhile.
#pragma once

#include <string>
#include <vector>

#include "cobbleweave_scan/host_session.h"
#include "cobbleweave_scan/plugin_log.h"

namespace cw::scantool {

// Exit status of a check that found errors.
inline constexpr int EXIT_LINT_ERRORS = 3;

struct LintFinding {
    bool isError = false;
    std::string text;  // begins with "error:" or "warning:", and says why
    // Where: the file, and its line (0: the whole file); no path when the
    // finding names no place in a file.
    std::string path;
    size_t line = 0;
    // The rule as the plug-in's log quotes it, by which placeFindings finds it.
    std::string quoted;
};

// The finding as editors and CI read it: "FILE:LINE: error: TEXT".
std::string findingLine(const LintFinding& finding);

// The findings among log lines: lines that begin with "error" or "warning", the
// "no pattern" report, allocation failures, a list file that could not be opened,
// and a pattern that does not compile with the offset line that follows it. Each
// says why in words (a pattern the regular-expression library's own message and
// offset), and keeps the rule it quotes for placeFindings.
std::vector<LintFinding> lintFindings(const std::vector<std::string>& lines);

// Gives each finding from the log its file and line in the files the load read:
// the line that holds the quoted rule (the n-th such finding the n-th such line),
// the include line of a list that could not be opened, and for a note without a
// rule the place of the finding before it.
void placeFindings(std::vector<LintFinding>& findings, const std::vector<RuleFileRead>& files);

// What the plug-in's rule reader does silently with the file `path` (its bytes
// `content`): lines longer than it reads as one, CR-only line ends, and, when the
// file holds rules (`holdsRules`), scores too large for a number (warnings) and
// options that need a number but are given none (errors).
std::vector<LintFinding> fileFindings(const std::string& path, const std::string& content,
                                      bool holdsRules);

// Runs the check for `settings` and prints the findings on standard output and a
// summary on standard error. Returns the exit status: 0 without errors,
// EXIT_LINT_ERRORS with errors, 2 when the plug-in cannot be loaded or logged nothing.
int runLint(const HostSettings& settings);

}  // namespace cw::scantool
