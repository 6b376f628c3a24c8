// The one log call of the plug-in. Lines go to "cobbleweave.log" in the folder of
// the latest load, each behind a local time stamp; the scan can hold lines and
// later write or drop them all. After every call the file is cut to its newer
// half once it grows past MAXLOGSIZE (only at trace level 0 and without
// KEEPLOGFILE). The writer keeps track of the file's size as it writes, so the
// check needs no look at the file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace cw {

inline constexpr int LOG_APPEND = 0;
inline constexpr int LOG_HOLD = 1;
inline constexpr int LOG_FLUSH = 2;
inline constexpr int LOG_DISCARD = 3;

inline constexpr size_t LOG_PATH_SIZE = 272;
inline constexpr int MAX_HELD_LINES = 40;

void writeLog(const char* text, int mode);
inline void writeLog(const std::string& text, int mode = LOG_APPEND) {
    writeLog(text.c_str(), mode);
}

// Writes `text` with LOG_APPEND only at trace level 2 (DEBUG).
void traceLine(const std::string& text);

// Sets the log file path to folder + "cobbleweave.log". False (and the path
// emptied) when that does not fit the 272-byte path.
bool setLogFolder(const std::string& folder);
const std::string& logFilePath();

// `text` as the log writes it: control bytes but TAB, and a backslash before
// an x, as \xHH; everything else as it is.
std::string loggedText(std::string_view text);

// "%02d %3s %02d  %02d:%02d:%02d  " for the given time.
std::string formatTimeStamp(const platform::LocalTime& time);

// Number of held lines (for tests).
int heldLineCount();

// While one of these lives, the log file stays open between writeLog calls
// instead of being opened for each; the last one to end closes it. A scan holds
// one, so that the file is opened at most once per message and is free again
// (to be moved or deleted) between messages. Nests.
class LogFileSession {
  public:
    LogFileSession();
    ~LogFileSession();
    LogFileSession(const LogFileSession&) = delete;
    LogFileSession& operator=(const LogFileSession&) = delete;
};

}  // namespace cw
