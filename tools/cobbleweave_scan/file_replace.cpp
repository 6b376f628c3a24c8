#include "cobbleweave_scan/file_replace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace cw::scantool {

namespace {

// Enough for several runs at once beside one file.
constexpr int TEMPORARY_NAMES_TRIED = 100;

}  // namespace

bool replaceFile(const std::string& path, std::string_view bytes, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code code;
    if (fs::is_directory(path, code)) {
        error = "cannot write '" + path + "': it is a folder";
        return false;
    }
    std::string temporary;
    std::FILE* file = nullptr;
    for (int attempt = 0; attempt < TEMPORARY_NAMES_TRIED && file == nullptr; ++attempt) {
        temporary = path + ".new" + std::to_string(attempt);
        if (!fs::exists(temporary, code)) {
            file = std::fopen(temporary.c_str(), "wb");
            if (file == nullptr) {
                error = "cannot write '" + path + "': " + std::strerror(errno);
                return false;
            }
        }
    }
    if (file == nullptr) {
        error = "cannot write beside '" + path + "': " + path + ".new0 ... exist";
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fflush(file) == 0 && written;
    int writeErrno = errno;
    written = std::fclose(file) == 0 && written;
    if (!written) {
        error = "cannot write '" + path + "': " + std::strerror(writeErrno);
    } else {
        fs::rename(temporary, path, code);
        if (code) {
            error = "cannot replace '" + path + "': " + code.message();
        }
    }
    if (!written || code) {
        fs::remove(temporary, code);
        return false;
    }
    return true;
}

}  // namespace cw::scantool
