// What the host stand-in prints: one result line (or JSON object) per message and
// a closing summary.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "cobbleweave_scan/host_session.h"

namespace cw::scantool {

enum Verdict { VERDICT_NONE, VERDICT_SPAM, VERDICT_WHITELISTED, VERDICT_BOTH, VERDICT_KINDS };

// Prints "cobbleweave-scan: PROBLEM" on standard error, after what standard
// output holds so far, so that the two stay in order in one terminal.
void printProblem(const std::string& problem);

// "none", "spam", "whitelisted", "both".
const char* verdictName(Verdict verdict);

// The verdict the plug-in left in MessageStatus.
Verdict verdictOf(const ScanOutcome& outcome);

// "FILE", or "FILE#N" for the N-th message of an mbox.
std::string messageName(const Message& message);

// The value of the "X-Quelt-Score:" line among the added lines, as the plug-in
// wrote it; empty when there is none (the plug-in hands it over only with ADDSCORE).
std::string scoreOf(std::string_view addedLines);

// "FILE[#N] TAB VERDICT TAB SCORE TAB TAG\n", with "-" for a missing score or tag;
// with `withAddedLines` followed by each added header line, indented by four blanks.
std::string formatTextResult(const Message& message, const ScanOutcome& outcome,
                             bool withAddedLines);

// One JSON object on one line: file, message (null outside an mbox), verdict,
// score (a number, or null), tag, bodyFiltering, addedLines (the exact text).
std::string formatJsonResult(const Message& message, const ScanOutcome& outcome);

// A JSON string literal. Valid UTF-8 passes unchanged; every other byte above 0x7F
// is taken as Latin-1 and written as \u00XX, so the output is always valid JSON.
std::string jsonString(std::string_view text);

struct Tally {
    std::array<uint32_t, VERDICT_KINDS> verdicts{};
    uint32_t messages = 0;
    uint32_t failedInputs = 0;
};

// "N messages: a spam, b whitelisted, c both, d none; S s, R messages/s\n", with
// a note on the inputs that could not be read.
std::string formatSummary(const Tally& tally, uint64_t elapsedMicroseconds);

}  // namespace cw::scantool
