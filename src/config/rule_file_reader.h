// Reading rule files and list files in line pieces, and storing lines in the
// RuleSet of a configuration being loaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/text_file.h"
#include "config/config_table.h"

namespace cw {

// A rule is read in a work buffer of this size: at most 4095 bytes and a NUL.
inline constexpr size_t RULE_BUFFER_SIZE = 4096;

// A read takes at most this many bytes, line end included (a 4096-byte line
// buffer as fgets fills it); a longer physical line goes on as the next piece.
inline constexpr size_t LINE_PIECE_BYTES = 4094;

// Reads the next piece of an open rule or list file, ends it at its first NUL
// byte (lines are C texts) and removes its trailing white space, line end
// included. False at the end of the file. `goesOn` (when given) tells whether the
// physical line goes on in the next piece.
bool readRuleFilePiece(TextFileReader& reader, std::string& line, bool* goesOn = nullptr);

// Thrown once a failed allocation has been logged with its place: the load
// stops reading and keeps what it read so far.
struct LoadOutOfMemory {};

// Appends one line with its origin code. A failed allocation is logged with the
// message of the failing step (the ".1" variant for rules made from a list), the
// line is dropped and LoadOutOfMemory is thrown.
void appendRuleLine(FilterConfig& config, std::string_view text, uint8_t origin);

// Appends an empty list run with the rule text around its entries; fails as
// appendRuleLine does for a line made from a list.
void appendListRun(FilterConfig& config, std::string prefix, std::string suffix);

// Adds an entry to the configuration's last item, a list run; fails as
// appendRuleLine does for a line made from a list.
void appendListRunEntry(FilterConfig& config, std::string_view entry);

// For tests: how many more lines may be appended before an append fails as a
// failed allocation would (SIZE_MAX: never). A load that runs out of memory
// cannot be made on purpose otherwise without gigabytes.
extern size_t linesBeforeFailedAllocation;

// Whether `line` is a keyword line, which the scan passes over: it begins,
// behind its leading white space and in any case, with an option keyword or
// with what every include keyword begins with (a keyword or not).
bool isKeywordLine(const char* line);

// Reads the open rule file at `path` to its end: every line is offered to the
// option keywords, then to the include keywords, and is stored with `origin`.
void readRuleFileLines(TextFileReader& reader, const std::string& path, uint8_t origin,
                       FilterConfig& config);

}  // namespace cw
