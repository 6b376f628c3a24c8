// The compiled rule set of a configuration: every stored line read once into a
// RuleRecord, the patterns compiled, the header names each field's lines are
// found by, and the runs of plain-string rules on one header field gathered
// into literal lists that are searched once per subject. All of it is made when
// the configuration loads and never changes after: what scans carry from one
// message to the next lives beside it (ScanCarryOver).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/config_table.h"
#include "engine/list_run.h"
#include "engine/literal_list.h"
#include "engine/matchers.h"
#include "engine/pattern.h"
#include "engine/rule_line.h"

namespace cw {

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
    // The rule's pattern as written, compiled; none for the rules of a literal
    // group, whose pattern never runs.
    uint32_t patternSlot = NO_INDEX;
    // A rule with a string and a pattern matches its pattern folded to lower case
    // once the string test has looked at a subject (it folds the text in place):
    // that text compiled too, where folding changes it.
    uint32_t foldedSlot = NO_INDEX;
    uint32_t group = NO_INDEX;
    uint32_t member = 0;  // position in its group
    // For a literal-group rule without a block number: one past the last of the
    // consecutive such rules it stands among (an include list's rules), which a
    // scan passes over up to the next one that occurs in the message.
    uint32_t runEnd = NO_INDEX;
    // The rule set's list run this item stands for (its record is then empty).
    uint32_t listRun = NO_INDEX;
    // The rule's prefilter group, its position there and the longest subject
    // its pattern may be passed over on.
    uint32_t prefilter = NO_INDEX;
    uint32_t prefilterMember = 0;
    size_t skipUpTo = 0;
    // How far before the first of its literals a match can begin (SIZE_MAX:
    // anywhere).
    size_t lead = SIZE_MAX;
};

struct RuleSet {
    std::vector<ListRunRules> listRuns;
    // The lines of list runs read as ordinary rules, which point into them.
    std::deque<std::string> expandedLines;
    std::vector<CompiledRule> rules;  // one per stored line
    std::vector<HeaderSelector> selectors;
    // What compiling each pattern text gave, failures included: a failure is
    // reported at the rule's turn in every scan. A prefiltered rule's pattern
    // keeps no code once it is known to compile (most never meet a subject
    // holding their literals): a scan compiles it when a subject may match.
    std::vector<PatternCompileResult> patterns;
    std::vector<LiteralGroup> groups;
    std::vector<PrefilterGroup> prefilterGroups;
    // Off in the reference build: no literal or prefilter groups, no runs, every
    // header line offered to every header field. Each rule then runs its own
    // test on every subject of its field, the plain scan the shortcuts must
    // equal (the differential tests compare the two).
    bool shortcuts = true;
    bool usesHeaderTexts = false;  // some rule tests CompleteHeader:
    bool usesBodyLines = false;    // some rule tests Line:
};

// Pattern texts a PRECOMPILE scan kept (see ScanCarryOver).
inline constexpr uint8_t KEPT_NONE = 0;
inline constexpr uint8_t KEPT_AS_WRITTEN = 1;
inline constexpr uint8_t KEPT_FOLDED = 2;

// What the scans of one configuration carry from message to message, beside
// its rule set, which no scan changes. Changed by one scan at a time, under
// the fetch lock.
struct ScanCarryOver {
    // Per rule (empty until a rule first keeps one): under PRECOMPILE a rule of
    // a string and a pattern keeps the text its pattern was first matched
    // from, as written or folded, as the per-line pattern cache always did.
    // Which one that is depends on the first message (the string test folds
    // only where the field has a subject), so it cannot be decided at load.
    std::vector<uint8_t> keptTexts;
    // The patterns' machine code, made at their first match, keyed by slot.
    MachineCodeStore machineCode;
};

// A configuration's compiled form: the rule set and what its scans carry.
struct CompiledConfiguration final : CompiledRules {
    explicit CompiledConfiguration(RuleSet built) : ruleSet(std::move(built)) {}

    const RuleSet ruleSet;
    ScanCarryOver carried;
};

// Reads every line of `config` into its rule set and compiles every pattern
// that can run. Logs nothing. Also the hook that loadConfig calls.
void compileRuleSet(FilterConfig& config);

// The same with every shortcut off (RuleSet::shortcuts): for the tests that
// prove the shortcuts change nothing, never for the host.
void compileReferenceRuleSet(FilterConfig& config);

// The configuration's compiled form, made now if the load did not.
CompiledConfiguration& compiledOf(FilterConfig& config);

// The configuration's rule set, compiled now if the load did not.
const RuleSet& ruleSetOf(FilterConfig& config);

}  // namespace cw
