// The scoring rules of a loaded configuration, found again in the files the
// plug-in reports reading, so that a rule it logs can be named by file, line and
// comment. The index reads a rule line only as far as naming it needs (is it a
// rule that scores, its score, its comment); what the line does is the plug-in's
// business, and the plug-in alone decides whether it matches.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cobbleweave_scan/plugin_log.h"

namespace cw::scantool {

struct IndexedRule {
    std::string file;     // the path the plug-in logged; empty when found in no file
    int line = 0;         // 1, 2, ... in that file
    std::string text;     // the rule as it stands in its file or as its list makes it
    std::string comment;  // the text of its last [...] element; empty without one
    double score = 1.0;
};

struct RuleIndex {
    std::vector<IndexedRule> rules;  // in the order the plug-in tests them
    // The key of a rule's logged text (its text, or for a rule made from a list,
    // its list entry) to every rule with that key, in order.
    std::unordered_map<std::string, std::vector<size_t>> byKey;
};

// What naming a rule needs from its line.
struct RuleShape {
    bool scores = false;  // a rule that is not a chain link ('@') and has a pattern
    double score = 1.0;
    std::string comment;
    // Where the score token stands in the line; without one, scoreLength is 0
    // and scoreOffset is where the first element begins. Set when `scores` is.
    size_t scoreOffset = 0;
    size_t scoreLength = 0;
};

// Reads one line as the plug-in would, far enough to fill `shape`. Lines that
// are no rule (blank, '#', options, malformed) and chain links do not score.
RuleShape readRuleShape(std::string_view line);

// Reads the rule files and their lists named by the plug-in's load report.
// Rules made from a list stand before the include line that made them.
RuleIndex buildRuleIndex(const std::vector<RuleFileRead>& files);

// The rule that the plug-in logged as `text` for the `occurrence`-th time (from
// 0) in one scan. A text that matches no indexed rule is added as a rule
// without a file, so that its hits still count.
size_t ruleOfLoggedText(RuleIndex& index, const std::string& text, size_t occurrence);

}  // namespace cw::scantool
