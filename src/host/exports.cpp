// The exported entry points: a thin C layer over the plug-in. Each one converts
// its arguments, calls the operation and makes sure no exception reaches the host.
// On Windows cobbleweave.def lists the names; on linux a version script does.
#include <cstdint>
#include <exception>

#include "base/filter_options.h"
#include "base/log_writer.h"
#include "base/module_state.h"
#include "common/host_records.h"
#include "config/config_table.h"
#include "config/statistics.h"
#include "engine/added_lines.h"
#include "engine/fetch_table.h"
#include "engine/message_scan.h"
#include "engine/rule_set.h"
#include "host/plugin_info.h"
#include "platform/platform.h"
#if defined(_WIN32)
#include "ui/dialogs.h"
#endif

#if defined(_WIN32)
#define CW_EXPORT extern "C"
#define CW_CDECL __cdecl
#define CW_STDCALL __stdcall
#else
#define CW_EXPORT extern "C" __attribute__((visibility("default")))
#define CW_CDECL
#endif

using cw::MessageStatus;
using cw::platform::BodyFile;

namespace {

// Runs `operation`; any exception ends the call quietly with `fallback`.
template <typename Result, typename Operation>
Result guarded(Result fallback, Operation operation) noexcept {
    try {
        return operation();
    } catch (...) {
        return fallback;
    }
}

template <typename Operation>
void guarded(Operation operation) noexcept {
    try {
        operation();
    } catch (...) {
    }
}

}  // namespace

#if defined(_WIN32)
// The Win32 types of the entry points, spelled without <windows.h>: BOOL is an
// int, HINSTANCE and LPVOID are pointers, DWORD is a 32-bit unsigned long.
CW_EXPORT int CW_STDCALL LibMain(void* module, unsigned long reason, void*) {
    return guarded(1, [&] { return cw::libMain(module, static_cast<int32_t>(reason)); });
}

// The loader's entry point hands process attach and detach to LibMain.
extern "C" int CW_STDCALL DllMain(void* module, unsigned long reason, void* reserved) {
    return LibMain(module, reason, reserved);
}
#else
CW_EXPORT int LibMain(void* module, int32_t reason, void*) {
    return guarded(1, [&] { return cw::libMain(module, reason); });
}

__attribute__((constructor)) static void attachOnLoad() {
    LibMain(const_cast<void*>(cw::platform::ownModuleHandle()), cw::REASON_PROCESS_ATTACH, nullptr);
}

__attribute__((destructor)) static void detachOnUnload() {
    LibMain(const_cast<void*>(cw::platform::ownModuleHandle()), cw::REASON_PROCESS_DETACH, nullptr);
}
#endif

CW_EXPORT int CW_CDECL checkVellmoxVersion(const char* version) {
    return guarded(0, [&] { return cw::checkVellmoxVersion(version); });
}

CW_EXPORT const char* CW_CDECL getPluginName() {
    return cw::PLUGIN_NAME;
}
CW_EXPORT const char* CW_CDECL getPluginVersion() {
    return cw::PLUGIN_VERSION;
}
CW_EXPORT const char* CW_CDECL getPluginAuthor() {
    return cw::PLUGIN_AUTHOR;
}
CW_EXPORT const char* CW_CDECL getPluginHomepage() {
    return cw::PLUGIN_HOMEPAGE;
}

CW_EXPORT int CW_CDECL getPluginDescription(char* buffer, int size) {
    return guarded(0, [&] { return cw::getPluginDescription(buffer, size); });
}

CW_EXPORT void CW_CDECL getPluginCapabilities(void*, int32_t* record) {
    guarded([&] { cw::getPluginCapabilities(record); });
}

CW_EXPORT int CW_CDECL getMessageBodyPrefix(void*, void*, void*, char* buffer, int size) {
    return guarded(1, [&] { return cw::getMessageBodyPrefix(buffer, size); });
}

CW_EXPORT int CW_CDECL getMaxBytesToAdd() {
    return guarded(0, [] {
        cw::traceLine("=== getMaxBytesToAdd");
        return static_cast<int>(cw::filterOptions.maxComment);
    });
}

