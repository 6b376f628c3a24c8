// One configuration loaded twice, with its rule set as the host's loadConfig
// builds it (with every shortcut) and as the plain reference scan (each rule
// tested alone on every subject of its field), and one message scanned through
// the exports with each: the shortcuts must leave every answer and every byte
// of the log as the plain scan has them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "export_scan.h"

namespace fuzzhost {

struct TwoWayConfig {
    std::string folder;  // ends with '/'; the log of both is written there
    int32_t withShortcuts = 0;
    int32_t reference = 0;
};

// Loads `folder` through the loadConfig export, then again with the reference
// rule set. Both read the same files, so the options (process-wide, set by the
// latest load) are the same for both.
TwoWayConfig loadTwoWays(const std::string& folder);
void releaseTwoWays(const TwoWayConfig& config);

// What one scan leaves: the status record, the added lines and the log the
// scan wrote, time stamps and match ids masked (they differ from scan to scan).
struct ScanOutcome {
    std::string status;
    std::string addedLines;
    std::string log;
};

// Scans the message with the configuration `handle` (the log of `folder`
// emptied first).
ScanOutcome scanForOutcome(int32_t handle, const std::string& folder,
                           const std::vector<std::string>& headerLines, std::string_view body,
                           HostVerdict incoming = {});

struct TwoWayResult {
    // Where the two first differ, told for a reader; empty when they are the same.
    std::string difference;
    // A rule or the message ran out of processor time: what was tested then
    // depends on the machine's speed, not on the shortcuts.
    bool cutByTime = false;
    // How many rules matched ("result: ... rule matches" in the log).
    size_t matchedRules = 0;
};

// Scans the message with the shortcuts, then with the reference rule set.
TwoWayResult scanTwoWays(const TwoWayConfig& config, const std::vector<std::string>& headerLines,
                         std::string_view body, HostVerdict incoming = {});

// Aborts with the difference on standard error when the two ways differ for
// another reason than a cut by time: the finding libFuzzer reports.
void requireSameBothWays(const TwoWayResult& result);

}  // namespace fuzzhost
