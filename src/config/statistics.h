// Statistics: five process-wide counters, reloaded from "statistics.dat" at every
// load and written with a text report after every processed message.
#pragma once

#include <cstdint>
#include <string>

#include "common/host_records.h"

namespace cw {

inline constexpr int STAT_PROCESSED = 0;
inline constexpr int STAT_SPAM_BY_PLUGIN = 1;
inline constexpr int STAT_WHITELISTED_BY_PLUGIN = 2;
inline constexpr int STAT_SPAM_BY_HOST = 3;
inline constexpr int STAT_WHITELISTED_BY_HOST = 4;
inline constexpr int STAT_COUNT = 5;

struct StatisticsCounters {
    uint32_t values[STAT_COUNT] = {};
};

extern StatisticsCounters statisticsCounters;

// Resets the counters, sets the statistics path for `folder` and adds what
// "statistics.dat" holds. Called by loadConfig under the fetch lock.
void readStatistics(const std::string& folder);

void processedMessage(const MessageStatus* status);

// Counts a message the plug-in scanned to its verdict: as processed, and unless
// SIMULATE is on, as spam or whitelisted by the plug-in when it is.
void countPluginVerdict(bool spam, bool whitelisted);

}  // namespace cw
