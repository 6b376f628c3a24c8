// Reading one stored line of a RuleSet into a RuleLine. The scan reads every line
// anew for every message, so this runs once per line per message and reuses the
// capacity of the RuleLine it is handed.
#include "engine/rule_line.h"

#include <cstring>
#include <iterator>

#include "common/number_text.h"
#include "common/text_ops.h"
#include "config/filter_options.h"
#include "host/log_writer.h"

namespace cw {

namespace {

constexpr int MIN_BLOCK_NUMBER = 1;
constexpr int MAX_BLOCK_NUMBER = 32;

// Lines beginning with one of these words (any case, over the word's length) are
// option lines, applied when the rules were loaded. The test is a prefix test, so
// it also takes field types such as "Comments:"; a flag or a block number in
// front of the field type keeps such a rule from being skipped.
constexpr const char* OPTION_WORDS[] = {
    "THRESHOLD_WHITELISTED",
    "THRESHOLD_SUSPECT",
    "THRESHOLD_SPAM",
    "NOCHECKPREVIEW",
    "NOKEEPLOGFILE",
    "CHECKPREVIEW",
    "NOPRECOMPILE",
    "NOWHITELIST",
    "KEEPLOGFILE",
    "NOSHOWVALUE",
    "MAXLOGSIZE",
    "MAXCOMMENT",
    "PRECOMPILE",
    "B_INCLUDE_",
    "NOSIMULATE",
    "NOADDSCORE",
    "NOFASTSCAN",
    "NOTEXTONLY",
    "NOUSEBLOCK",
    "WHITELIST",
    "NOCOMMENT",
    "SHOWVALUE",
    "NOPROFILE",
    "MAXLINES",
    "SIMULATE",
    "ADDSCORE",
    "FASTSCAN",
    "TEXTONLY",
    "USEBLOCK",
    "COMMENT",
    "PROFILE",
    "MAXSIZE",
    "QUIET",
    "CHECK",
    "DEBUG",
};
static_assert(std::size(OPTION_WORDS) == 35);

bool isOptionLine(const char* text) {
    for (const char* word : OPTION_WORDS) {
        if (startsWithNoCase(text, word)) {
            return true;
        }
    }
    return false;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

uint32_t flagOfCharacter(char c) {
    switch (c) {
        case '!':
            return FLAG_TEXT_PARTS_ONLY;
        case '%':
            return FLAG_REMOVE_STATUS;
        case '+':
            return FLAG_WHITELIST_RULE;
        case '-':
            return FLAG_NEGATE;
        case '=':
            return FLAG_STOP_AFTER_MATCH;
        case '@':
            return FLAG_CHAIN_WITH_NEXT;
        case '~':
            return FLAG_USE_DECODED;
        default:
            return 0;
    }
}

void logRuleMessage(const char* format, const std::string& ruleText) {
    writeLog(formatText(format, ruleText.c_str()), LOG_APPEND);
}

bool blockIsSelected(int blockNumber) {
    if (!filterOptions.useBlock || blockNumber < MIN_BLOCK_NUMBER) {
        return true;
    }
    return (filterOptions.blockMask & (uint32_t{1} << (blockNumber - 1))) != 0;
}

// A chain rule only conditions the next rule, so the flags that act on a match
// of its own are dropped; whitelist rules cannot match when whitelisting is off.
void resolveFlagConflicts(RuleLine& rule) {
    constexpr uint32_t ACTS_ON_MATCH =
        FLAG_WHITELIST_RULE | FLAG_REMOVE_STATUS | FLAG_STOP_AFTER_MATCH;
    if ((rule.flags & FLAG_CHAIN_WITH_NEXT) != 0 && (rule.flags & ACTS_ON_MATCH) != 0) {
        logRuleMessage("warning: type mismatch in filter [%.256s]", rule.ruleText);
        writeLog("warning: '@' cannot be combined with '+', '=', '%' (will be ignored)",
                 LOG_APPEND);
        rule.flags &= ~ACTS_ON_MATCH;
    }
    if (!filterOptions.whitelist &&
        (rule.flags & (FLAG_WHITELIST_RULE | FLAG_REMOVE_STATUS)) != 0) {
        logRuleMessage("warning: type mismatch in filter [%.256s]", rule.ruleText);
        writeLog("warning: '+' and '%' cannot be used with NOWHITELIST (rule will never match)",
                 LOG_APPEND);
        rule.neverMatches = true;
    }
}

void clearRule(RuleLine& rule) {
    rule.blockNumber = 0;
    rule.flags = 0;
    rule.fieldType.clear();
    rule.score = 1.0;
    rule.pattern.clear();
    rule.commentLine.clear();
    rule.neverMatches = false;
}

}  // namespace

BlockNumberStatus parseBlockNumber(const char*& line, int& blockNumber) {
    blockNumber = 0;
    if (!isDigit(*line)) {
        return BlockNumberStatus::NONE;
    }
    const char* end = line;
    while (isDigit(*end)) {
        ++end;
    }
    if (*end == '\0' || !isWhiteSpace(static_cast<unsigned char>(*end))) {
        return BlockNumberStatus::BAD_FORM;
    }
    // Saturates, so a long run of digits is out of range rather than wrapped into it.
    int32_t value = readLeadingInteger(line);
    line = skipWhiteSpace(end);
    if (value < MIN_BLOCK_NUMBER || value > MAX_BLOCK_NUMBER) {
        return BlockNumberStatus::OUT_OF_RANGE;
    }
    blockNumber = value;
    return BlockNumberStatus::VALID;
}

uint32_t parseRuleFlags(const char*& line) {
    uint32_t flags = 0;
    while (uint32_t flag = flagOfCharacter(*line)) {
        flags |= flag;
        line = skipWhiteSpace(line + 1);
    }
    return flags;
}

bool splitFieldType(const char*& line, std::string& fieldType) {
    const char* blank = std::strchr(line, ' ');
    if (blank == nullptr) {
        return false;
    }
    fieldType.assign(line, static_cast<size_t>(blank - line));
    line = skipWhiteSpace(blank);
    return true;
}

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
// Blank lines, lines beginning with '#' and option lines are not rules.
bool readRuleLine(const char* line, RuleLine& rule) {
    clearRule(rule);
    rule.ruleText.assign(line, strnlen(line, RULE_BUFFER_SIZE - 1));
    trimWhiteSpace(rule.ruleText.data());
    rule.ruleText.resize(std::strlen(rule.ruleText.c_str()));
    if (rule.ruleText.empty() || rule.ruleText[0] == '#') {
        return false;
    }
    if (filterOptions.profile) {
        writeLog(rule.ruleText, LOG_APPEND);
    }
    if (isOptionLine(rule.ruleText.c_str())) {
        return false;
    }

    const char* rest = rule.ruleText.c_str();
    switch (parseBlockNumber(rest, rule.blockNumber)) {
        case BlockNumberStatus::BAD_FORM:
            logRuleMessage("warning: type mismatch in conditional block value [%.256s]",
                           rule.ruleText);
            return false;
        case BlockNumberStatus::OUT_OF_RANGE:
            logRuleMessage("warning: conditional block value out of range (1-32) [%.256s]",
                           rule.ruleText);
            return false;
        case BlockNumberStatus::NONE:
        case BlockNumberStatus::VALID:
            break;
    }
    if (!blockIsSelected(rule.blockNumber)) {
        return false;
    }

    rule.flags = parseRuleFlags(rest);
    resolveFlagConflicts(rule);
    if (*rest == '\0') {
        return false;
    }
    if (!splitFieldType(rest, rule.fieldType)) {
        logRuleMessage("error: no pattern found [%.256s]", rule.ruleText);
        return false;
    }
    if (filterOptions.textOnly && equalsNoCase(rule.fieldType.c_str(), "Line:")) {
        rule.flags |= FLAG_TEXT_PARTS_ONLY;
    }
    if (!parseRuleBody(rule.ruleText, rest, rule.flags, rule.pattern, rule.commentLine,
                       rule.score)) {
        return false;
    }
    if (rule.pattern.empty()) {
        logRuleMessage("no pattern [%.256s]", rule.ruleText);
        return false;
    }
    return true;
}

}  // namespace cw
