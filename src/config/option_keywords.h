// Option keyword lines: a rule file line that begins with one of the 34 option
// keywords changes one setting of FilterOptions and logs what it set. The line
// is stored like any other; the scan passes over it.
#pragma once

#include <cstdint>
#include <string>

namespace cw {

// What an option keyword reads behind it.
enum class OptionArgument : uint8_t {
    NONE,        // nothing: the rest of the line is passed over
    NUMBER,      // a number; none keeps the setting as it was
    BLOCK_LIST,  // block numbers separated by commas
};

struct OptionKeyword {
    const char* keyword;
    OptionArgument argument;
    void (*apply)(const std::string& argument);
};

// The keyword `line` begins with: tested against the keywords in their fixed
// order, case-insensitively over each keyword's length and behind the line's
// leading white space, the first match. Null when none matches. Matching is by
// prefix, so "CHECKPREVIEW" must be tried before "CHECK" and "debugging" still
// means DEBUG.
const OptionKeyword* optionKeywordOf(const char* line);

// Applies and logs the keyword `line` (trailing white space already removed)
// begins with; true then.
bool applyOptionKeyword(const char* line);

}  // namespace cw
