#include "base/log_writer.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <string_view>
#include <vector>

#include "base/filter_options.h"
#include "base/module_state.h"
#include "common/number_text.h"
#include "common/text_file.h"

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
    // The first heldCount entries are held; the slots behind keep their
    // capacity, since the scan holds and drops a line for every rule.
    std::vector<std::string> heldLines;
    size_t heldCount = 0;
    FILE* file = nullptr;  // open for appending while a session lasts
    int sessions = 0;
    // The file's size as last measured and since grown by this writer's own
    // lines; -1 when unknown. Only this writer grows the file.
    long size = -1;
    // The stamp of the second last written: a scan writes many lines in one
    // second, and formatting a stamp costs more than writing most of them.
    platform::LocalTime stampTime{};
    std::string stamp;
};

LogState logState;

void closeLogFile() {
    if (logState.file != nullptr) {
        std::fclose(logState.file);
        logState.file = nullptr;
    }
}

// The log file open for appending, its size known; null when it cannot be opened.
// Unbuffered: each entry reaches the file at once (a reader, or a crash, finds
// every line so far), and a failed write shows at the call that made it.
FILE* openLogFile() {
    if (logState.file == nullptr) {
        logState.file = platform::openFile(logState.path, "a");
        if (logState.file == nullptr) {
            return nullptr;
        }
        std::setvbuf(logState.file, nullptr, _IONBF, 0);
        std::fseek(logState.file, 0, SEEK_END);
        logState.size = std::ftell(logState.file);
    }
    return logState.file;
}

// Appends the entry whole or not at all: what a short write (a full disk) left
// of it is cut off again, so the next entry never continues a torn line.
void appendToLog(FILE* file, const std::string& text) {
    std::string bytes = toTextModeBytes(text);
    long before = logState.size;
    if (before < 0) {
        std::fseek(file, 0, SEEK_END);
        before = std::ftell(file);
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size()) {
        logState.size = before < 0 ? -1 : before + static_cast<long>(bytes.size());
        return;
    }
    std::clearerr(file);
    if (before < 0 || !platform::truncateOpenFile(file, before)) {
        logState.size = -1;
        return;
    }
    logState.size = before;
}

// The size of a file that is not open: measured by opening it for reading.
void measureLogFile() {
    FILE* file = platform::openFile(logState.path, "r");
    if (file == nullptr) {
        return;
    }
    std::fseek(file, 0, SEEK_END);
    logState.size = std::ftell(file);
    std::fclose(file);
}

// Keeps the file below MAXLOGSIZE by dropping everything before the first whole
// line that begins after its middle.
void cutLogFileIfTooLarge() {
    if (logState.size < 0) {
        measureLogFile();
        if (logState.size < 0) {
            return;
        }
    }
    bool cut = logState.size > filterOptions.maxLogSize &&
               filterOptions.traceLevel == TRACE_QUIET && !filterOptions.keepLogFile;
    if (!cut) {
        return;
    }
    closeLogFile();
    FILE* file = platform::openFile(logState.path, "r");
    if (file == nullptr) {
        logState.size = -1;
        return;
    }
    std::fseek(file, 0, SEEK_END);
    long size = std::ftell(file);
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
        logState.size = size;
        return;  // left uncut until a later call
    }
    std::fclose(file);
    logState.size =
        platform::replaceFile(logState.path, rest) ? static_cast<long>(rest.size()) : -1;
}

}  // namespace

// A text from a message or a rule file may hold any byte. Control bytes would
// end the entry or forge another one, so each is written as \xHH (two lower-case
// hex digits); TAB, which cannot, and bytes from 0x80 up stay as they are. A
// backslash before an x is written \x5c too, so that a text holding "\x0d"
// does not read as an escaped line end, and every \x in the log is an escape.
// Other backslashes (most patterns hold some) stay as they are.
std::string loggedText(std::string_view text) {
    auto isControl = [](unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7f; };
    auto escapesBackslash = [&](size_t index) {
        return text[index] == '\\' && index + 1 < text.size() && (text[index + 1] | 0x20) == 'x';
    };
    // Every line of the log passes here: the common text, without either, is
    // looked through once for control bytes and once (memchr) for backslashes.
    size_t first = static_cast<size_t>(
        std::find_if(text.begin(), text.end(), [&](char c) { return isControl(c); }) -
        text.begin());
    for (size_t slash = text.find('\\'); slash < first; slash = text.find('\\', slash + 1)) {
        if (escapesBackslash(slash)) {
            first = slash;
        }
    }
    if (first == text.size()) {
        return std::string(text);
    }
    static constexpr char HEX_DIGITS[] = "0123456789abcdef";
    std::string shown(text.substr(0, first));
    shown.reserve(text.size() + 16);
    for (size_t index = first; index < text.size(); ++index) {
        unsigned char c = static_cast<unsigned char>(text[index]);
        if (isControl(c) || escapesBackslash(index)) {
            shown += "\\x";
            shown += HEX_DIGITS[c >> 4];
            shown += HEX_DIGITS[c & 0x0f];
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

std::string formatTimeStamp(const platform::LocalTime& time) {
    const char* month = (time.month >= 1 && time.month <= 12) ? MONTH_NAMES[time.month - 1] : "???";
    return formatText("%02d %3s %02d  %02d:%02d:%02d  ", time.day, month, time.year % 100,
                      time.hour, time.minute, time.second);
}

namespace {

const std::string& timeStampNow() {
    platform::LocalTime now = platform::localTime();
    if (logState.stamp.empty() || now != logState.stampTime) {
        logState.stamp = formatTimeStamp(now);
        logState.stampTime = now;
    }
    return logState.stamp;
}

}  // namespace

void writeLog(const char* text, int mode) {
    if (text == nullptr) {
        text = "";
    }
    platform::LockGuard lock(moduleState.logLock);
    if (mode == LOG_DISCARD) {
        logState.heldCount = 0;
    } else if (mode == LOG_HOLD) {
        if (logState.heldCount < MAX_HELD_LINES) {
            try {
                if (logState.heldCount == logState.heldLines.size()) {
                    logState.heldLines.emplace_back();
                }
                logState.heldLines[logState.heldCount].assign(text);
                ++logState.heldCount;
            } catch (const std::bad_alloc&) {
                // The line is lost; the others stay held.
            }
        }
    } else if (FILE* file = openLogFile()) {
        const std::string& stamp = timeStampNow();
        std::string lines;
        auto addLine = [&](std::string_view line) {
            lines.append(stamp).append(line).push_back('\n');
        };
        if (mode == LOG_FLUSH) {
            for (size_t i = 0; i < logState.heldCount; ++i) {
                addLine(loggedText(logState.heldLines[i]));
            }
            logState.heldCount = 0;
        }
        addLine(loggedText(text));
        appendToLog(file, lines);
        if (logState.sessions == 0) {
            closeLogFile();
        }
    }
    cutLogFileIfTooLarge();
}

void traceLine(const std::string& text) {
    if (filterOptions.traceLevel == TRACE_DEBUG) {
        writeLog(text, LOG_APPEND);
    }
}

bool setLogFolder(const std::string& folder) {
    platform::LockGuard lock(moduleState.logLock);
    closeLogFile();
    logState.size = -1;
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
    return static_cast<int>(logState.heldCount);
}

LogFileSession::LogFileSession() {
    platform::LockGuard lock(moduleState.logLock);
    ++logState.sessions;
}

LogFileSession::~LogFileSession() {
    platform::LockGuard lock(moduleState.logLock);
    if (--logState.sessions == 0) {
        closeLogFile();
    }
}

}  // namespace cw
