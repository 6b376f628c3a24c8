#include "host/plugin_info.h"

#include <cstring>
#include <string>

#include "base/filter_options.h"
#include "base/log_writer.h"
#include "base/module_state.h"
#include "common/number_text.h"
#include "common/text_ops.h"
#include "engine/fetch_table.h"
#include "platform/platform.h"

namespace cw {

namespace {

constexpr int32_t CAPABILITIES[5] = {0, 3, 0, 0, 0};

// The host path's file name: after the last backslash (or '/' where that is the
// separator), or the whole path.
std::string executableFileName(const std::string& path) {
    size_t separator = path.find_last_of(std::string("\\") + platform::PATH_SEPARATOR);
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

}  // namespace

int checkVellmoxVersion(const char* version) {
    if (version == nullptr) {
        version = "";
    }
    std::string fileName = executableFileName(platform::hostExecutablePath());
    traceLine(formatText("=== checkVellmoxVersion: %s", version));
    if (!equalsNoCase(fileName.c_str(), HOST_EXECUTABLE_NAME)) {
        platform::showMessageBox(
            "Cobbleweave plugin does only work with official releases of Vellmox",
            "Plugin loading failed", platform::MessageBoxKind::PLAIN);
        return 0;
    }
    if (LOWEST_HOST_VERSION > readLeadingDecimal(version)) {
        platform::showMessageBox("Cobbleweave plugin needs Vellmox v1.27 or later!",
                                 "Error from Vellmox Cobbleweave plugin",
                                 platform::MessageBoxKind::EXCLAMATION_FOREGROUND);
        return 0;
    }
    return 1;
}

int getPluginDescription(char* buffer, int size) {
    int needed = static_cast<int>(std::strlen(PLUGIN_DESCRIPTION)) + 1;
    if (buffer != nullptr && size >= needed) {
        std::memcpy(buffer, PLUGIN_DESCRIPTION, static_cast<size_t>(needed));
    }
    return needed;
}

void getPluginCapabilities(int32_t* record) {
    if (record != nullptr) {
        std::memcpy(record, CAPABILITIES, sizeof CAPABILITIES);
    }
}

int getMessageBodyPrefix(char* buffer, int size) {
    {
        platform::LockGuard lock(moduleState.fetchLock);
        if (buffer != nullptr && size >= 1) {
            buffer[0] = '\0';
        }
    }
    traceLine("=== getMessageBodyPrefix");
    return 1;
}

int requireBodyFiltering(const MessageStatus* status) {
    traceLine("=== requireBodyFiltering");
    if (!hasFetchInfo(status, "requireBodyFiltering")) {
        return 1;
    }
    if (!filterOptions.checkPreview && status->fetchInfo->fetchType == POP3_TOP) {
        traceLine("<<< requireBodyFiltering: POP3_TOP ignored");
        return 0;
    }
    return 1;
}

uint32_t minBodyBytesRequired(int32_t requestCode, const MessageStatus* status) {
    if (requestCode == static_cast<int32_t>(BODY_BYTES_REQUEST) &&
        hasFetchInfo(status, "minBodyBytesRequired")) {
        uint32_t count = status->fetchInfo->bodyByteCount;
        traceLine(formatText("=== minBodyBytesRequired: %lu", static_cast<unsigned long>(count)));
        return count;
    }
    traceLine("=== minBodyBytesRequired: 0");
    return 0;
}

}  // namespace cw
