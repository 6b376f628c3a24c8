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

// Expands each --spam and --ham argument on its own, so that every message can
// be counted for its folder; false after printing why when an input is missing
// or holds no file.
bool expandLabelledInputs(const LabelledInputs& inputs, std::vector<InputFolder>& folders,
                          std::vector<std::vector<InputFile>>& files) {
    bool usable = true;
    for (int label = 0; label < LABEL_KINDS; ++label) {
        for (const std::string& path : inputs.paths[label]) {
            std::vector<std::string> errors;
            std::vector<std::string> warnings;
            folders.push_back(InputFolder{path, static_cast<MailLabel>(label)});
            files.emplace_back();
            // Statistics over folders of mail: what cannot be read is passed over.
            expandInputs({path}, files.back(), errors, &warnings);
            for (const std::string& warning : warnings) {
                printProblem("warning: " + warning);
            }
            for (const std::string& error : errors) {
                printProblem(error);
            }
            if (errors.empty() && files.back().empty()) {
                printProblem(std::string("no mail to read for --") +
                             labelName(static_cast<MailLabel>(label)) + ": '" + path +
                             "' holds no files");
            }
            usable = usable && errors.empty() && !files.back().empty();
        }
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

LabelTotals totalsPerLabel(const std::vector<InputFolder>& folders) {
    LabelTotals totals;
    for (const InputFolder& folder : folders) {
        totals.messages[folder.label] += folder.messageCount;
        totals.markedSpam[folder.label] += folder.markedSpam;
    }
    return totals;
}

int collectHitStatistics(const HostSettings& settings, const LabelledInputs& inputs, bool forceMbox,
                         HitStatistics& statistics) {
    std::vector<std::vector<InputFile>> files;
    if (!expandLabelledInputs(inputs, statistics.folders, files)) {
        return EXIT_INPUT_ERROR;
    }
    HostSettings scanSettings = settings;
    scanSettings.fetchType = POP3_RETR;
    std::string userLog = settings.configFolder + "cobbleweave.log";
    LogMark mark = markLog(userLog);
    HostSession session;
    std::string error;
    if (!openHostSession(scanSettings, session, error)) {
        printProblem(error);
        return EXIT_INPUT_ERROR;
    }
    std::vector<RuleFileRead> ruleFiles = filesOfLoad(logLinesSince(userLog, mark));
    ProbeFolder probe;
    if (ruleFiles.empty()) {
        closeHostSession(session);
        printProblem(noRuleFileProblem(settings.configFolder));
        return EXIT_INPUT_ERROR;
    }
    if (!prepareProbeFolder(probe, PROBE_OPTIONS, error)) {
        closeHostSession(session);
        printProblem(error);
        return EXIT_INPUT_ERROR;
    }
    statistics.index = buildRuleIndex(ruleFiles);
    statistics.mainRuleFile = ruleFiles.front().path;
    int32_t probeHandle = session.library.loadConfig(probe.path.c_str());
    std::string probeLog = probe.path + "cobbleweave.log";
    std::error_code ignored;
    std::filesystem::remove(probeLog, ignored);

    Progress progress;
    for (size_t folder = 0; folder < statistics.folders.size(); ++folder) {
        InputFolder& counts = statistics.folders[folder];
        auto scanOne = [&](Message& message) {
            ScanOutcome outcome;
            std::string scanError;
            if (!scanMessage(session, message, false, outcome, scanError)) {
                progress.clear();
                printProblem(scanError);
                ++statistics.failedInputs;
                return;
            }
            std::vector<std::string> lines = splitLogText(readWholeFile(probeLog));
            std::filesystem::remove(probeLog, ignored);
            LabelledMessage scanned{messageName(message), counts.label, folder,
                                    hitsOfScan(lines, statistics.index)};
            removeRepeats(scanned.hits.rules);
            if (!scanned.hits.spamThreshold.empty()) {
                statistics.spamThreshold = scanned.hits.spamThreshold;
            }
            uint32_t marked = scanned.hits.markedSpam ? 1 : 0;
            ++counts.messageCount;
            counts.markedSpam += marked;
            statistics.messages.push_back(std::move(scanned));
            progress.update(static_cast<uint32_t>(statistics.messages.size()));
        };
        for (const InputFile& file : files[folder]) {
            if (!readMessages(file, forceMbox, scanOne, error)) {
                progress.clear();
                printProblem(error);
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
