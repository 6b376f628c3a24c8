#include "export_scan.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

using cw::MessageStatus;

extern "C" {
void fetchStart(int32_t fetchId);
void fetchEnd(int32_t fetchId);
int requireBodyFiltering(void*, void*, void*, MessageStatus* status);
uint32_t minBodyBytesRequired(int32_t code, void*, void*, void*, MessageStatus* status);
void filterOnMessageBody(const char** lines, int32_t count, intptr_t body, int32_t fetchId,
                         MessageStatus* status, int32_t config);
uint32_t getAddedHeaderLines(int32_t fetchId, void*, void*, char* buffer, uint32_t size);
int getMaxBytesToAdd();
void processedMessage(void*, void*, void*, void*, MessageStatus* status);
}

namespace fuzzhost {

namespace {

constexpr int32_t BODY_BYTES_REQUEST = 50;
constexpr size_t GUARD_BYTES = 16;
constexpr char POISON = '\x7f';

std::vector<std::string> scratchFolders;

void removeScratchFolders() {
    for (const std::string& folder : scratchFolders) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
}

// The body file: a memory file, rewritten for every message and read from its start.
intptr_t bodyFile(std::string_view body) {
    static int descriptor = memfd_create("cobbleweave-fuzz-body", 0);
    require(descriptor >= 0, "memfd_create");
    require(ftruncate(descriptor, 0) == 0, "body file truncate");
    require(pwrite(descriptor, body.data(), body.size(), 0) == static_cast<ssize_t>(body.size()),
            "body file write");
    require(lseek(descriptor, 0, SEEK_SET) == 0, "body file seek");
    return descriptor;
}

void checkStatus(const MessageStatus& status) {
    require(status.spam == 0 || status.spam == 1, "spam flag");
    require(status.whitelisted == 0 || status.whitelisted == 1, "whitelisted flag");
    require(std::memchr(status.tagText, '\0', sizeof status.tagText) != nullptr,
            "tag text without its terminator");
}

// The added lines: the size asked for first is the size written; a smaller
// buffer is left alone; the text fits getMaxBytesToAdd and ends behind a line
// feed, unless it is the first MAXCOMMENT bytes of one long line. Returns the text.
std::string checkAddedLines(int32_t fetchId) {
    uint32_t size = getAddedHeaderLines(fetchId, nullptr, nullptr, nullptr, 0);
    require(size >= 1, "added lines size 0");
    std::string area(size + GUARD_BYTES, POISON);
    require(getAddedHeaderLines(fetchId, nullptr, nullptr, area.data(), size - 1) == size,
            "added lines size changed");
    require(area.find_first_not_of(POISON) == std::string::npos,
            "added lines written into a buffer too small");
    require(getAddedHeaderLines(fetchId, nullptr, nullptr, area.data(), size) == size,
            "added lines size changed");
    require(area[size - 1] == '\0' && std::strlen(area.data()) == size - 1,
            "added lines not of the announced size");
    require(area.find_first_not_of(POISON, size) == std::string::npos,
            "added lines written past the announced size");
    std::string_view text(area.data(), size - 1);
    size_t limit = static_cast<size_t>(getMaxBytesToAdd());
    require(text.size() <= limit, "added lines longer than getMaxBytesToAdd");
    bool wholeLines = text.empty() || text.back() == '\n';
    bool oneLongLine = text.size() == limit && text.find('\n') == std::string_view::npos;
    require(wholeLines || oneLongLine, "added lines cut inside a line");
    return std::string(text);
}

}  // namespace

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz driver: %s\n", what);
        std::abort();
    }
}

std::string makeScratchFolder(const char* name) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
    require(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    if (scratchFolders.empty()) {
        std::atexit(removeScratchFolders);
    }
    scratchFolders.push_back(pattern);
    return pattern + "/";
}

std::string makeShippedRulesFolder(const char* shippedFolder, const char* name) {
    std::string folder = makeScratchFolder(name);
    for (const auto& entry : std::filesystem::directory_iterator(shippedFolder)) {
        std::string file = entry.path().filename().string();
        std::filesystem::copy_file(entry.path(),
                                   folder + (file == "default_filters.dat" ? "filters.dat" : file));
    }
    return folder;
}

void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    require(out.good(), "cannot write a scratch file");
}

HostAnswer scanMessage(int32_t handle, const std::vector<std::string>& headerLines,
                       std::string_view body, HostVerdict incoming) {
    static int32_t fetchId = 0;
    ++fetchId;
    std::vector<const char*> lines;
    int32_t messageSize = static_cast<int32_t>(body.size()) + 2;
    for (const std::string& line : headerLines) {
        lines.push_back(line.c_str());
        messageSize += static_cast<int32_t>(line.size());
    }
    cw::AccountInfo account{"pop.example.org", 0, "alice"};
    cw::FetchInfo fetch{};
    fetch.messageSize = messageSize;
    fetch.bodyByteCount = static_cast<uint32_t>(body.size());
    fetch.fetchType = cw::POP3_RETR;
    MessageStatus status{};
    status.spam = incoming.spam;
    status.whitelisted = incoming.whitelisted;
    status.account = &account;
    status.fetchInfo = &fetch;

    fetchStart(fetchId);
    require(requireBodyFiltering(nullptr, nullptr, nullptr, &status) == 1,
            "a retrieved message not filtered");
    require(minBodyBytesRequired(BODY_BYTES_REQUEST, nullptr, nullptr, nullptr, &status) ==
                fetch.bodyByteCount,
            "body bytes asked for differ from the body's size");
    filterOnMessageBody(lines.data(), static_cast<int32_t>(lines.size()), bodyFile(body), fetchId,
                        &status, handle);
    checkStatus(status);
    HostAnswer answer;
    answer.addedLines = checkAddedLines(fetchId);
    processedMessage(nullptr, nullptr, nullptr, nullptr, &status);
    fetchEnd(fetchId);
    answer.status = status;
    answer.status.account = nullptr;
    answer.status.fetchInfo = nullptr;
    return answer;
}

}  // namespace fuzzhost
