// Loads the plug-in library from a path, as the host does, and finds every
// export by name. Used by the command-line host stand-in and the integration tests.
#pragma once

#include <cstdint>
#include <string>

#include "common/host_records.h"

#if defined(_WIN32)
#include <windows.h>
#define PLUGIN_CALL __cdecl
using BodyFileHandle = HANDLE;
#else
#define PLUGIN_CALL
using BodyFileHandle = intptr_t;
#endif

struct PluginLibrary {
    void* handle = nullptr;

    int(PLUGIN_CALL* checkVellmoxVersion)(const char*) = nullptr;
    const char*(PLUGIN_CALL* getPluginName)() = nullptr;
    const char*(PLUGIN_CALL* getPluginVersion)() = nullptr;
    const char*(PLUGIN_CALL* getPluginAuthor)() = nullptr;
    const char*(PLUGIN_CALL* getPluginHomepage)() = nullptr;
    int(PLUGIN_CALL* getPluginDescription)(char*, int) = nullptr;
    void(PLUGIN_CALL* getPluginCapabilities)(void*, int32_t*) = nullptr;
    int(PLUGIN_CALL* getMessageBodyPrefix)(void*, void*, void*, char*, int) = nullptr;
    int(PLUGIN_CALL* getMaxBytesToAdd)() = nullptr;
    int(PLUGIN_CALL* createPluginWindow)() = nullptr;
    int(PLUGIN_CALL* hasPluginWindow)() = nullptr;
    void(PLUGIN_CALL* housekeeping)() = nullptr;
    void(PLUGIN_CALL* sessionStart)() = nullptr;
    void(PLUGIN_CALL* sessionEnd)() = nullptr;
    void(PLUGIN_CALL* fetchStart)(int32_t) = nullptr;
    void(PLUGIN_CALL* fetchEnd)(int32_t) = nullptr;
    void(PLUGIN_CALL* filterOnEmailAddress)() = nullptr;
    void(PLUGIN_CALL* filterOnHost)() = nullptr;
    void(PLUGIN_CALL* filterOnIpAddress)() = nullptr;
    void(PLUGIN_CALL* filterOnMessageHeaders)() = nullptr;
    void(PLUGIN_CALL* rewriteMessageBody)() = nullptr;
    void(PLUGIN_CALL* rewriteMessageHeaders)() = nullptr;
    int(PLUGIN_CALL* requireBodyRewriting)() = nullptr;
    int(PLUGIN_CALL* requireHeaderRewriting)() = nullptr;
    int(PLUGIN_CALL* validateConfigDialog)() = nullptr;
    void(PLUGIN_CALL* filterOnMessageBody)(const char**, int32_t, BodyFileHandle, int32_t,
                                           cw::MessageStatus*, int32_t) = nullptr;
    uint32_t(PLUGIN_CALL* getAddedHeaderLines)(int32_t, void*, void*, char*, uint32_t) = nullptr;
    int32_t(PLUGIN_CALL* loadConfig)(const char*) = nullptr;
    void(PLUGIN_CALL* releaseConfig)(int32_t) = nullptr;
    uint32_t(PLUGIN_CALL* minBodyBytesRequired)(int32_t, void*, void*, void*,
                                                cw::MessageStatus*) = nullptr;
    int(PLUGIN_CALL* requireBodyFiltering)(void*, void*, void*, cw::MessageStatus*) = nullptr;
    void(PLUGIN_CALL* processedMessage)(void*, void*, void*, void*, cw::MessageStatus*) = nullptr;
#if defined(_WIN32)
    int(WINAPI* LibMain)(HINSTANCE, DWORD, LPVOID) = nullptr;
#else
    int (*LibMain)(void*, int32_t, void*) = nullptr;
#endif
};

// Loads the library and resolves every export. On failure returns false and
// names the reason (the library could not be loaded, or the first missing export).
bool loadPluginLibrary(const std::string& path, PluginLibrary& library, std::string& error);

// Unloads a library that loadPluginLibrary loaded.
void unloadPluginLibrary(PluginLibrary& library);
