// Reading one RuleSet line into a RuleLine. Lines are read anew for every message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace cw {

inline constexpr uint32_t FLAG_HAS_PATTERN = 0x1;
inline constexpr uint32_t FLAG_HAS_STRING = 0x2;
inline constexpr uint32_t FLAG_NEGATE = 0x4;
inline constexpr uint32_t FLAG_CHAIN_WITH_NEXT = 0x8;
inline constexpr uint32_t FLAG_TEXT_PARTS_ONLY = 0x10;
inline constexpr uint32_t FLAG_WHITELIST_RULE = 0x100;
inline constexpr uint32_t FLAG_REMOVE_STATUS = 0x200;
inline constexpr uint32_t FLAG_STOP_AFTER_MATCH = 0x400;
inline constexpr uint32_t FLAG_USE_DECODED = 0x800;
inline constexpr uint32_t FLAG_CLEAR_COMMENTS = 0x1000;

inline constexpr size_t RULE_BUFFER_SIZE = 4096;

struct RuleLine {
    std::string ruleText;  // the trimmed line, at most 4095 bytes; quoted by every message
    int blockNumber = 0;
    uint32_t flags = 0;
    std::string fieldType;
    double score = 1.0;
    std::string pattern;        // at most 4095 bytes
    std::string commentLine;    // "X-Quelt: ...\r\n" or empty; at most 4096 bytes
    bool neverMatches = false;  // '+' or '%' while NOWHITELIST is on
};

// Reads one stored line. Logs the line when PROFILE is on, and every warning and
// error of a malformed rule. False when the line is not a rule (blank, comment,
// option line, filtered block, malformed).
bool readRuleLine(const char* line, RuleLine& rule);

// The steps of readRuleLine, in the order it calls them. Each works on `line`, a
// position in the trimmed rule text (so it carries no trailing white space), and
// moves it past what it has read.

enum class BlockNumberStatus { NONE, VALID, BAD_FORM, OUT_OF_RANGE };

// A leading run of digits followed by white space: VALID with `blockNumber` 1 to
// 32 and `line` moved past the digits and the white space. NONE (`blockNumber` 0,
// `line` unchanged) when the line does not begin with a digit; BAD_FORM when the
// digits run into another character or the end; OUT_OF_RANGE below 1 or above 32.
BlockNumberStatus parseBlockNumber(const char*& line, int& blockNumber);

// Reads the flag characters ! % + - = @ ~ in any order, repeated or separated by
// white space, and moves `line` to the first character after them and their white space.
uint32_t parseRuleFlags(const char*& line);

// The text before the first space (a TAB does not count) becomes `fieldType`, and
// `line` moves to what follows, white space skipped. False when there is no space.
bool splitFieldType(const char*& line, std::string& fieldType);

// Reads the score and the elements of `body`, the text after the field type. Adds
// the element flags to `flags`; `pattern` takes the last brace or quote element,
// `commentLine` the X-Quelt line of the last bracket element (a comment too long
// for the 4096-byte line is cut so that its CR LF stays). False, with the error
// logged quoting `ruleText`, when an element is malformed. Whether a pattern was
// read at all is the caller's test.
bool parseRuleBody(const std::string& ruleText, const char* body, uint32_t& flags,
                   std::string& pattern, std::string& commentLine, double& score);

}  // namespace cw
