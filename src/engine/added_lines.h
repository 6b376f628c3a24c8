// The header lines handed back to the host and the status tag in MessageStatus.
#pragma once

#include <cstdint>
#include <string>

#include "common/host_records.h"
#include "engine/fetch_table.h"

namespace cw {

// Appends one comment line to the record's added lines, growing its capacity in
// steps of 4096 bytes.
void appendAddedLine(FetchRecord& record, const std::string& line);

// Copies the lines for the fetch into `buffer` when it is larger than the text;
// returns the text's length plus 1 either way.
uint32_t getAddedHeaderLines(int32_t fetchId, char* buffer, uint32_t size);

void applyStatusTag(int verdict, const std::string& matchId, MessageStatus* status);

}  // namespace cw
