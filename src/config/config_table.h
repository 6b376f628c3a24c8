// Configurations: each loadConfig reads the main and the local rule file into a
// new FilterConfig addressed by a handle (1, 2, 3, ... never reused). The lines
// are kept as text; what a scan needs of them is compiled once, by the engine,
// and kept beside them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/line_store.h"

namespace cw {

inline constexpr uint8_t ORIGIN_MAIN = 0;
inline constexpr uint8_t ORIGIN_INCLUDED = 1;
inline constexpr uint8_t ORIGIN_LOCAL = 2;

// Paths are built in buffers of this size, terminator included.
inline constexpr size_t RULE_PATH_SIZE = 260;

// What a layer above derives from a configuration's lines (the engine's compiled
// rule set), kept with the configuration and dropped with it. The lines never
// change after the load, so it may point into them.
struct CompiledRules {
    virtual ~CompiledRules() = default;
};

struct FilterConfig {
    int32_t handle = 0;
    LineStore lines;
    std::shared_ptr<CompiledRules> compiled;  // null until compiled
    // What the include lists of the load have added so far (rules, bytes read),
    // against the bound of one load.
    size_t includedRules = 0;
    size_t includedBytes = 0;
    // A line of the main rule file was longer than a piece and is kept as several
    // lines: the editor could not show it as it is.
    bool mainFileHasCutLines = false;

    int32_t lineCount() const { return static_cast<int32_t>(lines.lineCount()); }
};

// Called under the fetch lock once a configuration's files are read, before it
// is entered in the table; it must not log (its findings are the scan's to report).
using CompileConfig = void (*)(FilterConfig& config);

// Shared, so that a scan keeps its configuration alive even when a window message
// it dispatches releases the configuration on the same thread.
struct ConfigTable {
    std::vector<std::shared_ptr<FilterConfig>> entries;  // in load order
    int32_t handleCounter = 0;
};

struct ConfigPaths {
    std::string mainRuleFilePath;
    std::string statisticsPath;
};

extern ConfigTable configTable;
extern ConfigPaths configPaths;

int32_t loadConfig(const char* folder, CompileConfig compile = nullptr);
void releaseConfig(int32_t handle);

// The configuration with the handle, or null. Takes no lock.
std::shared_ptr<FilterConfig> findConfig(int32_t handle);

// Copies of the main rule file's lines (origin ORIGIN_MAIN) of the configuration
// with the handle, in file order; empty for an unknown handle. Takes the fetch
// lock, so a release on another thread cannot free the lines while they are read.
std::vector<std::string> mainRuleLines(int32_t handle);

// Whether the configuration's main rule file had a line too long to be kept whole
// (see FilterConfig::mainFileHasCutLines). Takes the fetch lock.
bool mainRuleFileHasCutLines(int32_t handle);

// The main rule file path of the latest load, read under the fetch lock.
std::string currentMainRuleFilePath();

}  // namespace cw
