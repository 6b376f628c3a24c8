// Reading one RuleSet line into a RuleRecord. Every stored line of a
// configuration is read once, when the configuration is loaded; what reading it
// finds wrong is kept in the record as notes and reported by every scan at the
// line's turn, so the log reads as if the line were read for every message.
// Options may change with a later load, so the record holds nothing that
// depends on them: applyRuleOptions takes the record through the steps that
// do, at scan time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/rule_file_reader.h"
#include "engine/rule_fields.h"

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

// What reading a line found wrong; each is one log line quoting the rule text.
enum class ReadNote : uint8_t {
    NONE,
    BLOCK_TYPE_MISMATCH,  // digits not followed by white space
    BLOCK_OUT_OF_RANGE,   // block number below 1 or above 32
    EMPTY_AFTER_FLAGS,    // nothing but a block number and flags: no rule, nothing logged
    NO_BLANK,             // no blank after the field type
    BAD_BRACES,           // brace element without end
    BAD_BRACKETS,         // bracket element without end
    BAD_QUOTES,           // quote element without closing quote
    BAD_ELEMENT,          // an element starting with any other character
    NO_PATTERN,           // no brace or quote element
};

enum class LineKind : uint8_t {
    BLANK,   // empty or a '#' comment: passed over without a word
    OPTION,  // begins with an option word: applied at load time
    RULE,    // anything else, well formed or not (see the notes)
};

// One stored line as read. The views point into the configuration's stored line.
struct RuleRecord {
    std::string_view text;  // the line trimmed, at most 4095 bytes; what messages quote
    std::string_view fieldType;
    std::string_view pattern;  // the last brace or quote element
    std::string_view comment;  // the text of the last bracket element
    double score = 1.0;
    uint32_t flags = 0;  // flag characters (conflicts resolved) and element flags
    int blockNumber = 0;
    LineKind kind = LineKind::BLANK;
    FieldKind field = FieldKind::HEADER;
    ReadNote blockNote = ReadNote::NONE;  // reported before the block filter
    bool chainConflict = false;           // '@' with '+', '=' or '%' (those dropped)
    ReadNote ruleNote = ReadNote::NONE;   // reported after the flag conflicts
    bool hasComment = false;

    bool isWellFormed() const {
        return kind == LineKind::RULE && blockNote == ReadNote::NONE && ruleNote == ReadNote::NONE;
    }
};

// A rule line, after trimming:
//
//   [block] [flags] field-type [score] element...
//
//   Subject: {viagra|cialis}            pattern, scores 1.0
//   From: 2.5 "@example.com" [known]    plain string, score 2.5, comment line
//   7 @~Subject: {^Re:}                 block 7, chain rule on the decoded subject
//   +%= Any-Sender: -10 "boss@"         whitelist, remove spam status, stop
//   Body: {unsubscribe} []              clears the comment lines collected so far
//
// Blank lines, lines beginning with '#' and option lines are not rules. Logs nothing.
RuleRecord readRuleRecord(std::string_view line);

// The rule as one scan applies it under the current options.
struct ActiveRule {
    uint32_t flags = 0;         // the record's flags, with TEXTONLY's mark on "Line:" rules
    bool neverMatches = false;  // '+' or '%' while NOWHITELIST is on
};

// The steps of reading that depend on the options, at the line's turn in a scan:
// logs the line under PROFILE, reports the record's notes and the NOWHITELIST
// conflict, and applies the block filter. False when the line is no rule for
// this scan.
bool applyRuleOptions(const RuleRecord& record, ActiveRule& rule);

// "X-Quelt: %s\r\n", or "X-Quelt: [%.1f] %s\r\n" with SHOWVALUE, for a rule with
// a comment; a comment too long for the 4096-byte line is cut so that its CR LF stays.
std::string buildCommentLine(const RuleRecord& record);

// The steps of reading, in the order readRuleRecord takes them. Each works on
// `line`, a position in the trimmed rule text (so it carries no trailing white
// space), and moves it past what it has read.

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
bool splitFieldType(const char*& line, std::string_view& fieldType);

// Reads the score and the elements of `body`, the text after the field type, into
// `record`: its score, pattern, comment and element flags. Returns the note for a
// malformed element, else NONE; whether a pattern was read at all is the caller's test.
ReadNote parseRuleBody(const char* body, RuleRecord& record);

}  // namespace cw
