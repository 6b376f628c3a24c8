#include "cobbleweave_scan/lint.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <system_error>

#include "base/log_writer.h"
#include "cobbleweave_scan/lint_notes.h"
#include "cobbleweave_scan/report.h"
#include "config/include_keywords.h"
#include "config/option_keywords.h"
#include "config/rule_file_reader.h"

namespace cw::scantool {

namespace {

constexpr int EXIT_INPUT_ERROR = 2;

constexpr std::string_view INCLUDE_ANNOUNCED = "include blacklist (";
constexpr std::string_view INCLUDE_FAILED = "include blacklist failed: ";

// The rule reader's notes quote at most this many bytes of some rules.
constexpr size_t SHORT_QUOTE_BYTES = 256;

// Lets the log grow during the check: a load does not reset KEEPLOGFILE, so it
// stays on for the configuration loaded after it (unless that one turns it off).
constexpr const char* KEEP_LOG_OPTIONS = "KEEPLOGFILE\n";

// "error:" and the matcher's "error NULL: ..." forms.
bool isErrorLine(std::string_view line) {
    return beginsWithNoCase(line, "error") && line.size() > 5 && (line[5] == ':' || line[5] == ' ');
}

bool explainsPrevious(std::string_view line) {
    return line.starts_with("warning: '@' cannot be combined") ||
           line.starts_with("warning: '+' and '%' cannot be used");
}

// A file's lines as the plug-in's log quotes them: trimmed, control bytes escaped.
std::vector<std::string> loggedLines(const std::string& content) {
    std::vector<std::string> lines;
    size_t position = 0;
    while (position < content.size()) {
        size_t feed = content.find('\n', position);
        size_t end = feed == std::string::npos ? content.size() : feed;
        lines.push_back(
            loggedText(trimmed(std::string_view(content).substr(position, end - position))));
        position = end + 1;
    }
    return lines;
}

// Whether the list's lines are rules of their own, by the label the load logged.
bool holdsRules(const ListFileRead& list) {
    for (const IncludeKeyword& include : includeKeywords()) {
        if (include.form == ListRuleForm::WHOLE_LINE && list.label == include.label) {
            return true;
        }
    }
    return false;
}

bool quotes(std::string_view quoted, std::string_view line) {
    quoted = trimmed(quoted);
    return line == quoted || (quoted.size() >= SHORT_QUOTE_BYTES && line.starts_with(quoted));
}

}  // namespace

std::string findingLine(const LintFinding& finding) {
    if (finding.path.empty()) {
        return finding.text;
    }
    std::string where = finding.path;
    if (finding.line > 0) {
        where += ':';
        where += std::to_string(finding.line);
    }
    where += ": ";
    return where += finding.text;
}

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
        auto add = [&](bool isError, std::string text) {
            findings.push_back({isError, std::move(text), path, lineNumber, ""});
        };
        if (line.find('\r') != std::string_view::npos) {
            loneCr = true;
        }
        if (line.size() > LINE_PIECE_BYTES) {
            add(false, "warning: line of " + std::to_string(line.size()) +
                           " bytes: the plug-in reads its first 4094 bytes as one line and the "
                           "rest as lines of their own");
        }
        if (!holdsRules) {
            continue;
        }
        std::string_view token = scoreToken(line);
        double score = 0.0;
        if (!token.empty() &&
            std::from_chars(token.data(), token.data() + token.size(), score).ec ==
                std::errc::result_out_of_range) {
            add(false, "warning: score " + std::string(token.substr(0, 20)) +
                           "... is too large for a number: it counts as the largest one, about "
                           "1.8e308");
        }
        // An option that takes a number, as the plug-in recognises it: by its
        // first letters, the number after it (a missing one keeps the setting).
        std::string_view option = trimmed(line);
        const OptionKeyword* keyword = optionKeywordOf(std::string(option).c_str());
        if (keyword != nullptr && keyword->argument == OptionArgument::NUMBER) {
            std::string_view value = trimmed(option.substr(std::strlen(keyword->keyword)));
            size_t digit = value.find_first_not_of("+-");
            bool number = digit <= 1 && digit < value.size() &&
                          (std::isdigit(static_cast<unsigned char>(value[digit])) ||
                           (value[digit] == '.' && digit + 1 < value.size() &&
                            std::isdigit(static_cast<unsigned char>(value[digit + 1]))));
            if (!value.empty() && !number) {
                add(true, "error: " + std::string(keyword->keyword) + " needs a number, not '" +
                              std::string(value) + "': the plug-in reads it as 0");
            }
        }
    }
    if (loneCr) {
        findings.push_back({false,
                            "warning: CR without LF (CR-only line ends): the plug-in ends lines "
                            "at LF only, so what follows a lone CR is read as part of the same "
                            "line",
                            path, 0, ""});
    }
    return findings;
}

