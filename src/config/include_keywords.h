// Include keyword lines: B_INCLUDE_SENDER, B_INCLUDE_SUBJECT, B_INCLUDE_REG_SENDER,
// B_INCLUDE_REG_SUBJECT and B_INCLUDE_LIST turn every line of a list file into a
// rule of the configuration being loaded. The rules go in before the include
// line itself is stored, so they stand directly in front of it.
//
//   B_INCLUDE_SENDER 2.5 senders.txt  ->  Any-Sender: 2.5 "a@example.org" [BL]
//   B_INCLUDE_REG_SUBJECT subjects.txt ->  Subject: 1.0 {^win.*} [BL]
//   B_INCLUDE_LIST rules.txt          ->  each non-blank line, trimmed
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "config/config_table.h"

namespace cw {

// What every include keyword begins with.
inline constexpr const char* INCLUDE_KEYWORD_PREFIX = "B_INCLUDE_";

// The rules an include keyword makes of its list's lines.
enum class ListRuleForm : uint8_t {
    QUOTED,      // label score "line" [BL]
    BRACED,      // label score {line} [BL]
    WHOLE_LINE,  // the line itself, a rule of its own
};

struct IncludeKeyword {
    const char* keyword;
    const char* label;  // the field of the rules made, or what the list holds
    ListRuleForm form;
};

// Every include keyword, in the order they are tried.
std::span<const IncludeKeyword> includeKeywords();

// The include keyword `line` begins with behind its leading white space, in any
// case over the keyword's length; null when none does.
const IncludeKeyword* includeKeywordOf(const char* line);

// The score an include line's rules carry: the number `argument` (what follows
// the keyword) begins with, or 1.0 when it begins with no digit (a sign belongs
// to the file name).
double includeScoreOf(const char* argument);

// The rule an entry of a list makes is listRulePrefix + entry + listRuleSuffix:
// "Any-Sender: 2.5 \"" ... "\" [BL]" or "Subject: 1.0 {" ... "} [BL]".
std::string listRulePrefix(const IncludeKeyword& include, double score);
const char* listRuleSuffix(const IncludeKeyword& include);

// Tests `line` against the five include keywords behind its leading white space,
// case-insensitively over each keyword's length. On a match reads the list file
// it names and appends the rules with ORIGIN_INCLUDED; true then. A name without
// a path separator is looked for beside `ruleFilePath`, then in the module folder.
// List lines are never tested for keywords.
bool applyIncludeKeyword(const char* line, const std::string& ruleFilePath, FilterConfig& config);

}  // namespace cw
