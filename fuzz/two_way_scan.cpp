#include "two_way_scan.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "config/config_table.h"
#include "engine/rule_set.h"

namespace fuzzhost {

namespace {

// "DD Mon YY  HH:MM:SS  " in front of every log line.
constexpr size_t STAMP_LENGTH = 21;
// "ID#" + day of the year, time of day + "-" + sequence number.
constexpr std::string_view MATCH_ID_MARK = "ID#";
constexpr size_t MATCH_ID_LENGTH = 12;

bool isTimeStamp(std::string_view line) {
    return line.size() >= STAMP_LENGTH && line[2] == ' ' && line[6] == ' ' &&
           line.substr(9, 2) == "  " && line[13] == ':' && line[16] == ':' &&
           line.substr(19, 2) == "  ";
}

bool isMatchId(std::string_view text) {
    if (text.size() < MATCH_ID_LENGTH) {
        return false;
    }
    for (size_t i = 0; i < MATCH_ID_LENGTH; ++i) {
        bool wanted = i == 9 ? text[i] == '-' : (text[i] >= '0' && text[i] <= '9');
        if (!wanted) {
            return false;
        }
    }
    return true;
}

std::string withMatchIdsMasked(std::string text) {
    for (size_t at = text.find(MATCH_ID_MARK); at != std::string::npos;
         at = text.find(MATCH_ID_MARK, at + MATCH_ID_MARK.size())) {
        size_t id = at + MATCH_ID_MARK.size();
        if (isMatchId(std::string_view(text).substr(id))) {
            text.replace(id, MATCH_ID_LENGTH, "<id>");
        }
    }
    return text;
}

std::string maskedLog(std::string_view log) {
    std::string masked;
    masked.reserve(log.size());
    while (!log.empty()) {
        size_t end = log.find('\n');
        end = end == std::string_view::npos ? log.size() : end + 1;
        std::string_view line = log.substr(0, end);
        masked.append(isTimeStamp(line) ? line.substr(STAMP_LENGTH) : line);
        log.remove_prefix(end);
    }
    return withMatchIdsMasked(std::move(masked));
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string statusText(const cw::MessageStatus& status) {
    std::ostringstream text;
    text << "spam " << status.spam << ", whitelisted " << status.whitelisted << ", reserved "
         << status.reserved1 << " " << status.reserved2[0] << " " << status.reserved2[1]
         << ", verdictSet " << status.verdictSet << ", verdictCode " << status.verdictCode
         << ", tag ["
         << withMatchIdsMasked(
                std::string(status.tagText, strnlen(status.tagText, sizeof status.tagText)))
         << "]";
    return text.str();
}

// The first line where two texts differ, both versions quoted.
std::string firstDifferentLine(const char* what, const std::string& shortcuts,
                               const std::string& reference) {
    std::istringstream a(shortcuts);
    std::istringstream b(reference);
    std::string lineA;
    std::string lineB;
    for (size_t number = 1;; ++number) {
        bool moreA = static_cast<bool>(std::getline(a, lineA));
        bool moreB = static_cast<bool>(std::getline(b, lineB));
        if (!moreA && !moreB) {
            return std::string(what) + " differs in its last byte\n";
        }
        if (!moreA || !moreB || lineA != lineB) {
            return std::string(what) + " differs at line " + std::to_string(number) +
                   "\n  with shortcuts: " + (moreA ? lineA : "(ends)") +
                   "\n  reference:      " + (moreB ? lineB : "(ends)") + "\n";
        }
    }
}

bool cutByTime(const ScanOutcome& outcome) {
    return outcome.log.find("took more than") != std::string::npos;
}

}  // namespace

TwoWayConfig loadTwoWays(const std::string& folder) {
    TwoWayConfig config;
    config.folder = folder;
    config.withShortcuts = loadConfig(folder.c_str());
    config.reference = cw::loadConfig(folder.c_str(), cw::compileReferenceRuleSet);
    require(config.withShortcuts > 0 && config.reference > 0, "loadConfig refused a folder");
    return config;
}

void releaseTwoWays(const TwoWayConfig& config) {
    releaseConfig(config.withShortcuts);
    releaseConfig(config.reference);
}

ScanOutcome scanForOutcome(int32_t handle, const std::string& folder,
                           const std::vector<std::string>& headerLines, std::string_view body,
                           HostVerdict incoming) {
    const std::string logPath = folder + "cobbleweave.log";
    std::remove(logPath.c_str());
    HostAnswer answer = scanMessage(handle, headerLines, body, incoming);
    ScanOutcome outcome;
    outcome.status = statusText(answer.status);
    outcome.addedLines = std::move(answer.addedLines);
    outcome.log = maskedLog(readFile(logPath));
    return outcome;
}

TwoWayResult scanTwoWays(const TwoWayConfig& config, const std::vector<std::string>& headerLines,
                         std::string_view body, HostVerdict incoming) {
    ScanOutcome shortcuts =
        scanForOutcome(config.withShortcuts, config.folder, headerLines, body, incoming);
    ScanOutcome reference =
        scanForOutcome(config.reference, config.folder, headerLines, body, incoming);
    TwoWayResult result;
    result.cutByTime = cutByTime(shortcuts) || cutByTime(reference);
    for (size_t at = shortcuts.log.find("result: "); at != std::string::npos;
         at = shortcuts.log.find("result: ", at + 1)) {
        ++result.matchedRules;
    }
    if (shortcuts.status != reference.status) {
        result.difference += "status record differs\n  with shortcuts: " + shortcuts.status +
                             "\n  reference:      " + reference.status + "\n";
    }
    if (shortcuts.addedLines != reference.addedLines) {
        result.difference +=
            firstDifferentLine("added lines", shortcuts.addedLines, reference.addedLines);
    }
    if (shortcuts.log != reference.log) {
        result.difference += firstDifferentLine("log", shortcuts.log, reference.log);
    }
    return result;
}

void requireSameBothWays(const TwoWayResult& result) {
    if (!result.cutByTime && !result.difference.empty()) {
        std::fprintf(stderr, "%s", result.difference.c_str());
        require(false, "the shortcuts changed the scan");
    }
}

}  // namespace fuzzhost
