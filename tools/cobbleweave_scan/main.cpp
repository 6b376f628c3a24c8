// cobbleweave-scan: scores mail with the Cobbleweave plug-in outside the mail
// proxy, loading the library and calling its exports as the proxy does, so that
// users can try their rules on their own mail.
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/version.h"
#include "cobbleweave_scan/command_line.h"
#include "cobbleweave_scan/fit_command.h"
#include "cobbleweave_scan/hit_report.h"
#include "cobbleweave_scan/hit_statistics.h"
#include "cobbleweave_scan/host_platform.h"
#include "cobbleweave_scan/host_session.h"
#include "cobbleweave_scan/lint.h"
#include "cobbleweave_scan/message_source.h"
#include "cobbleweave_scan/progress.h"
#include "cobbleweave_scan/report.h"

namespace fs = std::filesystem;
using namespace cw::scantool;

namespace {

// The plug-in builds its file paths in 260-byte buffers from the folder and
// "local_filters.dat": a longer folder would not fit.
constexpr size_t MAX_CONFIG_FOLDER_LENGTH = 242;

// The folder as the host hands it over: absolute, ending with the separator.
int resolveConfigFolder(const std::string& folder, std::string& resolved) {
    std::error_code code;
    fs::file_status status = fs::status(folder, code);
    if (code || !fs::exists(status)) {
        return inputError("configuration folder '" + folder + "' does not exist");
    }
    if (!fs::is_directory(status)) {
        return inputError("configuration folder '" + folder + "' is not a folder");
    }
    fs::path absolute = fs::absolute(folder, code);
    resolved = (code ? fs::path(folder) : absolute).make_preferred().string();
    if (resolved.empty() || resolved.back() != PATH_SEPARATOR) {
        resolved += PATH_SEPARATOR;
    }
    if (resolved.size() > MAX_CONFIG_FOLDER_LENGTH) {
        return inputError("configuration folder path longer than " +
                          std::to_string(MAX_CONFIG_FOLDER_LENGTH) + " characters: " + resolved);
    }
    return EXIT_DONE;
}

int resolvePluginPath(std::string& path) {
    if (path.empty()) {
        std::string folder = executableFolder();
        path = folder + PLUGIN_FILE_NAME;
    }
    std::error_code code;
    if (!fs::is_regular_file(path, code)) {
        return inputError("cannot find the plug-in library '" + path + "' (name it with --plugin)");
    }
    fs::path absolute = fs::absolute(path, code);
    if (!code) {
        path = absolute.make_preferred().string();
    }
    return EXIT_DONE;
}

int scanInputs(const CommandLine& command) {
    Tally tally;
    Progress progress;
    auto reportInputError = [&](const std::string& error) {
        progress.clear();
        inputError(error);
        ++tally.failedInputs;
    };
    std::vector<InputFile> files;
    std::vector<std::string> errors;
    expandInputs(command.inputs, files, errors);
    for (const std::string& error : errors) {
        reportInputError(error);
    }

    HostSession session;
    std::string error;
    if (!openHostSession(command.host, session, error)) {
        return inputError(error);
    }
    auto scanOne = [&](Message& message) {
        ScanOutcome outcome;
        std::string scanError;
        if (!scanMessage(session, message, true, outcome, scanError)) {
            reportInputError(scanError);
            return;
        }
        std::string result = command.json ? formatJsonResult(message, outcome)
                                          : formatTextResult(message, outcome, command.addedLines);
        progress.clear();
        std::fwrite(result.data(), 1, result.size(), stdout);
        ++tally.messages;
        ++tally.verdicts[verdictOf(outcome)];
        progress.update(tally.messages);
    };
    for (const InputFile& file : files) {
        if (!readMessages(file, command.mbox, scanOne, error)) {
            reportInputError(error);
        }
    }
    closeHostSession(session);
    std::fflush(stdout);
    progress.clear();
    auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Progress::Clock::now() -
                                                                         progress.start);
    std::string summary = formatSummary(tally, static_cast<uint64_t>(elapsed.count()));
    std::fputs(summary.c_str(), stderr);
    return tally.failedInputs > 0 ? EXIT_INPUT_ERROR : EXIT_DONE;
}

int reportHitStatistics(const CommandLine& command) {
    HitStatistics statistics;
    int status = collectHitStatistics(command.host, command.labelled, command.mbox, statistics);
    if (statistics.messages.empty()) {
        return status;
    }
    std::string report =
        command.json ? formatHitReportJson(statistics) : formatHitReport(statistics);
    std::fwrite(report.data(), 1, report.size(), stdout);
    std::fflush(stdout);
    return status;
}

int runCommand(int argc, char** argv) {
    CommandLine command;
    if (int status = parseCommandLine(argc, argv, command); status != EXIT_DONE) {
        return status;
    }
    if (command.help) {
        std::fputs(USAGE, stdout);
        return EXIT_DONE;
    }
    if (command.version) {
        std::puts("cobbleweave-scan " COBBLEWEAVE_VERSION);
        return EXIT_DONE;
    }
    useBinaryStandardInput();
    if (int status = resolveConfigFolder(command.configFolder, command.host.configFolder);
        status != EXIT_DONE) {
        return status;
    }
    if (int status = resolvePluginPath(command.host.pluginPath); status != EXIT_DONE) {
        return status;
    }
    if (command.fit) {
        return runScoreFit(command.host, command.labelled, command.mbox, command.fitOptions);
    }
    if (wantsHitStatistics(command)) {
        return reportHitStatistics(command);
    }
    return command.lint ? runLint(command.host) : scanInputs(command);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return runCommand(argc, argv);
    } catch (const std::exception& failure) {
        // A path the platform cannot convert, or memory running out.
        return inputError(failure.what());
    }
}
