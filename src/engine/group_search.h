// The literal searches of one scan: a literal group's rules decided from one
// search of each subject of their field, the prefilter that lets a pattern run
// only on the subjects holding one of its literals, and the runs of list rules
// passed over up to the next one that occurs in the message.
#pragma once

#include <cstddef>

#include "engine/scan_context.h"

namespace cw {

// A rule of a literal group: its outcome and evidence come from the group's
// search; what testing it alone would trace, it traces.
bool evaluateGroupMember(ScanContext& scan, const CompiledRule& rule);

// Whether a prefiltered rule's pattern can match a subject (see the definition);
// sets `from` to where a match can begin at the earliest.
bool subjectMayMatch(ScanContext& scan, const CompiledRule& rule, PreparedText& subject,
                     size_t start, size_t& from);

// Passes over rules that do not occur in the message, as evaluating them
// would: each is a plain rule that does not match, so the chain starts afresh
// and only the new-match line stays held.
void passOverRulesWithoutHits(ScanContext& scan);

// Whether every rule must be visited in turn: PROFILE logs every line, and
// DEBUG traces decoded lines for every rule.
bool everyRuleIsVisited();

// The marks every literal search of a scan uses, the list runs' included:
// reused from message to message, as large as the longest list. One search at
// a time uses them, under the fetch lock.
LiteralSearchMarks& literalSearchMarks();

// Passes over the rules of a literal run that do not occur in the message.
// Returns where to go on.
size_t skipRulesWithoutHits(ScanContext& scan, size_t index);

}  // namespace cw
