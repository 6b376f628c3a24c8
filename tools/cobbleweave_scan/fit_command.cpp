#include "cobbleweave_scan/fit_command.h"

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <optional>
#include <utility>
#include <vector>

#include "cobbleweave_scan/file_replace.h"
#include "cobbleweave_scan/hit_report.h"
#include "cobbleweave_scan/host_platform.h"
#include "cobbleweave_scan/plugin_log.h"
#include "cobbleweave_scan/report.h"
#include "cobbleweave_scan/rule_file_scores.h"
#include "cobbleweave_scan/score_fit.h"

namespace cw::scantool {

namespace {

constexpr int EXIT_INPUT_ERROR = 2;
// The plug-in's own threshold when no file sets one.
constexpr double DEFAULT_SPAM_THRESHOLD = 5.0;

int fitError(const std::string& problem) {
    printProblem(problem);
    return EXIT_INPUT_ERROR;
}

std::string printed(const char* format, auto... values) {
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

double thresholdOf(const std::string& text) {
    double value = DEFAULT_SPAM_THRESHOLD;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// The problem and, for each of its rules, the rule of the index it stands for.
struct ScoreFit {
    FitProblem problem;
    std::vector<size_t> indexRules;
};

ScoreFit problemOf(const HitStatistics& statistics, const std::string& ruleFileContent) {
    ScoreFit fit;
    fit.problem.threshold = thresholdOf(statistics.spamThreshold);
    fit.problem.folders = statistics.folders.size();
    std::vector<std::optional<FitLimit>> limits =
        fitLimitsOfLines(splitRuleFileLines(ruleFileContent));
    std::vector<bool> hit(statistics.index.rules.size());
    for (const LabelledMessage& message : statistics.messages) {
        for (size_t rule : message.hits.rules) {
            hit[rule] = true;
        }
    }
    std::vector<size_t> columnOf(statistics.index.rules.size(), SIZE_MAX);
    for (size_t rule = 0; rule < statistics.index.rules.size(); ++rule) {
        const IndexedRule& indexed = statistics.index.rules[rule];
        size_t line = static_cast<size_t>(indexed.line);
        if (indexed.file != statistics.mainRuleFile || line == 0 || line > limits.size() ||
            !limits[line - 1] || !hit[rule]) {
            continue;
        }
        columnOf[rule] = fit.problem.rules.size();
        fit.problem.rules.push_back(
            FittedRule{limits[line - 1]->sign, limits[line - 1]->cap, indexed.score});
        fit.indexRules.push_back(rule);
    }
    for (const LabelledMessage& message : statistics.messages) {
        FitMessage fitted{message.label == LABEL_SPAM, message.folder, {}, 0.0};
        for (size_t rule : message.hits.rules) {
            if (columnOf[rule] != SIZE_MAX) {
                fitted.columns.push_back(columnOf[rule]);
            } else {
                fitted.fixed += statistics.index.rules[rule].score;
            }
        }
        fit.problem.messages.push_back(std::move(fitted));
    }
    return fit;
}

// Per folder, the messages marked as spam when each fold is scored by the
// scores fitted to the others. Message i is in fold i mod `folds`.
std::vector<uint32_t> crossValidated(const FitProblem& problem, int folds) {
    std::vector<uint32_t> marked(problem.folders);
    for (int fold = 0; fold < folds; ++fold) {
        std::vector<size_t> training;
        std::vector<size_t> heldOut;
        for (size_t index = 0; index < problem.messages.size(); ++index) {
            (static_cast<int>(index % folds) == fold ? heldOut : training).push_back(index);
        }
        if (heldOut.empty()) {
            continue;
        }
        std::vector<uint32_t> counts =
            markedPerFolder(problem, fitScores(problem, training), heldOut);
        for (size_t folder = 0; folder < marked.size(); ++folder) {
            marked[folder] += counts[folder];
        }
    }
    return marked;
}

struct FitFigures {
    std::vector<uint32_t> before;
    std::vector<uint32_t> crossValidated;
    std::vector<uint32_t> fittedOnAll;
    std::vector<double> scores;
    std::vector<double> folderWeights;  // what a wrong verdict costs, in the fit on all the mail
};

// The weight of each folder's messages when the fit sees them all.
std::vector<double> weightsPerFolder(const FitProblem& problem,
                                     const std::vector<size_t>& everything) {
    std::vector<double> weights = messageWeights(problem, everything);
    std::vector<double> perFolder(problem.folders);
    for (size_t index : everything) {
        perFolder[problem.messages[index].folder] = weights[index];
    }
    return perFolder;
}

std::string formatFitReport(const HitStatistics& statistics, const ScoreFit& fit,
                            const FitFigures& figures, int folds) {
    const FitProblem& problem = fit.problem;
    std::string text = "Scores of " + statistics.mainRuleFile + " fitted to " +
                       std::to_string(problem.messages.size()) + " messages at THRESHOLD_SPAM " +
                       formatRuleScore(problem.threshold) + ".\n";
    text += printed(
        "A missed spam costs %.1f, a ham message marked as spam %.1f x max(1, spam messages / "
        "messages of its folder).\n",
        SPAM_WEIGHT, HAM_WEIGHT);
    const std::pair<std::string, const std::vector<uint32_t>*> rows[] = {
        {"before, with the current scores:", &figures.before},
        {"after, cross-validated (" + std::to_string(folds) + " folds):", &figures.crossValidated},
        {"after, fitted on all the mail:", &figures.fittedOnAll},
    };
    for (size_t folder = 0; folder < statistics.folders.size(); ++folder) {
        const InputFolder& input = statistics.folders[folder];
        text += printed("\n%s %s: %u messages, each weighs %.1f\n", labelName(input.label),
                        input.path.c_str(), input.messageCount, figures.folderWeights[folder]);
        for (const auto& [title, marked] : rows) {
            uint32_t count = (*marked)[folder];
            text += printed("  %-36s %6u marked as spam, ", title.c_str(), count) +
                    markedShareText(input.label, count, input.messageCount) + "\n";
        }
    }
    std::string changes;
    size_t changed = 0;
    for (size_t column = 0; column < fit.indexRules.size(); ++column) {
        const IndexedRule& rule = statistics.index.rules[fit.indexRules[column]];
        if (formatRuleScore(rule.score) == formatRuleScore(figures.scores[column])) {
            continue;
        }
        ++changed;
        changes += "  " + ruleName(rule) + ": " + formatRuleScore(rule.score) + " -> " +
                   formatRuleScore(figures.scores[column]) + "\n";
    }
    text += printed("\n%zu rules fitted, %zu scores changed%s\n", fit.indexRules.size(), changed,
                    changed > 0 ? ":" : ".");
    return text + changes;
}

}  // namespace

int runScoreFit(const HostSettings& settings, const LabelledInputs& inputs, bool forceMbox,
                const FitOptions& options) {
    HitStatistics statistics;
    if (int status = collectHitStatistics(settings, inputs, forceMbox, statistics); status != 0) {
        return statistics.messages.empty() ? status : fitError("no fit: not all the mail was read");
    }
    const std::string& ruleFile = statistics.mainRuleFile;
    std::string content = readWholeFile(ruleFile);
    ScoreFit fit = problemOf(statistics, content);
    if (fit.problem.rules.empty()) {
        return fitError("no rule of " + ruleFile +
                        " can be fitted: none that hit the mail stands below a \"# fit: at most "
                        "X\" or \"# fit: at least -X\" line");
    }
    auto start = std::chrono::steady_clock::now();
    std::vector<size_t> everything(fit.problem.messages.size());
    std::iota(everything.begin(), everything.end(), size_t{0});
    FitFigures figures;
    std::vector<double> current;
    for (size_t rule : fit.indexRules) {
        current.push_back(statistics.index.rules[rule].score);
    }
    figures.before = markedPerFolder(fit.problem, current, everything);
    figures.crossValidated = crossValidated(fit.problem, options.folds);
    figures.scores = fitScores(fit.problem, everything);
    figures.fittedOnAll = markedPerFolder(fit.problem, figures.scores, everything);
    figures.folderWeights = weightsPerFolder(fit.problem, everything);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::vector<std::pair<int, double>> newScores;
    for (size_t column = 0; column < fit.indexRules.size(); ++column) {
        newScores.emplace_back(statistics.index.rules[fit.indexRules[column]].line,
                               figures.scores[column]);
    }
    std::string rewritten;
    std::string error;
    if (!rewriteScores(content, newScores, rewritten, error)) {
        return fitError(ruleFile + ": " + error);
    }
    std::string report = formatFitReport(statistics, fit, figures, options.folds);
    // Apart from the figures, so that they stay the same from run to run.
    std::string timing = printed("The fit took %.2f s.\n", seconds);
    if (options.outPath.empty()) {
        std::fputs((report + timing).c_str(), stderr);
        useBinaryStandardOutput();
        std::fwrite(rewritten.data(), 1, rewritten.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : fitError("cannot write to standard output");
    }
    std::fputs(report.c_str(), stdout);
    std::fflush(stdout);
    std::fputs(timing.c_str(), stderr);
    if (!replaceFile(options.outPath, rewritten, error)) {
        return fitError(error);
    }
    return 0;
}

}  // namespace cw::scantool
