// ModuleState: what the module keeps from load to unload. LibMain creates the two
// locks at the first process attach and deletes them at the last detach.
#pragma once

#include <cstdint>
#include <string>

#include "base/version.h"
#include "platform/platform.h"

namespace cw {

// The plug-in's identity, handed to the host; the version is named in the load
// report too, and the about box opens the home page. The build writes them
// (base/version.h, from CMakeLists.txt).
inline constexpr const char* PLUGIN_NAME = "Cobbleweave";
inline constexpr const char* PLUGIN_VERSION = COBBLEWEAVE_VERSION;
inline constexpr const char* PLUGIN_AUTHOR = COBBLEWEAVE_AUTHOR;
inline constexpr const char* PLUGIN_HOMEPAGE = COBBLEWEAVE_HOMEPAGE;

inline constexpr int32_t REASON_PROCESS_DETACH = 0;
inline constexpr int32_t REASON_PROCESS_ATTACH = 1;
inline constexpr int32_t REASON_THREAD_ATTACH = 2;
inline constexpr int32_t REASON_THREAD_DETACH = 3;

struct ModuleState {
    const void* moduleHandle = nullptr;
    int32_t attachCount = 0;
    platform::ReentrantLock fetchLock;  // table, configurations, options, statistics, scans
    platform::ReentrantLock logLock;    // one writeLog call
    const char* richEditClass = nullptr;
    // Tests that link the core directly point the module folder at a scratch folder.
    std::string moduleFolderOverride;
};

extern ModuleState moduleState;

// The module's load and unload routine; always 1.
int32_t libMain(const void* moduleHandle, int32_t reason);

// Full path of the module file and its folder (with its trailing separator).
std::string moduleFilePath();
std::string moduleFolder();

}  // namespace cw
