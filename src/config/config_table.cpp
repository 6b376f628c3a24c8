#include "config/config_table.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "base/filter_options.h"
#include "base/log_writer.h"
#include "base/module_state.h"
#include "common/number_text.h"
#include "common/text_file.h"
#include "config/rule_file_reader.h"
#include "config/statistics.h"
#include "platform/platform.h"

namespace cw {

ConfigTable configTable;
ConfigPaths configPaths;

namespace {

constexpr const char* MAIN_RULE_FILE = "filters.dat";
constexpr const char* DEFAULT_RULE_FILE = "default_filters.dat";
constexpr const char* LOCAL_RULE_FILE = "local_filters.dat";
constexpr int MAIN_FILE_NUMBER = 1;
constexpr int LOCAL_FILE_NUMBER = 2;

// The longest folder whose rule file paths still fit their buffers.
constexpr size_t MAX_FOLDER_LENGTH =
    RULE_PATH_SIZE - 1 - std::char_traits<char>::length(LOCAL_RULE_FILE);

int32_t findConfigIndex(int32_t handle) {
    for (size_t index = 0; index < configTable.entries.size(); ++index) {
        if (configTable.entries[index]->handle == handle) {
            return static_cast<int32_t>(index);
        }
    }
    return -1;
}

// Opens `path`, else `fallBack`; returns the path tried last.
std::string openRuleFile(TextFileReader& reader, const std::string& path,
                         const std::string& fallBack) {
    if (reader.open(path)) {
        return path;
    }
    reader.open(fallBack);
    return fallBack;
}

void readRuleFile(TextFileReader& reader, int fileNumber, const std::string& path, uint8_t origin,
                  FilterConfig& config) {
    if (!reader.isOpen()) {
        return;
    }
    writeLog(formatText("Cobbleweave %s - reading configuration (%d): %s", PLUGIN_VERSION,
                        fileNumber, path.c_str()));
    readRuleFileLines(reader, path, origin, config);
    reader.close();
}

// The main and the local rule file. Memory running out stops the reading with
// a line that says so; the configuration keeps what was read, so the host gets
// a handle that filters with it rather than 0 without a word.
void readRuleFiles(const std::string& folder, FilterConfig& config) {
    try {
        TextFileReader reader;
        configPaths.mainRuleFilePath =
            openRuleFile(reader, folder + MAIN_RULE_FILE, moduleFolder() + DEFAULT_RULE_FILE);
        readRuleFile(reader, MAIN_FILE_NUMBER, configPaths.mainRuleFilePath, ORIGIN_MAIN, config);
        std::string localPath =
            openRuleFile(reader, folder + LOCAL_RULE_FILE, moduleFolder() + LOCAL_RULE_FILE);
        readRuleFile(reader, LOCAL_FILE_NUMBER, localPath, ORIGIN_LOCAL, config);
        return;
    } catch (const LoadOutOfMemory&) {
        // logged with its place
    } catch (const std::bad_alloc&) {
        writeLog("loadConfig:read / memory allocation failed");
    }
    writeLog(
        formatText("error: loadConfig: out of memory, the configuration keeps the %d lines "
                   "read so far",
                   config.lineCount()));
}

}  // namespace

int32_t loadConfig(const char* folderText, CompileConfig compile) {
    std::string folder = folderText == nullptr ? std::string() : std::string(folderText);
    // Written with the log path and trace level the previous load left.
    traceLine(">>> loadConfig");
    int32_t handle = 0;
    {
        platform::LockGuard lock(moduleState.fetchLock);
        auto config = std::make_shared<FilterConfig>();
        handle = ++configTable.handleCounter;
        config->handle = handle;
        // A folder too long for the rule paths is not used at all: the log and
        // the statistics stay where the previous load put them. Nor is a missing
        // or empty one, which would read and write the current folder's files.
        bool folderFits = !folder.empty() && folder.size() <= MAX_FOLDER_LENGTH;
        if (folderFits) {
            setLogFolder(folder);
        }
        configPaths.mainRuleFilePath.clear();
        resetOptionsForLoad();
        if (folderFits) {
            readRuleFiles(folder, *config);
        } else if (folder.empty()) {
            writeLog(folderText == nullptr ? "error: no configuration folder given, none is read"
                                           : "error: empty configuration folder, none is read");
        } else {
            writeLog(
                formatText("error: configuration folder too long (%d characters, at most %d): "
                           "%.256s",
                           static_cast<int>(folder.size()), static_cast<int>(MAX_FOLDER_LENGTH),
                           folder.c_str()));
        }
        if (compile != nullptr) {
            compile(*config);
        }
        configTable.entries.push_back(std::move(config));
        traceLine(formatText("new config handle: %d", handle));
        traceLine(formatText("number of active configs: %d",
                             static_cast<int>(configTable.entries.size())));
        if (folderFits) {
            readStatistics(folder);
        }
    }
    traceLine("<<< loadConfig");
    return handle;
}

void releaseConfig(int32_t handle) {
    traceLine(">>> releaseConfig");
    {
        platform::LockGuard lock(moduleState.fetchLock);
        int32_t index = findConfigIndex(handle);
        traceLine(formatText("trying config handle: %d", handle));
        traceLine(formatText("that is configuration: %d", index));
        // An unknown handle releases nothing.
        if (index >= 0) {
            configTable.entries.erase(configTable.entries.begin() + index);
        }
        traceLine(
            formatText("configurations left: %d", static_cast<int>(configTable.entries.size())));
    }
    traceLine("<<< releaseConfig");
}

std::shared_ptr<FilterConfig> findConfig(int32_t handle) {
    int32_t index = findConfigIndex(handle);
    return index < 0 ? nullptr : configTable.entries[static_cast<size_t>(index)];
}

std::vector<std::string> mainRuleLines(int32_t handle) {
    platform::LockGuard lock(moduleState.fetchLock);
    std::vector<std::string> lines;
    if (std::shared_ptr<FilterConfig> config = findConfig(handle)) {
        // Lists make no main-file lines, so no run is among these.
        for (size_t item = 0; item < config->lines.size(); ++item) {
            if (config->lines.origin(item) == ORIGIN_MAIN) {
                lines.emplace_back(config->lines.line(item));
            }
        }
    }
    return lines;
}

bool mainRuleFileHasCutLines(int32_t handle) {
    platform::LockGuard lock(moduleState.fetchLock);
    std::shared_ptr<FilterConfig> config = findConfig(handle);
    return config != nullptr && config->mainFileHasCutLines;
}

std::string currentMainRuleFilePath() {
    platform::LockGuard lock(moduleState.fetchLock);
    return configPaths.mainRuleFilePath;
}

}  // namespace cw
