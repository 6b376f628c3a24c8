// The header lines handed back to the host and the status tag in MessageStatus.
#pragma once

#include <cstdint>
#include <string>

#include "common/host_records.h"
#include "engine/fetch_table.h"

namespace cw {

// The verdict bits of one scan, as applyStatusTag reads them.
inline constexpr int VERDICT_SPAM = 1;
inline constexpr int VERDICT_WHITELISTED = 2;

// Appends one comment line to the record's added lines, growing its capacity in
// steps of 4096 bytes.
void appendAddedLine(FetchRecord& record, const std::string& line);

// Copies the lines for the fetch into `buffer` when it is larger than the text;
// returns the text's length plus 1 either way.
uint32_t getAddedHeaderLines(int32_t fetchId, char* buffer, uint32_t size);

// Marks the message in the host's record as the verdict says (unless SIMULATE),
// with the status tag.
void applyStatusTag(int verdict, const std::string& matchId, MessageStatus* status);

}  // namespace cw
