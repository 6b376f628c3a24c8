// What one scan of a message works with, shared by the files of the scan: the
// message's texts and their prepared forms, the literal-group and prefilter
// results, and what the rule loop builds up for the verdict.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/host_records.h"
#include "engine/matchers.h"
#include "engine/message_subjects.h"
#include "engine/pattern.h"
#include "engine/rule_set.h"
#include "mime/message_texts.h"

namespace cw {

// The processor time one message's pattern tests may take in all. The scan
// holds the fetch lock, so every other fetch of the proxy waits for it: a
// second bounds that stall to what a user barely notices, while ordinary rule
// sets take well under a millisecond per message (the 200-rule benchmark set,
// the shipped rules), so only runaway patterns ever reach it. Four rules at
// their own budget of 250 ms reach it.
constexpr std::chrono::milliseconds MESSAGE_TIME_BUDGET{1000};
// Where one literal group's rules occur in one message.
struct GroupHit {
    uint32_t member;
    PreparedText* subject;  // kept by MessageSubjects for the whole message
    size_t start;           // where the field's part of the subject begins
};

struct GroupHits {
    bool searched = false;
    std::vector<GroupHit> hits;  // by member, then line
};

// Which members of one prefilter group may match each subject searched so far
// (hold one of their literals). The rules of a group mostly ask about one
// subject after another, so the last one asked about is kept at hand.
struct PrefilterHits {
    // Per subject and member: one past where the first of the member's literals
    // begins in the subject, 0 when none of them occurs.
    std::unordered_map<const PreparedText*, std::vector<uint32_t>> firstLiteral;
    const PreparedText* lastSubject = nullptr;
    const std::vector<uint32_t>* lastFirstLiteral = nullptr;
    std::vector<uint32_t> found;  // the literals of the last search
    std::vector<size_t> foundAt;  // where each of them first begins
};

// Everything one run works with. Lives on the stack of the run, so a run
// interrupted by a nested one (through the message pump) keeps its own.
struct ScanContext {
    ScanContext(const char* const* headerLines, int32_t headerCount, MessageStatus* messageStatus,
                CompiledConfiguration& compiled)
        : status(messageStatus),
          rules(compiled.ruleSet),
          carried(compiled.carried),
          subjects(headerLines, headerCount, texts, messageStatus, rules.selectors),
          groups(rules.groups.size()),
          prefilters(rules.prefilterGroups.size()) {}

    MessageStatus* status;
    const RuleSet& rules;
    ScanCarryOver& carried;
    MessageTexts texts;
    MessageSubjects subjects;
    std::vector<GroupHits> groups;
    std::vector<PrefilterHits> prefilters;
    // The patterns the rule set keeps no code of (prefiltered ones), compiled
    // for this message once a subject may match, by slot.
    ScanCompiledPatterns compiledForScan;
    // The rule texts of list run entries that a pattern test or the budget's
    // log line may quote (the run holds no line of them).
    std::deque<std::string> madeTexts;
    MessageBudget budget;
    // The indexes of the group rules that occur in the message, ascending; made
    // when the scan first reaches a run of group rules.
    std::vector<uint32_t> recordsWithHits;
    bool allGroupsSearched = false;

    double total = 0.0;
    int verdict = 0;
    bool chain = true;
    bool stopped = false;
    std::string matchId;
    std::string newMatchLine;       // "--- New match (ID#...):", held before every rule
    bool heldOnlyNewMatch = false;  // the held lines are just newMatchLine
};

}  // namespace cw
