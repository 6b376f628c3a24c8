// The verdict of one scan: each rule's outcome added up (chains, scores, status
// removal, stop), and at the end the total against the thresholds, the lines
// for the host and the verdict in its record.
#pragma once

#include <cstdint>

#include "engine/fetch_table.h"
#include "engine/matchers.h"
#include "engine/rule_line.h"
#include "engine/scan_context.h"

namespace cw {

// Adds a decided rule to the scan: its chain, or its score, comment line and
// status changes when it matches.
void decideRule(const RuleRecord& record, uint32_t flags, bool matched, FetchRecord& fetch,
                ScanContext& scan);

// One line for all the rules whose pattern tests the message's budget cut off.
void logCutRules(const MessageBudget& budget);

// The total against the thresholds: the log lines, the score and warning lines
// for the host, the plug-in's verdict counted and written into its record.
void decideVerdict(FetchRecord& fetch, ScanContext& scan);

}  // namespace cw
