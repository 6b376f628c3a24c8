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
    std::string text;  // begins with "error:" or "warning:"
};

// The findings among log lines: lines that begin with "error" or "warning", the
// "no pattern" report, allocation failures, a list file that could not be opened,
// and the offset line that follows a pattern that does not compile.
std::vector<LintFinding> lintFindings(const std::vector<std::string>& lines);

// What the plug-in's rule reader does silently with the file `path` (its bytes
// `content`): lines longer than it reads as one, CR-only line ends, and, when the
// file holds rules (`holdsRules`), scores too large for a number. Warnings only.
std::vector<LintFinding> fileFindings(const std::string& path, const std::string& content,
                                      bool holdsRules);

// Runs the check for `settings` and prints the findings on standard output and a
// summary on standard error. Returns the exit status: 0 without errors,
// EXIT_LINT_ERRORS with errors, 2 when the plug-in cannot be loaded or logged nothing.
int runLint(const HostSettings& settings);

}  // namespace cw::scantool
