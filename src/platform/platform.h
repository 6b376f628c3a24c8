// The platform layer: every call that differs between Win32 and POSIX goes through
// here. platform_win32.cpp and platform_posix.cpp implement it; CMake builds one.
// Everything above this layer is portable and behaves identically on both targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace cw::platform {

// '\\' on Windows, '/' on POSIX: what rule-file paths use to find their folder.
#if defined(_WIN32)
inline constexpr char PATH_SEPARATOR = '\\';
#else
inline constexpr char PATH_SEPARATOR = '/';
#endif

// The host's body file: a Win32 HANDLE, or on POSIX an open file descriptor.
#if defined(_WIN32)
using BodyFile = void*;
#else
using BodyFile = intptr_t;
#endif

// A lock that its owning thread may enter again (critical section / recursive mutex).
// On Win32 the critical section lives in `storage`, so that <windows.h> stays
// inside platform_win32.cpp (which checks that it fits).
struct ReentrantLock {
#if defined(_WIN32)
    alignas(void*) unsigned char storage[8 * sizeof(void*)];
#else
    pthread_mutex_t mutex;
#endif
};

void createLock(ReentrantLock& lock);
void deleteLock(ReentrantLock& lock);
void enterLock(ReentrantLock& lock);
void leaveLock(ReentrantLock& lock);

// Holds a lock for the lifetime of a scope.
class LockGuard {
  public:
    explicit LockGuard(ReentrantLock& lock) : lock_(lock) { enterLock(lock_); }
    ~LockGuard() { leaveLock(lock_); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

  private:
    ReentrantLock& lock_;
};

struct LocalTime {
    int year;       // e.g. 2026
    int month;      // 1..12
    int day;        // 1..31
    int hour;       // 0..23
    int minute;     // 0..59
    int second;     // 0..59
    int dayOfYear;  // 1..366

    bool operator==(const LocalTime&) const = default;
};

LocalTime localTime();

// Processor time the calling thread has used, in microseconds (on Win32 in the
// scheduler's steps of about 16 ms). Unlike the wall clock it does not run on
// while the thread waits for a processor.
uint64_t threadProcessorMicroseconds();

// Full path of the module file that `moduleHandle` names (on POSIX: any address
// inside the module, or null for the module holding this code). Empty on failure.
std::string modulePath(const void* moduleHandle);

// Full path of the running executable (on linux the target of /proc/self/exe).
std::string hostExecutablePath();

// On POSIX the attach routine needs the module's base address.
const void* ownModuleHandle();

enum class MessageBoxKind { PLAIN, EXCLAMATION, EXCLAMATION_FOREGROUND };

// Win32: MessageBoxA with no owner. POSIX: "caption: text" on standard error.
void showMessageBox(const char* text, const char* caption, MessageBoxKind kind);

// The system's message for the calling thread's last error (GetLastError, errno),
// as the system words it.
std::string lastErrorText();

// Win32: dispatches every waiting window message of the calling thread. POSIX:
// nothing. True when a message was dispatched.
bool pumpWindowMessages();

// Win32: registers the common controls. POSIX: nothing.
void registerCommonControls();

// Loads a rich edit library and returns its window class name, or null when none loads.
const char* loadRichEditClass();

// Win32: stops thread attach and detach notifications for the module. POSIX: nothing.
void disableThreadNotifications(const void* moduleHandle);

// One read of at most `capacity` bytes from the body file's current position.
// Returns the byte count, 0 at the end or on failure.
uint32_t readBodyFile(BodyFile body, char* buffer, uint32_t capacity);

// fopen in binary mode (`mode`: "r", "w" or "a", without the "b"), for regular
// files only: a folder, a FIFO, a device or a pipe is refused (null), and opening
// one never blocks, so a FIFO put where a rule file or the log belongs cannot
// hang a load or a scan, nor a device such as /dev/zero feed one without end.
FILE* openFile(const std::string& path, const char* mode);

// Whether something other than a regular file stands at `path` (a folder, a
// FIFO, a device): what openFile refuses although the path exists.
bool isNonRegularFile(const std::string& path);

// Cuts the open file `file` back to `size` bytes (what a failed write added goes
// again). False when that fails.
bool truncateOpenFile(FILE* file, long size);

// Replaces `path` with `bytes` so that a crash or a full disk never leaves a
// half-written file in its place: writes a file beside it, flushes it to the
// disk, then renames it over. On failure the last error (see lastErrorText) tells
// why the step that failed did.
bool replaceFile(const std::string& path, const std::string& bytes);

// Replaces `path` with `bytes` as replaceFile does, keeping the file it replaces
// as `backupPath` (replaced, when there is one). Win32 keeps the old file's
// attributes and security on the new one. Where no file can be created beside
// `path`, copies `path` to an existing `backupPath` and then rewrites `path` in
// place; without that backup nothing is written. False (with the last error set)
// when the save fails; `path` then still holds its old content, except when a
// rewrite in place fails half-way, when the backup holds it.
bool replaceFileKeepingBackup(const std::string& path, const std::string& backupPath,
                              const std::string& bytes);

// Writes `bytes` over the start of the existing file `path` in one write, when
// the file already holds exactly that many bytes; nothing is created, flushed or
// resized. False (the file untouched) when it is missing or of another size, or
// the write fails.
bool overwriteFileInPlace(const std::string& path, const std::string& bytes);

}  // namespace cw::platform
