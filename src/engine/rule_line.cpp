// Reading stored lines into RuleRecords, once per configuration, and the steps
// of reading that depend on the options, replayed by every scan.
#include "engine/rule_line.h"

#include <cstring>

#include "base/filter_options.h"
#include "base/log_writer.h"
#include "common/number_text.h"
#include "common/text_ops.h"

namespace cw {

namespace {

constexpr int MIN_BLOCK_NUMBER = 1;
constexpr int MAX_BLOCK_NUMBER = 32;

// The whole comment line, its CR LF included, fits this many bytes.
constexpr size_t COMMENT_LINE_SIZE = RULE_BUFFER_SIZE;
constexpr const char* COMMENT_PREFIX = "X-Quelt: ";
constexpr const char* LINE_END = "\r\n";

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

bool isScoreCharacter(char c) {
    return (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// Reads the score token at `text` and returns the position after it and the
// white space that follows.
const char* readScore(const char* text, double& score) {
    const char* start = skipWhiteSpace(text);
    const char* end = start;
    while (isScoreCharacter(*end)) {
        ++end;
    }
    if (end == start) {
        score = 1.0;
    } else {
        // Only the token counts: an exponent behind it is not part of the score.
        std::string token(start, end);
        score = readLeadingDecimal(token.c_str());
    }
    return skipWhiteSpace(end);
}

// The log line of a note; "%.256s" quotes at most 256 bytes of the rule, "%s" all of it.
const char* noteFormat(ReadNote note) {
    switch (note) {
        case ReadNote::BLOCK_TYPE_MISMATCH:
            return "warning: type mismatch in conditional block value [%.*s]";
        case ReadNote::BLOCK_OUT_OF_RANGE:
            return "warning: conditional block value out of range (1-32) [%.*s]";
        case ReadNote::NO_BLANK:
            return "error: no pattern found [%.*s]";
        case ReadNote::BAD_BRACES:
            return "error: error in {} [%.*s]";
        case ReadNote::BAD_BRACKETS:
            return "error: error in [] [%.*s]";
        case ReadNote::BAD_QUOTES:
            return "error: error in \"\" [%.*s]";
        case ReadNote::BAD_ELEMENT:
            return "error: error in [%.*s]";
        case ReadNote::NO_PATTERN:
            return "no pattern [%.*s]";
        case ReadNote::NONE:
        case ReadNote::EMPTY_AFTER_FLAGS:
            break;
    }
    return nullptr;
}

bool quotesWholeRule(ReadNote note) {
    return note == ReadNote::BAD_BRACES || note == ReadNote::BAD_BRACKETS ||
           note == ReadNote::BAD_QUOTES || note == ReadNote::BAD_ELEMENT;
}

void reportNote(ReadNote note, std::string_view text) {
    const char* format = noteFormat(note);
    if (format == nullptr) {
        return;
    }
    size_t quoted = quotesWholeRule(note) ? text.size() : std::min<size_t>(text.size(), 256);
    writeLog(formatText(format, static_cast<int>(quoted), text.data()), LOG_APPEND);
}

void reportTypeMismatch(std::string_view text) {
    writeLog(formatText("warning: type mismatch in filter [%.*s]",
                        static_cast<int>(std::min<size_t>(text.size(), 256)), text.data()),
             LOG_APPEND);
}

bool blockIsSelected(int blockNumber) {
    if (!filterOptions.useBlock || blockNumber < MIN_BLOCK_NUMBER) {
        return true;
    }
    return (filterOptions.blockMask & (uint32_t{1} << (blockNumber - 1))) != 0;
}

}  // namespace

BlockNumberStatus parseBlockNumber(const char*& line, int& blockNumber) {
    blockNumber = 0;
    if (!isAsciiDigit(*line)) {
        return BlockNumberStatus::NONE;
    }
    const char* end = line;
    while (isAsciiDigit(*end)) {
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

bool splitFieldType(const char*& line, std::string_view& fieldType) {
    const char* blank = std::strchr(line, ' ');
    if (blank == nullptr) {
        return false;
    }
    fieldType = std::string_view(line, static_cast<size_t>(blank - line));
    line = skipWhiteSpace(blank);
    return true;
}

// The part of a rule line after its field type: an optional score, then elements.
//
//   score     a run of digits, '-' and '.', read as the longest decimal number it
//             begins with ("1.5.2" is 1.5, "2-3" is 2.0, "-" is 0.0); none: 1.0
//   {...}     a regular expression; inner braces need no escape while they balance
//   "..."     a plain string; the next double quote closes it, there is no escape
//   [...]     the comment of the X-Quelt line added on a match; [] clears the
//             comment lines collected so far
//
// A later pattern element replaces an earlier one, a later comment the earlier comment.
ReadNote parseRuleBody(const char* body, RuleRecord& record) {
    const char* p = readScore(body, record.score);
    while (*p != '\0') {
        if (*p == '{') {
            record.flags |= FLAG_HAS_PATTERN;
            const char* end = findClosingBracket(p, '{', '}');
            if (end == nullptr) {
                return ReadNote::BAD_BRACES;
            }
            record.pattern = std::string_view(p + 1, static_cast<size_t>(end - 1 - (p + 1)));
            p = end;
        } else if (*p == '[') {
            const char* end = findClosingBracket(p, '[', ']');
            if (end == nullptr) {
                return ReadNote::BAD_BRACKETS;
            }
            record.comment = std::string_view(p + 1, static_cast<size_t>(end - 1 - (p + 1)));
            record.hasComment = true;
            if (record.comment.empty()) {
                record.flags |= FLAG_CLEAR_COMMENTS;
            }
            p = end;
        } else if (*p == '"') {
            record.flags |= FLAG_HAS_STRING;
            const char* end = std::strchr(p + 1, '"');
            if (end == nullptr) {
                return ReadNote::BAD_QUOTES;
            }
            record.pattern = std::string_view(p + 1, static_cast<size_t>(end - (p + 1)));
            p = end + 1;
        } else {
            return ReadNote::BAD_ELEMENT;
        }
        p = skipWhiteSpace(p);
    }
    return ReadNote::NONE;
}

RuleRecord readRuleRecord(std::string_view line) {
    RuleRecord record;
    // Reading works on a NUL-terminated copy; the record's views are then moved
    // onto the same bytes of the stored line.
    std::string work(line.substr(0, std::min(line.size(), RULE_BUFFER_SIZE - 1)));
    work.resize(std::strlen(work.c_str()));
    const char* start = skipWhiteSpace(work.c_str());
    size_t leading = static_cast<size_t>(start - work.c_str());
    trimTrailingWhiteSpace(work.data());
    work.resize(std::strlen(work.c_str()));
    std::string_view text(work.c_str() + leading, work.size() - leading);
    auto onLine = [&](std::string_view view) {
        return view.empty()
                   ? std::string_view(line.data() + leading, 0)
                   : line.substr(static_cast<size_t>(view.data() - work.c_str()), view.size());
    };
    record.text = onLine(text);
    if (text.empty() || text[0] == '#') {
        return record;
    }
    // Applied when the rules were loaded. The test is a prefix test, so it also
    // takes field types such as "Comments:"; a flag or a block number in front
    // of the field type keeps such a rule from being skipped.
    if (isKeywordLine(text.data())) {
        record.kind = LineKind::OPTION;
        return record;
    }
    record.kind = LineKind::RULE;

    const char* rest = text.data();
    switch (parseBlockNumber(rest, record.blockNumber)) {
        case BlockNumberStatus::BAD_FORM:
            record.blockNote = ReadNote::BLOCK_TYPE_MISMATCH;
            return record;
        case BlockNumberStatus::OUT_OF_RANGE:
            record.blockNote = ReadNote::BLOCK_OUT_OF_RANGE;
            return record;
        case BlockNumberStatus::NONE:
        case BlockNumberStatus::VALID:
            break;
    }
    record.flags = parseRuleFlags(rest);
    // A chain rule only conditions the next rule, so the flags that act on a
    // match of its own are dropped.
    constexpr uint32_t ACTS_ON_MATCH =
        FLAG_WHITELIST_RULE | FLAG_REMOVE_STATUS | FLAG_STOP_AFTER_MATCH;
    if ((record.flags & FLAG_CHAIN_WITH_NEXT) != 0 && (record.flags & ACTS_ON_MATCH) != 0) {
        record.chainConflict = true;
        record.flags &= ~ACTS_ON_MATCH;
    }
    if (*rest == '\0') {
        record.ruleNote = ReadNote::EMPTY_AFTER_FLAGS;
        return record;
    }
    std::string_view fieldType;
    if (!splitFieldType(rest, fieldType)) {
        record.ruleNote = ReadNote::NO_BLANK;
        return record;
    }
    record.fieldType = onLine(fieldType);
    record.field = fieldKindOf(fieldType);
    record.ruleNote = parseRuleBody(rest, record);
    record.pattern = onLine(record.pattern);
    record.comment = onLine(record.comment);
    if (record.ruleNote == ReadNote::NONE && record.pattern.empty()) {
        record.ruleNote = ReadNote::NO_PATTERN;
    }
    return record;
}

bool applyRuleOptions(const RuleRecord& record, ActiveRule& rule) {
    if (record.kind == LineKind::BLANK) {
        return false;
    }
    if (filterOptions.profile) {
        writeLog(std::string(record.text), LOG_APPEND);
    }
    if (record.kind == LineKind::OPTION) {
        return false;
    }
    if (record.blockNote != ReadNote::NONE) {
        reportNote(record.blockNote, record.text);
        return false;
    }
    if (!blockIsSelected(record.blockNumber)) {
        return false;
    }
    if (record.chainConflict) {
        reportTypeMismatch(record.text);
        writeLog("warning: '@' cannot be combined with '+', '=', '%' (will be ignored)",
                 LOG_APPEND);
    }
    rule.flags = record.flags;
    rule.neverMatches = false;
    // Whitelist rules cannot match when whitelisting is off.
    if (!filterOptions.whitelist &&
        (record.flags & (FLAG_WHITELIST_RULE | FLAG_REMOVE_STATUS)) != 0) {
        reportTypeMismatch(record.text);
        writeLog("warning: '+' and '%' cannot be used with NOWHITELIST (rule will never match)",
                 LOG_APPEND);
        rule.neverMatches = true;
    }
    if (record.ruleNote != ReadNote::NONE) {
        reportNote(record.ruleNote, record.text);
        return false;
    }
    if (filterOptions.textOnly && (ruleFieldOf(record.field).flags & FIELD_TEXT_ONLY) != 0) {
        rule.flags |= FLAG_TEXT_PARTS_ONLY;
    }
    return true;
}

std::string buildCommentLine(const RuleRecord& record) {
    if (!record.hasComment) {
        return std::string();
    }
    std::string line(COMMENT_PREFIX);
    if (filterOptions.showValue) {
        line += '[';
        line += formatFixed1(record.score);
        line += "] ";
    }
    size_t room = COMMENT_LINE_SIZE - std::strlen(LINE_END) - line.size();
    line.append(record.comment.substr(0, std::min(record.comment.size(), room)));
    line += LINE_END;
    return line;
}

}  // namespace cw
