// The compiled rule set of a configuration: every stored line read once into a
// RuleRecord, the patterns compiled once (on first use), the header names each
// field's lines are found by, and the runs of plain-string rules on one header
// field gathered into literal lists that are searched once per subject.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_table.h"
#include "engine/list_run.h"
#include "engine/literal_list.h"
#include "engine/matchers.h"
#include "engine/pattern.h"
#include "engine/rule_line.h"

namespace cw {

// A pattern text and what compiling it gave; compiled on first use, kept.
struct PatternEntry {
    std::string foldedText;  // the text compiled, when it is not the record's pattern
    bool folded = false;
    bool compiled = false;
    // Compiled once without error. A prefiltered rule's code is then dropped
    // until a subject may hold a match: most rules of a large list never meet one.
    bool valid = false;
    PatternCompileResult result;
};

// Rules that look for a literal in the same subjects, matched together: one
// search of the literal list per subject finds which of them occur. Plain-string
// rules (what include lists make), and pattern rules whose pattern is nothing but
// literal bytes (a caseless literal pattern matches exactly where the folded
// literal occurs in the folded subject); they report their hits as their kind does.
struct LiteralGroup {
    std::vector<uint32_t> members;      // record indexes, in file order
    std::vector<std::string> literals;  // the unescaped literals of pattern rules
    std::unique_ptr<LiteralList> list;
    uint32_t selectorId = NO_INDEX;  // for header-line fields
    bool patterns = false;           // pattern rules (evidence keeps the subject's case)
    bool decoded = false;            // '~' rules
};

// Pattern rules on one field whose patterns cannot match without one of their
// required literals: each subject of the field is searched once for the
// literals of all of them, and a rule's pattern runs only on the subjects that
// hold one of its own (or that are too long to be passed over safely).
struct PrefilterGroup {
    std::vector<std::string> literals;  // each once, however many rules need it
    // For each literal, the members whose patterns may match where it occurs:
    // literal i's are holders[holderStart[i]] up to holders[holderStart[i + 1]].
    std::vector<uint32_t> holderStart;
    std::vector<uint32_t> holders;
    uint32_t memberCount = 0;
    std::unique_ptr<LiteralList> list;
};

struct CompiledRule {
    RuleRecord record;
    uint32_t selectorId = NO_INDEX;  // for fields tested against header lines
    uint32_t patternSlot = NO_INDEX;
    // A rule with a string and a pattern compiles its pattern folded to lower case
    // once the string test has looked at a subject (it folds the text in place).
    uint32_t foldedSlot = NO_INDEX;
    uint32_t group = NO_INDEX;
    uint32_t member = 0;  // position in its group
    // For a literal-group rule without a block number: one past the last of the
    // consecutive such rules it stands among (an include list's rules), which a
    // scan passes over up to the next one that occurs in the message.
    uint32_t runEnd = NO_INDEX;
    // The rule set's list run this item stands for (its record is then empty).
    uint32_t listRun = NO_INDEX;
    // (The small fields stand together: a large list has a million rules.)
    FieldCut fieldCut = FieldCut::UNKNOWN;
    // Which of the two texts a PRECOMPILE scan kept for this rule (0: none yet,
    // 1: as written, 2: folded); later PRECOMPILE scans use that one.
    uint8_t keptVariant = 0;
    // The rule's prefilter group, its position there and the longest subject
    // its pattern may be passed over on.
    uint32_t prefilter = NO_INDEX;
    uint32_t prefilterMember = 0;
    size_t skipUpTo = 0;
    // How far before the first of its literals a match can begin (SIZE_MAX:
    // anywhere).
    size_t lead = SIZE_MAX;
};

struct RuleSet : CompiledRules {
    std::vector<ListRunRules> listRuns;
    // The lines of list runs read as ordinary rules, which point into them.
    std::deque<std::string> expandedLines;
    std::vector<CompiledRule> rules;  // one per stored line
    std::vector<HeaderSelector> selectors;
    std::vector<PatternEntry> patterns;
    std::vector<LiteralGroup> groups;
    std::vector<PrefilterGroup> prefilterGroups;
    bool usesHeaderTexts = false;  // some rule tests CompleteHeader:
    bool usesBodyLines = false;    // some rule tests Line:
    bool useJit = true;
    // The match positions and the JIT's stack, kept from message to message (a
    // JIT stack is a memory mapping of its own). Used under the fetch lock by one
    // match at a time: a scan nested through the message pump runs between two
    // rules of the outer one, never inside a match.
    MatchArea matchArea;
};

// Reads every line of `config` into its rule set. Logs nothing. Also the hook
// that loadConfig calls.
void compileRuleSet(FilterConfig& config);

// The configuration's rule set, compiled now if the load did not.
RuleSet& ruleSetOf(FilterConfig& config);

// The bytes a pattern matches when it is nothing but literal bytes (escaped
// punctuation included), else false.
bool literalOfPattern(std::string_view pattern, std::string& literal);

// The compiled pattern of a slot, compiling it on first use.
PatternEntry& obtainPattern(RuleSet& set, uint32_t slot, const RuleRecord& record);

}  // namespace cw
