#include "config/filter_file.h"

#include <cstdio>
#include <vector>

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

// Copies `from` over `to` whole, or leaves `to` as it was: a backup that fails
// half-way must not destroy the previous backup. False when `from` cannot be read.
bool copyWholeFile(const std::string& from, const std::string& to) {
    FILE* file = platform::openFile(from, "r");
    if (file == nullptr) {
        return false;
    }
    std::string bytes;
    char chunk[8192];
    size_t count;
    while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.append(chunk, count);
    }
    bool complete = std::ferror(file) == 0;
    std::fclose(file);
    return complete && platform::replaceFile(to, bytes);
}

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
    platform::LockGuard lock(moduleState.fetchLock);
    std::string rulePath = folder + FILTER_FILE;
    writeLog(formatText("saving configuration: %s", rulePath.c_str()));
    // No old file (the rules came from default_filters.dat): nothing to back up.
    // A failed backup does not stop the save, which itself never harms the old file.
    copyWholeFile(rulePath, folder + BACKUP_FILE);
    writeFilterFile(rulePath, text);
}

bool writeFilterFile(const std::string& path, const std::string& text) {
    if (!platform::replaceFile(path, text)) {
        showLastErrorBox();
        return false;
    }
    writeLog(formatText("writing configuration: %s", path.c_str()));
    return true;
}

void showLastErrorBox() {
    std::string message = platform::lastErrorText();
    platform::showMessageBox(message.c_str(), ERROR_CAPTION, platform::MessageBoxKind::EXCLAMATION);
}

}  // namespace cw
