#include "engine/message_scan.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>

#include "base/filter_options.h"
#include "base/log_writer.h"
#include "base/module_state.h"
#include "common/number_text.h"
#include "common/text_ops.h"
#include "config/config_table.h"
#include "engine/added_lines.h"
#include "engine/fetch_table.h"
#include "engine/matchers.h"
#include "engine/message_subjects.h"
#include "engine/pattern.h"
#include "engine/rule_set.h"
#include "mime/message_texts.h"

namespace cw {

namespace {

constexpr size_t MAX_HEADER_INFO_BYTES = 4095;
constexpr uint32_t MATCH_SEQUENCE_WRAP = 100;

// The processor time one message's pattern tests may take in all. The scan
// holds the fetch lock, so every other fetch of the proxy waits for it: a
// second bounds that stall to what a user barely notices, while ordinary rule
// sets take well under a millisecond per message (the 200-rule benchmark set,
// the shipped rules), so only runaway patterns ever reach it. Four rules at
// their own budget of 250 ms reach it.
constexpr std::chrono::milliseconds MESSAGE_TIME_BUDGET{1000};
// How many of the rules cut off the log line names; it counts the rest.
constexpr size_t CUT_RULES_NAMED = 10;

// The match id's sequence number: the one thing of the scan that lives from
// message to message, besides the compiled rule sets.
uint32_t matchSequence = 0;

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

// Everything one run works with: the message's texts and their prepared forms,
// the group results and what the rule loop builds up for the verdict. Lives on the stack of the
// run, so a run interrupted by a nested one (through the message pump) keeps its own.
struct ScanContext {
    ScanContext(const char* const* headerLines, int32_t headerCount, MessageStatus* messageStatus,
                RuleSet& ruleSet)
        : status(messageStatus),
          rules(ruleSet),
          subjects(headerLines, headerCount, texts, messageStatus, ruleSet.selectors),
          groups(ruleSet.groups.size()),
          prefilters(ruleSet.prefilterGroups.size()) {}

    MessageStatus* status;
    RuleSet& rules;
    MessageTexts texts;
    MessageSubjects subjects;
    std::vector<GroupHits> groups;
    std::vector<PrefilterHits> prefilters;
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

const char* fetchTypeTraceLine(int32_t fetchType) {
    switch (fetchType) {
        case POP3_RETR:
            return "fetchtype: POP3 RETR";
        case POP3_TOP:
            return "fetchtype: POP3 TOP";
        case IMAP4_SERVER:
            return "fetchtype: IMAP4 SERVER";
        case SMTP_RELAY:
            return "fetchtype: SMTP RELAY";
        default:
            return "fetchtype: unknown";
    }
}

// Day of the year, time of day and a sequence number that wraps after 99:
// unique enough to find one run's lines in the log.
std::string makeMatchId() {
    platform::LocalTime now = platform::localTime();
    std::string id = formatText("%03d%02d%02d%02d-%02u", now.dayOfYear, now.hour, now.minute,
                                now.second, matchSequence);
    matchSequence = (matchSequence + 1) % MATCH_SEQUENCE_WRAP;
    return id;
}

void logHeaderInfo(const char* const* headerLines, int32_t headerCount) {
    writeLog(">>> Header Info:", LOG_APPEND);
    for (int32_t i = 0; i < headerCount; ++i) {
        const char* line = headerLines[i];
        if (line == nullptr || !(startsWithNoCase(line, "From:") || startsWithNoCase(line, "To:") ||
                                 startsWithNoCase(line, "Subject:"))) {
            continue;
        }
        std::string info = ">>> " + copyAtMost(line, MAX_HEADER_INFO_BYTES);
        trimWhiteSpace(info);
        writeLog(info, LOG_APPEND);
    }
}

// Early ends that leave the message to the host: a preview while CHECKPREVIEW is
// off, and, with NOWHITELIST, a message the host has already judged.
bool hostKeepsMessage(const MessageStatus* status) {
    if (!filterOptions.checkPreview && status->fetchInfo->fetchType == POP3_TOP) {
        if (filterOptions.traceLevel >= TRACE_CHECK) {
            writeLog("filterOnMessageBody: POP3_TOP ignored", LOG_APPEND);
        }
        return true;
    }
    if (!filterOptions.whitelist) {
        if (status->whitelisted != 0) {
            writeLog("filterOnMessageBody: message is whitelisted, nothing more to do", LOG_APPEND);
            return true;
        }
        if (status->spam != 0) {
            writeLog("filterOnMessageBody: message is marked as spam, nothing more to do",
                     LOG_APPEND);
            return true;
        }
    }
    return false;
}

void applyNegation(const RuleRecord& record, uint32_t flags, bool& matched) {
    if (!(flags & FLAG_NEGATE)) {
        return;
    }
    if (!matched) {
        writeLog(formatText("valid: [%.*s] does not match any [%.*s]",
                            static_cast<int>(std::min<size_t>(record.text.size(), 256)),
                            record.text.data(),
                            static_cast<int>(std::min<size_t>(record.fieldType.size(), 256)),
                            record.fieldType.data()),
                 LOG_HOLD);
    }
    matched = !matched;
}

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
        group.list->findAll(std::string_view(subject.lower).substr(start), members);
        for (uint32_t member : members) {
            found.hits.push_back(GroupHit{member, &subject, start});
        }
    });
    std::stable_sort(found.hits.begin(), found.hits.end(),
                     [](const GroupHit& a, const GroupHit& b) { return a.member < b.member; });
}

