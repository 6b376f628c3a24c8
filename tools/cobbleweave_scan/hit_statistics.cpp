#include "cobbleweave_scan/hit_statistics.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "cobbleweave_scan/message_source.h"
#include "cobbleweave_scan/plugin_log.h"
#include "cobbleweave_scan/progress.h"
#include "cobbleweave_scan/report.h"

namespace cw::scantool {

namespace {

constexpr int EXIT_INPUT_ERROR = 2;

// The options the second configuration sets: every rule line logged as the scan
// reaches it, each match's score, a log that is never cut, and every rule tested.
constexpr const char* PROBE_OPTIONS = "PROFILE\nCHECK\nKEEPLOGFILE\nNOFASTSCAN\n";

void reportError(const std::string& problem) {
    std::fflush(stdout);
    std::fprintf(stderr, "cobbleweave-scan: %s\n", problem.c_str());
}

// Expands each label's inputs; false after printing why when an input is
// missing or a label has no file at all.
bool expandLabelledInputs(const LabelledInputs& inputs,
                          std::array<std::vector<InputFile>, LABEL_KINDS>& files) {
    bool usable = true;
    for (int label = 0; label < LABEL_KINDS; ++label) {
        std::vector<std::string> errors;
        std::vector<std::string> warnings;
        // Statistics over folders of mail: what cannot be read is passed over.
        expandInputs(inputs.paths[label], files[label], errors, &warnings);
        for (const std::string& warning : warnings) {
            reportError("warning: " + warning);
        }
        for (const std::string& error : errors) {
            reportError(error);
        }
        if (errors.empty() && files[label].empty()) {
            std::string names;
            for (const std::string& path : inputs.paths[label]) {
                names += (names.empty() ? "'" : ", '") + path + "'";
            }
            reportError(std::string("no mail to read for --") +
                        labelName(static_cast<MailLabel>(label)) + ": " + names +
                        " holds no files");
        }
        usable = usable && errors.empty() && !files[label].empty();
    }
    return usable;
}

void removeRepeats(std::vector<size_t>& rules) {
    std::vector<size_t> unique;
    for (size_t rule : rules) {
        if (std::find(unique.begin(), unique.end(), rule) == unique.end()) {
            unique.push_back(rule);
        }
    }
    rules = std::move(unique);
}

}  // namespace

const char* labelName(MailLabel label) {
    return label == LABEL_SPAM ? "spam" : "ham";
}

int collectHitStatistics(const HostSettings& settings, const LabelledInputs& inputs, bool forceMbox,
                         HitStatistics& statistics) {
    std::array<std::vector<InputFile>, LABEL_KINDS> files;
    if (!expandLabelledInputs(inputs, files)) {
        return EXIT_INPUT_ERROR;
    }
    HostSettings scanSettings = settings;
    scanSettings.fetchType = POP3_RETR;
    std::string userLog = settings.configFolder + "cobbleweave.log";
    LogMark mark = markLog(userLog);
    HostSession session;
    std::string error;
    if (!openHostSession(scanSettings, session, error)) {
        reportError(error);
        return EXIT_INPUT_ERROR;
    }
    std::vector<RuleFileRead> ruleFiles = filesOfLoad(logLinesSince(userLog, mark));
    ProbeFolder probe;
    if (ruleFiles.empty()) {
        closeHostSession(session);
        reportError(noRuleFileProblem(settings.configFolder));
        return EXIT_INPUT_ERROR;
    }
    if (!prepareProbeFolder(probe, PROBE_OPTIONS, error)) {
        closeHostSession(session);
        reportError(error);
        return EXIT_INPUT_ERROR;
    }
    statistics.index = buildRuleIndex(ruleFiles);
    int32_t probeHandle = session.library.loadConfig(probe.path.c_str());
    std::string probeLog = probe.path + "cobbleweave.log";
    std::error_code ignored;
    std::filesystem::remove(probeLog, ignored);

    Progress progress;
    for (int label = 0; label < LABEL_KINDS; ++label) {
        auto scanOne = [&](Message& message) {
            ScanOutcome outcome;
            std::string scanError;
            if (!scanMessage(session, message, false, outcome, scanError)) {
                progress.clear();
                reportError(scanError);
                ++statistics.failedInputs;
                return;
            }
            std::vector<std::string> lines = splitLogText(readWholeFile(probeLog));
            std::filesystem::remove(probeLog, ignored);
            LabelledMessage scanned{messageName(message), static_cast<MailLabel>(label),
                                    hitsOfScan(lines, statistics.index)};
            removeRepeats(scanned.hits.rules);
            if (!scanned.hits.spamThreshold.empty()) {
                statistics.spamThreshold = scanned.hits.spamThreshold;
            }
            ++statistics.messageCount[label];
            statistics.markedSpam[label] += scanned.hits.markedSpam ? 1 : 0;
            statistics.messages.push_back(std::move(scanned));
            progress.update(static_cast<uint32_t>(statistics.messages.size()));
        };
        for (const InputFile& file : files[label]) {
            if (!readMessages(file, forceMbox, scanOne, error)) {
                progress.clear();
                reportError(error);
                ++statistics.failedInputs;
            }
        }
    }
    progress.clear();
    session.library.releaseConfig(probeHandle);
    closeHostSession(session);
    return statistics.failedInputs > 0 ? EXIT_INPUT_ERROR : 0;
}

}  // namespace cw::scantool
