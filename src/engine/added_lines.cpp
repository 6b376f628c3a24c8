#include "engine/added_lines.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/filter_options.h"
#include "base/log_writer.h"
#include "base/module_state.h"

namespace cw {

namespace {

constexpr const char* TAG_PREFIX = "QUELT ";
constexpr size_t MAX_REASON_LENGTH = 16;
constexpr size_t SHORTENED_REASON_LENGTH = 14;

// The host's text: score and warning line (with ADDSCORE), then the comment
// lines (unless NOCOMMENT), cut to MAXCOMMENT bytes and back to whole lines.
std::string buildHandedOverText(const FetchRecord& record) {
    std::string text;
    if (filterOptions.addScore && !record.scoreLine.empty()) {
        text += record.scoreLine;
        text += record.warningLine;
    }
    if (filterOptions.comment && !record.addedLines.empty()) {
        text += record.addedLines;
    }
    size_t limit = static_cast<size_t>(std::max<int32_t>(filterOptions.maxComment, 0));
    if (text.size() > limit) {
        text.resize(limit);
        size_t lastLineFeed = text.rfind('\n');
        if (lastLineFeed != std::string::npos) {
            text.resize(lastLineFeed + 1);
        }
    }
    return text;
}

void writeTagText(MessageStatus* status, const std::string& matchId) {
    std::string reason = matchId.size() <= MAX_REASON_LENGTH
                             ? matchId
                             : matchId.substr(0, SHORTENED_REASON_LENGTH) + "...";
    std::string tag = TAG_PREFIX + reason;
    size_t length = std::min(tag.size(), TAG_TEXT_SIZE - 1);
    std::memcpy(status->tagText, tag.data(), length);
    status->tagText[length] = '\0';
}

}  // namespace

void appendAddedLine(FetchRecord& record, const std::string& line) {
    try {
        while (record.addedLines.size() + line.size() >= record.capacity) {
            record.addedLines.reserve(record.capacity + ADDED_LINES_STEP + 1);
            record.capacity += ADDED_LINES_STEP;
        }
        record.addedLines += line;
    } catch (const std::bad_alloc&) {
        // The lines collected so far stay as they were; the scan goes on.
        writeLog("filterOnMessageBody:addedLines / memory allocation failed", LOG_APPEND);
    }
}

uint32_t getAddedHeaderLines(int32_t fetchId, char* buffer, uint32_t size) {
    traceLine(">>> getAddedHeaderLines");
    std::string text;
    {
        platform::LockGuard lock(moduleState.fetchLock);
        std::shared_ptr<const FetchRecord> record = findFetchRecord(fetchId);
        if (record == nullptr) {
            writeLog("error: getAddedHeaderLines:index not found", LOG_APPEND);
        } else {
            text = buildHandedOverText(*record);
        }
        if (buffer != nullptr && size > text.size()) {
            std::memcpy(buffer, text.c_str(), text.size() + 1);
        }
    }
    traceLine("<<< getAddedHeaderLines");
    return static_cast<uint32_t>(text.size() + 1);
}

void applyStatusTag(int verdict, const std::string& matchId, MessageStatus* status) {
    if (filterOptions.simulate) {
        return;
    }
    if (verdict & VERDICT_SPAM) {
        // The plug-in's spam verdict never overrides the host's own whitelisting.
        if (status->whitelisted == 0) {
            status->spam = 1;
            status->verdictSet = 1;
            status->verdictCode = 8;
            writeTagText(status, matchId);
        }
    }
    if (verdict & VERDICT_WHITELISTED) {
        status->whitelisted = 1;
        status->verdictSet = 1;
        status->verdictCode = 8;
        writeTagText(status, matchId);
    }
}

}  // namespace cw