CW_EXPORT int CW_CDECL createPluginWindow() {
    guarded([] { cw::traceLine("=== createPluginWindow"); });
    return 0;
}

CW_EXPORT int CW_CDECL hasPluginWindow() {
    guarded([] { cw::traceLine("=== hasPluginWindow"); });
    return 0;
}

CW_EXPORT void CW_CDECL housekeeping() {
    guarded([] { cw::traceLine("=== housekeeping"); });
}

CW_EXPORT void CW_CDECL sessionStart() {
    guarded([] { cw::traceLine("=== sessionStart"); });
}

CW_EXPORT void CW_CDECL sessionEnd() {
    guarded([] { cw::traceLine("=== sessionEnd"); });
}

CW_EXPORT void CW_CDECL fetchStart(int32_t fetchId) {
    guarded([&] { cw::fetchStart(fetchId); });
}

CW_EXPORT void CW_CDECL fetchEnd(int32_t fetchId) {
    guarded([&] { cw::fetchEnd(fetchId); });
}

CW_EXPORT void CW_CDECL filterOnEmailAddress() {}
CW_EXPORT void CW_CDECL filterOnHost() {}
CW_EXPORT void CW_CDECL filterOnIpAddress() {}
CW_EXPORT void CW_CDECL filterOnMessageHeaders() {}
CW_EXPORT void CW_CDECL rewriteMessageBody() {}
CW_EXPORT void CW_CDECL rewriteMessageHeaders() {}
CW_EXPORT int CW_CDECL requireBodyRewriting() {
    return 0;
}
CW_EXPORT int CW_CDECL requireHeaderRewriting() {
    return 0;
}
CW_EXPORT int CW_CDECL validateConfigDialog() {
    return 1;
}

CW_EXPORT void CW_CDECL filterOnMessageBody(const char** lines, int32_t count, BodyFile body,
                                            int32_t fetchId, MessageStatus* status,
                                            int32_t config) {
    guarded([&] { cw::filterOnMessageBody(lines, count, body, fetchId, status, config); });
}

CW_EXPORT uint32_t CW_CDECL getAddedHeaderLines(int32_t fetchId, void*, void*, char* buffer,
                                                uint32_t size) {
    return guarded(uint32_t{1}, [&] { return cw::getAddedHeaderLines(fetchId, buffer, size); });
}

CW_EXPORT int32_t CW_CDECL loadConfig(const char* folder) {
    return guarded(int32_t{0}, [&] { return cw::loadConfig(folder, cw::compileRuleSet); });
}

CW_EXPORT void CW_CDECL releaseConfig(int32_t handle) {
    guarded([&] { cw::releaseConfig(handle); });
}

CW_EXPORT uint32_t CW_CDECL minBodyBytesRequired(int32_t code, void*, void*, void*,
                                                 MessageStatus* status) {
    return guarded(uint32_t{0}, [&] { return cw::minBodyBytesRequired(code, status); });
}

CW_EXPORT int CW_CDECL requireBodyFiltering(void*, void*, void*, MessageStatus* status) {
    return guarded(1, [&] { return cw::requireBodyFiltering(status); });
}

CW_EXPORT void CW_CDECL processedMessage(void*, void*, void*, void*, MessageStatus* status) {
    guarded([&] { cw::processedMessage(status); });
}

#if defined(_WIN32)
// Window handles (HWND) are opaque pointers here; the dialogs convert them.
CW_EXPORT void* CW_CDECL createConfigDialog(int32_t configHandle, void* parent) {
    return guarded(static_cast<void*>(nullptr), [&] {
        cw::traceLine("=== createConfigDialog");
        return cw::createConfigDialog(configHandle, parent);
    });
}
CW_EXPORT void* CW_CDECL createInfoDialog(void* parent) {
    return guarded(static_cast<void*>(nullptr), [&] {
        cw::traceLine("=== createInfoDialog");
        return cw::createInfoDialog(parent);
    });
}
CW_EXPORT void CW_CDECL saveConfigFromDialog(void* dialog, void*, const char* folder) {
    guarded([&] { cw::saveConfigFromDialog(dialog, folder); });
}
#endif
