#include "engine/group_search.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "base/filter_options.h"
#include "base/log_writer.h"
#include "engine/literal_list.h"
#include "platform/platform.h"

namespace cw {

namespace {

// Searches every subject of the group's field once with the group's literal
// list, noting which rules occur in which subjects.
void searchGroup(ScanContext& scan, uint32_t groupIndex) {
    const LiteralGroup& group = scan.rules.groups[groupIndex];
    GroupHits& found = scan.groups[groupIndex];
    found.searched = true;
    const CompiledRule& first = scan.rules.rules[group.members[0]];
    RuleUnderTest test{first.record, first.record.flags, first.selectorId};
    std::vector<uint32_t> members;
    visitSubjects(test, scan.subjects, false, [&](PreparedText& subject, size_t start) {
        foldPrepared(subject);
        members.clear();
        group.list->findAll(std::string_view(subject.lower).substr(start), literalSearchMarks(),
                            members);
        for (uint32_t member : members) {
            found.hits.push_back(GroupHit{member, &subject, start});
        }
    });
    std::stable_sort(found.hits.begin(), found.hits.end(),
                     [](const GroupHit& a, const GroupHit& b) { return a.member < b.member; });
}

}  // namespace

bool evaluateGroupMember(ScanContext& scan, const CompiledRule& rule) {
    const LiteralGroup& group = scan.rules.groups[rule.group];
    if (group.patterns && !scan.budget.cutRules.empty()) {
        // Once the message's budget is spent no pattern is tested, a literal
        // one no more than another: the rule is cut off and named.
        scan.budget.cutRules.push_back(rule.record.text);
        return false;
    }
    if (!scan.groups[rule.group].searched) {
        searchGroup(scan, rule.group);
    }
    if (group.decoded && filterOptions.traceLevel == TRACE_DEBUG) {
        RuleUnderTest test{rule.record, rule.record.flags, rule.selectorId};
        visitSubjects(test, scan.subjects, true, [](PreparedText&, size_t) {});
    }
    const std::vector<GroupHit>& hits = scan.groups[rule.group].hits;
    auto first =
        std::lower_bound(hits.begin(), hits.end(), rule.member,
                         [](const GroupHit& hit, uint32_t member) { return hit.member < member; });
    bool matched = false;
    for (auto hit = first; hit != hits.end() && hit->member == rule.member; ++hit) {
        matched = true;
        const std::string& shown = group.patterns ? hit->subject->text : hit->subject->lower;
        holdMatchEvidence(rule.record, shown.c_str() + hit->start);
    }
    return matched;
}

// Whether a prefiltered rule's pattern can match a subject: it holds one of the
// rule's literals, or it is too long for a pattern without them to be certain
// of a plain no-match. The subject is searched for its group's literals once.
// A match begins at most the rule's lead before the first of its literals, so
// `from` is set there.
bool subjectMayMatch(ScanContext& scan, const CompiledRule& rule, PreparedText& subject,
                     size_t start, size_t& from) {
    std::string_view text = std::string_view(subject.text).substr(start);
    from = 0;
    if (text.size() > rule.skipUpTo) {
        return true;
    }
    PrefilterHits& hits = scan.prefilters[rule.prefilter];
    if (hits.lastSubject != &subject) {
        auto [entry, added] = hits.firstLiteral.try_emplace(&subject);
        if (added) {
            const PrefilterGroup& group = scan.rules.prefilterGroups[rule.prefilter];
            hits.found.clear();
            hits.foundAt.clear();
            group.list->findAll(text, literalSearchMarks(), hits.found, &hits.foundAt);
            entry->second.assign(group.memberCount, 0);
            for (size_t i = 0; i < hits.found.size(); ++i) {
                uint32_t oneBeyond = static_cast<uint32_t>(hits.foundAt[i] + 1);
                uint32_t literal = hits.found[i];
                for (uint32_t at = group.holderStart[literal]; at < group.holderStart[literal + 1];
                     ++at) {
                    uint32_t& first = entry->second[group.holders[at]];
                    first = first == 0 ? oneBeyond : std::min(first, oneBeyond);
                }
            }
        }
        hits.lastSubject = &subject;
        hits.lastFirstLiteral = &entry->second;
    }
    uint32_t first = (*hits.lastFirstLiteral)[rule.prefilterMember];
    if (first == 0) {
        return false;
    }
    if (first - 1 > rule.lead) {
        from = first - 1 - rule.lead;
    }
    return true;
}

namespace {

// The first record in [from, end) that occurs in the message, or `end`.
size_t nextRecordWithHits(ScanContext& scan, size_t from, size_t end) {
    if (!scan.allGroupsSearched) {
        scan.allGroupsSearched = true;
        for (uint32_t group = 0; group < scan.groups.size(); ++group) {
            if (!scan.groups[group].searched) {
                searchGroup(scan, group);
            }
            for (const GroupHit& hit : scan.groups[group].hits) {
                scan.recordsWithHits.push_back(scan.rules.groups[group].members[hit.member]);
            }
        }
        std::sort(scan.recordsWithHits.begin(), scan.recordsWithHits.end());
    }
    auto next = std::lower_bound(scan.recordsWithHits.begin(), scan.recordsWithHits.end(), from);
    return next == scan.recordsWithHits.end() ? end : std::min<size_t>(*next, end);
}

}  // namespace

void passOverRulesWithoutHits(ScanContext& scan) {
    if (platform::pumpWindowMessages()) {
        scan.heldOnlyNewMatch = false;  // a nested scan may have changed the held lines
    }
    scan.chain = true;
    if (!scan.heldOnlyNewMatch) {
        writeLog("", LOG_DISCARD);
        writeLog(scan.newMatchLine, LOG_HOLD);
        scan.heldOnlyNewMatch = true;
    }
}

bool everyRuleIsVisited() {
    return filterOptions.profile || filterOptions.traceLevel == TRACE_DEBUG;
}

LiteralSearchMarks& literalSearchMarks() {
    // A scan nested through the message pump runs between two rules of the
    // outer one, never inside a search.
    static LiteralSearchMarks marks;
    return marks;
}

size_t skipRulesWithoutHits(ScanContext& scan, size_t index) {
    const CompiledRule& rule = scan.rules.rules[index];
    // Past the message's budget each pattern rule is named as cut off.
    if (rule.runEnd == NO_INDEX || everyRuleIsVisited() || !scan.budget.cutRules.empty()) {
        return index;
    }
    size_t next = nextRecordWithHits(scan, index, rule.runEnd);
    if (next == index) {
        return index;
    }
    passOverRulesWithoutHits(scan);
    return next;
}

}  // namespace cw
