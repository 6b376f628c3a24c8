#include "engine/message_scan.h"

#include <algorithm>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/filter_options.h"
#include "base/log_writer.h"
#include "base/module_state.h"
#include "common/number_text.h"
#include "common/text_ops.h"
#include "config/config_table.h"
#include "engine/added_lines.h"
#include "engine/fetch_table.h"
#include "engine/group_search.h"
#include "engine/list_run.h"
#include "engine/matchers.h"
#include "engine/pattern.h"
#include "engine/rule_set.h"
#include "engine/scan_context.h"
#include "engine/scan_verdict.h"
#include "mime/message_texts.h"

namespace cw {

namespace {

constexpr size_t MAX_HEADER_INFO_BYTES = 4095;
constexpr uint32_t MATCH_SEQUENCE_WRAP = 100;

// The match id's sequence number: lives from message to message.
uint32_t matchSequence = 0;

// The match positions and the JIT's stack, reused from message to message (a
// JIT stack is a memory mapping of its own, not to be made for every message).
// One match at a time uses them, under the fetch lock: a scan nested through
// the message pump runs between two rules of the outer one, never inside a
// match.
MatchArea matchArea;

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

// What a rule whose pattern does not compile logs at its turn.
void logCannotCompile(std::string_view ruleText, int errorOffset, const std::string& errorText) {
    writeLog(formatText("error: cannot compile [%.*s]",
                        static_cast<int>(std::min<size_t>(ruleText.size(), 256)), ruleText.data()),
             LOG_APPEND);
    writeLog(formatText("       failed at offset %d: %s", errorOffset, errorText.c_str()),
             LOG_APPEND);
}

// The slot of the pattern a rule matches, or NO_INDEX (with the two error
// lines) when it did not compile. Under PRECOMPILE a rule keeps the pattern text
// it was first matched from, as the per-line pattern cache always did.
uint32_t patternSlotFor(ScanContext& scan, uint32_t index, bool folded) {
    const CompiledRule& rule = scan.rules.rules[index];
    std::vector<uint8_t>& keptTexts = scan.carried.keptTexts;
    const uint8_t kept = index < keptTexts.size() ? keptTexts[index] : KEPT_NONE;
    uint8_t text = (folded && rule.foldedSlot != NO_INDEX) ? KEPT_FOLDED : KEPT_AS_WRITTEN;
    if (filterOptions.precompile && kept != KEPT_NONE) {
        text = kept;
    }
    const uint32_t slot = text == KEPT_FOLDED ? rule.foldedSlot : rule.patternSlot;
    const PatternCompileResult& compiled = scan.rules.patterns[slot];
    if (!patternCompiles(compiled)) {
        logCannotCompile(rule.record.text, compiled.errorOffset, compiled.errorText);
        return NO_INDEX;
    }
    if (filterOptions.precompile && kept == KEPT_NONE) {
        keptTexts.resize(scan.rules.rules.size(), KEPT_NONE);
        keptTexts[index] = text;
    }
    return slot;
}

// The pattern test of a rule; false when the message's budget cut it off: the
// rule is then undecided, it neither matches nor, negated, scores for what it
// never saw.
bool runPatternTest(ScanContext& scan, const RuleUnderTest& test, const PatternToMatch& pattern,
                    const SubjectFilter& mayMatch, bool& matched) {
    size_t cutBefore = scan.budget.cutRules.size();
    applyPatternTest(test, pattern, scan.subjects, matchArea, matched, mayMatch, &scan.budget);
    return scan.budget.cutRules.size() == cutBefore;
}

bool evaluateRule(ScanContext& scan, uint32_t index, const ActiveRule& active) {
    if (active.neverMatches) {
        return false;
    }
    const CompiledRule& rule = scan.rules.rules[index];
    const RuleRecord& record = rule.record;
    if (rule.group != NO_INDEX) {
        return evaluateGroupMember(scan, rule);
    }
    RuleUnderTest test{record, active.flags, rule.selectorId};
    bool matched = false;
    bool folded = false;
    if (record.flags & FLAG_HAS_STRING) {
        folded = applyStringTest(test, scan.subjects, matched);
        applyNegation(record, active.flags, matched);
    }
    if (record.flags & FLAG_HAS_PATTERN) {
        const uint32_t slot = patternSlotFor(scan, index, folded);
        if (slot != NO_INDEX) {
            SubjectFilter mayMatch;
            if (rule.prefilter != NO_INDEX) {
                mayMatch = [&scan, &rule](PreparedText& subject, size_t start, size_t& from) {
                    return subjectMayMatch(scan, rule, subject, start, from);
                };
            }
            // Only a prefiltered rule's pattern, as written, is kept without code.
            PatternToMatch pattern{scan.rules.patterns[slot].pattern.get(), slot,
                                   &scan.carried.machineCode, record.pattern,
                                   &scan.compiledForScan};
            if (!runPatternTest(scan, test, pattern, mayMatch, matched)) {
                return false;
            }
            applyNegation(record, active.flags, matched);
        }
    }
    return matched;
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

// Names a rule the message's budget cut off. Only the first few are quoted,
// so only their texts (made for the scan) are kept.
void nameCutRule(ScanContext& scan, std::string_view text) {
    if (scan.budget.cutRules.size() < CUT_RULES_QUOTED) {
        scan.madeTexts.emplace_back(text);
        text = scan.madeTexts.back();
    }
    scan.budget.cutRules.push_back(text);
}

// One entry of a pattern run at its turn, its hits in the message at hand, as
// its own line would be evaluated.
bool evaluateRunEntry(ScanContext& scan, const ListRunRules& run, uint32_t entry,
                      const RuleRecord& record, const ActiveRule& active,
                      std::span<const ListRunHit> hits, size_t longest) {
    const PatternRunEntries& entries = *run.patterns;
    const RunEntryKind kind = entries.kinds[entry];
    if (kind == RunEntryKind::FAILED) {
        auto failure = std::lower_bound(
            entries.failures.begin(), entries.failures.end(), entry,
            [](const PatternRunFailure& each, uint32_t at) { return each.entry < at; });
        logCannotCompile(record.text, failure->errorOffset, failure->errorText);
        return false;
    }
    if (!scan.budget.cutRules.empty()) {
        nameCutRule(scan, record.text);
        return false;
    }
    if (kind == RunEntryKind::LITERAL) {
        // Matches where its bytes occur, shown in the subject's own case.
        for (const ListRunHit& hit : hits) {
            holdMatchEvidence(record, hit.subject->text.c_str() + hit.start);
        }
        return !hits.empty();
    }
    const uint32_t skipUpTo = entries.skipUpTo[entry];
    if (kind == RunEntryKind::PREFILTERED && hits.empty() &&
        (skipUpTo == NO_BOUND || longest <= skipUpTo)) {
        return false;  // no subject it could match
    }
    // What the pattern test quotes must last the scan (the budget's names).
    scan.madeTexts.emplace_back();
    const RuleRecord kept = listRunRecord(run, entry, scan.madeTexts.back());
    const uint32_t key = entries.keyBase + entry;
    const pcre2_real_code_8* code = nullptr;
    SubjectFilter mayMatch;
    if (kind == RunEntryKind::EVERYWHERE) {
        code = std::lower_bound(entries.kept.begin(), entries.kept.end(), entry,
                                [](const auto& each, uint32_t at) { return each.first < at; })
                   ->second.get();
    } else {
        const uint32_t lead = entries.lead[entry];
        mayMatch = [hits, skipUpTo, lead](PreparedText& subject, size_t start, size_t& from) {
            from = 0;
            if (skipUpTo != NO_BOUND && subject.text.size() - start > skipUpTo) {
                return true;
            }
            for (const ListRunHit& hit : hits) {
                if (hit.subject == &subject) {
                    if (lead != NO_BOUND && hit.firstAt > lead) {
                        from = hit.firstAt - lead;
                    }
                    return true;
                }
            }
            return false;
        };
    }
    RuleUnderTest test{kept, active.flags, run.selectorId};
    PatternToMatch pattern{code, key, &scan.carried.machineCode, kept.pattern,
                           &scan.compiledForScan};
    bool matched = false;
    if (!runPatternTest(scan, test, pattern, mayMatch, matched)) {
        return false;
    }
    applyNegation(kept, active.flags, matched);
    return matched;
}

// A list run's entries in order, each run as its own line would be; the ones
// that do not occur in the message are passed over as a literal run's are
// (but for the pattern entries visited in every message, and every pattern
// entry once the message's budget is spent: each is named as cut off).
bool runListRun(ScanContext& scan, FetchRecord& fetch, const ListRunRules& run) {
    size_t longest = 0;
    std::vector<ListRunHit> hits = searchListRun(run, scan.subjects, literalSearchMarks(), longest);
    // Pattern entries to visit without a hit: a prefiltered one only where a
    // subject is too long for it to be passed over.
    std::vector<uint32_t> always;
    if (run.patterns) {
        const PatternRunEntries& entries = *run.patterns;
        for (uint32_t entry : entries.alwaysVisited) {
            if (entries.kinds[entry] != RunEntryKind::PREFILTERED ||
                entries.skipUpTo[entry] < longest) {
                always.push_back(entry);
            }
        }
    }
    auto hit = hits.begin();
    auto visit = always.begin();
    std::string text;
    const uint32_t entries = static_cast<uint32_t>(run.run->size());
    for (uint32_t entry = 0; entry < entries && !scan.stopped; ++entry) {
        while (hit != hits.end() && hit->entry < entry) {
            ++hit;
        }
        while (visit != always.end() && *visit < entry) {
            ++visit;
        }
        const bool visitAll =
            everyRuleIsVisited() || (run.patterns && !scan.budget.cutRules.empty());
        if (!visitAll && (hit == hits.end() || hit->entry != entry) &&
            (visit == always.end() || *visit != entry)) {
            passOverRulesWithoutHits(scan);
            uint32_t next = std::min(hit == hits.end() ? entries : hit->entry,
                                     visit == always.end() ? entries : *visit);
            if (next == entries) {
                break;
            }
            entry = next;
        }
        auto hitsEnd = hit;
        while (hitsEnd != hits.end() && hitsEnd->entry == entry) {
            ++hitsEnd;
        }
        RuleRecord record = listRunRecord(run, entry, text);
        bool goOn = runRule(scan, fetch, record, [&](const ActiveRule& active) {
            if (active.neverMatches) {
                return false;
            }
            if (run.patterns) {
                return evaluateRunEntry(scan, run, entry, record, active,
                                        std::span<const ListRunHit>(hit, hitsEnd), longest);
            }
            for (auto each = hit; each != hitsEnd; ++each) {
                holdMatchEvidence(record, each->subject->lower.c_str() + each->start);
            }
            return hit != hitsEnd;
        });
        hit = hitsEnd;
        if (!goOn) {
            return false;
        }
    }
    return true;
}

void runRules(ScanContext& scan, FetchRecord& fetch) {
    const std::vector<CompiledRule>& rules = scan.rules.rules;
    for (size_t index = 0; index < rules.size() && !scan.stopped; ++index) {
        index = skipRulesWithoutHits(scan, index);
        if (index >= rules.size()) {
            break;
        }
        const CompiledRule& rule = rules[index];
        bool goOn = rule.listRun != NO_INDEX
                        ? runListRun(scan, fetch, scan.rules.listRuns[rule.listRun])
                        : runRule(scan, fetch, rule.record, [&](const ActiveRule& active) {
                              return evaluateRule(scan, static_cast<uint32_t>(index), active);
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

    auto scan = std::make_unique<ScanContext>(headerLines, headerCount, status, compiledOf(config));
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