// A rule of a literal group: its outcome and evidence come from the group's
// search; what testing it alone would trace, it traces.
bool evaluateGroupMember(ScanContext& scan, const CompiledRule& rule) {
    const LiteralGroup& group = scan.rules.groups[rule.group];
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

// The compiled pattern of a rule, or null (with the two error lines) when it does
// not compile. A prefiltered rule's pattern is only checked here; the subject
// filter compiles it when a subject may match. Under PRECOMPILE a rule keeps the pattern text it
// was first compiled from, as the per-line pattern cache always did.
PatternCompileResult* patternFor(ScanContext& scan, CompiledRule& rule, bool folded) {
    uint8_t variant = (folded && rule.foldedSlot != NO_INDEX) ? 2 : 1;
    if (filterOptions.precompile && rule.keptVariant != 0) {
        variant = rule.keptVariant;
    }
    uint32_t slot = variant == 2 ? rule.foldedSlot : rule.patternSlot;
    PatternEntry& entry = scan.rules.patterns[slot];
    if (!entry.compiled && entry.valid) {
        return &entry.result;  // compiled once a subject may match (see evaluateRule)
    }
    bool checking = !entry.compiled;
    obtainPattern(scan.rules, slot, rule.record);
    if (!entry.result.pattern) {
        const std::string_view text = rule.record.text;
        writeLog(formatText("error: cannot compile [%.*s]",
                            static_cast<int>(std::min<size_t>(text.size(), 256)), text.data()),
                 LOG_APPEND);
        writeLog(formatText("       failed at offset %d: %s", entry.result.errorOffset,
                            entry.result.errorText.c_str()),
                 LOG_APPEND);
        return nullptr;
    }
    entry.valid = true;
    if (checking && rule.prefilter != NO_INDEX) {
        entry.result = PatternCompileResult();
        entry.compiled = false;
    }
    if (filterOptions.precompile && rule.keptVariant == 0) {
        rule.keptVariant = variant;
    }
    return &entry.result;
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
            group.list->findAll(text, hits.found, &hits.foundAt);
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

bool evaluateRule(ScanContext& scan, CompiledRule& rule, const ActiveRule& active) {
    if (active.neverMatches) {
        return false;
    }
    const RuleRecord& record = rule.record;
    if (rule.group != NO_INDEX) {
        return evaluateGroupMember(scan, rule);
    }
    RuleUnderTest test{record, active.flags, rule.selectorId, rule.fieldCut};
    bool matched = false;
    bool folded = false;
    if (record.flags & FLAG_HAS_STRING) {
        folded = applyStringTest(test, scan.subjects, matched);
        applyNegation(record, active.flags, matched);
    }
    if (record.flags & FLAG_HAS_PATTERN) {
        if (PatternCompileResult* pattern = patternFor(scan, rule, folded)) {
            SubjectFilter mayMatch;
            if (rule.prefilter != NO_INDEX) {
                mayMatch = [&scan, &rule](PreparedText& subject, size_t start, size_t& from) {
                    if (!subjectMayMatch(scan, rule, subject, start, from)) {
                        return false;
                    }
                    obtainPattern(scan.rules, rule.patternSlot, rule.record);
                    return true;
                };
            }
            size_t cutBefore = scan.budget.cutRules.size();
            applyPatternTest(test, *pattern, scan.subjects, scan.rules.matchArea, matched, mayMatch,
                             &scan.budget);
            if (scan.budget.cutRules.size() != cutBefore) {
                // Cut off by the message's budget, the rule is undecided: it
                // neither matches nor, negated, scores for what it never saw.
                return false;
            }
            applyNegation(record, active.flags, matched);
        }
    }
    return matched;
}

// A matching rule's status removal: it takes away the opposite verdict, the
// host's (unless SIMULATE) and the plug-in's own.
void removeOppositeStatus(uint32_t flags, ScanContext& scan) {
    MessageStatus* status = scan.status;
    if (!(flags & FLAG_WHITELIST_RULE)) {
        if (status->whitelisted != 0) {
            writeLog("message was whitelisted by Vellmox: removing status", LOG_APPEND);
            if (!filterOptions.simulate) {
                status->whitelisted = 0;
            }
        }
        if (scan.verdict & VERDICT_WHITELISTED) {
            writeLog("message was whitelisted by Cobbleweave: removing status", LOG_APPEND);
        }
        scan.verdict &= ~VERDICT_WHITELISTED;
    } else {
        if (status->spam != 0) {
            writeLog("message was marked SPAM by Vellmox: removing status", LOG_APPEND);
            if (!filterOptions.simulate) {
                status->spam = 0;
            }
        }
        if (scan.verdict & VERDICT_SPAM) {
            writeLog("message was marked SPAM by Cobbleweave: removing status", LOG_APPEND);
        }
        scan.verdict &= ~VERDICT_SPAM;
    }
}

void decideRule(const RuleRecord& record, uint32_t flags, bool matched, FetchRecord& fetch,
                ScanContext& scan) {
    if (flags & FLAG_CHAIN_WITH_NEXT) {
        scan.chain = scan.chain && matched;
        return;
    }
    if (matched && scan.chain) {
        if (record.hasComment) {
            appendAddedLine(fetch, buildCommentLine(record));
        }
        if (flags & FLAG_CLEAR_COMMENTS) {
            fetch.addedLines.clear();
        }
        if (flags & FLAG_WHITELIST_RULE) {
            scan.verdict |= VERDICT_WHITELISTED;
            writeLog("result: whitelist rule matches", LOG_FLUSH);
        } else {
            scan.verdict |= VERDICT_SPAM;
            writeLog("result: regular rule matches", LOG_FLUSH);
        }
        if (filterOptions.traceLevel >= TRACE_CHECK) {
            writeLog("score: " + formatFixed1(record.score), LOG_APPEND);
        }
        // Scores are finite, but their sum can still overflow: it is kept finite,
        // so the host never receives "inf" or "nan" as a score.
        scan.total = std::clamp(scan.total + record.score, -std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::max());
        if (flags & FLAG_REMOVE_STATUS) {
            removeOppositeStatus(flags, scan);
        }
        if (flags & FLAG_STOP_AFTER_MATCH) {
            scan.stopped = true;
        }
    }
    scan.chain = true;
    writeLog("", LOG_DISCARD);
    writeLog(scan.newMatchLine, LOG_HOLD);
    scan.heldOnlyNewMatch = true;
}

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

// Passes over rules that do not occur in the message, as evaluating them
// would: each is a plain rule that does not match, so the chain starts afresh
// and only the new-match line stays held.
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

// PROFILE logs every line, and DEBUG traces decoded lines for every rule.
bool everyRuleIsVisited() {
    return filterOptions.profile || filterOptions.traceLevel == TRACE_DEBUG;
}

// Passes over the rules of a literal run that do not occur in the message.
// Returns where to go on.
size_t skipRulesWithoutHits(ScanContext& scan, size_t index) {
    const CompiledRule& rule = scan.rules.rules[index];
    if (rule.runEnd == NO_INDEX || everyRuleIsVisited()) {
        return index;
    }
    size_t next = nextRecordWithHits(scan, index, rule.runEnd);
    if (next == index) {
        return index;
    }
    passOverRulesWithoutHits(scan);
    return next;
}

// A line bounded to the record's 256-byte field, keeping its line end.
std::string boundedRecordLine(std::string line) {
    if (line.size() >= RECORD_LINE_SIZE) {
        line.resize(RECORD_LINE_SIZE - 3);
        line += "\r\n";
    }
    return line;
}

// One line for all the rules whose pattern tests the message's budget cut off.
void logCutRules(const MessageBudget& budget) {
    if (budget.cutRules.empty()) {
        return;
    }
    std::string named;
    for (size_t i = 0; i < budget.cutRules.size() && i < CUT_RULES_NAMED; ++i) {
        const std::string_view text = budget.cutRules[i];
        named += formatText(" [%.*s]", static_cast<int>(std::min<size_t>(text.size(), 256)),
                            text.data());
    }
    if (budget.cutRules.size() > CUT_RULES_NAMED) {
        named += formatText(" and %u more",
                            static_cast<unsigned>(budget.cutRules.size() - CUT_RULES_NAMED));
    }
    writeLog(formatText("error: the rules took more than %d ms on this message; not tested on "
                        "all of it:",
                        static_cast<int>(MESSAGE_TIME_BUDGET.count())) +
                 named,
             LOG_APPEND);
}

void decideVerdict(FetchRecord& fetch, ScanContext& scan) {
    writeLog("", LOG_DISCARD);
    const std::string total = formatFixed1(scan.total);
    const std::string spamThreshold = formatFixed1(filterOptions.thresholdSpam);
    if (scan.verdict & VERDICT_SPAM) {
        if (scan.total > filterOptions.thresholdSpam) {
            writeLog("score (spam, marked): " + total + " > (threshold=" + spamThreshold + ")");
        } else {
            writeLog("score (spam, ignored): " + total + " <= (threshold=" + spamThreshold + ")");
            scan.verdict &= ~VERDICT_SPAM;
        }
        if (filterOptions.thresholdSuspect >= 0.0) {
            if (scan.total > filterOptions.thresholdSpam) {
                fetch.warningLine = boundedRecordLine("X-Quelt-Warning: spam (" + total + " > " +
                                                      spamThreshold + ")\r\n");
            } else if (scan.total > filterOptions.thresholdSuspect) {
                const std::string suspectThreshold = formatFixed1(filterOptions.thresholdSuspect);
                writeLog("score (suspect): " + total + " > (threshold=" + suspectThreshold + ")");
                fetch.warningLine = boundedRecordLine("X-Quelt-Warning: suspect (" + total + " > " +
                                                      suspectThreshold + ")\r\n");
            }
        }
    }
    if (scan.verdict & VERDICT_WHITELISTED) {
        const std::string threshold = formatFixed1(filterOptions.thresholdWhitelisted);
        if (scan.total < filterOptions.thresholdWhitelisted) {
            writeLog("score (whitelisted, marked): " + total + " < (threshold=" + threshold + ")");
        } else {
            writeLog("score (whitelisted, ignored): " + total + " >= (threshold=" + threshold +
                     ")");
            scan.verdict &= ~VERDICT_WHITELISTED;
        }
    }
    fetch.scoreLine = boundedRecordLine("X-Quelt-Score: " + total + "\r\n");
    applyStatusTag(scan.verdict, scan.matchId, scan.status);
}

// One rule at its turn, `evaluate` telling whether it matches. False when
// FASTSCAN ends the scan.
template <typename Evaluate>
bool runRule(ScanContext& scan, FetchRecord& fetch, const RuleRecord& record, Evaluate evaluate) {
    if (platform::pumpWindowMessages()) {
        scan.heldOnlyNewMatch = false;  // a nested scan may have changed the held lines
    }
    ActiveRule active;
    if (!applyRuleOptions(record, active)) {
        return true;
    }
    // A rule that does not match and does not negate holds no line, so
    // after it only the new-match line is held, as before it.
    bool heldOnlyNewMatch = scan.heldOnlyNewMatch;
    scan.heldOnlyNewMatch = false;
    bool matched = evaluate(active);
    if (!matched && heldOnlyNewMatch &&
        (active.flags & (FLAG_NEGATE | FLAG_CHAIN_WITH_NEXT)) == 0) {
        scan.chain = true;
        scan.heldOnlyNewMatch = true;
        return true;
    }
    decideRule(record, active.flags, matched, fetch, scan);
    if (filterOptions.fastScan && (scan.verdict & VERDICT_SPAM) &&
        scan.total > filterOptions.thresholdSpam) {
        writeLog("FASTSCAN evaluated", LOG_APPEND);
        return false;
    }
    return true;
}

// A list run's entries in order, each run as its own line would be; the ones
// that do not occur in the message are passed over as a literal run's are.
bool runListRun(ScanContext& scan, FetchRecord& fetch, const ListRunRules& run) {
    std::vector<ListRunHit> hits = searchListRun(run, scan.subjects);
    auto hit = hits.begin();
    std::string text;
    const uint32_t entries = static_cast<uint32_t>(run.run->size());
    for (uint32_t entry = 0; entry < entries && !scan.stopped; ++entry) {
        while (hit != hits.end() && hit->entry < entry) {
            ++hit;
        }
        if (!everyRuleIsVisited() && (hit == hits.end() || hit->entry != entry)) {
            passOverRulesWithoutHits(scan);
            if (hit == hits.end()) {
                break;
            }
            entry = hit->entry;
        }
        RuleRecord record = listRunRecord(run, entry, text);
        bool goOn = runRule(scan, fetch, record, [&](const ActiveRule& active) {
            bool matched = false;
            for (; !active.neverMatches && hit != hits.end() && hit->entry == entry; ++hit) {
                matched = true;
                holdMatchEvidence(record, hit->subject->lower.c_str() + hit->start);
            }
            return matched;
        });
        if (!goOn) {
            return false;
        }
    }
    return true;
}

void runRules(ScanContext& scan, FetchRecord& fetch) {
    std::vector<CompiledRule>& rules = scan.rules.rules;
    for (size_t index = 0; index < rules.size() && !scan.stopped; ++index) {
        index = skipRulesWithoutHits(scan, index);
        if (index >= rules.size()) {
            break;
        }
        CompiledRule& rule = rules[index];
        bool goOn = rule.listRun != NO_INDEX
                        ? runListRun(scan, fetch, scan.rules.listRuns[rule.listRun])
                        : runRule(scan, fetch, rule.record, [&](const ActiveRule& active) {
                              return evaluateRule(scan, rule, active);
                          });
        if (!goOn) {
            break;
        }
    }
}

// True when the run reached the verdict.
bool scanMessage(const char* const* headerLines, int32_t headerCount, platform::BodyFile body,
                 FetchRecord& fetch, MessageStatus* status, FilterConfig& config) {
    fetch.addedLines.clear();
    fetch.scoreLine.clear();
    fetch.warningLine.clear();

    if (filterOptions.traceLevel == TRACE_DEBUG) {
        writeLog(">>> filterOnMessageBody", LOG_APPEND);
        writeLog(fetchTypeTraceLine(status->fetchInfo->fetchType), LOG_APPEND);
    }
    if (filterOptions.traceLevel >= TRACE_CHECK) {
        logHeaderInfo(headerLines, headerCount);
    }
    if (hostKeepsMessage(status)) {
        return false;
    }

    auto scan = std::make_unique<ScanContext>(headerLines, headerCount, status, ruleSetOf(config));
    scan->budget.deadline = deadlineAfter(MESSAGE_TIME_BUDGET);
    // The joined header texts are made only for CompleteHeader: rules, or when
    // their making is traced.
    if (scan->rules.usesHeaderTexts || filterOptions.traceLevel == TRACE_DEBUG) {
        if (!buildHeaderTexts(headerLines, headerCount, scan->texts)) {
            return false;
        }
    }
    loadMessageBody(headerLines, headerCount, body, scan->texts, scan->rules.usesBodyLines);

    scan->matchId = "ID#" + makeMatchId();
    scan->newMatchLine = "--- New match (" + scan->matchId + "):";
    writeLog(scan->newMatchLine, LOG_HOLD);
    scan->heldOnlyNewMatch = true;
    runRules(*scan, fetch);
    logCutRules(scan->budget);
    decideVerdict(fetch, *scan);
    return true;
}

}  // namespace

void filterOnMessageBody(const char* const* headerLines, int32_t headerCount,
                         platform::BodyFile body, int32_t fetchId, MessageStatus* status,
                         int32_t configHandle) {
    bool reachedVerdict = false;
    {
        platform::LockGuard lock(moduleState.fetchLock);
        // The log stays open while the scan writes, and is closed when it ends.
        LogFileSession logSession;
        std::shared_ptr<FetchRecord> record = findFetchRecord(fetchId);
        std::shared_ptr<FilterConfig> config = findConfig(configHandle);
        if (record == nullptr) {
            writeLog(formatText("error: filterOnMessageBody: unknown fetch id %d", fetchId),
                     LOG_APPEND);
            return;
        }
        if (config == nullptr) {
            writeLog(formatText("error: filterOnMessageBody: unknown configuration handle %d",
                                configHandle),
                     LOG_APPEND);
            return;
        }
        if (!hasFetchInfo(status, "filterOnMessageBody")) {
            return;
        }
        if (headerCount < 0 || (headerCount > 0 && headerLines == nullptr)) {
            headerCount = 0;
        }
        reachedVerdict = scanMessage(headerLines, headerCount, body, *record, status, *config);
    }
    if (reachedVerdict) {
        traceLine("<<< filterOnMessageBody");
    }
}

}  // namespace cw
