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
#include <cstring>

#include "common/number_text.h"
#include "common/text_ops.h"
#include "config/filter_options.h"
#include "engine/rule_line.h"
#include "host/log_writer.h"

namespace cw {

namespace {

// The whole comment line, its CR LF included, fits this many bytes.
constexpr size_t COMMENT_LINE_SIZE = RULE_BUFFER_SIZE;
constexpr const char* COMMENT_PREFIX = "X-Quelt: ";
constexpr const char* LINE_END = "\r\n";

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

// A comment too long for the line is cut so that the line still ends in CR LF
// and the host receives a well-formed header line.
void buildCommentLine(const char* comment, size_t length, double score, std::string& commentLine) {
    commentLine.assign(COMMENT_PREFIX);
    if (filterOptions.showValue) {
        commentLine += '[';
        commentLine += formatFixed1(score);
        commentLine += "] ";
    }
    size_t room = COMMENT_LINE_SIZE - std::strlen(LINE_END) - commentLine.size();
    commentLine.append(comment, length < room ? length : room);
    commentLine += LINE_END;
}

void logBodyError(const char* format, const std::string& ruleText) {
    writeLog(formatText(format, ruleText.c_str()), LOG_APPEND);
}

}  // namespace

bool parseRuleBody(const std::string& ruleText, const char* body, uint32_t& flags,
                   std::string& pattern, std::string& commentLine, double& score) {
    commentLine.clear();
    const char* p = readScore(body, score);
    while (*p != '\0') {
        if (*p == '{') {
            flags |= FLAG_HAS_PATTERN;
            const char* end = findClosingBracket(p, '{', '}');
            if (end == nullptr) {
                logBodyError("error: error in {} [%s]", ruleText);
                return false;
            }
            pattern.assign(p + 1, end - 1);
            p = end;
        } else if (*p == '[') {
            const char* end = findClosingBracket(p, '[', ']');
            if (end == nullptr) {
                logBodyError("error: error in [] [%s]", ruleText);
                return false;
            }
            size_t length = static_cast<size_t>(end - 1 - (p + 1));
            if (length == 0) {
                flags |= FLAG_CLEAR_COMMENTS;
            }
            buildCommentLine(p + 1, length, score, commentLine);
            p = end;
        } else if (*p == '"') {
            flags |= FLAG_HAS_STRING;
            const char* end = std::strchr(p + 1, '"');
            if (end == nullptr) {
                logBodyError("error: error in \"\" [%s]", ruleText);
                return false;
            }
            pattern.assign(p + 1, end);
            p = end + 1;
        } else {
            logBodyError("error: error in [%s]", ruleText);
            return false;
        }
        p = skipWhiteSpace(p);
    }
    return true;
}

}  // namespace cw
