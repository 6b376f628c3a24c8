// FilterOptions: every setting of the plug-in, process-wide and shared by all
// configurations. Only option keyword reading and the resets at the start of a
// load write it; the most recent load wins.
#pragma once

#include <cstdint>

namespace cw {

inline constexpr int32_t TRACE_QUIET = 0;
inline constexpr int32_t TRACE_CHECK = 1;
inline constexpr int32_t TRACE_DEBUG = 2;

struct FilterOptions {
    int32_t traceLevel = TRACE_QUIET;
    bool profile = false;
    bool checkPreview = false;
    bool simulate = false;
    bool addScore = false;
    bool showValue = false;
    bool comment = true;
    bool fastScan = false;
    bool whitelist = true;  // off means NOWHITELIST
    bool keepLogFile = false;
    bool precompile = false;
    bool textOnly = false;
    int32_t maxLogSize = 100000;
    uint32_t blockMask = 0;
    bool useBlock = false;
    double thresholdSpam = 0.0;
    double thresholdSuspect = -1.0;
    double thresholdWhitelisted = 99999.0;
    int32_t maxComment = 256;
    int32_t maxLines = 0;
    int32_t maxSize = 65536;
};

extern FilterOptions filterOptions;

// The three settings every load resets before it reads a line.
void resetOptionsForLoad();

}  // namespace cw
