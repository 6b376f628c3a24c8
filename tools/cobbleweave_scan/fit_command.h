// --fit: fits the scores of the main rule file (the first one the plug-in
// reads) to labelled mail and writes a copy of that file in which only those
// scores changed. Fitted are the rules under a "# fit: at most" or "# fit: at
// least" line that hit at least one message; every other rule, of that file or
// another, keeps its score and counts as a fixed part of each message's sum.
// Prints, per folder, the messages marked as spam before, after a
// cross-validated fit and after the fit on all the mail, then the scores that
// changed.
#pragma once

#include <string>

#include "cobbleweave_scan/hit_statistics.h"
#include "cobbleweave_scan/host_session.h"

namespace cw::scantool {

inline constexpr int DEFAULT_FIT_FOLDS = 5;

struct FitOptions {
    std::string outPath;  // empty: the copy goes to standard output, the figures to standard error
    int folds = DEFAULT_FIT_FOLDS;
};

// Returns 0, or 2 after printing why: the mail could not all be scanned, the
// main rule file cannot be read or has no rule to fit, or the copy cannot be
// written (then nothing is written).
int runScoreFit(const HostSettings& settings, const LabelledInputs& inputs, bool forceMbox,
                const FitOptions& options);

}  // namespace cw::scantool
