// The score fit: logistic regression on the rules' hits, in score units, with
// the spam threshold as the boundary,
//
//     P(spam | message) = 1 / (1 + exp(-(sum of the scores that hit - threshold))),
//
// each message weighed by what a wrong verdict on it costs. A penalty of
// FIT_L2 times the square of each score's distance from FIT_PRIOR (toward +1
// for a trait of spam, -1 for one of ham) keeps a rule the mail says little
// about near where a new rule starts, and spreads the weight over rules that
// hit the same messages. Plain cyclic coordinate descent with Newton steps, in
// a fixed order and a fixed number of sweeps: the same input gives the same
// scores, bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cw::scantool {

inline constexpr double FIT_L2 = 0.1;
inline constexpr double FIT_PRIOR = 1.0;
inline constexpr int FIT_SWEEPS = 400;

// What a wrong verdict costs, per message. A missed spam costs SPAM_WEIGHT;
// a ham message marked as spam costs HAM_WEIGHT times max(1, spam messages /
// messages of its own folder). A false positive loses wanted mail, a missed
// spam only costs a keystroke, so ham weighs more; and a small folder of
// wanted commercial mail (newsletters, receipts) beside hundreds of spam weighs
// as much as the spam together, so that the fit cannot buy recall with it.
inline constexpr double SPAM_WEIGHT = 1.0;
inline constexpr double HAM_WEIGHT = 2.0;

// A rule whose score is fitted: its sign (+1 scores spam, -1 ham), the
// largest magnitude its score may take, and the score it has now, which it
// keeps where the mail a fit sees holds no hit of it.
struct FittedRule {
    double sign = 1.0;
    double cap = 0.0;
    double current = 0.0;
};

struct FitMessage {
    bool spam = false;
    size_t folder = 0;            // the input folder it came from
    std::vector<size_t> columns;  // the fitted rules that hit it (indexes into the rules)
    double fixed = 0.0;           // the sum of the scores of the other rules that hit it
};

struct FitProblem {
    double threshold = 5.0;
    std::vector<FittedRule> rules;
    std::vector<FitMessage> messages;
    size_t folders = 0;
};

// Each message's weight when the fit sees the messages `selected`.
std::vector<double> messageWeights(const FitProblem& problem, const std::vector<size_t>& selected);

// The scores, in the order of problem.rules, fitted to the messages
// `selected` (indexes into problem.messages), each rounded to one decimal.
std::vector<double> fitScores(const FitProblem& problem, const std::vector<size_t>& selected);

// `value` rounded to one decimal as it is printed ("%.1f"); -0.0 becomes 0.0.
double roundScore(double value);

// Per folder, how many of the messages `selected` the sum of `scores` (in the
// order of problem.rules) and their fixed part marks as spam: above the threshold.
std::vector<uint32_t> markedPerFolder(const FitProblem& problem, const std::vector<double>& scores,
                                      const std::vector<size_t>& selected);

}  // namespace cw::scantool
