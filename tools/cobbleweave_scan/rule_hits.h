// Which rules scored in one scan, read from the lines the plug-in logged for it
// with PROFILE on and at trace level CHECK. PROFILE logs every rule line as the
// scan reaches it; a rule that scores is then followed by the held lines of its
// match ("--- New match (...)" and the "valid:" lines) and "result: ... rule
// matches", and at trace level CHECK by "score: X". Between the rule's own line
// and its held lines there may only be the warnings and errors it caused.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cobbleweave_scan/rule_index.h"

namespace cw::scantool {

struct ScanHits {
    std::vector<size_t> rules;  // the rules that scored, in scan order
    double total = 0.0;         // the sum of their scores
    bool markedSpam = false;    // the spam verdict stood at the threshold
    bool markedWhitelisted = false;
    std::string spamThreshold;  // as the plug-in printed it; empty when it did not
};

ScanHits hitsOfScan(const std::vector<std::string>& lines, RuleIndex& index);

}  // namespace cw::scantool
