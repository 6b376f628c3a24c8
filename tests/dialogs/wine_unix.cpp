#include "wine_unix.h"

#include <gtest/gtest.h>

namespace {

// Wine's own exports; they exist only under Wine, which is where these tests run.
using SpawnFunction = long(__cdecl*)(char* const* arguments, int wait);
using UnixNameFunction = char*(__cdecl*)(const wchar_t* windowsPath);

template <typename Function>
Function wineExport(const char* module, const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(module), name)));
}

}  // namespace

bool runUnixProgram(const std::vector<std::string>& arguments) {
    auto spawn = wineExport<SpawnFunction>("ntdll.dll", "__wine_unix_spawnvp");
    if (spawn == nullptr) {
        ADD_FAILURE() << "not running under Wine: cannot start " << arguments.front();
        return false;
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    return spawn(argv.data(), 1) == 0;
}

std::string unixPath(const std::string& windowsPath) {
    auto toUnix = wineExport<UnixNameFunction>("kernel32.dll", "wine_get_unix_file_name");
    if (toUnix == nullptr) {
        return std::string();
    }
    std::wstring wide(windowsPath.begin(), windowsPath.end());
    char* path = toUnix(wide.c_str());
    if (path == nullptr) {
        return std::string();
    }
    std::string result(path);
    HeapFree(GetProcessHeap(), 0, path);
    return result;
}

void saveScreenshot(const std::string& name, const std::vector<HWND>& windows) {
    RECT area{};
    for (HWND window : windows) {
        RECT rectangle;
        GetWindowRect(window, &rectangle);
        UnionRect(&area, &area, &rectangle);
    }
    runUnixProgram({"mkdir", "-p", SCREENSHOT_DIR});
    std::string geometry = std::to_string(area.right - area.left) + "x" +
                           std::to_string(area.bottom - area.top) + "+" +
                           std::to_string(area.left) + "+" + std::to_string(area.top);
    EXPECT_TRUE(runUnixProgram({"import", "-window", "root", "-crop", geometry, "+repage",
                                std::string(SCREENSHOT_DIR) + "/" + name + ".png"}))
        << "screenshot " << name;
}
