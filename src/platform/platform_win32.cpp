// Win32 side of the platform layer: the cobbleweave.dll that users install.
#include <windows.h>
// commctrl.h needs the types of windows.h.
#include <commctrl.h>

#include <io.h>

#include <algorithm>
#include <cstdio>

#include "platform/platform.h"

namespace cw::platform {

namespace {

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(ReentrantLock::storage));
static_assert(alignof(CRITICAL_SECTION) <= alignof(ReentrantLock));

CRITICAL_SECTION* sectionOf(ReentrantLock& lock) {
    return reinterpret_cast<CRITICAL_SECTION*>(lock.storage);
}

}  // namespace

void createLock(ReentrantLock& lock) {
    InitializeCriticalSection(sectionOf(lock));
}
void deleteLock(ReentrantLock& lock) {
    DeleteCriticalSection(sectionOf(lock));
}
void enterLock(ReentrantLock& lock) {
    EnterCriticalSection(sectionOf(lock));
}
void leaveLock(ReentrantLock& lock) {
    LeaveCriticalSection(sectionOf(lock));
}

LocalTime localTime() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    static const int daysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    int year = now.wYear;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int dayOfYear = daysBeforeMonth[now.wMonth - 1] + now.wDay + ((leap && now.wMonth > 2) ? 1 : 0);
    return LocalTime{year, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, dayOfYear};
}

uint64_t threadProcessorMicroseconds() {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) {
        return 0;
    }
    auto ticks = [](const FILETIME& time) {
        return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return (ticks(kernel) + ticks(user)) / 10;  // 100-ns ticks
}

const void* ownModuleHandle() {
    HMODULE module = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&ownModuleHandle), &module);
    return module;
}

std::string modulePath(const void* moduleHandle) {
    HMODULE module = static_cast<HMODULE>(const_cast<void*>(moduleHandle));
    if (module == nullptr) {
        module = static_cast<HMODULE>(const_cast<void*>(ownModuleHandle()));
    }
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return "";
    }
    return std::string(path, length);
}

std::string hostExecutablePath() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return "";
    }
    return std::string(path, length);
}

void showMessageBox(const char* text, const char* caption, MessageBoxKind kind) {
    UINT style = MB_OK;
    if (kind == MessageBoxKind::EXCLAMATION) {
        style |= MB_ICONEXCLAMATION;
    } else if (kind == MessageBoxKind::EXCLAMATION_FOREGROUND) {
        style |= MB_ICONEXCLAMATION | MB_SETFOREGROUND;
    }
    MessageBoxA(nullptr, text, caption, style);
}

std::string lastErrorText() {
    DWORD error = GetLastError();
    char* message = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<LPSTR>(&message), 0, nullptr);
    std::string text = length > 0 ? std::string(message, length)
                                  : "error " + std::to_string(static_cast<unsigned long>(error));
    LocalFree(message);
    return text;
}

bool pumpWindowMessages() {
    MSG message;
    bool dispatched = false;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
        dispatched = true;
    }
    return dispatched;
}

void registerCommonControls() {
    InitCommonControls();
}

const char* loadRichEditClass() {
    // The loaded library is never freed: the editor's controls need it for the
    // life of the process.
    if (LoadLibraryA("RICHED20.DLL") != nullptr) {
        return "RichEdit20A";
    }
    if (LoadLibraryA("RICHED32.DLL") != nullptr) {
        return "RICHEDIT";
    }
    return nullptr;
}

void disableThreadNotifications(const void* moduleHandle) {
    DisableThreadLibraryCalls(static_cast<HMODULE>(const_cast<void*>(moduleHandle)));
}

uint32_t readBodyFile(BodyFile body, char* buffer, uint32_t capacity) {
    DWORD count = 0;
    if (!ReadFile(static_cast<HANDLE>(body), buffer, capacity, &count, nullptr)) {
        return 0;
    }
    return count;
}

