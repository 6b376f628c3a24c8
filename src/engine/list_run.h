// A list run's rules, evaluated together: the entries of one include list that
// make plain-string rules of one shape are searched for in the subjects of
// their field with one literal list over the run's entry block, and each entry
// that occurs is then decided as its own line would be. The rule text of an
// entry is made from the run only when something quotes it.
//
// A run of pattern entries is searched for literals too: an entry that is
// nothing but literal bytes matches where they occur, and one whose every
// match holds one of its required literals runs its pattern only on the
// subjects that hold one (or are too long to be passed over). Only the few
// entries that need no literal keep their compiled code; the others are
// compiled at load to learn whether they do, and again by a scan that needs
// them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/line_store.h"
#include "engine/literal_list.h"
#include "engine/matchers.h"
#include "engine/message_subjects.h"
#include "engine/pattern.h"
#include "engine/required_literals.h"
#include "engine/rule_line.h"

namespace cw {

// What a pattern entry needs at a scan.
enum class RunEntryKind : uint8_t {
    LITERAL,      // nothing but literal bytes: matches where they occur
    PREFILTERED,  // runs only where one of its literals occurs, or on long subjects
    EVERYWHERE,   // no literal known: runs on every subject, its code kept
    FAILED,       // does not compile: reported at its turn in every scan
};

// No bound, for the 32-bit lengths below.
inline constexpr uint32_t NO_BOUND = 0xFFFFFFFFu;

struct PatternRunFailure {
    uint32_t entry;
    int errorOffset;
    std::string errorText;
};

struct PatternRunEntries {
    std::vector<RunEntryKind> kinds;
    // Per entry (prefiltered ones): the longest subject it may be passed over
    // on, and how far before the first of its literals a match can begin;
    // NO_BOUND for none or unknown. A bound too large for 32 bits is kept as
    // a smaller one, which only runs the pattern more often.
    std::vector<uint32_t> skipUpTo;
    std::vector<uint32_t> lead;
    // The entries a scan visits whatever the message holds: the failures, the
    // ones that run everywhere and prefiltered ones with a bounded skip (those
    // only where a subject is longer).
    std::vector<uint32_t> alwaysVisited;
    std::vector<std::pair<uint32_t, CompiledPattern>> kept;  // by entry: the EVERYWHERE ones
    std::vector<PatternRunFailure> failures;                 // by entry
    // The run's literal list holds, for every entry, its literal or each of
    // its required literals; string i belongs to entry literalEntry[i].
    std::string literalBlock;
    std::vector<uint32_t> literalEnds;
    std::vector<uint32_t> literalEntry;
    // The machine code store's key of entry 0; entry i's is keyBase + i.
    uint32_t keyBase = 0;
};

struct ListRunRules {
    const ListRun* run = nullptr;
    RuleRecord shape;  // every entry's record but for its views (left empty)
    size_t fieldTypeLength = 0;
    size_t commentStart = 0;  // in the run's suffix
    size_t commentLength = 0;
    uint32_t selectorId = NO_INDEX;
    std::unique_ptr<LiteralList> list;
    std::unique_ptr<PatternRunEntries> patterns;  // for a run of pattern entries
};

// The record of the sample line `line` (the run's prefix, the entry "x", its
// suffix), read: when it is a plain-string or pattern rule on a field a
// literal list can search, with no other flag, block or note, `rules` gets the
// shape every entry's rule reads as and true is returned. Entries never hold a
// quote, nor braces that close before their end, so none reads otherwise. A
// pattern run's entries are compiled and read for their literals (`memo`
// shares that work across the load) before the list is made.
bool readListRunShape(const ListRun& run, const RuleRecord& sample, std::string_view line,
                      ListRunRules& rules, LiteralAnalysisMemo& memo);

// The record of one entry's rule, its views into `text`, which gets the line.
RuleRecord listRunRecord(const ListRunRules& rules, uint32_t entry, std::string& text);

// Where a run's entries occur in one message.
struct ListRunHit {
    uint32_t entry;
    PreparedText* subject;  // kept by MessageSubjects for the whole message
    size_t start;           // where the field's part of the subject begins
    size_t firstAt = 0;     // pattern runs: where the entry's first literal begins there
};

// Searches every subject of the run's field once, with the caller's search
// marks; the hits by entry, then subject (one per entry and subject), and the
// length of the longest subject's part.
std::vector<ListRunHit> searchListRun(const ListRunRules& rules, MessageSubjects& subjects,
                                      LiteralSearchMarks& marks, size_t& longest);

}  // namespace cw
