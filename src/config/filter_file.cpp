#include "config/filter_file.h"

#include "base/log_writer.h"
#include "base/module_state.h"
#include "common/number_text.h"
#include "config/config_table.h"
#include "platform/platform.h"

namespace cw {

namespace {

constexpr const char* FILTER_FILE = "filters.dat";
constexpr const char* BACKUP_FILE = "filters.bak";
constexpr const char* ERROR_CAPTION = "Error from CobbleweavePlugin";

}  // namespace

std::string editorText(int32_t handle) {
    std::string text;
    for (const std::string& line : mainRuleLines(handle)) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void saveFilterText(const std::string& folder, const std::string& text) {
    std::string failure;
    {
        platform::LockGuard lock(moduleState.fetchLock);
        std::string rulePath = folder + FILTER_FILE;
        writeLog(formatText("saving configuration: %s", rulePath.c_str()));
        // No old file (the rules came from default_filters.dat): nothing to back up.
        if (platform::replaceFileKeepingBackup(rulePath, folder + BACKUP_FILE, text)) {
            writeLog(formatText("writing configuration: %s", rulePath.c_str()));
        } else {
            failure = platform::lastErrorText();
        }
    }
    // The box waits for the user: scans and loads must not wait with it.
    if (!failure.empty()) {
        showErrorBox(failure);
    }
}

void showErrorBox(const std::string& text) {
    platform::showMessageBox(text.c_str(), ERROR_CAPTION, platform::MessageBoxKind::EXCLAMATION);
}

}  // namespace cw
