// FetchTable: one FetchRecord per fetch between fetchStart and fetchEnd, in the
// order of their fetchStart calls. Only read or changed under the fetch lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/host_records.h"

namespace cw {

inline constexpr uint32_t ADDED_LINES_STEP = 4096;
inline constexpr size_t RECORD_LINE_SIZE = 256;  // score and warning line, terminator included

struct FetchRecord {
    int32_t fetchId = 0;
    std::string addedLines;  // X-Quelt comment lines of the last scan
    uint32_t capacity = ADDED_LINES_STEP;
    std::string scoreLine;    // at most 255 bytes
    std::string warningLine;  // at most 255 bytes
};

// Shared, so that a scan keeps its record alive even when a window message it
// dispatches ends the fetch on the same thread.
struct FetchTable {
    std::vector<std::shared_ptr<FetchRecord>> entries;
};

extern FetchTable fetchTable;

void fetchStart(int32_t fetchId);
void fetchEnd(int32_t fetchId);

// Index of the first record with the id, or -1. The caller holds the fetch lock.
int32_t findFetch(int32_t fetchId);

// The record with the id, or null. The caller holds the fetch lock.
std::shared_ptr<FetchRecord> findFetchRecord(int32_t fetchId);

// Whether the host passed a status with its fetch information. If not, logs
// "error: <exportName>: ..."; the export then answers as for a fetch of unknown
// type instead of reading through a null pointer.
bool hasFetchInfo(const MessageStatus* status, const char* exportName);

}  // namespace cw
