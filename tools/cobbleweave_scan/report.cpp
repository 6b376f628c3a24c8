#include "cobbleweave_scan/report.h"

#include <algorithm>
#include <cstdio>

namespace cw::scantool {

namespace {

constexpr std::string_view SCORE_LINE = "X-Quelt-Score: ";

std::string orDash(const std::string& text) {
    return text.empty() ? "-" : text;
}

// The added lines one by one, without their line ends.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
    while (!text.empty()) {
        size_t feed = text.find('\n');
        std::string_view line = text.substr(0, feed);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        visit(line);
        text = feed == std::string_view::npos ? std::string_view() : text.substr(feed + 1);
    }
}

// A score the plug-in printed with one decimal: an optional minus, digits, a point, digits.
bool isPlainDecimal(std::string_view text) {
    size_t digitsBefore = 0;
    size_t position = text.starts_with('-') ? 1 : 0;
    for (; position < text.size() && text[position] >= '0' && text[position] <= '9'; ++position) {
        ++digitsBefore;
    }
    if (digitsBefore == 0) {
        return false;
    }
    if (position == text.size()) {
        return true;
    }
    if (text[position] != '.' || position + 1 == text.size()) {
        return false;
    }
    for (++position; position < text.size(); ++position) {
        if (text[position] < '0' || text[position] > '9') {
            return false;
        }
    }
    return true;
}

// Length of the valid UTF-8 sequence at the start of `text`, 0 when there is none.
size_t utf8SequenceLength(std::string_view text) {
    auto byte = [&](size_t index) { return static_cast<unsigned char>(text[index]); };
    unsigned char lead = byte(0);
    size_t length;
    uint32_t lowest;
    uint32_t code;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, lowest = 0x80, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, lowest = 0x800, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, lowest = 0x10000, code = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (size_t index = 1; index < length; ++index) {
        if ((byte(index) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(index) & 0x3F);
    }
    bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < lowest || surrogate || code > 0x10FFFF ? 0 : length;
}

}  // namespace

std::string messageName(const Message& message) {
    return message.mboxNumber > 0 ? message.source + "#" + std::to_string(message.mboxNumber)
                                  : message.source;
}

void printProblem(const std::string& problem) {
    std::fflush(stdout);
    std::fprintf(stderr, "cobbleweave-scan: %s\n", problem.c_str());
}

const char* verdictName(Verdict verdict) {
    switch (verdict) {
        case VERDICT_SPAM:
            return "spam";
        case VERDICT_WHITELISTED:
            return "whitelisted";
        case VERDICT_BOTH:
            return "both";
        default:
            return "none";
    }
}

Verdict verdictOf(const ScanOutcome& outcome) {
    if (outcome.spam != 0 && outcome.whitelisted != 0) {
        return VERDICT_BOTH;
    }
    if (outcome.spam != 0) {
        return VERDICT_SPAM;
    }
    return outcome.whitelisted != 0 ? VERDICT_WHITELISTED : VERDICT_NONE;
}

std::string scoreOf(std::string_view addedLines) {
    std::string score;
    forEachLine(addedLines, [&](std::string_view line) {
        if (score.empty() && line.starts_with(SCORE_LINE)) {
            score = line.substr(SCORE_LINE.size());
        }
    });
    return score;
}

std::string formatTextResult(const Message& message, const ScanOutcome& outcome,
                             bool withAddedLines) {
    std::string text = messageName(message) + "\t" + verdictName(verdictOf(outcome)) + "\t" +
                       orDash(scoreOf(outcome.addedLines)) + "\t" + orDash(outcome.tagText) + "\n";
    if (withAddedLines) {
        forEachLine(outcome.addedLines,
                    [&](std::string_view line) { text.append("    ").append(line).append("\n"); });
    }
    return text;
}

std::string formatJsonResult(const Message& message, const ScanOutcome& outcome) {
    std::string score = scoreOf(outcome.addedLines);
    std::string text = "{\"file\":" + jsonString(message.source);
    text += ",\"message\":" +
            (message.mboxNumber > 0 ? std::to_string(message.mboxNumber) : std::string("null"));
    text += ",\"verdict\":" + jsonString(verdictName(verdictOf(outcome)));
    text += ",\"score\":" + (isPlainDecimal(score) ? score : std::string("null"));
    text += ",\"tag\":" + jsonString(outcome.tagText);
    text += std::string(",\"bodyFiltering\":") + (outcome.bodyFilteringWanted ? "true" : "false");
    text += ",\"addedLines\":" + jsonString(outcome.addedLines);
    text += "}\n";
    return text;
}

std::string jsonString(std::string_view text) {
    std::string json = "\"";
    for (size_t position = 0; position < text.size();) {
        unsigned char byte = static_cast<unsigned char>(text[position]);
        if (byte >= 0x80) {
            size_t length = utf8SequenceLength(text.substr(position));
            if (length > 0) {
                json.append(text.substr(position, length));
                position += length;
                continue;
            }
        }
        ++position;
        switch (byte) {
            case '"':
                json += "\\\"";
                break;
            case '\\':
                json += "\\\\";
                break;
            case '\n':
                json += "\\n";
                break;
            case '\r':
                json += "\\r";
                break;
            case '\t':
                json += "\\t";
                break;
            default:
                if (byte < 0x20 || byte >= 0x80) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(byte));
                    json += escape;
                } else {
                    json += static_cast<char>(byte);
                }
        }
    }
    return json + "\"";
}

std::string formatSummary(const Tally& tally, uint64_t elapsedMicroseconds) {
    uint64_t perSecond =
        tally.messages * uint64_t{1000000} / std::max<uint64_t>(elapsedMicroseconds, 1);
    char text[256];
    std::snprintf(text, sizeof text,
                  "%u message%s: %u spam, %u whitelisted, %u both, %u none; %llu.%03llu s, "
                  "%llu messages/s",
                  tally.messages, tally.messages == 1 ? "" : "s", tally.verdicts[VERDICT_SPAM],
                  tally.verdicts[VERDICT_WHITELISTED], tally.verdicts[VERDICT_BOTH],
                  tally.verdicts[VERDICT_NONE],
                  static_cast<unsigned long long>(elapsedMicroseconds / 1000000),
                  static_cast<unsigned long long>(elapsedMicroseconds / 1000 % 1000),
                  static_cast<unsigned long long>(perSecond));
    std::string summary = text;
    if (tally.failedInputs > 0) {
        summary += "; " + std::to_string(tally.failedInputs) +
                   (tally.failedInputs == 1 ? " input" : " inputs") + " could not be read";
    }
    return summary + "\n";
}

}  // namespace cw::scantool
