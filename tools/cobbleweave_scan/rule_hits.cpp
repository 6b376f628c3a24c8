#include "cobbleweave_scan/rule_hits.h"

#include <charconv>
#include <string_view>
#include <unordered_map>

namespace cw::scantool {

namespace {

constexpr std::string_view REGULAR_MATCH = "result: regular rule matches";
constexpr std::string_view WHITELIST_MATCH = "result: whitelist rule matches";
constexpr std::string_view HELD_MATCH_START = "--- New match (";
constexpr std::string_view RULE_SCORE = "score: ";
constexpr std::string_view SPAM_MARKED = "score (spam, marked): ";
constexpr std::string_view SPAM_IGNORED = "score (spam, ignored): ";
constexpr std::string_view WHITELISTED_MARKED = "score (whitelisted, marked): ";
constexpr std::string_view THRESHOLD_START = "(threshold=";

// Lines a rule's reading or testing may log between its own line and its match.
bool isRuleDiagnostic(std::string_view line) {
    return beginsWithNoCase(line, "error") || beginsWithNoCase(line, "warning") ||
           line.starts_with("       failed at offset") || line.starts_with("mime encoded: [") ||
           line.starts_with("mime decoded: [") ||
           line.find(" / memory allocation failed") != std::string_view::npos;
}

// The index of the line that PROFILE logged for the rule whose "result:" line
// is at `result`, or npos.
size_t ruleLineBefore(const std::vector<std::string>& lines, size_t result) {
    size_t index = result;
    while (index > 0 && !lines[index - 1].starts_with(HELD_MATCH_START)) {
        --index;
    }
    if (index == 0) {
        return std::string::npos;
    }
    --index;
    while (index > 0 && isRuleDiagnostic(lines[index - 1])) {
        --index;
    }
    return index == 0 ? std::string::npos : index - 1;
}

double numberAt(std::string_view text) {
    double value = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::string thresholdOf(std::string_view line) {
    size_t start = line.find(THRESHOLD_START);
    if (start == std::string_view::npos || !line.ends_with(")")) {
        return "";
    }
    start += THRESHOLD_START.size();
    return std::string(line.substr(start, line.size() - 1 - start));
}

}  // namespace

ScanHits hitsOfScan(const std::vector<std::string>& lines, RuleIndex& index) {
    ScanHits hits;
    // How often each line's text was logged before it in this scan: the n-th
    // logging of a text belongs to the n-th rule with that text.
    std::vector<size_t> occurrence(lines.size());
    std::unordered_map<std::string_view, size_t> timesSeen;
    for (size_t line = 0; line < lines.size(); ++line) {
        occurrence[line] = timesSeen[lines[line]]++;
    }
    for (size_t line = 0; line < lines.size(); ++line) {
        std::string_view text = lines[line];
        if (text == REGULAR_MATCH || text == WHITELIST_MATCH) {
            size_t ruleLine = ruleLineBefore(lines, line);
            if (ruleLine != std::string::npos) {
                hits.rules.push_back(
                    ruleOfLoggedText(index, lines[ruleLine], occurrence[ruleLine]));
            }
        } else if (text.starts_with(RULE_SCORE)) {
            hits.total += numberAt(text.substr(RULE_SCORE.size()));
        } else if (text.starts_with(SPAM_MARKED) || text.starts_with(SPAM_IGNORED)) {
            hits.markedSpam = text.starts_with(SPAM_MARKED);
            hits.spamThreshold = thresholdOf(text);
        } else if (text.starts_with(WHITELISTED_MARKED)) {
            hits.markedWhitelisted = true;
        }
    }
    return hits;
}

}  // namespace cw::scantool
