// Hit statistics: scores labelled mail, spam and ham, with a configuration and
// counts for every rule that scores how often it scored in each.
//
// The plug-in tells the host only a verdict, so the rules that scored are read
// from its log. The user's configuration is loaded first; then a second
// configuration from a scratch folder, whose only lines are options, switches
// on PROFILE and trace level CHECK and moves the log into the scratch folder
// (options and the log path are process-wide, and the latest load sets them);
// FASTSCAN is switched off, so that every rule is tested. Every other option
// stays as the user's files set it. The user's folder sees only the load's
// report in its log; its statistics are not touched.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "cobbleweave_scan/host_session.h"
#include "cobbleweave_scan/rule_hits.h"
#include "cobbleweave_scan/rule_index.h"

namespace cw::scantool {

enum MailLabel { LABEL_SPAM, LABEL_HAM, LABEL_KINDS };

// "spam", "ham".
const char* labelName(MailLabel label);

struct LabelledInputs {
    std::array<std::vector<std::string>, LABEL_KINDS> paths;  // as given on the command line
};

struct LabelledMessage {
    std::string name;  // FILE or FILE#N
    MailLabel label = LABEL_SPAM;
    size_t folder = 0;  // index into the statistics' folders
    ScanHits hits;
};

// One --spam or --ham argument (a folder, a file or an mbox) and its verdicts.
struct InputFolder {
    std::string path;  // as given on the command line
    MailLabel label = LABEL_SPAM;
    uint32_t messageCount = 0;
    uint32_t markedSpam = 0;
};

struct HitStatistics {
    RuleIndex index;
    std::string mainRuleFile;          // the first rule file of the load, as the plug-in named it
    std::vector<InputFolder> folders;  // the spam arguments, then the ham ones, as given
    std::vector<LabelledMessage> messages;  // in scan order: folder by folder
    std::string spamThreshold;              // as the plug-in printed it; empty when it never did
    uint32_t failedInputs = 0;
};

// The messages of each label, and those of them marked as spam, over all its folders.
struct LabelTotals {
    std::array<uint32_t, LABEL_KINDS> messages{};
    std::array<uint32_t, LABEL_KINDS> markedSpam{};
};

LabelTotals totalsPerLabel(const std::vector<InputFolder>& folders);

// Scans every input of both labels with the configuration of `settings` and
// collects the hits; the messages are handed over as POP3 RETR. Returns 0, or
// the input-error status 2 after printing why: an input missing, an input that
// holds no file (nothing is scanned then), the plug-in not loadable, no rule
// file read, or an input that could not be read (the others are still scanned).
int collectHitStatistics(const HostSettings& settings, const LabelledInputs& inputs, bool forceMbox,
                         HitStatistics& statistics);

}  // namespace cw::scantool
