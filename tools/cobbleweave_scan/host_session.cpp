#include "cobbleweave_scan/host_session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string_view>
#include <system_error>
#include <vector>

namespace cw::scantool {

namespace {

// The request code with which the host asks how many body bytes the plug-in needs.
constexpr int32_t BODY_BYTES_REQUEST = 50;

template <typename Count>
Count clampedCount(size_t size) {
    return static_cast<Count>(std::min<size_t>(size, std::numeric_limits<Count>::max()));
}

bool prepareBody(const Message& message, BodyFile& body, std::string& error) {
    if (!message.wholeFile.empty()) {
        return openBodyInFile(message.wholeFile, message.fileOffset + message.bodyOffset, body,
                              error);
    }
    return openBodyCopy(std::string_view(message.text).substr(message.bodyOffset), body, error);
}

// The two-step hand-over: the size first, then the text into a buffer of that size.
std::string fetchAddedLines(PluginLibrary& library, int32_t fetchId) {
    char probe[1] = {'\0'};
    uint32_t needed = library.getAddedHeaderLines(fetchId, nullptr, nullptr, probe, 0);
    if (needed <= 1) {
        return "";
    }
    std::vector<char> buffer(needed, '\0');
    library.getAddedHeaderLines(fetchId, nullptr, nullptr, buffer.data(), needed);
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

}  // namespace

ProbeFolder::~ProbeFolder() {
    if (!path.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
}

bool prepareProbeFolder(ProbeFolder& probe, const char* options, std::string& error) {
    if (!createScratchFolder(probe.path, error)) {
        return false;
    }
    // Both rule files must be there: a missing one would be looked for in the
    // plug-in's folder, whose files could change the options.
    auto write = [](const std::string& path, const char* text) {
        std::ofstream out(path, std::ios::binary);
        out << text;
        return static_cast<bool>(out);
    };
    if (!write(probe.path + "filters.dat", options) ||
        !write(probe.path + "local_filters.dat", "")) {
        error = "cannot write into the scratch folder " + probe.path;
        return false;
    }
    return true;
}

namespace {

// The plug-in refuses a log or statistics file that is not a regular file (a
// folder, a FIFO), and cannot say so in a log it cannot write: said here, once.
void warnAboutUnusableFiles(const std::string& folder) {
    const struct {
        const char* name;
        const char* consequence;
    } files[] = {
        {"cobbleweave.log", "the plug-in writes no log"},
        {"statistics.dat", "the plug-in keeps no statistics"},
        {"statistics.txt", "the plug-in writes no statistics report"},
    };
    for (const auto& file : files) {
        std::error_code code;
        std::filesystem::file_status status = std::filesystem::status(folder + file.name, code);
        if (!code && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
            std::fflush(stdout);
            std::fprintf(stderr, "cobbleweave-scan: warning: '%s%s' is not a regular file: %s\n",
                         folder.c_str(), file.name, file.consequence);
        }
    }
}

}  // namespace

bool openHostSession(const HostSettings& settings, HostSession& session, std::string& error) {
    session.settings = settings;
    if (!loadPluginLibrary(settings.pluginPath, session.library, error)) {
        return false;
    }
    if (!settings.preloadFolder.empty()) {
        session.library.releaseConfig(session.library.loadConfig(settings.preloadFolder.c_str()));
    }
    session.configHandle = session.library.loadConfig(settings.configFolder.c_str());
    warnAboutUnusableFiles(settings.configFolder);
    return true;
}

void closeHostSession(HostSession& session) {
    if (session.library.handle == nullptr) {
        return;
    }
    session.library.releaseConfig(session.configHandle);
    unloadPluginLibrary(session.library);
}

bool scanMessage(HostSession& session, const Message& message, bool countAsProcessed,
                 ScanOutcome& outcome, std::string& error) {
    BodyFile body;
    if (!prepareBody(message, body, error)) {
        return false;
    }
    AccountInfo account{};
    account.serverName = session.settings.serverName.c_str();
    account.userName = session.settings.userName.c_str();
    FetchInfo fetch{};
    fetch.messageSize = clampedCount<int32_t>(message.text.size());
    fetch.bodyByteCount = clampedCount<uint32_t>(message.text.size() - message.bodyOffset);
    fetch.fetchType = session.settings.fetchType;
    MessageStatus status{};
    status.account = &account;
    status.fetchInfo = &fetch;

    std::vector<const char*> lines;
    lines.reserve(message.headerLines.size());
    for (const std::string& line : message.headerLines) {
        lines.push_back(line.c_str());
    }

    PluginLibrary& library = session.library;
    int32_t fetchId = ++session.lastFetchId;
    library.fetchStart(fetchId);
    outcome.bodyFilteringWanted =
        library.requireBodyFiltering(nullptr, nullptr, nullptr, &status) != 0;
    library.minBodyBytesRequired(BODY_BYTES_REQUEST, nullptr, nullptr, nullptr, &status);
    library.filterOnMessageBody(lines.data(), clampedCount<int32_t>(lines.size()), body.handle,
                                fetchId, &status, session.configHandle);
    outcome.addedLines = fetchAddedLines(library, fetchId);
    if (countAsProcessed) {
        library.processedMessage(nullptr, nullptr, nullptr, nullptr, &status);
    }
    library.fetchEnd(fetchId);

    outcome.spam = status.spam;
    outcome.whitelisted = status.whitelisted;
    outcome.tagText.assign(status.tagText, strnlen(status.tagText, sizeof status.tagText));
    return true;
}

}  // namespace cw::scantool
