// cobbleweave-scan: scores mail with the Cobbleweave plug-in outside the mail
// proxy, loading the library and calling its exports as the proxy does, so that
// users can try their rules on their own mail.
#include <charconv>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/version.h"
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

constexpr int EXIT_DONE = 0;
constexpr int EXIT_USAGE = 1;
constexpr int EXIT_INPUT_ERROR = 2;

// The plug-in builds its file paths in 260-byte buffers from the folder and
// "local_filters.dat": a longer folder would not fit.
constexpr size_t MAX_CONFIG_FOLDER_LENGTH = 242;

// Each fold is one more fit; a hundred is more than any estimate needs.
constexpr int MIN_FOLDS = 2;
constexpr int MAX_FOLDS = 100;

constexpr const char* USAGE = R"(Usage: cobbleweave-scan --config FOLDER [OPTION]... INPUT...
       cobbleweave-scan --config FOLDER --lint
       cobbleweave-scan --config FOLDER --spam INPUT --ham INPUT [--json]
       cobbleweave-scan --config FOLDER --spam INPUT --ham INPUT --fit [OUT] [--folds K]

Scores mail with the Cobbleweave plug-in, loading the library and calling its
exports in the order the mail proxy calls them: loadConfig once, then for every
message fetchStart, requireBodyFiltering, minBodyBytesRequired,
filterOnMessageBody, getAddedHeaderLines, processedMessage and fetchEnd, and
releaseConfig at the end. checkVellmoxVersion is not called: it accepts only a
host executable named vellmox.exe, which this program is not.

INPUT is a message file (.eml), a folder (every file below it, in name order;
names beginning with a dot are skipped), an mbox file (one whose first line
begins with "From ", or any file named *.mbox), or - for standard input.

Options:
  -c, --config FOLDER  the configuration folder handed to loadConfig (required).
                       The plug-in reads FOLDER/filters.dat, else the
                       default_filters.dat beside the plug-in, then
                       local_filters.dat; it writes cobbleweave.log and
                       statistics.dat/.txt into FOLDER. Nothing else is written.
  -p, --plugin PATH    the plug-in library; default: )"
#if defined(_WIN32)
                              "cobbleweave.dll"
#else
                              "libcobbleweave.so"
#endif
                              R"( beside this program
      --fetch-type T   how the host got the message: pop3-retr (default, 101),
                       pop3-top (102), imap4 (201), smtp (301) or a number
      --server NAME    the account's server name, for Servername: rules
                       (default pop.example.org)
      --user NAME      the account's user name, for Username: rules (default user)
      --mbox           read every input, standard input too, as an mbox
      --headers        print the header lines the plug-in adds below each result
      --json           print one JSON object per message instead of a line
      --lint           check the rule files of FOLDER: load them, scan one empty
                       message and print every "error:" and "warning:" line the
                       plug-in logs meanwhile (no INPUT; statistics stay as
                       they are)
      --spam INPUT, --ham INPUT
                       hit statistics instead of one line per message: scan
                       labelled mail (each option may be given several times)
                       and print, for every rule that scores, how many spam and
                       ham messages it scored in, then recall and false
                       positives at the configured thresholds (see below)
      --fit [OUT]      with --spam and --ham: fit the scores of the main rule
                       file (FOLDER/filters.dat, else default_filters.dat) to
                       the labelled mail and write a copy of it in which only
                       those scores changed to OUT (replaced whole), or
                       without OUT to standard output (the figures then go to
                       standard error). The rule file itself is only written
                       when it is named as OUT (see below)
      --folds K        for --fit: cross-validate with K folds (default 5)
  -h, --help           print this text
      --version        print the program's version

