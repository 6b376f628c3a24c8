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
    std::string pattern;      // at most 4095 bytes
    std::string commentLine;  // "X-Quelt: ...\r\n" or empty; at most 4096 bytes
    bool neverMatches = false;  // '+' or '%' while NOWHITELIST is on
};

// Reads one stored line. Logs the line when PROFILE is on, and every warning and
// error of a malformed rule. False when the line is not a rule (blank, comment,
// option line, filtered block, malformed).
bool readRuleLine(const char* line, RuleLine& rule);

}  // namespace cw
