// What the hit statistics print: a table of the rules that score with their
// hits in spam and in ham, the rules worth a look, and recall and false
// positives at the configured thresholds; or all of it, with the hits of every
// message, as one JSON object.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cobbleweave_scan/hit_statistics.h"

namespace cw::scantool {

struct RuleTally {
    size_t rule = 0;  // index into the statistics' rule index
    std::array<uint32_t, LABEL_KINDS> hits{};
    std::array<double, LABEL_KINDS> share{};  // hits / messages of the label
    bool hit = false;
    double spamRatio = 0.0;  // spam share / (spam share + ham share), when hit
};

// Every rule that scores, in configuration order.
std::vector<RuleTally> tallyRules(const HitStatistics& statistics);

// The order of the table: by spam ratio, then by spam hits (more first), then
// by ham hits (fewer first), then in configuration order; rules that never hit last.
std::vector<RuleTally> sortedForReport(std::vector<RuleTally> tallies);

// A rule whose score says spam (above 0) that hit a larger share of ham than of
// spam, or one whose score says ham (below 0) that hit a larger share of spam.
bool worksAgainstItsScore(const RuleTally& tally, double score);

// "default_filters.dat:57 [comment]", or the rule's text where it has no comment.
std::string ruleName(const IndexedRule& rule);

// "recall 84.80%" for spam, "false positives 0.04%" for ham: the share of the
// messages marked as spam.
std::string markedShareText(MailLabel label, uint32_t marked, uint32_t messages);

std::string formatHitReport(const HitStatistics& statistics);

// One JSON object: "messages" {"spam", "ham"}, "markedSpam" {"spam", "ham"},
// "recall", "falsePositiveRate", "spamThreshold" (null when unknown), "rules"
// (in configuration order, each with "id", "file", "line", "comment", "rule",
// "score", "spamHits", "hamHits", "spamShare", "hamShare", "spamRatio" (null
// without hits)), "neverHit" and "againstScore" (rule ids), "folders" (each
// --spam and --ham argument's "path", "label", "messages", "markedSpam" and
// "recall" or "falsePositiveRate"), and "scans" (each message's "file",
// "folder" (its index in "folders"), "label", "score", "markedSpam",
// "markedWhitelisted", "hits" as rule ids).
std::string formatHitReportJson(const HitStatistics& statistics);

}  // namespace cw::scantool