Output: one line per message on standard output, fields separated by TABs:
  FILE[#N]  VERDICT  SCORE  TAG
#N numbers the messages of an mbox. VERDICT is spam, whitelisted, both or none,
as the plug-in set the message's status (with SIMULATE it sets nothing). SCORE
is the value of the X-Quelt-Score line, which the plug-in hands over only with
ADDSCORE on; "-" without it. TAG is the status tag ("-" when none).
With --json each message is a line {"file", "message" (null outside an mbox),
"verdict", "score" (null without ADDSCORE), "tag", "bodyFiltering",
"addedLines"}. A summary (counts per verdict, messages per second) goes to
standard error, with a progress line on long runs when it is a terminal.

Hit statistics: the table names each rule that scores (not the chain links
marked '@') by file, line and comment, with its hits in spam and in ham, the
share of each (hits / messages of that kind), and S/O = spam share / (spam
share + ham share): 1.000 for a rule that hit only spam, 0.500 for one that hit
both alike. Rules are sorted by S/O, then by spam hits. Rules that never hit,
and rules that hit a larger share of ham than of spam (or, with a negative
score, of spam than of ham) are listed below the table, then the share of spam
marked as spam (recall) and of ham marked as spam (false positives). The rules
that scored are read from the plug-in's log: the program loads a second
configuration from a scratch folder that switches on PROFILE and CHECK, keeps
the log there and switches FASTSCAN off so that every rule is tested; every
other option is the user's. Messages are handed over as pop3-retr and not
counted in the statistics files. With --json the same comes as one JSON
object, with every message's score and the ids of the rules that scored in it.
Recall and false positives follow for every --spam and --ham argument alone.

Score fit: fitted are the rules of the main rule file that hit at least one
message and stand below a comment line "# fit: at most X" (scores from 0 to X)
or "# fit: at least -X" (scores from -X to 0); rules below "# fit: fixed" or
above the first such line, rules that never hit and the rules of other files
keep their scores. The fit is a logistic regression of each message's sum
against THRESHOLD_SPAM, with every score pulled toward 1.0 (or -1.0) and
rounded to one decimal; the same mail gives the same file, byte for byte. A
missed spam costs 1; a ham message marked as spam costs 2 x max(1, spam
messages / messages of its own --ham argument), so that a small folder of
wanted newsletters weighs as much as the spam. Printed per argument: messages
marked as spam by the sums of the current scores, by scores fitted on the
other folds (message i is in fold i mod K, counted in scan order), and by the
scores fitted on all the mail; then every score that changed.

Exit status:
  0  done
  1  usage error
  2  input error: missing or unusable configuration folder, plug-in not
     loadable, an input missing or unreadable, a malformed mbox (the other
     inputs are still scanned); for hit statistics also --spam or --ham
     inputs that hold no file (nothing is scanned then); for --fit also a
     main rule file with no rule to fit, or OUT not writable (nothing is
     written then)
  3  --lint found errors (warnings alone give 0)
)";

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

int usageError(const std::string& problem) {
    std::fprintf(stderr, "cobbleweave-scan: %s\nTry 'cobbleweave-scan --help'.\n", problem.c_str());
    return EXIT_USAGE;
}

int inputError(const std::string& problem) {
    printProblem(problem);
    return EXIT_INPUT_ERROR;
}

bool parseFetchType(std::string_view text, int32_t& fetchType) {
    struct Name {
        std::string_view name;
        int32_t code;
    };
    static constexpr Name NAMES[] = {{"pop3-retr", cw::POP3_RETR},
                                     {"pop3-top", cw::POP3_TOP},
                                     {"imap4", cw::IMAP4_SERVER},
                                     {"smtp", cw::SMTP_RELAY}};
    for (const Name& name : NAMES) {
        if (text == name.name) {
            fetchType = name.code;
            return true;
        }
    }
    const char* end = text.data() + text.size();
    auto [stop, failure] = std::from_chars(text.data(), end, fetchType);
    return failure == std::errc() && stop == end && !text.empty();
}

bool* switchNamed(const std::string& name, CommandLine& command) {
    if (name == "-h" || name == "--help") {
        return &command.help;
    }
    if (name == "--json") {
        return &command.json;
    }
    if (name == "--headers") {
        return &command.addedLines;
    }
    if (name == "--lint") {
        return &command.lint;
    }
    if (name == "--version") {
        return &command.version;
    }
    return name == "--mbox" ? &command.mbox : nullptr;
}

std::string* valueNamed(const std::string& name, CommandLine& command) {
    if (name == "-c" || name == "--config") {
        return &command.configFolder;
    }
    if (name == "-p" || name == "--plugin") {
        return &command.host.pluginPath;
    }
    if (name == "--server") {
        return &command.host.serverName;
    }
    if (name == "--user") {
        return &command.host.userName;
    }
    if (name == "--folds") {
        return &command.folds;
    }
    return name == "--fetch-type" ? &command.fetchType : nullptr;
}

std::vector<std::string>* listNamed(const std::string& name, CommandLine& command) {
    if (name == "--spam") {
        return &command.labelled.paths[LABEL_SPAM];
    }
    return name == "--ham" ? &command.labelled.paths[LABEL_HAM] : nullptr;
}

