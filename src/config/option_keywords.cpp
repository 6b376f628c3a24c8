#include "config/option_keywords.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "base/filter_options.h"
#include "base/log_writer.h"
#include "common/number_text.h"
#include "common/text_ops.h"

namespace cw {

namespace {

constexpr int32_t MAX_COMMENT_LOWEST = 100;
constexpr int32_t MAX_COMMENT_HIGHEST = 4096;
constexpr int32_t MAX_SIZE_LOWEST = 1024;
constexpr int32_t MAX_SIZE_HIGHEST = 131072;
constexpr int32_t MAX_LOG_SIZE_LOWEST = 10240;
constexpr int32_t MAX_LOG_SIZE_HIGHEST = 10485760;
constexpr int32_t LOWEST_BLOCK = 1;
constexpr int32_t HIGHEST_BLOCK = 32;

void setSwitch(Setting<bool>& setting, bool on, const char* logLine) {
    setting = on;
    writeLog(logLine);
}

void setTraceLevel(int32_t level, const char* logLine) {
    filterOptions.traceLevel = level;
    writeLog(logLine);
}

// An empty argument keeps the current value, which is still clamped.
void setInteger(Setting<int32_t>& setting, const std::string& argument, int32_t lowest,
                int32_t highest) {
    if (!argument.empty()) {
        setting = readLeadingInteger(argument.c_str());
    }
    setting = std::clamp(setting.get(), lowest, highest);
}

void setThreshold(Setting<double>& setting, const std::string& argument, const char* logPrefix) {
    if (!argument.empty()) {
        setting = readLeadingDecimal(argument.c_str());
    }
    writeLog(logPrefix + formatFixed1(setting));
}

// Applies every comma-separated block number of `argument`; returns how many
// were in range. Empty items (two commas in a row) are no items.
int applyBlockItems(const std::string& argument, bool enable) {
    int inRange = 0;
    size_t start = 0;
    while (start <= argument.size()) {
        size_t comma = argument.find(',', start);
        if (comma == std::string::npos) {
            comma = argument.size();
        }
        if (comma > start) {
            std::string item = argument.substr(start, comma - start);
            int32_t block = readLeadingInteger(item.c_str());
            if (block >= LOWEST_BLOCK && block <= HIGHEST_BLOCK) {
                uint32_t bit = uint32_t{1} << (block - 1);
                if (enable) {
                    filterOptions.blockMask |= bit;
                    writeLog(formatText("conditional block enabled: %d", block));
                } else {
                    filterOptions.blockMask &= ~bit;
                    writeLog(formatText("conditional block disabled: %d", block));
                }
                ++inRange;
            } else {
                writeLog(
                    formatText("warning: conditional block value out of range (0-32): %d", block));
            }
        }
        start = comma + 1;
    }
    return inRange;
}

using enum OptionArgument;

// The order decides between keywords that begin alike.
const OptionKeyword OPTION_KEYWORDS[] = {
    {"CHECKPREVIEW", NONE,
     [](const std::string&) {
         setSwitch(filterOptions.checkPreview, true, "check previewed messages enabled");
     }},
    {"NOCHECKPREVIEW", NONE,
     [](const std::string&) {
         setSwitch(filterOptions.checkPreview, false, "check previewed messages disabled");
     }},
    {"SIMULATE", NONE,
     [](const std::string&) {
         setSwitch(filterOptions.simulate, true, "simulation mode enabled");
     }},
    {"NOSIMULATE", NONE,
     [](const std::string&) {
         setSwitch(filterOptions.simulate, false, "simulation mode disabled");
     }},
    {"PRECOMPILE", NONE,
     [](const std::string&) {
         setSwitch(filterOptions.precompile, true, "precompilation mode enabled");
     }},
    {"NOPRECOMPILE", NONE,
     [](const std::string&) {
         setSwitch(filterOptions.precompile, false, "precompilation mode disabled");
     }},
    {"KEEPLOGFILE", NONE,
     [](const std::string&) {
         setSwitch(filterOptions.keepLogFile, true, "keep logfile enabled");
     }},
    {"NOKEEPLOGFILE", NONE,
     [](const std::string&) {
         setSwitch(filterOptions.keepLogFile, false, "keep logfile disabled");
     }},
    {"TEXTONLY", NONE,
     [](const std::string&) {
         setSwitch(filterOptions.textOnly, true, "check text only mode enabled");
     }},
    {"NOTEXTONLY", NONE,
     [](const std::string&) {
         setSwitch(filterOptions.textOnly, false, "check text only mode disabled");
     }},
    {"ADDSCORE", NONE,
     [](const std::string&) {
         setSwitch(filterOptions.addScore, true, "score line generation enabled");
     }},
    {"NOADDSCORE", NONE,
     [](const std::string&) {
         setSwitch(filterOptions.addScore, false, "score line generation disabled");
     }},
    {"SHOWVALUE", NONE,
     [](const std::string&) {
         setSwitch(filterOptions.showValue, true, "score value will be added to score lines");
     }},
    {"NOSHOWVALUE", NONE,
     [](const std::string&) {
         setSwitch(filterOptions.showValue, false, "score value will not be added to score lines");
     }},
    {"FASTSCAN", NONE,
     [](const std::string&) { setSwitch(filterOptions.fastScan, true, "FastScan enabled"); }},
    {"NOFASTSCAN", NONE,
     [](const std::string&) { setSwitch(filterOptions.fastScan, false, "FastScan disabled"); }},
    {"COMMENT", NONE,
     [](const std::string&) {
         setSwitch(filterOptions.comment, true, "add user comments enabled");
     }},
    {"NOCOMMENT", NONE,
     [](const std::string&) {
         setSwitch(filterOptions.comment, false, "add user comments disabled");
     }},
    {"PROFILE", NONE,
     [](const std::string&) { setSwitch(filterOptions.profile, true, "profile enabled"); }},
    {"NOPROFILE", NONE,
     [](const std::string&) { setSwitch(filterOptions.profile, false, "profile disabled"); }},
    {"QUIET", NONE, [](const std::string&) { setTraceLevel(TRACE_QUIET, "quiet enabled"); }},
    {"CHECK", NONE, [](const std::string&) { setTraceLevel(TRACE_CHECK, "check enabled"); }},
    {"DEBUG", NONE, [](const std::string&) { setTraceLevel(TRACE_DEBUG, "debug enabled"); }},
    {"WHITELIST", NONE,
     [](const std::string&) {
         setSwitch(filterOptions.whitelist, true, "whitelist mode enabled");
     }},
    {"NOWHITELIST", NONE,
     [](const std::string&) {
         setSwitch(filterOptions.whitelist, false, "whitelist mode disabled");
     }},
    {"USEBLOCK", BLOCK_LIST,
     [](const std::string& argument) {
         filterOptions.useBlock = true;
         applyBlockItems(argument, true);
     }},
    {"NOUSEBLOCK", BLOCK_LIST,
     [](const std::string& argument) {
         if (applyBlockItems(argument, false) == 0) {
             filterOptions.useBlock = false;
         }
     }},
    {"MAXCOMMENT", NUMBER,
     [](const std::string& argument) {
         setInteger(filterOptions.maxComment, argument, MAX_COMMENT_LOWEST, MAX_COMMENT_HIGHEST);
         writeLog(
             formatText("max space reserved for comments: %d", filterOptions.maxComment.get()));
     }},
    {"MAXLINES", NUMBER,
     [](const std::string& argument) {
         setInteger(filterOptions.maxLines, argument, 0, std::numeric_limits<int32_t>::max());
         writeLog(formatText("scanning max. %d lines (0=unlimited)", filterOptions.maxLines.get()));
     }},
    {"MAXSIZE", NUMBER,
     [](const std::string& argument) {
         setInteger(filterOptions.maxSize, argument, MAX_SIZE_LOWEST, MAX_SIZE_HIGHEST);
         writeLog(formatText("scanning max. %d bytes", filterOptions.maxSize.get()));
     }},
    {"MAXLOGSIZE", NUMBER,
     [](const std::string& argument) {
         setInteger(filterOptions.maxLogSize, argument, MAX_LOG_SIZE_LOWEST, MAX_LOG_SIZE_HIGHEST);
         writeLog(
             formatText("max. logsize %ld bytes", static_cast<long>(filterOptions.maxLogSize)));
     }},
    {"THRESHOLD_SPAM", NUMBER,
     [](const std::string& argument) {
         setThreshold(filterOptions.thresholdSpam, argument, "threshold for 'spam': >");
     }},
    {"THRESHOLD_SUSPECT", NUMBER,
     [](const std::string& argument) {
         setThreshold(filterOptions.thresholdSuspect, argument, "threshold for 'suspect': >");
     }},
    {"THRESHOLD_WHITELISTED", NUMBER,
     [](const std::string& argument) {
         setThreshold(filterOptions.thresholdWhitelisted, argument,
                      "threshold for 'whitelisted': <");
     }},
};

}  // namespace

const OptionKeyword* optionKeywordOf(const char* line) {
    const char* start = skipWhiteSpace(line);
    for (const OptionKeyword& option : OPTION_KEYWORDS) {
        if (startsWithNoCase(start, option.keyword)) {
            return &option;
        }
    }
    return nullptr;
}

bool applyOptionKeyword(const char* line) {
    const OptionKeyword* option = optionKeywordOf(line);
    if (option == nullptr) {
        return false;
    }
    std::string argument = skipWhiteSpace(line) + std::strlen(option->keyword);
    trimWhiteSpace(argument);
    option->apply(argument);
    return true;
}

}  // namespace cw
