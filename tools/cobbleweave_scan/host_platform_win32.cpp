#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <algorithm>
#include <string>

#include "cobbleweave_scan/host_platform.h"

namespace cw::scantool {

namespace {

std::string lastErrorText() {
    DWORD code = GetLastError();
    char* text = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0,
        nullptr);
    std::string result = length > 0 ? std::string(text, length) : "error " + std::to_string(code);
    LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) {
        result.pop_back();
    }
    return result;
}

}  // namespace

BodyFile::BodyFile() : handle(INVALID_HANDLE_VALUE) {}

BodyFile::~BodyFile() {
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
}

bool openBodyInFile(const std::string& path, uint64_t offset, BodyFile& body, std::string& error) {
    body.handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (body.handle == INVALID_HANDLE_VALUE) {
        error = "cannot open '" + path + "': " + lastErrorText();
        return false;
    }
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(body.handle, distance, nullptr, FILE_BEGIN)) {
        error = "cannot seek in '" + path + "': " + lastErrorText();
        return false;
    }
    return true;
}

bool openBodyCopy(std::string_view bytes, BodyFile& body, std::string& error) {
    char folder[MAX_PATH + 1];
    char name[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameA(folder, "cws", 0, name) == 0) {
        error = "cannot create a temporary file: " + lastErrorText();
        return false;
    }
    body.handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (body.handle == INVALID_HANDLE_VALUE) {
        error = std::string("cannot create a temporary file: ") + lastErrorText();
        DeleteFileA(name);
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        if (!WriteFile(body.handle, bytes.data() + done, chunk, &written, nullptr) ||
            written == 0) {
            error = "cannot write a temporary file: " + lastErrorText();
            return false;
        }
        done += written;
    }
    if (SetFilePointer(body.handle, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        error = "cannot rewind a temporary file: " + lastErrorText();
        return false;
    }
    return true;
}

bool createScratchFolder(std::string& folder, std::string& error) {
    char temporary[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof temporary, temporary);
    if (length == 0 || length > MAX_PATH) {
        error = "cannot find the folder for temporary files: " + lastErrorText();
        return false;
    }
    // A name that no other run takes at the same time: the process id and a count.
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        std::string name = std::string(temporary) + "cobbleweave-" +
                           std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
        if (CreateDirectoryA(name.c_str(), nullptr)) {
            folder = name + "\\";
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    error = "cannot create a scratch folder in " + std::string(temporary) + ": " + lastErrorText();
    return false;
}

std::string executableFolder() {
    char path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return "";
    }
    std::string folder(path, length);
    size_t separator = folder.find_last_of("\\/");
    return separator == std::string::npos ? "" : folder.substr(0, separator + 1);
}

bool standardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

void useBinaryStandardInput() {
    _setmode(_fileno(stdin), _O_BINARY);
}

void useBinaryStandardOutput() {
    fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace cw::scantool
