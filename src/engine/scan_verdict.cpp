#include "engine/scan_verdict.h"

#include <algorithm>
#include <limits>
#include <string>
#include <string_view>

#include "base/filter_options.h"
#include "base/log_writer.h"
#include "common/number_text.h"
#include "config/statistics.h"
#include "engine/added_lines.h"

namespace cw {

namespace {

// Takes one verdict away: the host's flag (unless SIMULATE) and the plug-in's
// own bit, each with its log line.
void removeVerdict(int32_t& hostFlag, int verdictBit, const char* marked, ScanContext& scan) {
    if (hostFlag != 0) {
        writeLog(formatText("message was %s by Vellmox: removing status", marked), LOG_APPEND);
        if (!filterOptions.simulate) {
            hostFlag = 0;
        }
    }
    if (scan.verdict & verdictBit) {
        writeLog(formatText("message was %s by Cobbleweave: removing status", marked), LOG_APPEND);
    }
    scan.verdict &= ~verdictBit;
}

// A matching rule's status removal: it takes away the opposite verdict.
void removeOppositeStatus(uint32_t flags, ScanContext& scan) {
    if (!(flags & FLAG_WHITELIST_RULE)) {
        removeVerdict(scan.status->whitelisted, VERDICT_WHITELISTED, "whitelisted", scan);
    } else {
        removeVerdict(scan.status->spam, VERDICT_SPAM, "marked SPAM", scan);
    }
}

}  // namespace

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

namespace {

// A line bounded to the record's 256-byte field, keeping its line end.
std::string boundedRecordLine(std::string line) {
    if (line.size() >= RECORD_LINE_SIZE) {
        line.resize(RECORD_LINE_SIZE - 3);
        line += "\r\n";
    }
    return line;
}

}  // namespace

void logCutRules(const MessageBudget& budget) {
    if (budget.cutRules.empty()) {
        return;
    }
    std::string named;
    for (size_t i = 0; i < budget.cutRules.size() && i < CUT_RULES_QUOTED; ++i) {
        const std::string_view text = budget.cutRules[i];
        named += formatText(" [%.*s]", static_cast<int>(std::min<size_t>(text.size(), 256)),
                            text.data());
    }
    if (budget.cutRules.size() > CUT_RULES_QUOTED) {
        named += formatText(" and %u more",
                            static_cast<unsigned>(budget.cutRules.size() - CUT_RULES_QUOTED));
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
    countPluginVerdict((scan.verdict & VERDICT_SPAM) != 0,
                       (scan.verdict & VERDICT_WHITELISTED) != 0);
    applyStatusTag(scan.verdict, scan.matchId, scan.status);
}

}  // namespace cw
