// A list run's rules, evaluated together: the entries of one include list that
// make plain-string rules of one shape are searched for in the subjects of
// their field with one literal list over the run's entry block, and each entry
// that occurs is then decided as its own line would be. The rule text of an
// entry is made from the run only when something quotes it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/line_store.h"
#include "engine/literal_list.h"
#include "engine/matchers.h"
#include "engine/message_subjects.h"
#include "engine/rule_line.h"

namespace cw {

struct ListRunRules {
    const ListRun* run = nullptr;
    RuleRecord shape;  // every entry's record but for its views (left empty)
    size_t fieldTypeLength = 0;
    size_t commentStart = 0;  // in the run's suffix
    size_t commentLength = 0;
    uint32_t selectorId = NO_INDEX;
    std::unique_ptr<LiteralList> list;
};

// The record of the sample line `line` (the run's prefix, the entry "x", its
// suffix), read: when it is a plain-string rule on a field a literal list can
// search, with no flag, block or note, `rules` gets the shape every entry's
// rule reads as and true is returned. Entries never hold a quote, so none
// reads otherwise.
bool readListRunShape(const ListRun& run, const RuleRecord& sample, std::string_view line,
                      ListRunRules& rules);

// The record of one entry's rule, its views into `text`, which gets the line.
RuleRecord listRunRecord(const ListRunRules& rules, uint32_t entry, std::string& text);

// Where a run's entries occur in one message.
struct ListRunHit {
    uint32_t entry;
    PreparedText* subject;  // kept by MessageSubjects for the whole message
    size_t start;           // where the field's part of the subject begins
};

// Searches every subject of the run's field once, with the caller's search
// marks; the hits by entry, then subject.
std::vector<ListRunHit> searchListRun(const ListRunRules& rules, MessageSubjects& subjects,
                                      LiteralSearchMarks& marks);

}  // namespace cw
