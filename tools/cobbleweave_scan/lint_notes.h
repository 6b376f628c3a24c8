// What the plug-in's log says about a rule it refuses, in a user's words: the
// notes that quote a rule, where the rule reader stops in one, and a compile
// failure's offset line.
#pragma once

#include <string>
#include <string_view>

namespace cw::scantool {

inline constexpr std::string_view COMPILE_OFFSET_LINE = "       failed at offset ";

// The rule reader's notes that quote a rule, and what each means to a user.
struct QuotingNote {
    std::string_view prefix;  // the log line up to the quoted rule and its ']'
    bool isError;
    std::string_view meaning;  // empty: the plug-in's words stand
};
inline constexpr QuotingNote QUOTING_NOTES[] = {
    {"error: error in {} [", true, "the '{' of the pattern has no closing '}'"},
    {"error: error in [] [", true, "the '[' of the comment has no closing ']'"},
    {"error: error in \"\" [", true, "the '\"' of the text has no closing '\"'"},
    {"error: error in [", true, ""},  // the element is named below
    {"error: no pattern found [", true,
     "no blank after the field: a rule is 'Field: [score] {pattern}' or "
     "'Field: [score] \"text\"', and the field ends at the first blank"},
    {"no pattern [", true, "the rule has neither a {pattern} nor a \"text\" to look for"},
    {"error: cannot compile [", true, "the pattern does not compile"},
    {"warning: type mismatch in conditional block value [", false,
     "the conditional block is not a number"},
    {"warning: conditional block value out of range (1-32) [", false,
     "the conditional block is not between 1 and 32"},
    {"warning: type mismatch in filter [", false, "type mismatch in filter"},
};

// The score token of a rule line (behind the field name, digits, '-' and '.'),
// or empty; the plug-in reads it with its own rules, this is only the check.
std::string_view scoreToken(std::string_view line);

// Why the rule reader refused `rule`, in words, for the notes that say only where.
std::string refusalReason(const QuotingNote& note, std::string_view rule);

// "failed at offset N: TEXT" as "TEXT at offset N".
std::string compileFailure(std::string_view offsetLine);

}  // namespace cw::scantool
