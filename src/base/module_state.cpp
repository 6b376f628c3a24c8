#include "base/module_state.h"

#include <string>

namespace cw {

ModuleState moduleState;

int32_t libMain(const void* moduleHandle, int32_t reason) {
    if (reason == REASON_PROCESS_ATTACH) {
        moduleState.moduleHandle = moduleHandle;
        if (moduleState.attachCount == 0) {
            platform::disableThreadNotifications(moduleHandle);
            platform::createLock(moduleState.fetchLock);
            platform::createLock(moduleState.logLock);
        }
        ++moduleState.attachCount;
        platform::registerCommonControls();
        if (const char* richEdit = platform::loadRichEditClass()) {
            moduleState.richEditClass = richEdit;
        }
    } else if (reason == REASON_PROCESS_DETACH) {
        --moduleState.attachCount;
        if (moduleState.attachCount == 0) {
            platform::deleteLock(moduleState.fetchLock);
            platform::deleteLock(moduleState.logLock);
        }
    }
    return 1;
}

std::string moduleFilePath() {
    return platform::modulePath(moduleState.moduleHandle);
}

std::string moduleFolder() {
    if (!moduleState.moduleFolderOverride.empty()) {
        return moduleState.moduleFolderOverride;
    }
    std::string path = moduleFilePath();
    size_t separator = path.find_last_of(platform::PATH_SEPARATOR);
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

}  // namespace cw
