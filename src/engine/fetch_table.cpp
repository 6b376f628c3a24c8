#include "engine/fetch_table.h"

#include <new>

#include "base/log_writer.h"
#include "base/module_state.h"
#include "common/number_text.h"

namespace cw {

FetchTable fetchTable;

void fetchStart(int32_t fetchId) {
    traceLine(">>> fetchStart");
    {
        platform::LockGuard lock(moduleState.fetchLock);
        std::shared_ptr<FetchRecord> record;
        try {
            record = std::make_shared<FetchRecord>();
            record->fetchId = fetchId;
            record->addedLines.reserve(ADDED_LINES_STEP);
        } catch (const std::bad_alloc&) {
            writeLog("fetchStart:data / memory allocation failed", LOG_APPEND);
            record.reset();
        }
        if (record) {
            try {
                fetchTable.entries.push_back(std::move(record));
            } catch (const std::bad_alloc&) {
                writeLog("fetchStart:dynTable / memory allocation failed", LOG_APPEND);
            }
        }
    }
    traceLine("<<< fetchStart");
}

void fetchEnd(int32_t fetchId) {
    traceLine(">>> fetchEnd");
    {
        platform::LockGuard lock(moduleState.fetchLock);
        int32_t index = findFetch(fetchId);
        if (index < 0) {
            writeLog("error: fetchEnd:index not found", LOG_APPEND);
        } else {
            fetchTable.entries.erase(fetchTable.entries.begin() + index);
        }
    }
    traceLine("<<< fetchEnd");
}

int32_t findFetch(int32_t fetchId) {
    for (size_t i = 0; i < fetchTable.entries.size(); ++i) {
        if (fetchTable.entries[i]->fetchId == fetchId) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

std::shared_ptr<FetchRecord> findFetchRecord(int32_t fetchId) {
    int32_t index = findFetch(fetchId);
    return index < 0 ? nullptr : fetchTable.entries[static_cast<size_t>(index)];
}

bool hasFetchInfo(const MessageStatus* status, const char* exportName) {
    if (status != nullptr && status->fetchInfo != nullptr) {
        return true;
    }
    writeLog(formatText("error: %s: %s", exportName,
                        status == nullptr ? "no message status" : "no fetch information"));
    return false;
}

}  // namespace cw