FILE* openFile(const std::string& path, const char* mode) {
    if (path.empty()) {
        return nullptr;
    }
    std::string binaryMode = std::string(mode) + "b";
    FILE* file = std::fopen(path.c_str(), binaryMode.c_str());
    if (file == nullptr) {
        return nullptr;
    }
    // Only a file on a disk: not a pipe, a console or a device such as NUL or COM1.
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

bool isNonRegularFile(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    // A device name (NUL, COM1) has no attributes but opens.
    HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool disk = GetFileType(handle) == FILE_TYPE_DISK;
    CloseHandle(handle);
    return !disk;
}

bool truncateOpenFile(FILE* file, long size) {
    return std::fflush(file) == 0 && _chsize(_fileno(file), size) == 0;
}

namespace {

// Writes `bytes` to the open file from its start and cuts it there; the first
// failing step's error, or ERROR_SUCCESS.
DWORD writeWholeOpenFile(HANDLE file, const std::string& bytes) {
    size_t offset = 0;
    while (offset < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - offset, 1u << 30));
        DWORD done = 0;
        if (!WriteFile(file, bytes.data() + offset, chunk, &done, nullptr)) {
            return GetLastError();
        }
        if (done == 0) {
            return ERROR_WRITE_FAULT;
        }
        offset += done;
    }
    if (!SetEndOfFile(file) || !FlushFileBuffers(file)) {
        return GetLastError();
    }
    return ERROR_SUCCESS;
}

// Creates `path` (replacing a file there) with `bytes`, or with `existingOnly`
// rewrites the file that is there without creating one. The error, or ERROR_SUCCESS.
DWORD writeFileHandle(const std::string& path, const std::string& bytes, bool existingOnly) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                    existingOnly ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    DWORD error = writeWholeOpenFile(file, bytes);
    if (!CloseHandle(file) && error == ERROR_SUCCESS) {
        error = GetLastError();
    }
    return error;
}

bool fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The clean-up after a failed step must not overwrite the error that step left.
bool failWith(DWORD error, const std::string& temporary) {
    DeleteFileA(temporary.c_str());
    SetLastError(error);
    return false;
}

}  // namespace

bool replaceFile(const std::string& path, const std::string& bytes) {
    std::string temporary = path + ".new";
    DWORD error = writeFileHandle(temporary, bytes, false);
    if (error == ERROR_SUCCESS &&
        !MoveFileExA(temporary.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = GetLastError();
    }
    return error == ERROR_SUCCESS || failWith(error, temporary);
}

bool replaceFileKeepingBackup(const std::string& path, const std::string& backupPath,
                              const std::string& bytes) {
    if (!fileExists(path)) {
        return replaceFile(path, bytes);  // nothing to keep
    }
    std::string temporary = path + ".new";
    DWORD error = writeFileHandle(temporary, bytes, false);
    if (error == ERROR_ACCESS_DENIED) {
        // No new file can be made in the folder: rewrite the file where it is, but
        // only once its backup holds the old content.
        if (!CopyFileA(path.c_str(), backupPath.c_str(), FALSE)) {
            SetLastError(error);
            return false;
        }
        error = writeFileHandle(path, bytes, true);
        SetLastError(error);
        return error == ERROR_SUCCESS;
    }
    if (error != ERROR_SUCCESS) {
        return failWith(error, temporary);
    }
    // ReplaceFileA gives the new file the old one's attributes and security, and
    // moves the old one to the backup name.
    if (ReplaceFileA(path.c_str(), temporary.c_str(), backupPath.c_str(),
                     REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        return true;
    }
    error = GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 && !fileExists(path)) {
        // The old file went to the backup name but the new one did not follow:
        // put the old content back, so that a rule file stays.
        CopyFileA(backupPath.c_str(), path.c_str(), TRUE);
    }
    return failWith(error, temporary);
}

bool overwriteFileInPlace(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER size{};
    DWORD done = 0;
    bool written =
        GetFileSizeEx(file, &size) &&
        static_cast<unsigned long long>(size.QuadPart) == bytes.size() &&
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
        done == bytes.size();
    return CloseHandle(file) && written;
}

}  // namespace cw::platform
