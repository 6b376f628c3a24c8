// The host check, identity and capability queries, and the small per-message
// queries that read nothing but the host's records.
#pragma once

#include <cstdint>

#include "base/module_state.h"
#include "common/host_records.h"

namespace cw {

inline constexpr const char* PLUGIN_DESCRIPTION =
    "A plugin allowing you to filter or whitelist your email based on Perl Regular Expressions";
inline constexpr const char* HOST_EXECUTABLE_NAME = "vellmox.exe";
inline constexpr double LOWEST_HOST_VERSION = 1.27;
inline constexpr uint32_t BODY_BYTES_REQUEST = 50;

int checkVellmoxVersion(const char* version);
int getPluginDescription(char* buffer, int size);
void getPluginCapabilities(int32_t* record);
int getMessageBodyPrefix(char* buffer, int size);
int requireBodyFiltering(const MessageStatus* status);
uint32_t minBodyBytesRequired(int32_t requestCode, const MessageStatus* status);

}  // namespace cw
