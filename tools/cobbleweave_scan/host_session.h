// Drives the plug-in through its exports exactly as the mail proxy does: one
// loadConfig for the session, then for every message fetchStart,
// requireBodyFiltering, minBodyBytesRequired, filterOnMessageBody,
// getAddedHeaderLines (size first, then the text), processedMessage and fetchEnd;
// releaseConfig at the end. checkVellmoxVersion is never called: it accepts only
// a host executable named vellmox.exe, which this program is not.
#pragma once

#include <cstdint>
#include <string>

#include "cobbleweave_scan/host_platform.h"
#include "cobbleweave_scan/message_source.h"
#include "common/host_records.h"
#include "plugin_loader/plugin_library.h"

namespace cw::scantool {

struct HostSettings {
    std::string pluginPath;
    std::string configFolder;  // handed to loadConfig; ends with the path separator
    // Loaded (and released) before configFolder when not empty: a folder whose
    // options outlast the next load, such as KEEPLOGFILE.
    std::string preloadFolder;
    int32_t fetchType = POP3_RETR;
    std::string serverName = "pop.example.org";
    std::string userName = "user";
};

struct HostSession {
    HostSettings settings;
    PluginLibrary library;
    int32_t configHandle = 0;
    int32_t lastFetchId = 0;
};

// What the plug-in made of one message.
struct ScanOutcome {
    bool bodyFilteringWanted = false;  // requireBodyFiltering's answer
    int32_t spam = 0;                  // MessageStatus after the scan
    int32_t whitelisted = 0;
    std::string tagText;
    std::string addedLines;  // getAddedHeaderLines' text, CR LF line ends
};

// A scratch folder holding a configuration of option lines only; removed with
// everything the plug-in wrote into it when it goes.
struct ProbeFolder {
    std::string path;  // ends with the path separator
    ProbeFolder() = default;
    ~ProbeFolder();
    ProbeFolder(const ProbeFolder&) = delete;
    ProbeFolder& operator=(const ProbeFolder&) = delete;
};

// Makes the scratch folder with `options` as its filters.dat. False with `error`.
bool prepareProbeFolder(ProbeFolder& probe, const char* options, std::string& error);

// Loads the library and its configuration. False with `error` when the library
// cannot be loaded or lacks an export.
bool openHostSession(const HostSettings& settings, HostSession& session, std::string& error);

// Releases the configuration and unloads the library.
void closeHostSession(HostSession& session);

// Scans one message. `countAsProcessed` false leaves out processedMessage, so that
// the statistics files do not count the message. False with `error` when the body
// file cannot be prepared; the plug-in has then not been called.
bool scanMessage(HostSession& session, const Message& message, bool countAsProcessed,
                 ScanOutcome& outcome, std::string& error);

}  // namespace cw::scantool
