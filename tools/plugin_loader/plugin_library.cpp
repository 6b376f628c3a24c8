#include "plugin_loader/plugin_library.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

namespace {

void* findExport(void* handle, const char* name) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
#else
    return dlsym(handle, name);
#endif
}

template <typename Function>
bool resolve(void* handle, const char* name, Function& function, std::string& error) {
    void* address = findExport(handle, name);
    if (address == nullptr) {
        if (error.empty()) {
            error = std::string("export not found: ") + name;
        }
        return false;
    }
    function = reinterpret_cast<Function>(address);
    return true;
}

}  // namespace

bool loadPluginLibrary(const std::string& path, PluginLibrary& library, std::string& error) {
    error.clear();
#if defined(_WIN32)
    library.handle = LoadLibraryA(path.c_str());
    if (library.handle == nullptr) {
        error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
#else
    library.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library.handle == nullptr) {
        const char* reason = dlerror();
        error = "cannot load " + path + ": " + (reason != nullptr ? reason : "unknown error");
        return false;
    }
#endif
    void* h = library.handle;
    bool ok = true;
#define RESOLVE(name) ok = resolve(h, #name, library.name, error) && ok
    RESOLVE(LibMain);
    RESOLVE(checkVellmoxVersion);
    RESOLVE(getPluginName);
    RESOLVE(getPluginVersion);
    RESOLVE(getPluginAuthor);
    RESOLVE(getPluginHomepage);
    RESOLVE(getPluginDescription);
    RESOLVE(getPluginCapabilities);
    RESOLVE(getMessageBodyPrefix);
    RESOLVE(getMaxBytesToAdd);
    RESOLVE(createPluginWindow);
    RESOLVE(hasPluginWindow);
    RESOLVE(housekeeping);
    RESOLVE(sessionStart);
    RESOLVE(sessionEnd);
    RESOLVE(fetchStart);
    RESOLVE(fetchEnd);
    RESOLVE(filterOnEmailAddress);
    RESOLVE(filterOnHost);
    RESOLVE(filterOnIpAddress);
    RESOLVE(filterOnMessageHeaders);
    RESOLVE(rewriteMessageBody);
    RESOLVE(rewriteMessageHeaders);
    RESOLVE(requireBodyRewriting);
    RESOLVE(requireHeaderRewriting);
    RESOLVE(validateConfigDialog);
    RESOLVE(filterOnMessageBody);
    RESOLVE(getAddedHeaderLines);
    RESOLVE(loadConfig);
    RESOLVE(releaseConfig);
    RESOLVE(minBodyBytesRequired);
    RESOLVE(requireBodyFiltering);
    RESOLVE(processedMessage);
#undef RESOLVE
    if (!ok) {
        unloadPluginLibrary(library);
    }
    return ok;
}

void unloadPluginLibrary(PluginLibrary& library) {
    if (library.handle == nullptr) {
        return;
    }
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(library.handle));
#else
    dlclose(library.handle);
#endif
    library.handle = nullptr;
}
