// PLACEHOLDER: replaced by the configuration work.
#include "config/statistics.h"

namespace cw {
StatisticsCounters statisticsCounters;
void readStatistics(const std::string&) {}
void processedMessage(const MessageStatus*) {}
}  // namespace cw
