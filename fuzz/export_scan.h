// The host's side of the whole-plug-in fuzz drivers: scratch configuration
// folders, and one message handed through the exports as the host hands it,
// with every promise of the answers checked. The exports are linked into the
// driver from src/host/exports.cpp and called by their C names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/host_records.h"

extern "C" {
int32_t loadConfig(const char* folder);
void releaseConfig(int32_t handle);
}

namespace fuzzhost {

// Aborts with `what` on standard error when `condition` does not hold: the
// finding libFuzzer reports.
void require(bool condition, const char* what);

// A new empty folder under the temporary folder, removed again when the
// program exits; the path ends with '/'.
std::string makeScratchFolder(const char* name);

// Writes `bytes` to `path`, replacing the file.
void writeFile(const std::string& path, std::string_view bytes);

// Hands one message to the configuration `handle` as the host does: fetchStart,
// requireBodyFiltering, minBodyBytesRequired, filterOnMessageBody (the body from
// a file), getAddedHeaderLines, processedMessage, fetchEnd. Aborts when an answer
// breaks its bounds: a status field outside its values, a tag without its
// terminator, an added-lines size that differs from what is written, a text
// longer than getMaxBytesToAdd or cut inside a line, a write past the buffer.
void scanMessage(int32_t handle, const std::vector<std::string>& headerLines,
                 std::string_view body);

}  // namespace fuzzhost