bool wantsHitStatistics(const CommandLine& command) {
    return !command.labelled.paths[LABEL_SPAM].empty() ||
           !command.labelled.paths[LABEL_HAM].empty();
}

// --fit takes labelled mail and nothing that prints per message; --folds goes with it.
int checkFitOptions(CommandLine& command) {
    if (!command.folds.empty()) {
        int folds = 0;
        const char* end = command.folds.data() + command.folds.size();
        auto [stop, failure] = std::from_chars(command.folds.data(), end, folds);
        if (!command.fit || failure != std::errc() || stop != end || folds < MIN_FOLDS ||
            folds > MAX_FOLDS) {
            return usageError("option --folds needs --fit and a number from " +
                              std::to_string(MIN_FOLDS) + " to " + std::to_string(MAX_FOLDS));
        }
        command.fitOptions.folds = folds;
    }
    if (!command.fit) {
        return EXIT_DONE;
    }
    if (command.labelled.paths[LABEL_SPAM].empty() || command.labelled.paths[LABEL_HAM].empty()) {
        return usageError("--fit needs both --spam and --ham");
    }
    if (command.json || command.lint || command.addedLines || !command.inputs.empty()) {
        return usageError(
            "--fit takes the mail from --spam and --ham; no INPUT, --json, --lint "
            "or --headers");
    }
    return EXIT_DONE;
}

// Reads the options ("--name value" or "--name=value"); returns EXIT_DONE or the
// usage error's status.
int parseCommandLine(int argc, char** argv, CommandLine& command) {
    bool optionsEnded = false;
    for (int index = 1; index < argc; ++index) {
        std::string argument = argv[index];
        if (optionsEnded || argument == "-" || !argument.starts_with("-")) {
            command.inputs.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        size_t equals = argument.starts_with("--") ? argument.find('=') : std::string::npos;
        std::string name = argument.substr(0, equals);
        if (name == "--fit") {
            // OUT is optional: the next argument is it unless it is an option.
            command.fit = true;
            if (equals != std::string::npos) {
                command.fitOptions.outPath = argument.substr(equals + 1);
                if (command.fitOptions.outPath.empty()) {
                    return usageError("option --fit= needs a file name");
                }
            } else if (index + 1 < argc && !std::string_view(argv[index + 1]).starts_with("-")) {
                command.fitOptions.outPath = argv[++index];
            }
        } else if (bool* flag = switchNamed(name, command)) {
            if (equals != std::string::npos) {
                return usageError("option " + name + " takes no value");
            }
            *flag = true;
        } else if (valueNamed(name, command) != nullptr || listNamed(name, command) != nullptr) {
            std::string value;
            if (equals != std::string::npos) {
                value = argument.substr(equals + 1);
            } else if (index + 1 < argc) {
                value = argv[++index];
            } else {
                return usageError("option " + name + " needs a value");
            }
            if (std::vector<std::string>* list = listNamed(name, command)) {
                list->push_back(value);
            } else {
                *valueNamed(name, command) = value;
            }
        } else {
            return usageError("unknown option " + argument);
        }
    }
    if (command.help || command.version) {
        return EXIT_DONE;
    }
    if (!command.fetchType.empty() && !parseFetchType(command.fetchType, command.host.fetchType)) {
        return usageError("option --fetch-type needs pop3-retr, pop3-top, imap4, smtp or a number");
    }
    if (command.configFolder.empty()) {
        return usageError("no configuration folder given (--config FOLDER)");
    }
    if (int status = checkFitOptions(command); status != EXIT_DONE) {
        return status;
    }
    if (wantsHitStatistics(command)) {
        if (command.labelled.paths[LABEL_SPAM].empty() ||
            command.labelled.paths[LABEL_HAM].empty()) {
            return usageError("hit statistics need both --spam and --ham");
        }
        if (command.lint || command.addedLines || !command.inputs.empty()) {
            return usageError(
                "--spam and --ham take the mail to scan; no INPUT, --lint or --headers");
        }
        return EXIT_DONE;
    }
    if (command.lint && !command.inputs.empty()) {
        return usageError("--lint checks the configuration folder and takes no INPUT");
    }
    if (!command.lint && command.inputs.empty()) {
        return usageError("no INPUT given");
    }
    return EXIT_DONE;
}

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
