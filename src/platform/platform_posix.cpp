// POSIX side of the platform layer: the linux build used for tests and tools.
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/platform.h"

namespace cw::platform {

void createLock(ReentrantLock& lock) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&lock.mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

void deleteLock(ReentrantLock& lock) {
    pthread_mutex_destroy(&lock.mutex);
}
void enterLock(ReentrantLock& lock) {
    pthread_mutex_lock(&lock.mutex);
}
void leaveLock(ReentrantLock& lock) {
    pthread_mutex_unlock(&lock.mutex);
}

LocalTime localTime() {
    time_t now = time(nullptr);
    struct tm parts {};
    localtime_r(&now, &parts);
    return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,    parts.tm_hour,
                     parts.tm_min,         parts.tm_sec,     parts.tm_yday + 1};
}

uint64_t threadProcessorMicroseconds() {
    struct timespec used {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
    return static_cast<uint64_t>(used.tv_sec) * 1000000 +
           static_cast<uint64_t>(used.tv_nsec) / 1000;
}

const void* ownModuleHandle() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&ownModuleHandle), &info) == 0) {
        return nullptr;
    }
    return info.dli_fbase;
}

std::string modulePath(const void* moduleHandle) {
    const void* address =
        moduleHandle != nullptr ? moduleHandle : reinterpret_cast<const void*>(&ownModuleHandle);
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr || info.dli_fname[0] == '\0') {
        return hostExecutablePath();
    }
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) == nullptr) {
        return info.dli_fname;
    }
    return resolved;
}

std::string hostExecutablePath() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return "";
    }
    return std::string(path, static_cast<size_t>(length));
}

void showMessageBox(const char* text, const char* caption, MessageBoxKind) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

std::string lastErrorText() {
    return std::strerror(errno);
}

bool pumpWindowMessages() {
    return false;
}
void registerCommonControls() {}
const char* loadRichEditClass() {
    return nullptr;
}
void disableThreadNotifications(const void*) {}

uint32_t readBodyFile(BodyFile body, char* buffer, uint32_t capacity) {
    ssize_t count;
    do {
        count = read(static_cast<int>(body), buffer, capacity);
    } while (count < 0 && errno == EINTR);
    return count > 0 ? static_cast<uint32_t>(count) : 0;
}

FILE* openFile(const std::string& path, const char* mode) {
    if (path.empty()) {
        return nullptr;
    }
    const std::string_view kind(mode);
    int flags = O_CLOEXEC | O_NONBLOCK;
    if (kind == "r") {
        flags |= O_RDONLY;
    } else if (kind == "w") {
        flags |= O_WRONLY | O_CREAT;
    } else if (kind == "a") {
        flags |= O_WRONLY | O_CREAT | O_APPEND;
    } else {
        return nullptr;
    }
    // O_NONBLOCK: opening a FIFO waits for its other end otherwise. Opened for
    // writing without a reader it fails at once; opened for reading it is
    // refused below, like every other file that is not a regular one.
    int descriptor = open(path.c_str(), flags, 0666);
    if (descriptor < 0) {
        return nullptr;
    }
    struct stat status {};
    bool regular = fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
    // "w" empties the file only once it is known to be a regular one.
    if (!regular || fcntl(descriptor, F_SETFL, flags & O_APPEND) != 0 ||
        (kind == "w" && ftruncate(descriptor, 0) != 0)) {
        close(descriptor);
        return nullptr;
    }
    FILE* file = fdopen(descriptor, (std::string(mode) + "b").c_str());
    if (file == nullptr) {
        close(descriptor);
    }
    return file;
}

bool isNonRegularFile(const std::string& path) {
    struct stat status {};
    return !path.empty() && stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode);
}

bool truncateOpenFile(FILE* file, long size) {
    return std::fflush(file) == 0 && ftruncate(fileno(file), static_cast<off_t>(size)) == 0;
}

bool replaceFile(const std::string& path, const std::string& bytes) {
    std::string temporary = path + ".new";
    FILE* file = openFile(temporary, "w");
    if (file == nullptr) {
        return false;
    }
    // The first failure is the one to report; the clean-up must not overwrite it.
    int error = 0;
    auto note = [&error](bool succeeded) {
        if (!succeeded && error == 0) {
            error = errno;
        }
    };
    note(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
    note(std::fflush(file) == 0);
    note(fsync(fileno(file)) == 0);
    note(std::fclose(file) == 0);
    if (error == 0) {
        note(std::rename(temporary.c_str(), path.c_str()) == 0);
    }
    if (error != 0) {
        std::remove(temporary.c_str());
        errno = error;
        return false;
    }
    return true;
}

namespace {

bool readWholeFile(const std::string& path, std::string& bytes) {
    FILE* file = openFile(path, "r");
    if (file == nullptr) {
        return false;
    }
    char chunk[8192];
    size_t count;
    while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.append(chunk, count);
    }
    bool complete = std::ferror(file) == 0;
    std::fclose(file);
    return complete;
}

// Rewrites the existing file `path` with `bytes`, creating nothing.
bool rewriteExistingFile(const std::string& path, const std::string& bytes) {
    int file = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK);
    if (file < 0) {
        return false;
    }
    bool written = write(file, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
                   fsync(file) == 0;
    int error = errno;
    bool closed = close(file) == 0;
    errno = written ? errno : error;
    return written && closed;
}

}  // namespace

bool replaceFileKeepingBackup(const std::string& path, const std::string& backupPath,
                              const std::string& bytes) {
    std::string old;
    bool hadOld = readWholeFile(path, old);
    // A failed backup does not stop the save, which itself never harms the old file.
    if (hadOld) {
        replaceFile(backupPath, old);
    }
    if (replaceFile(path, bytes)) {
        return true;
    }
    int error = errno;
    if (error != EACCES || !hadOld) {
        return false;
    }
    // No new file can be made in the folder: rewrite the file where it is, but
    // only once its backup holds the old content.
    if (!rewriteExistingFile(backupPath, old)) {
        errno = error;
        return false;
    }
    return rewriteExistingFile(path, bytes);
}

bool overwriteFileInPlace(const std::string& path, const std::string& bytes) {
    int file = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (file < 0) {
        return false;
    }
    struct stat status {};
    bool written =
        fstat(file, &status) == 0 && S_ISREG(status.st_mode) &&
        static_cast<size_t>(status.st_size) == bytes.size() &&
        pwrite(file, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size());
    return close(file) == 0 && written;
}

}  // namespace cw::platform
