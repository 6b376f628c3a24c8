#include "cobbleweave_scan/score_fit.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "cobbleweave_scan/rule_file_scores.h"

namespace cw::scantool {

std::vector<double> messageWeights(const FitProblem& problem, const std::vector<size_t>& selected) {
    std::vector<uint32_t> perFolder(problem.folders);
    uint32_t spam = 0;
    for (size_t index : selected) {
        ++perFolder[problem.messages[index].folder];
        spam += problem.messages[index].spam ? 1 : 0;
    }
    std::vector<double> weights;
    weights.reserve(selected.size());
    for (size_t index : selected) {
        const FitMessage& message = problem.messages[index];
        double outweighed = static_cast<double>(spam) / perFolder[message.folder];
        weights.push_back(message.spam ? SPAM_WEIGHT : HAM_WEIGHT * std::max(1.0, outweighed));
    }
    return weights;
}

std::vector<double> fitScores(const FitProblem& problem, const std::vector<size_t>& selected) {
    const size_t columns = problem.rules.size();
    std::vector<double> magnitude(columns);
    for (size_t column = 0; column < columns; ++column) {
        magnitude[column] = std::min(FIT_PRIOR, problem.rules[column].cap);
    }
    // hitsOf[column]: the positions in `selected` of the messages the rule hit.
    std::vector<std::vector<size_t>> hitsOf(columns);
    for (size_t position = 0; position < selected.size(); ++position) {
        for (size_t column : problem.messages[selected[position]].columns) {
            hitsOf[column].push_back(position);
        }
    }
    std::vector<double> margin(selected.size());
    std::vector<double> target(selected.size());
    for (size_t position = 0; position < selected.size(); ++position) {
        const FitMessage& message = problem.messages[selected[position]];
        margin[position] = message.fixed - problem.threshold;
        target[position] = message.spam ? 1.0 : 0.0;
    }
    for (size_t column = 0; column < columns; ++column) {
        for (size_t position : hitsOf[column]) {
            margin[position] += magnitude[column] * problem.rules[column].sign;
        }
    }
    const std::vector<double> weight = messageWeights(problem, selected);
    for (int sweep = 0; sweep < FIT_SWEEPS; ++sweep) {
        for (size_t column = 0; column < columns; ++column) {
            if (hitsOf[column].empty()) {
                continue;
            }
            const double sign = problem.rules[column].sign;
            double gradient = 2.0 * FIT_L2 * (magnitude[column] - FIT_PRIOR);
            double curvature = 2.0 * FIT_L2;
            for (size_t position : hitsOf[column]) {
                double probability = 1.0 / (1.0 + std::exp(-margin[position]));
                gradient += weight[position] * (probability - target[position]) * sign;
                curvature += weight[position] * probability * (1.0 - probability);
            }
            double updated = std::min(problem.rules[column].cap,
                                      std::max(0.0, magnitude[column] - gradient / curvature));
            double step = (updated - magnitude[column]) * sign;
            if (step != 0.0) {
                for (size_t position : hitsOf[column]) {
                    margin[position] += step;
                }
                magnitude[column] = updated;
            }
        }
    }
    // A rule that hit none of these messages keeps its score, as a rule that
    // never hit keeps it in the file: a cross-validated fold then measures
    // what the file would hold.
    std::vector<double> scores(columns);
    for (size_t column = 0; column < columns; ++column) {
        scores[column] = hitsOf[column].empty()
                             ? problem.rules[column].current
                             : roundScore(problem.rules[column].sign * magnitude[column]);
    }
    return scores;
}

double roundScore(double value) {
    std::string text = formatRuleScore(value);
    double rounded = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), rounded);
    return rounded == 0.0 ? 0.0 : rounded;
}

std::vector<uint32_t> markedPerFolder(const FitProblem& problem, const std::vector<double>& scores,
                                      const std::vector<size_t>& selected) {
    std::vector<uint32_t> marked(problem.folders);
    for (size_t index : selected) {
        const FitMessage& message = problem.messages[index];
        double fitted = 0.0;
        for (size_t column : message.columns) {
            fitted += scores[column];
        }
        marked[message.folder] += message.fixed + fitted > problem.threshold ? 1 : 0;
    }
    return marked;
}

}  // namespace cw::scantool
