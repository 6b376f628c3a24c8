// A configuration folder and a module folder of its own for every test, so the
// fall-backs to the module folder can be tried without touching the build tree.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/module_state.h"
#include "config/config_table.h"
#include "scratch_folder.h"

namespace cw {

using Lines = std::vector<std::string>;
using Origins = std::vector<int>;

class ConfigLoadTest : public testing::Test {
  protected:
    void SetUp() override {
        folder = makeScratchFolder();
        moduleFolderPath = makeScratchFolder();
        moduleState.moduleFolderOverride = moduleFolderPath;
    }

    void writeConfigFile(const std::string& name, const std::string& content) const {
        writeFileBytes(folder + name, content);
    }
    void writeModuleFile(const std::string& name, const std::string& content) const {
        writeFileBytes(moduleFolderPath + name, content);
    }

    int32_t load() const { return loadConfig(folder.c_str()); }
    int32_t load(const std::string& mainRules) const {
        writeConfigFile("filters.dat", mainRules);
        return load();
    }

    // The stored lines of a configuration, list runs expanded.
    Lines storedLines(int32_t handle) const {
        std::shared_ptr<const FilterConfig> config = findConfig(handle);
        if (config == nullptr) {
            ADD_FAILURE() << "no configuration " << handle;
            return {};
        }
        Lines lines;
        for (size_t item = 0; item < config->lines.size(); ++item) {
            const ListRun* run = config->lines.run(item);
            for (size_t entry = 0; run != nullptr && entry < run->size(); ++entry) {
                lines.push_back(run->line(entry));
            }
            if (run == nullptr) {
                lines.emplace_back(config->lines.line(item));
            }
        }
        return lines;
    }

    Origins storedOrigins(int32_t handle) const {
        std::shared_ptr<const FilterConfig> config = findConfig(handle);
        if (config == nullptr) {
            ADD_FAILURE() << "no configuration " << handle;
            return {};
        }
        Origins origins;
        for (size_t item = 0; item < config->lines.size(); ++item) {
            const ListRun* run = config->lines.run(item);
            origins.insert(origins.end(), run != nullptr ? run->size() : 1,
                           config->lines.origin(item));
        }
        return origins;
    }

    Lines logLines() const { return logLinesWithoutStamps(folder + "cobbleweave.log"); }

    std::string folder;            // ends with the separator
    std::string moduleFolderPath;  // ends with the separator
};

}  // namespace cw
