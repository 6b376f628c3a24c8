#include "cobbleweave_scan/hit_report.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>

#include "cobbleweave_scan/report.h"

namespace cw::scantool {

namespace {

constexpr size_t SHOWN_RULE_TEXT = 60;

std::string printed(const char* format, auto... values) {
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

double shareOf(uint32_t part, uint32_t whole) {
    return whole == 0 ? 0.0 : static_cast<double>(part) / whole;
}

std::string percent(double share) {
    return printed("%6.2f%%", share * 100.0);
}

std::string jsonNumber(double value) {
    return printed("%.6g", value);
}

std::string jsonIds(const std::vector<size_t>& ids) {
    std::string json = "[";
    for (size_t id : ids) {
        if (json.size() > 1) {
            json += ',';
        }
        json += std::to_string(id);
    }
    return json + "]";
}

struct Findings {
    std::vector<size_t> neverHit;
    std::vector<size_t> againstScore;
};

Findings findingsOf(const HitStatistics& statistics, const std::vector<RuleTally>& tallies) {
    Findings findings;
    for (const RuleTally& tally : tallies) {
        if (!tally.hit) {
            findings.neverHit.push_back(tally.rule);
        } else if (worksAgainstItsScore(tally, statistics.index.rules[tally.rule].score)) {
            findings.againstScore.push_back(tally.rule);
        }
    }
    return findings;
}

void appendRuleList(std::string& text, const std::string& title, const std::vector<size_t>& ids,
                    const HitStatistics& statistics, const std::vector<RuleTally>& tallies) {
    text += title + " (" + std::to_string(ids.size()) + ")" + (ids.empty() ? ": none\n" : ":\n");
    for (size_t id : ids) {
        text += "  " + ruleName(statistics.index.rules[id]);
        if (tallies[id].hit) {
            text += " (spam" + percent(tallies[id].share[LABEL_SPAM]) + ", ham" +
                    percent(tallies[id].share[LABEL_HAM]) + ")";
        }
        text += "\n";
    }
}

std::string thresholdJson(const std::string& printedValue) {
    double value = 0.0;
    const char* end = printedValue.data() + printedValue.size();
    auto [stop, failure] = std::from_chars(printedValue.data(), end, value);
    return printedValue.empty() || failure != std::errc() || stop != end ? "null" : printedValue;
}

std::string foldersJson(const std::vector<InputFolder>& folders) {
    std::string json = "[";
    for (const InputFolder& folder : folders) {
        json +=
            std::string(json.size() > 1 ? ",\n" : "\n") + "{\"path\":" + jsonString(folder.path);
        json += ",\"label\":" + jsonString(labelName(folder.label));
        json += ",\"messages\":" + std::to_string(folder.messageCount);
        json += ",\"markedSpam\":" + std::to_string(folder.markedSpam);
        json +=
            std::string(folder.label == LABEL_SPAM ? ",\"recall\":" : ",\"falsePositiveRate\":") +
            jsonNumber(shareOf(folder.markedSpam, folder.messageCount)) + "}";
    }
    return json + "]";
}

}  // namespace

std::string ruleName(const IndexedRule& rule) {
    std::string place = rule.line > 0 ? fileName(rule.file) + ":" + std::to_string(rule.line)
                                      : std::string("(in no rule file)");
    if (!rule.comment.empty()) {
        return place + " [" + rule.comment + "]";
    }
    std::string text = rule.text.size() > SHOWN_RULE_TEXT
                           ? rule.text.substr(0, SHOWN_RULE_TEXT - 3) + "..."
                           : rule.text;
    return place + " " + text;
}

std::string markedShareText(MailLabel label, uint32_t marked, uint32_t messages) {
    return printed(label == LABEL_SPAM ? "recall %.2f%%" : "false positives %.2f%%",
                   shareOf(marked, messages) * 100.0);
}

std::vector<RuleTally> tallyRules(const HitStatistics& statistics) {
    std::vector<RuleTally> tallies(statistics.index.rules.size());
    for (size_t rule = 0; rule < tallies.size(); ++rule) {
        tallies[rule].rule = rule;
    }
    for (const LabelledMessage& message : statistics.messages) {
        for (size_t rule : message.hits.rules) {
            ++tallies[rule].hits[message.label];
        }
    }
    const LabelTotals totals = totalsPerLabel(statistics.folders);
    for (RuleTally& tally : tallies) {
        for (int label = 0; label < LABEL_KINDS; ++label) {
            tally.share[label] = shareOf(tally.hits[label], totals.messages[label]);
        }
        tally.hit = tally.hits[LABEL_SPAM] + tally.hits[LABEL_HAM] > 0;
        double shares = tally.share[LABEL_SPAM] + tally.share[LABEL_HAM];
        tally.spamRatio = shares > 0.0 ? tally.share[LABEL_SPAM] / shares : 0.0;
    }
    return tallies;
}

std::vector<RuleTally> sortedForReport(std::vector<RuleTally> tallies) {
    std::stable_sort(tallies.begin(), tallies.end(), [](const RuleTally& a, const RuleTally& b) {
        if (a.hit != b.hit) {
            return a.hit;
        }
        if (a.spamRatio != b.spamRatio) {
            return a.spamRatio > b.spamRatio;
        }
        if (a.hits[LABEL_SPAM] != b.hits[LABEL_SPAM]) {
            return a.hits[LABEL_SPAM] > b.hits[LABEL_SPAM];
        }
        return a.hits[LABEL_HAM] < b.hits[LABEL_HAM];
    });
    return tallies;
}

bool worksAgainstItsScore(const RuleTally& tally, double score) {
    return (score > 0.0 && tally.share[LABEL_HAM] > tally.share[LABEL_SPAM]) ||
           (score < 0.0 && tally.share[LABEL_SPAM] > tally.share[LABEL_HAM]);
}

std::string formatHitReport(const HitStatistics& statistics) {
    std::vector<RuleTally> tallies = tallyRules(statistics);
    const LabelTotals totals = totalsPerLabel(statistics.folders);
    const uint32_t* counted = totals.messages.data();
    const uint32_t* marked = totals.markedSpam.data();
    std::string text = printed(
        "Rules that score, in %u spam and %u ham messages, by S/O = spam%% / (spam%% + ham%%):\n\n",
        counted[LABEL_SPAM], counted[LABEL_HAM]);
    text += "  spam    spam%    ham     ham%    S/O  score  rule\n";
    for (const RuleTally& tally : sortedForReport(tallies)) {
        const IndexedRule& rule = statistics.index.rules[tally.rule];
        std::string ratio = tally.hit ? printed("%6.3f", tally.spamRatio) : "     -";
        text += printed("%6u  %s  %5u  %s  %s  %5.1f  ", tally.hits[LABEL_SPAM],
                        percent(tally.share[LABEL_SPAM]).c_str(), tally.hits[LABEL_HAM],
                        percent(tally.share[LABEL_HAM]).c_str(), ratio.c_str(), rule.score);
        text += ruleName(rule) + "\n";
    }
    Findings findings = findingsOf(statistics, tallies);
    text += "\n";
    appendRuleList(text, "Never hit", findings.neverHit, statistics, tallies);
    appendRuleList(text,
                   "Hit against their score (more ham than spam, or more spam than ham "
                   "for a negative score)",
                   findings.againstScore, statistics, tallies);

    std::string threshold = statistics.spamThreshold.empty()
                                ? std::string("the configured thresholds")
                                : "THRESHOLD_SPAM " + statistics.spamThreshold;
    text += "\nVerdicts at " + threshold + ":\n";
    for (int label = 0; label < LABEL_KINDS; ++label) {
        text += printed("  %-4s %6u of %5u marked as spam: ", labelName(MailLabel(label)),
                        marked[label], counted[label]) +
                markedShareText(MailLabel(label), marked[label], counted[label]) + "\n";
    }
    text += "Per folder:\n";
    for (const InputFolder& folder : statistics.folders) {
        text += printed("  %-4s %6u of %5u marked as spam: ", labelName(folder.label),
                        folder.markedSpam, folder.messageCount) +
                markedShareText(folder.label, folder.markedSpam, folder.messageCount) + "  " +
                folder.path + "\n";
    }
    return text;
}

std::string formatHitReportJson(const HitStatistics& statistics) {
    std::vector<RuleTally> tallies = tallyRules(statistics);
    const LabelTotals totals = totalsPerLabel(statistics.folders);
    const uint32_t* counted = totals.messages.data();
    const uint32_t* marked = totals.markedSpam.data();
    std::string json = "{\"messages\":{\"spam\":" + std::to_string(counted[LABEL_SPAM]) +
                       ",\"ham\":" + std::to_string(counted[LABEL_HAM]) + "}";
    json += ",\"markedSpam\":{\"spam\":" + std::to_string(marked[LABEL_SPAM]) +
            ",\"ham\":" + std::to_string(marked[LABEL_HAM]) + "}";
    json += ",\"recall\":" + jsonNumber(shareOf(marked[LABEL_SPAM], counted[LABEL_SPAM]));
    json += ",\"falsePositiveRate\":" + jsonNumber(shareOf(marked[LABEL_HAM], counted[LABEL_HAM]));
    json += ",\"spamThreshold\":" + thresholdJson(statistics.spamThreshold);
    json += ",\"rules\":[";
    for (const RuleTally& tally : tallies) {
        const IndexedRule& rule = statistics.index.rules[tally.rule];
        json +=
            std::string(tally.rule > 0 ? ",\n" : "\n") + "{\"id\":" + std::to_string(tally.rule);
        json += ",\"file\":" + (rule.line > 0 ? jsonString(rule.file) : std::string("null"));
        json += ",\"line\":" + (rule.line > 0 ? std::to_string(rule.line) : std::string("null"));
        json += ",\"comment\":" + jsonString(rule.comment);
        json += ",\"rule\":" + jsonString(rule.text);
        json += ",\"score\":" + jsonNumber(rule.score);
        json += ",\"spamHits\":" + std::to_string(tally.hits[LABEL_SPAM]);
        json += ",\"hamHits\":" + std::to_string(tally.hits[LABEL_HAM]);
        json += ",\"spamShare\":" + jsonNumber(tally.share[LABEL_SPAM]);
        json += ",\"hamShare\":" + jsonNumber(tally.share[LABEL_HAM]);
        json += ",\"spamRatio\":" + (tally.hit ? jsonNumber(tally.spamRatio) : "null") + "}";
    }
    Findings findings = findingsOf(statistics, tallies);
    json += "],\"neverHit\":" + jsonIds(findings.neverHit);
    json += ",\"againstScore\":" + jsonIds(findings.againstScore);
    json += ",\"folders\":" + foldersJson(statistics.folders);
    json += ",\"scans\":[";
    for (size_t index = 0; index < statistics.messages.size(); ++index) {
        const LabelledMessage& message = statistics.messages[index];
        json += std::string(index > 0 ? ",\n" : "\n") + "{\"file\":" + jsonString(message.name);
        json += ",\"folder\":" + std::to_string(message.folder);
        json += ",\"label\":" + jsonString(labelName(message.label));
        json += ",\"score\":" + printed("%.1f", message.hits.total);
        json += std::string(",\"markedSpam\":") + (message.hits.markedSpam ? "true" : "false");
        json += std::string(",\"markedWhitelisted\":") +
                (message.hits.markedWhitelisted ? "true" : "false");
        json += ",\"hits\":" + jsonIds(message.hits.rules) + "}";
    }
    return json + "]}\n";
}

}  // namespace cw::scantool
