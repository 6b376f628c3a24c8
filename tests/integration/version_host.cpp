// A host executable for the version check: the plug-in accepts only a host named
// vellmox.exe, so the tests run this program under that name and others.
//   version_host LIBRARY VERSION...
// For each version text it prints the message boxes the check showed, a line
// "caption: text" each, then "checkVellmoxVersion(VERSION) = RESULT". On Windows
// the boxes are real: a second thread reads each one, adds its buttons to the line
// (" [OK]") and presses OK. On linux the plug-in writes the line
// on standard error, which goes to standard output here.
#include <cstdio>
#include <string>

#include "plugin_loader/plugin_library.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>

#include "win32/window_watcher.h"
#else
#include <unistd.h>
#endif

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s LIBRARY VERSION...\n", argv[0]);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);  // the same bytes as on linux
#endif
    PluginLibrary plugin;
    std::string error;
    if (!loadPluginLibrary(argv[1], plugin, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
#if defined(_WIN32)
    testwin::MessageBoxWatcher watcher(IDOK);
#else
    dup2(STDOUT_FILENO, STDERR_FILENO);
#endif
    for (int index = 2; index < argc; ++index) {
        int result = plugin.checkVellmoxVersion(argv[index]);
#if defined(_WIN32)
        for (const testwin::SeenMessageBox& box : watcher.takeAnswered()) {
            std::string buttons;
            for (const std::string& button : box.buttons) {
                buttons += (buttons.empty() ? "" : " ") + button;
            }
            std::printf("%s: %s [%s]\n", box.caption.c_str(), box.text.c_str(), buttons.c_str());
        }
#endif
        std::printf("checkVellmoxVersion(%s) = %d\n", argv[index], result);
    }
    unloadPluginLibrary(plugin);
    return 0;
}
