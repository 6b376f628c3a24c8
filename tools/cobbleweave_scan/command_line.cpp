#include "cobbleweave_scan/command_line.h"

#include <charconv>
#include <cstdio>
#include <string_view>
#include <system_error>

#include "cobbleweave_scan/report.h"

namespace cw::scantool {

const char* const USAGE = R"(Usage: cobbleweave-scan --config FOLDER [OPTION]... INPUT...
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

int usageError(const std::string& problem) {
    std::fprintf(stderr, "cobbleweave-scan: %s\nTry 'cobbleweave-scan --help'.\n", problem.c_str());
    return EXIT_USAGE;
}

int inputError(const std::string& problem) {
    printProblem(problem);
    return EXIT_INPUT_ERROR;
}

bool wantsHitStatistics(const CommandLine& command) {
    return !command.labelled.paths[LABEL_SPAM].empty() ||
           !command.labelled.paths[LABEL_HAM].empty();
}

namespace {

// Each fold is one more fit; a hundred is more than any estimate needs.
constexpr int MIN_FOLDS = 2;
constexpr int MAX_FOLDS = 100;

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

}  // namespace

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

}  // namespace cw::scantool
