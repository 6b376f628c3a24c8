#include "cobbleweave_scan/lint.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>
#include <system_error>

namespace cw::scantool {

namespace {

constexpr int EXIT_INPUT_ERROR = 2;

constexpr std::string_view COMPILE_OFFSET_LINE = "       failed at offset";
constexpr std::string_view INCLUDE_ANNOUNCED = "include blacklist (";
constexpr std::string_view INCLUDE_FAILED = "include blacklist failed: ";

// The plug-in reads a rule or list file in pieces of at most this many bytes.
constexpr size_t LINE_PIECE_BYTES = 4094;

// Lets the log grow during the check: a load does not reset KEEPLOGFILE, so it
// stays on for the configuration loaded after it (unless that one turns it off).
constexpr const char* KEEP_LOG_OPTIONS = "KEEPLOGFILE\n";

// "error:" and the matcher's "error NULL: ..." forms.
bool isErrorLine(std::string_view line) {
    return beginsWithNoCase(line, "error") && line.size() > 5 && (line[5] == ':' || line[5] == ' ');
}

// The score token of a rule line (behind the field name, digits, '-' and '.'),
// or empty; the plug-in reads it with its own rules, this is only the check.
std::string_view scoreToken(std::string_view line) {
    size_t colon = line.find(':');
    if (line.empty() || line[0] == '#' || colon == std::string_view::npos) {
        return {};
    }
    size_t start = line.find_first_not_of(" \t", colon + 1);
    if (start == std::string_view::npos) {
        return {};
    }
    size_t end = line.find_first_not_of("0123456789-.", start);
    return line.substr(start, (end == std::string_view::npos ? line.size() : end) - start);
}

}  // namespace

std::vector<LintFinding> fileFindings(const std::string& path, const std::string& content,
                                      bool holdsRules) {
    std::vector<LintFinding> findings;
    // Lines as the plug-in ends them: at LF, with CR LF read as LF.
    size_t lineNumber = 0;
    size_t position = 0;
    bool loneCr = false;
    while (position < content.size()) {
        size_t feed = content.find('\n', position);
        size_t end = feed == std::string::npos ? content.size() : feed;
        std::string_view line = std::string_view(content).substr(position, end - position);
        position = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r' && feed != std::string::npos) {
            line.remove_suffix(1);
        }
        const std::string where = path + ":" + std::to_string(lineNumber) + ": ";
        if (line.find('\r') != std::string_view::npos) {
            loneCr = true;
        }
        if (line.size() > LINE_PIECE_BYTES) {
            findings.push_back(
                {false, "warning: " + where + "line of " + std::to_string(line.size()) +
                            " bytes: the plug-in reads its first 4094 bytes as one line and the "
                            "rest as lines of their own"});
        }
        std::string_view token = holdsRules ? scoreToken(line) : std::string_view();
        double score = 0.0;
        if (!token.empty() &&
            std::from_chars(token.data(), token.data() + token.size(), score).ec ==
                std::errc::result_out_of_range) {
            findings.push_back({false, "warning: " + where + "score " +
                                           std::string(token.substr(0, 20)) +
                                           "... is too large for a number: it counts as the "
                                           "largest one, about 1.8e308"});
        }
    }
    if (loneCr) {
        findings.push_back(
            {false, "warning: " + path +
                        ": CR without LF (CR-only line ends): the plug-in ends lines at LF only, "
                        "so what follows a lone CR is read as part of the same line"});
    }
    return findings;
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

int runLint(const HostSettings& settings) {
    HostSettings lintSettings = settings;
    // A preview would end the scan before the first rule is read.
    lintSettings.fetchType = POP3_RETR;
    std::string logPath = settings.configFolder + "cobbleweave.log";
    LogMark mark = markLog(logPath);

    // The findings are read from the log: it must not be cut while the check
    // writes them (MAXLOGSIZE would drop the older half, the load report with it).
    ProbeFolder keepLog;
    std::string error;
    if (!prepareProbeFolder(keepLog, KEEP_LOG_OPTIONS, error)) {
        std::fprintf(stderr, "cobbleweave-scan: %s\n", error.c_str());
        return EXIT_INPUT_ERROR;
    }
    lintSettings.preloadFolder = keepLog.path;
    HostSession session;
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
    if (files.empty() && !lines.empty()) {
        // Lines without the load report: the rule files turned KEEPLOGFILE off
        // and the plug-in cut its log during the check.
        std::fprintf(stderr,
                     "cobbleweave-scan: the plug-in cut its log (MAXLOGSIZE) during the check, "
                     "so its findings are incomplete; check again with KEEPLOGFILE\n");
        return EXIT_LINT_ERRORS;
    }
    if (lines.empty() || files.empty()) {
        std::fprintf(stderr, "cobbleweave-scan: %s\n",
                     noRuleFileProblem(settings.configFolder).c_str());
        return EXIT_INPUT_ERROR;
    }
    std::vector<LintFinding> findings = lintFindings(lines);
    for (const RuleFileRead& file : files) {
        std::vector<LintFinding> more = fileFindings(file.path, readWholeFile(file.path), true);
        findings.insert(findings.end(), more.begin(), more.end());
        for (const ListFileRead& list : file.lists) {
            more = fileFindings(list.path, readWholeFile(list.path),
                                list.label == "complete rule file");
            findings.insert(findings.end(), more.begin(), more.end());
        }
    }
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
