#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "cobbleweave_scan/host_platform.h"

namespace cw::scantool {

namespace {

// What a pipe holds at first, and the most a body pipe is grown to (Linux lets
// anyone grow a pipe to 1 MB); longer bodies go through a temporary file.
constexpr size_t DEFAULT_PIPE_BYTES = 65536;
constexpr size_t MAX_BODY_PIPE_BYTES = 1024 * 1024;

std::string errnoText() {
    return std::strerror(errno);
}

bool writeAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t count = write(fd, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        done += static_cast<size_t>(count);
    }
    return true;
}

// Hands `bytes` over through a pipe that holds them all, so that no temporary
// file is made: the plug-in's single read of a pipe returns everything the pipe
// holds, up to what it asks for. False when the pipe cannot be made that large.
bool openBodyPipe(std::string_view bytes, BodyFile& body) {
    if (bytes.size() > MAX_BODY_PIPE_BYTES) {
        return false;
    }
    // Not blocking: a write beyond what the pipe holds fails at once instead of
    // waiting for a reader that never comes. (A read of an empty pipe whose
    // writer is gone still ends the body.)
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    if (bytes.size() > DEFAULT_PIPE_BYTES) {
        fcntl(ends[1], F_SETPIPE_SZ, static_cast<int>(bytes.size()));
    }
    bool held = writeAll(ends[1], bytes);
    close(ends[1]);
    if (!held) {
        close(ends[0]);
        return false;
    }
    body.handle = ends[0];
    return true;
}

}  // namespace

BodyFile::BodyFile() : handle(-1) {}

BodyFile::~BodyFile() {
    if (handle >= 0) {
        close(static_cast<int>(handle));
    }
}

bool openBodyInFile(const std::string& path, uint64_t offset, BodyFile& body, std::string& error) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open '" + path + "': " + errnoText();
        return false;
    }
    body.handle = fd;
    if (lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        error = "cannot seek in '" + path + "': " + errnoText();
        return false;
    }
    return true;
}

bool openBodyCopy(std::string_view bytes, BodyFile& body, std::string& error) {
    if (openBodyPipe(bytes, body)) {
        return true;
    }
    FILE* stream = tmpfile();
    if (stream == nullptr) {
        error = std::string("cannot create a temporary file: ") + errnoText();
        return false;
    }
    // The descriptor outlives the stream: it keeps the unlinked file alive.
    int fd = dup(fileno(stream));
    fclose(stream);
    if (fd < 0) {
        error = std::string("cannot create a temporary file: ") + errnoText();
        return false;
    }
    body.handle = fd;
    if (!writeAll(fd, bytes) || lseek(fd, 0, SEEK_SET) < 0) {
        error = std::string("cannot write a temporary file: ") + errnoText();
        return false;
    }
    return true;
}

bool createScratchFolder(std::string& folder, std::string& error) {
    std::error_code code;
    std::filesystem::path temporary = std::filesystem::temp_directory_path(code);
    std::string pattern = (code ? std::string("/tmp") : temporary.string()) + "/cobbleweave-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        error = "cannot create a scratch folder " + pattern + ": " + errnoText();
        return false;
    }
    folder = std::string(name.data()) + "/";
    return true;
}

std::string executableFolder() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return "";
    }
    std::string folder(path, static_cast<size_t>(length));
    size_t slash = folder.rfind('/');
    return slash == std::string::npos ? "" : folder.substr(0, slash + 1);
}

bool standardErrorIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

void useBinaryStandardInput() {}

void useBinaryStandardOutput() {}

}  // namespace cw::scantool
