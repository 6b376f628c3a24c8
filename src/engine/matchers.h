// Matchers: the tests that decide whether a rule matches the texts its field
// stands for (field_selectors.h). A test only ever sets `matched`; the scan
// clears it, negates it and scores the rule.
//
// Every test works on the prepared subjects of the message (MessageSubjects),
// which are made once per message, whatever the number of rules that test them.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/field_selectors.h"
#include "engine/message_subjects.h"
#include "engine/pattern.h"
#include "engine/rule_line.h"
#include "engine/work_budget.h"

namespace cw {

// No index: a rule's selector, group, pattern slot, ... that it has none of.
inline constexpr uint32_t NO_INDEX = 0xFFFFFFFFu;

// What one pattern rule may spend on the subjects of one message (processor
// time): far above what any ordinary rule takes (well below a millisecond on
// the training mail).
inline constexpr std::chrono::milliseconds RULE_TIME_BUDGET{250};

// One rule as a test sees it.
struct RuleUnderTest {
    const RuleRecord& record;
    uint32_t flags;       // the flags in force for this scan
    uint32_t selectorId;  // the rule set's selector of its field
};

// The plain-string test, over every subject of the rule's field: `pattern` folded
// to lower case is looked for anywhere in each subject, case folded. Unless the
// rule negates, each hit is held in the log as evidence. Returns whether any
// subject was prepared (the string test then folds the pattern a regular
// expression in the same rule is compiled from).
bool applyStringTest(const RuleUnderTest& rule, MessageSubjects& subjects, bool& matched);

// Whether a pattern can match a subject at all (the field's part of it from the
// given start); a subject it rules out is a plain no-match. Sets `from` to where
// in that part a match can begin at the earliest.
using SubjectFilter = std::function<bool(PreparedText&, size_t start, size_t& from)>;

// What the pattern tests of one message may still spend: once the message's
// processor time is used up, no pattern is run on it any more, and the rules so
// cut off are named once when the scan ends.
// How many of the rules cut off the log line names; the others are counted.
inline constexpr size_t CUT_RULES_QUOTED = 10;

struct MessageBudget {
    WorkDeadline deadline;
    std::vector<std::string_view> cutRules;  // rule texts, in file order; the budget is spent
                                             // once it holds one
};

// A compiled pattern as the pattern test matches it: with a store, made machine
// code there at its first match (a rule set's patterns, most of which never
// run); without, as it is.
// Patterns compiled during one scan, by store key: the ones whose code a rule
// set does not keep.
using ScanCompiledPatterns = std::unordered_map<uint32_t, CompiledPattern>;

struct PatternToMatch {
    const pcre2_real_code_8* compiled;  // null when compiling failed, or not kept
    uint32_t key = 0;                   // its number in the store
    MachineCodeStore* machineCode = nullptr;
    // For a pattern known to compile whose code was not kept (`compiled` null):
    // its text, compiled into `compiledForScan` when a subject first needs it
    // and the store holds no machine code for it yet.
    std::string_view text = {};
    ScanCompiledPatterns* compiledForScan = nullptr;
};

// The pattern test, over every subject of the rule's field, with `pattern`; run
// only on the subjects `mayMatch` lets through, when there is one. The rule may
// spend RULE_TIME_BUDGET on the message (and no more than `budget` has left).
void applyPatternTest(const RuleUnderTest& rule, const PatternToMatch& pattern,
                      MessageSubjects& subjects, MatchArea& area, bool& matched,
                      const SubjectFilter& mayMatch = nullptr, MessageBudget* budget = nullptr);

// Holds "valid: [rule] matches [subject] in [field]" (or "matches something in"
// for the whole-text fields Body:, HtmlText: and CompleteHeader:).
void holdMatchEvidence(const RuleRecord& record, const char* subject);

// Calls `visit` with every subject of the rule's field that the matchers would
// test, prepared, and where the field's part of it begins; with `trace`,
// decoded header lines are traced as the matchers trace them. The prepared texts
// stay where they are for the rest of the message.
void visitSubjects(const RuleUnderTest& rule, MessageSubjects& subjects, bool trace,
                   const std::function<void(PreparedText&, size_t)>& visit);

}  // namespace cw
