// A host executable for the version check: the plug-in accepts only a host named
// vellmox.exe, so the tests run this program under that name (and others).
//   version_host LIBRARY VERSION  -> prints checkVellmoxVersion's result
#include <cstdio>
#include <string>

#include "plugin_loader/plugin_library.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s LIBRARY VERSION\n", argv[0]);
        return 2;
    }
    PluginLibrary plugin;
    std::string error;
    if (!loadPluginLibrary(argv[1], plugin, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    std::printf("%d\n", plugin.checkVellmoxVersion(argv[2]));
    unloadPluginLibrary(plugin);
    return 0;
}
