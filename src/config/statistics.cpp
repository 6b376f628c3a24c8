#include "config/statistics.h"

#include <cstdio>

#include "base/filter_options.h"
#include "base/log_writer.h"
#include "base/module_state.h"
#include "common/number_text.h"
#include "common/text_file.h"
#include "config/config_table.h"
#include "platform/platform.h"

namespace cw {

StatisticsCounters statisticsCounters;

namespace {

constexpr const char* STATISTICS_FILE = "statistics.dat";
constexpr const char* REPORT_EXTENSION = "txt";
constexpr size_t EXTENSION_LENGTH = 3;

// The file format is little-endian whatever the host's byte order.
bool readInt32(FILE* file, int32_t& value) {
    unsigned char bytes[4];
    if (std::fread(bytes, 1, sizeof bytes, file) != sizeof bytes) {
        return false;
    }
    uint32_t bits = uint32_t{bytes[0]} | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) |
                    (uint32_t{bytes[3]} << 24);
    value = static_cast<int32_t>(bits);
    return true;
}

void writeInt32(std::string& bytes, int32_t value) {
    uint32_t bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) {
        bytes += static_cast<char>((bits >> shift) & 0xFF);
    }
}

std::string statisticsFileBytes() {
    std::string bytes;
    writeInt32(bytes, STAT_COUNT);
    for (int index = 0; index < STAT_COUNT; ++index) {
        writeInt32(bytes, index);
        writeInt32(bytes, static_cast<int32_t>(statisticsCounters.values[index]));
    }
    return bytes;
}

std::string reportText() {
    const uint32_t* values = statisticsCounters.values;
    return formatText("Processed messages   : %5u\n", values[STAT_PROCESSED]) +
           formatText("Tagged by Cobbleweave: %5u (SPAM)\n", values[STAT_SPAM_BY_PLUGIN]) +
           formatText("                     : %5u (whitelisted)\n",
                      values[STAT_WHITELISTED_BY_PLUGIN]) +
           formatText("Tagged by Vellmox    : %5u (SPAM)\n", values[STAT_SPAM_BY_HOST]) +
           formatText("                     : %5u (whitelisted)\n",
                      values[STAT_WHITELISTED_BY_HOST]);
}

// Brings one file up to date after a message without costing a disk flush:
// the counts change the file's bytes but (while every count stays below 100000
// in the report) not its length, so the new bytes are written over the old ones
// in place, in one write that falls inside the file's first disk sector, which a
// crash or power loss leaves either old or new. Only when the length changes
// (the first write, a count growing a digit, a file left by someone else) is the
// file replaced whole: written beside, flushed, renamed over it.
void bringFileUpToDate(const std::string& path, const std::string& bytes) {
    if (!platform::overwriteFileInPlace(path, bytes)) {
        platform::replaceFile(path, bytes);
    }
}

void writeStatisticsFiles() {
    const std::string& path = configPaths.statisticsPath;
    // No load has named a folder yet: there is nowhere to write.
    if (path.size() < EXTENSION_LENGTH) {
        return;
    }
    bringFileUpToDate(path, statisticsFileBytes());
    std::string reportPath = path.substr(0, path.size() - EXTENSION_LENGTH) + REPORT_EXTENSION;
    bringFileUpToDate(reportPath, toTextModeBytes(reportText()));
}

}  // namespace

void readStatistics(const std::string& folder) {
    statisticsCounters = StatisticsCounters{};
    configPaths.statisticsPath = folder + STATISTICS_FILE;
    FILE* file = platform::openFile(configPaths.statisticsPath, "r");
    if (file == nullptr) {
        // Refused, not missing: nothing would say why no statistics are kept.
        if (platform::isNonRegularFile(configPaths.statisticsPath)) {
            writeLog("error: statistics not kept: " + configPaths.statisticsPath +
                     " is not a regular file");
        }
        return;
    }
    writeLog("reading statistics: " + configPaths.statisticsPath);
    int32_t count = 0;
    if (readInt32(file, count)) {
        for (int32_t record = 0; record < count; ++record) {
            int32_t index = 0;
            int32_t value = 0;
            if (!readInt32(file, index) || !readInt32(file, value)) {
                break;
            }
            if (index >= 0 && index < STAT_COUNT) {
                statisticsCounters.values[index] += static_cast<uint32_t>(value);
            }
        }
    }
    std::fclose(file);
}

void processedMessage(const MessageStatus* status) {
    {
        platform::LockGuard lock(moduleState.fetchLock);
        if (status != nullptr) {
            if (status->whitelisted != 0) {
                ++statisticsCounters.values[STAT_WHITELISTED_BY_HOST];
            }
            if (status->spam != 0) {
                ++statisticsCounters.values[STAT_SPAM_BY_HOST];
            }
        }
        writeStatisticsFiles();
    }
    traceLine("=== processedMessage");
}

void countPluginVerdict(bool spam, bool whitelisted) {
    ++statisticsCounters.values[STAT_PROCESSED];
    if (filterOptions.simulate) {
        return;
    }
    if (spam) {
        ++statisticsCounters.values[STAT_SPAM_BY_PLUGIN];
    }
    if (whitelisted) {
        ++statisticsCounters.values[STAT_WHITELISTED_BY_PLUGIN];
    }
}

}  // namespace cw
