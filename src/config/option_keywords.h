// Option keyword lines: a rule file line that begins with one of the 34 option
// keywords changes one setting of FilterOptions and logs what it set. The line
// is stored like any other; the scan passes over it.
#pragma once

namespace cw {

// Tests `line` (trailing white space already removed) against the keywords in
// their fixed order, case-insensitively over each keyword's length and behind
// the line's leading white space. The first match is applied and logged; true
// then. Matching is by prefix, so "CHECKPREVIEW" must be tried before "CHECK"
// and "debugging" still means DEBUG.
bool applyOptionKeyword(const char* line);

}  // namespace cw
