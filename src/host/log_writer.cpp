#include "host/log_writer.h"

#include <cstdio>
#include <new>
#include <vector>

#include "common/number_text.h"
#include "common/text_file.h"
#include "config/filter_options.h"
#include "host/module_state.h"

namespace cw {

namespace {

constexpr const char* LOG_FILE_NAME = "cobbleweave.log";
constexpr const char* MONTH_NAMES[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// The rest of the line at the cut point is dropped up to this many characters,
// counted as a text-mode read counts them (CR LF is one).
constexpr size_t CUT_LINE_SKIP = 1023;

struct LogState {
    std::string path;
    std::vector<std::string> heldLines;
    // What the last size check found: the file at `path` was no larger than
    // `checkedLimit`. Only this writer grows the file, so a call that writes
    // nothing can skip the check while both still hold; the scan holds and
    // discards lines for every rule, and would otherwise measure the file each time.
    bool withinLimit = false;
    std::string checkedPath;
    int32_t checkedLimit = 0;
};

LogState logState;

void writeHeldAndOwnLine(FILE* file, const std::string& stamp, const char* text) {
    std::string lines;
    for (const std::string& held : logState.heldLines) {
        lines += stamp + held + "\n";
    }
    lines += stamp + text + "\n";
    std::string bytes = toTextModeBytes(lines);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
}

void rememberCheck(bool withinLimit) {
    logState.withinLimit = withinLimit;
    logState.checkedPath = logState.path;
    logState.checkedLimit = filterOptions.maxLogSize;
}

// Keeps the file below MAXLOGSIZE by dropping everything before the first whole
// line that begins after its middle.
void cutLogFileIfTooLarge(bool wroteToFile) {
    if (!wroteToFile && logState.withinLimit && logState.checkedPath == logState.path &&
        logState.checkedLimit == filterOptions.maxLogSize) {
        return;
    }
    FILE* file = platform::openFile(logState.path, "r");
    if (file == nullptr) {
        rememberCheck(true);
        return;
    }
    std::fseek(file, 0, SEEK_END);
    long size = std::ftell(file);
    bool tooLarge = size > filterOptions.maxLogSize;
    bool cut = tooLarge && filterOptions.traceLevel == TRACE_QUIET && !filterOptions.keepLogFile;
    if (!cut) {
        std::fclose(file);
        rememberCheck(!tooLarge);
        return;
    }
    std::string rest;
    try {
        rest.reserve(static_cast<size_t>(size) / 2 + 1);
        std::fseek(file, size / 2, SEEK_SET);
        size_t skipped = 0;
        int c;
        while (skipped < CUT_LINE_SKIP && (c = readTextModeByte(file)) != EOF) {
            ++skipped;
            if (c == '\n') {
                break;
            }
        }
        char chunk[8192];
        size_t count;
        while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
            rest.append(chunk, count);
        }
    } catch (const std::bad_alloc&) {
        std::fclose(file);
        return;  // left uncut until a later call
    }
    std::fclose(file);
    bool replaced = platform::replaceFile(logState.path, rest);
    rememberCheck(replaced && rest.size() <= static_cast<size_t>(filterOptions.maxLogSize));
}

}  // namespace

std::string formatTimeStamp(const platform::LocalTime& time) {
    const char* month = (time.month >= 1 && time.month <= 12) ? MONTH_NAMES[time.month - 1] : "???";
    return formatText("%02d %3s %02d  %02d:%02d:%02d  ", time.day, month, time.year % 100,
                      time.hour, time.minute, time.second);
}

void writeLog(const char* text, int mode) {
    if (text == nullptr) {
        text = "";
    }
    platform::LockGuard lock(moduleState.logLock);
    bool wroteToFile = false;
    if (mode == LOG_DISCARD) {
        logState.heldLines.clear();
    } else if (mode == LOG_HOLD) {
        if (logState.heldLines.size() < MAX_HELD_LINES) {
            try {
                logState.heldLines.emplace_back(text);
            } catch (const std::bad_alloc&) {
                // The line is lost; the others stay held.
            }
        }
    } else {
        FILE* file = platform::openFile(logState.path, "a");
        if (file != nullptr) {
            std::string stamp = formatTimeStamp(platform::localTime());
            if (mode == LOG_FLUSH) {
                writeHeldAndOwnLine(file, stamp, text);
                logState.heldLines.clear();
            } else {
                std::string bytes = toTextModeBytes(stamp + text + "\n");
                std::fwrite(bytes.data(), 1, bytes.size(), file);
            }
            std::fclose(file);
            wroteToFile = true;
        }
    }
    cutLogFileIfTooLarge(wroteToFile);
}

void traceLine(const std::string& text) {
    if (filterOptions.traceLevel == TRACE_DEBUG) {
        writeLog(text, LOG_APPEND);
    }
}

bool setLogFolder(const std::string& folder) {
    platform::LockGuard lock(moduleState.logLock);
    std::string path = folder + LOG_FILE_NAME;
    if (path.size() >= LOG_PATH_SIZE) {
        logState.path.clear();
        return false;
    }
    logState.path = path;
    return true;
}

const std::string& logFilePath() {
    return logState.path;
}

int heldLineCount() {
    platform::LockGuard lock(moduleState.logLock);
    return static_cast<int>(logState.heldLines.size());
}

}  // namespace cw
