#include <gtest/gtest.h>
#include "plugin_loader/plugin_library.h"
TEST(Load, Loads) {
    PluginLibrary library;
    std::string error;
    ASSERT_TRUE(loadPluginLibrary(COBBLEWEAVE_LIBRARY, library, error)) << error;
}