std::vector<LintFinding> lintFindings(const std::vector<std::string>& lines) {
    std::vector<LintFinding> findings;
    for (size_t index = 0; index < lines.size(); ++index) {
        const std::string& line = lines[index];
        std::string_view previous = index > 0 ? std::string_view(lines[index - 1]) : "";
        const QuotingNote* note = nullptr;
        for (const QuotingNote& candidate : QUOTING_NOTES) {
            if (line.starts_with(candidate.prefix) && line.ends_with(']')) {
                note = &candidate;
                break;
            }
        }
        if (note != nullptr) {
            std::string quoted =
                line.substr(note->prefix.size(), line.size() - note->prefix.size() - 1);
            std::string reason = refusalReason(*note, quoted);
            if (note->prefix == "error: cannot compile [" && index + 1 < lines.size() &&
                lines[index + 1].starts_with(COMPILE_OFFSET_LINE)) {
                reason += ": " + compileFailure(lines[++index]);
            }
            std::string kind = note->isError ? "error: " : "warning: ";
            findings.push_back({note->isError, kind + reason + " [" + quoted + "]", "", 0, quoted});
        } else if (isErrorLine(line)) {
            findings.push_back({true, line, "", 0, ""});
        } else if (beginsWithNoCase(line, "warning")) {
            findings.push_back({false, line, "", 0, ""});
        } else if (line.find(" / memory allocation failed") != std::string::npos) {
            findings.push_back({true, "error: " + line, "", 0, ""});
        } else if (line.starts_with(INCLUDE_FAILED) && previous.starts_with(INCLUDE_ANNOUNCED)) {
            // Only the last attempt counts: a list missing beside the rule file is
            // looked for in the plug-in's folder next.
            findings.push_back({false, "warning: " + line, "", 0, ""});
        }
    }
    return findings;
}

void placeFindings(std::vector<LintFinding>& findings, const std::vector<RuleFileRead>& files) {
    struct FileLines {
        std::string path;
        std::vector<std::string> lines;
    };
    std::vector<FileLines> ruleFiles;
    for (const RuleFileRead& file : files) {
        ruleFiles.push_back({file.path, loggedLines(readWholeFile(file.path))});
        for (const ListFileRead& list : file.lists) {
            if (holdsRules(list)) {
                ruleFiles.push_back({list.path, loggedLines(readWholeFile(list.path))});
            }
        }
    }
    // The n-th finding that quotes a rule goes to the n-th line that holds it.
    std::vector<std::string> placedQuotes;
    const LintFinding* before = nullptr;
    for (LintFinding& finding : findings) {
        if (!finding.quoted.empty()) {
            auto skip = static_cast<size_t>(
                std::count(placedQuotes.begin(), placedQuotes.end(), finding.quoted));
            for (size_t f = 0; f < ruleFiles.size() && finding.path.empty(); ++f) {
                for (size_t l = 0; l < ruleFiles[f].lines.size(); ++l) {
                    if (quotes(finding.quoted, ruleFiles[f].lines[l]) && skip-- == 0) {
                        finding.path = ruleFiles[f].path;
                        finding.line = l + 1;
                        break;
                    }
                }
            }
            placedQuotes.push_back(finding.quoted);
        } else if (std::string_view(finding.text)
                       .starts_with("warning: " + std::string(INCLUDE_FAILED))) {
            std::string list = fileName(finding.text.substr(9 + INCLUDE_FAILED.size()));
            for (size_t f = 0; f < ruleFiles.size() && finding.path.empty(); ++f) {
                for (size_t l = 0; l < ruleFiles[f].lines.size(); ++l) {
                    const std::string& line = ruleFiles[f].lines[l];
                    if (includeKeywordOf(line.c_str()) != nullptr &&
                        line.find(list) != std::string::npos) {
                        finding.path = ruleFiles[f].path;
                        finding.line = l + 1;
                        break;
                    }
                }
            }
        } else if (before != nullptr && explainsPrevious(finding.text)) {
            finding.path = before->path;
            finding.line = before->line;
        }
        before = &finding;
    }
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
        printProblem(error);
        return EXIT_INPUT_ERROR;
    }
    lintSettings.preloadFolder = keepLog.path;
    HostSession session;
    if (!openHostSession(lintSettings, session, error)) {
        printProblem(error);
        return EXIT_INPUT_ERROR;
    }
    Message empty;
    empty.source = "(empty message)";
    ScanOutcome outcome;
    bool scanned = scanMessage(session, empty, false, outcome, error);
    closeHostSession(session);
    if (!scanned) {
        printProblem(error);
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
        printProblem(noRuleFileProblem(settings.configFolder));
        return EXIT_INPUT_ERROR;
    }
    std::vector<LintFinding> findings = lintFindings(lines);
    placeFindings(findings, files);
    for (const RuleFileRead& file : files) {
        std::vector<LintFinding> more = fileFindings(file.path, readWholeFile(file.path), true);
        findings.insert(findings.end(), more.begin(), more.end());
        for (const ListFileRead& list : file.lists) {
            more = fileFindings(list.path, readWholeFile(list.path), holdsRules(list));
            findings.insert(findings.end(), more.begin(), more.end());
        }
    }
    size_t errors = 0;
    for (const LintFinding& finding : findings) {
        std::printf("%s\n", findingLine(finding).c_str());
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
