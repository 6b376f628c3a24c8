#include "cobbleweave_scan/lint.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace cw::scantool {

namespace {

constexpr int EXIT_INPUT_ERROR = 2;

constexpr std::string_view COMPILE_OFFSET_LINE = "       failed at offset";
constexpr std::string_view INCLUDE_ANNOUNCED = "include blacklist (";
constexpr std::string_view INCLUDE_FAILED = "include blacklist failed: ";

// "error:" and the matcher's "error NULL: ..." forms.
bool isErrorLine(std::string_view line) {
    return beginsWithNoCase(line, "error") && line.size() > 5 && (line[5] == ':' || line[5] == ' ');
}

}  // namespace

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
    std::vector<RuleFileRead> files = filesOfLoad(lines);
    if (lines.empty() || files.empty()) {
        std::fprintf(stderr, "cobbleweave-scan: %s\n",
                     noRuleFileProblem(settings.configFolder).c_str());
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
    for (const RuleFileRead& file : files) {
        std::fprintf(stderr, "read %s\n", file.path.c_str());
    }
    std::fprintf(stderr, "%zu error%s, %zu warning%s\n", errors, errors == 1 ? "" : "s", warnings,
                 warnings == 1 ? "" : "s");
    return errors > 0 ? EXIT_LINT_ERRORS : 0;
}

}  // namespace cw::scantool
