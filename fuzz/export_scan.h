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

// A new scratch folder with the shipped rules of `shippedFolder` in it:
// default_filters.dat as filters.dat, the lists beside it.
std::string makeShippedRulesFolder(const char* shippedFolder, const char* name);

// Writes `bytes` to `path`, replacing the file.
void writeFile(const std::string& path, std::string_view bytes);

// What the host has decided about a message before the plug-in sees it.
struct HostVerdict {
    int32_t spam = 0;
    int32_t whitelisted = 0;
};

// What a scan hands back to the host: the status record (its account and fetch
// information pointers cleared, they pointed into the scan) and the added lines.
struct HostAnswer {
    cw::MessageStatus status{};
    std::string addedLines;
};

// Hands one message to the configuration `handle` as the host does: fetchStart,
// requireBodyFiltering, minBodyBytesRequired, filterOnMessageBody (the body from
// a file), getAddedHeaderLines, processedMessage, fetchEnd. Aborts when an answer
// breaks its bounds: a status field outside its values, a tag without its
// terminator, an added-lines size that differs from what is written, a text
// longer than getMaxBytesToAdd or cut inside a line, a write past the buffer.
HostAnswer scanMessage(int32_t handle, const std::vector<std::string>& headerLines,
                       std::string_view body, HostVerdict incoming = {});

}  // namespace fuzzhost
