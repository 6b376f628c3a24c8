// What the host stand-in needs from the operating system: the body file it hands
// the plug-in, its own folder, and the console. host_platform_posix.cpp and
// host_platform_win32.cpp implement it; CMake builds one of them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "plugin_loader/plugin_library.h"

namespace cw::scantool {

#if defined(_WIN32)
inline constexpr char PATH_SEPARATOR = '\\';
inline constexpr const char* PLUGIN_FILE_NAME = "cobbleweave.dll";
#else
inline constexpr char PATH_SEPARATOR = '/';
inline constexpr const char* PLUGIN_FILE_NAME = "libcobbleweave.so";
#endif

// The open body file of one message: a file descriptor on POSIX, a HANDLE from
// CreateFileA on Windows. Closed when the record goes; a temporary copy goes with it.
struct BodyFile {
    BodyFileHandle handle;

    BodyFile();
    ~BodyFile();
    BodyFile(const BodyFile&) = delete;
    BodyFile& operator=(const BodyFile&) = delete;
};

// Opens the file at `path` for reading, positioned at byte `offset`: for a
// message whose body runs to the end of its own file.
bool openBodyInFile(const std::string& path, uint64_t offset, BodyFile& body, std::string& error);

// Hands `bytes` over from their start in a pipe that holds them all (POSIX, up
// to 1 MB), else in a temporary file that is deleted when it is closed: for
// messages cut out of an mbox or standard input, so that the plug-in's single
// read cannot run into the next message.
bool openBodyCopy(std::string_view bytes, BodyFile& body, std::string& error);

// Creates a new, empty folder of this program's own among the system's
// temporary files and names it, with its trailing separator.
bool createScratchFolder(std::string& folder, std::string& error);

// The folder of the running executable, with its trailing separator; empty when
// the platform does not tell.
std::string executableFolder();

// True when standard error is a terminal (progress lines are shown only then).
bool standardErrorIsTerminal();

// Standard input carries mail bytes: no line-end translation.
void useBinaryStandardInput();

// Standard output carries a file's bytes: no line-end translation.
void useBinaryStandardOutput();

}  // namespace cw::scantool
