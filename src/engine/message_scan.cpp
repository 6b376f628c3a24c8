#include "engine/message_scan.h"

#include <memory>
#include <string>

#include "common/number_text.h"
#include "common/text_ops.h"
#include "config/config_table.h"
#include "config/filter_options.h"
#include "engine/added_lines.h"
#include "engine/matchers.h"
#include "engine/pattern.h"
#include "engine/rule_line.h"
#include "host/fetch_table.h"
#include "host/log_writer.h"
#include "host/module_state.h"
#include "mime/message_texts.h"

namespace cw {

namespace {

constexpr size_t MAX_HEADER_INFO_BYTES = 4095;
constexpr uint32_t MATCH_SEQUENCE_WRAP = 100;

// What the scan keeps between messages: the match id's sequence number, and the
// work areas of one run, reused so a message does not reallocate them.
struct ScanState {
    uint32_t matchSequence = 0;
    int activeRuns = 0;
    MessageTexts texts;
    RuleLine rule;
    std::string patternCopy;
};

ScanState scanState;

// Counts the runs in progress on the thread that holds the fetch lock. The pump
// before each rule line may dispatch a window message that scans another message
// there, while the interrupted run still has rules to test against its own texts.
struct ActiveRun {
    ActiveRun() { ++scanState.activeRuns; }
    ~ActiveRun() { --scanState.activeRuns; }
    ActiveRun(const ActiveRun&) = delete;
    ActiveRun& operator=(const ActiveRun&) = delete;
};

// The run's state: what the rule loop builds up for the verdict.
struct ScanRun {
    double total = 0.0;
    int verdict = 0;
    bool chain = true;
    bool stopped = false;
    std::string matchId;
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
                                now.second, scanState.matchSequence);
    scanState.matchSequence = (scanState.matchSequence + 1) % MATCH_SEQUENCE_WRAP;
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

void applyNegation(const RuleLine& rule, bool& matched) {
    if (!(rule.flags & FLAG_NEGATE)) {
        return;
    }
    if (!matched) {
        writeLog(formatText("valid: [%.256s] does not match any [%.256s]", rule.ruleText.c_str(),
                            rule.fieldType.c_str()),
                 LOG_HOLD);
    }
    matched = !matched;
}

// The compiled pattern of line `index`: the cached one under PRECOMPILE, else a
// fresh compile kept in `owned`. Null (with the two error lines) when it fails.
const pcre2_real_code_8* obtainPattern(FilterConfig& config, int32_t index,
                                       const std::string& patternText, const RuleLine& rule,
                                       CompiledPattern& owned) {
    CompiledPattern& cached = config.compiledPatterns[static_cast<size_t>(index)];
    if (filterOptions.precompile && cached) {
        return cached.get();
    }
    PatternCompileResult compiled = compilePattern(patternText.c_str());
    if (!compiled.pattern) {
        writeLog(formatText("error: cannot compile [%.256s]", rule.ruleText.c_str()), LOG_APPEND);
        writeLog(formatText("       failed at offset %d: %s", compiled.errorOffset,
                            compiled.errorText.c_str()),
                 LOG_APPEND);
        return nullptr;
    }
    if (filterOptions.precompile) {
        cached = std::move(compiled.pattern);
        return cached.get();
    }
    owned = std::move(compiled.pattern);
    return owned.get();
}

bool evaluateRule(FilterConfig& config, int32_t index, const RuleLine& rule,
                  const MessageView& message) {
    bool matched = false;
    if (rule.neverMatches) {
        return false;
    }
    std::string& patternText = scanState.patternCopy;
    patternText = rule.pattern;
    if (rule.flags & FLAG_HAS_STRING) {
        applyStringTest(rule, patternText, message, matched);
        applyNegation(rule, matched);
    }
    if (rule.flags & FLAG_HAS_PATTERN) {
        CompiledPattern owned;
        const pcre2_real_code_8* pattern = obtainPattern(config, index, patternText, rule, owned);
        if (pattern != nullptr) {
            applyPatternTest(rule, patternText, pattern, message, matched);
            applyNegation(rule, matched);
        }
    }
    return matched;
}

// A matching rule's status removal: it takes away the opposite verdict, the
// host's (unless SIMULATE) and the plug-in's own.
void removeOppositeStatus(const RuleLine& rule, MessageStatus* status, ScanRun& run) {
    if (!(rule.flags & FLAG_WHITELIST_RULE)) {
        if (status->whitelisted != 0) {
            writeLog("message was whitelisted by Vellmox: removing status", LOG_APPEND);
            if (!filterOptions.simulate) {
                status->whitelisted = 0;
            }
        }
        if (run.verdict & VERDICT_WHITELISTED) {
            writeLog("message was whitelisted by Cobbleweave: removing status", LOG_APPEND);
        }
        run.verdict &= ~VERDICT_WHITELISTED;
    } else {
        if (status->spam != 0) {
            writeLog("message was marked SPAM by Vellmox: removing status", LOG_APPEND);
            if (!filterOptions.simulate) {
                status->spam = 0;
            }
        }
        if (run.verdict & VERDICT_SPAM) {
            writeLog("message was marked SPAM by Cobbleweave: removing status", LOG_APPEND);
        }
        run.verdict &= ~VERDICT_SPAM;
    }
}

void decideRule(const RuleLine& rule, bool matched, FetchRecord& record, MessageStatus* status,
                ScanRun& run) {
    if (rule.flags & FLAG_CHAIN_WITH_NEXT) {
        run.chain = run.chain && matched;
        return;
    }
    if (matched && run.chain) {
        if (!rule.commentLine.empty()) {
            appendAddedLine(record, rule.commentLine);
        }
        if (rule.flags & FLAG_CLEAR_COMMENTS) {
            record.addedLines.clear();
        }
        if (rule.flags & FLAG_WHITELIST_RULE) {
            run.verdict |= VERDICT_WHITELISTED;
            writeLog("result: whitelist rule matches", LOG_FLUSH);
        } else {
            run.verdict |= VERDICT_SPAM;
            writeLog("result: regular rule matches", LOG_FLUSH);
        }
        if (filterOptions.traceLevel >= TRACE_CHECK) {
            writeLog("score: " + formatFixed1(rule.score), LOG_APPEND);
        }
        run.total += rule.score;
        if (rule.flags & FLAG_REMOVE_STATUS) {
            removeOppositeStatus(rule, status, run);
        }
        if (rule.flags & FLAG_STOP_AFTER_MATCH) {
            run.stopped = true;
        }
    }
    run.chain = true;
    writeLog("", LOG_DISCARD);
    writeLog("--- New match (" + run.matchId + "):", LOG_HOLD);
}

// A line bounded to the record's 256-byte field, keeping its line end.
std::string boundedRecordLine(std::string line) {
    if (line.size() >= RECORD_LINE_SIZE) {
        line.resize(RECORD_LINE_SIZE - 3);
        line += "\r\n";
    }
    return line;
}

void decideVerdict(FetchRecord& record, MessageStatus* status, ScanRun& run) {
    writeLog("", LOG_DISCARD);
    const std::string total = formatFixed1(run.total);
    const std::string spamThreshold = formatFixed1(filterOptions.thresholdSpam);
    if (run.verdict & VERDICT_SPAM) {
        if (run.total > filterOptions.thresholdSpam) {
            writeLog("score (spam, marked): " + total + " > (threshold=" + spamThreshold + ")");
        } else {
            writeLog("score (spam, ignored): " + total + " <= (threshold=" + spamThreshold + ")");
            run.verdict &= ~VERDICT_SPAM;
        }
        if (filterOptions.thresholdSuspect >= 0.0) {
            if (run.total > filterOptions.thresholdSpam) {
                record.warningLine = boundedRecordLine("X-Quelt-Warning: spam (" + total + " > " +
                                                       spamThreshold + ")\r\n");
            } else if (run.total > filterOptions.thresholdSuspect) {
                const std::string suspectThreshold = formatFixed1(filterOptions.thresholdSuspect);
                writeLog("score (suspect): " + total + " > (threshold=" + suspectThreshold + ")");
                record.warningLine = boundedRecordLine("X-Quelt-Warning: suspect (" + total +
                                                       " > " + suspectThreshold + ")\r\n");
            }
        }
    }
    if (run.verdict & VERDICT_WHITELISTED) {
        const std::string threshold = formatFixed1(filterOptions.thresholdWhitelisted);
        if (run.total < filterOptions.thresholdWhitelisted) {
            writeLog("score (whitelisted, marked): " + total + " < (threshold=" + threshold + ")");
        } else {
            writeLog("score (whitelisted, ignored): " + total + " >= (threshold=" + threshold +
                     ")");
            run.verdict &= ~VERDICT_WHITELISTED;
        }
    }
    record.scoreLine = boundedRecordLine("X-Quelt-Score: " + total + "\r\n");
    applyStatusTag(run.verdict, run.matchId, status);
}

// True when the run reached the verdict.
bool scanMessage(const char* const* headerLines, int32_t headerCount, platform::BodyFile body,
                 FetchRecord& record, MessageStatus* status, FilterConfig& config) {
    record.addedLines.clear();
    record.scoreLine.clear();
    record.warningLine.clear();

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

    std::unique_ptr<MessageTexts> nestedTexts;
    if (scanState.activeRuns > 0) {
        nestedTexts = std::make_unique<MessageTexts>();
    }
    ActiveRun active;
    MessageTexts& texts = nestedTexts ? *nestedTexts : scanState.texts;
    if (!buildHeaderTexts(headerLines, headerCount, texts)) {
        return false;
    }
    loadMessageBody(headerLines, headerCount, body, texts);
    const MessageView message{headerLines, headerCount, &texts, status};

    ScanRun run;
    run.matchId = "ID#" + makeMatchId();
    writeLog("--- New match (" + run.matchId + "):", LOG_HOLD);

    RuleLine& rule = scanState.rule;
    for (int32_t index = 0; index < config.lineCount() && !run.stopped; ++index) {
        platform::pumpWindowMessages();
        if (!readRuleLine(config.lineTexts[static_cast<size_t>(index)].c_str(), rule)) {
            continue;
        }
        bool matched = evaluateRule(config, index, rule, message);
        decideRule(rule, matched, record, status, run);
        if (filterOptions.fastScan && (run.verdict & VERDICT_SPAM) &&
            run.total > filterOptions.thresholdSpam) {
            writeLog("FASTSCAN evaluated", LOG_APPEND);
            break;
        }
    }
    decideVerdict(record, status, run);
    return true;
}

}  // namespace

void filterOnMessageBody(const char* const* headerLines, int32_t headerCount,
                         platform::BodyFile body, int32_t fetchId, MessageStatus* status,
                         int32_t configHandle) {
    bool reachedVerdict = false;
    {
        platform::LockGuard lock(moduleState.fetchLock);
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
