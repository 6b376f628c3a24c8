// The command line of cobbleweave-scan: its usage text, the options read into a
// CommandLine, and the checks of which options go together.
#pragma once

#include <string>
#include <vector>

#include "cobbleweave_scan/fit_command.h"
#include "cobbleweave_scan/hit_statistics.h"
#include "cobbleweave_scan/host_session.h"

namespace cw::scantool {

inline constexpr int EXIT_DONE = 0;
inline constexpr int EXIT_USAGE = 1;
inline constexpr int EXIT_INPUT_ERROR = 2;

extern const char* const USAGE;

struct CommandLine {
    HostSettings host;
    std::string configFolder;
    std::string fetchType;
    std::vector<std::string> inputs;
    LabelledInputs labelled;
    bool fit = false;
    FitOptions fitOptions;
    std::string folds;
    bool json = false;
    bool addedLines = false;
    bool lint = false;
    bool mbox = false;
    bool help = false;
    bool version = false;
};

// Says the problem on standard error with a hint at --help; returns EXIT_USAGE.
int usageError(const std::string& problem);
// Says the problem on standard error; returns EXIT_INPUT_ERROR.
int inputError(const std::string& problem);

// Reads the options ("--name value" or "--name=value"); returns EXIT_DONE or the
// usage error's status.
int parseCommandLine(int argc, char** argv, CommandLine& command);

// Whether the command asks for hit statistics (labelled mail given).
bool wantsHitStatistics(const CommandLine& command);

}  // namespace cw::scantool
