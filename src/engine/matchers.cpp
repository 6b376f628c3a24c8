// The four tests of a rule against one subject, and the preparation of the
// subject that the two matchers share. Called only by the scan, under its fetch lock.
#include "engine/matchers.h"

#include <cstring>
#include <new>

#include "common/number_text.h"
#include "common/text_ops.h"
#include "config/filter_options.h"
#include "engine/pattern.h"
#include "host/log_writer.h"
#include "mime/encoded_word.h"

namespace cw {

namespace {

constexpr int EVIDENCE_QUOTE_LIMIT = 256;

// Work space reused from subject to subject, so that testing a subject allocates
// nothing once the buffers have grown to the longest subject seen. Only the scan
// calls the matchers, and it holds the fetch lock for its whole run.
struct MatcherScratch {
    std::string subject;
    MatchBlock matchBlock;
};

MatcherScratch matcherScratch;

bool isWholeTextSubject(const char* fieldName) {
    return equalsNoCase(fieldName, "Body:") || equalsNoCase(fieldName, "CompleteHeader:");
}

bool decodesEncodedWords(const char* fieldName) {
    return !equalsNoCase(fieldName, "Body:") && !equalsNoCase(fieldName, "Line:") &&
           !equalsNoCase(fieldName, "CompleteHeader:");
}

// Copies `subject` into the scratch buffer and prepares it for the field: trimmed,
// encoded words decoded when the rule asks for it, the header name and one space
// after it cut. Returns the text to test, inside the buffer, or null when the
// subject is not tested. `failureText` is logged when the copy cannot be had.
char* prepareSubject(const char* fieldName, const char* subject, uint32_t flags,
                     const char* failureText) {
    if (subject == nullptr) {
        return nullptr;
    }
    std::string& copy = matcherScratch.subject;
    try {
        copy.assign(subject);
        trimWhiteSpace(copy.data());
        copy.resize(std::strlen(copy.c_str()));
        // The name is decoded too, so an encoded header name still selects its field.
        if ((flags & FLAG_USE_DECODED) != 0 && decodesEncodedWords(fieldName) &&
            copy.find("=?") != std::string::npos) {
            bool tracing = filterOptions.traceLevel == TRACE_DEBUG;
            if (tracing) {
                traceLine(formatText("mime encoded: [%.8192s]", copy.c_str()));
            }
            decodeHeaderWords(copy);
            copy.resize(std::strlen(copy.c_str()));
            if (tracing) {
                traceLine(formatText("mime decoded: [%.8192s]", copy.c_str()));
            }
        }
    } catch (const std::bad_alloc&) {
        writeLog(failureText, LOG_APPEND);
        return nullptr;
    }
    int prefixLength = fieldPrefixLength(copy.c_str(), fieldName);
    if (prefixLength < 0 || copy.size() < static_cast<size_t>(prefixLength)) {
        return nullptr;
    }
    char* text = copy.data() + prefixLength;
    if (prefixLength >= 1 && *text == ' ') {
        ++text;
    }
    return text;
}

void holdMatchEvidence(const char* fieldName, const char* ruleText, const char* text) {
    if (isWholeTextSubject(fieldName)) {
        writeLog(formatText("valid: [%.256s] matches something in [%.256s]", ruleText, fieldName),
                 LOG_HOLD);
    } else {
        writeLog(
            formatText("valid: [%.256s] matches [%.256s] in [%.256s]", ruleText, text, fieldName),
            LOG_HOLD);
    }
}

void logMatchingError(int result, const char* ruleText) {
    switch (result) {
        case MATCH_NULL:
            writeLog("error NULL: either code or subject or ovector was passed as NULL",
                     LOG_APPEND);
            break;
        case MATCH_BAD_OPTION:
            writeLog("error BADOPTION: unrecognized bit is set in the options argument",
                     LOG_APPEND);
            break;
        case MATCH_BAD_MAGIC:
            writeLog("error BADMAGIC: the  magic  number isn't present", LOG_APPEND);
            break;
        case MATCH_UNKNOWN_NODE:
            writeLog("error UNKNOWN_NODE: an unknown item was encountered in the compiled pattern",
                     LOG_APPEND);
            break;
        case MATCH_NO_MEMORY:
            writeLog("error NOMEMORY: ovector too small to remeber all back references",
                     LOG_APPEND);
            break;
        case MATCH_LIMIT:
            writeLog("error MATCHLIMIT: the recursion and backtracking limit is reached",
                     LOG_APPEND);
            break;
        default:
            writeLog(formatText("error: matching error [%.256s] with [%d]", ruleText, result),
                     LOG_APPEND);
            break;
    }
}

// Length of `line` without the line end the host leaves on header lines, so that
// the evidence stays one line of the log.
int lengthWithoutLineEnd(const char* line) {
    size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\r' || line[length - 1] == '\n')) {
        --length;
    }
    return length < static_cast<size_t>(EVIDENCE_QUOTE_LIMIT) ? static_cast<int>(length)
                                                              : EVIDENCE_QUOTE_LIMIT;
}

}  // namespace

void testIfLineMatchesString(const char* fieldName, std::string& pattern, const char* ruleText,
                             const char* subject, uint32_t flags, bool& matched) {
    char* text = prepareSubject(fieldName, subject, flags,
                                "testIfLineMatchesString / memory allocation failed");
    if (text == nullptr) {
        return;
    }
    lowerCaseInPlace(text);
    lowerCaseInPlace(pattern);
    if (std::strstr(text, pattern.c_str()) == nullptr) {
        return;
    }
    matched = true;
    if ((flags & FLAG_NEGATE) == 0) {
        holdMatchEvidence(fieldName, ruleText, text);
    }
}

void testIfLineMatchesRegular(const char* fieldName, const pcre2_real_code_8* pattern,
                              const char* ruleText, const char* subject, uint32_t flags,
                              bool& matched) {
    char* text = prepareSubject(fieldName, subject, flags,
                                "testIfLineMatchesRegular / memory allocation failed");
    if (text == nullptr) {
        return;
    }
    int result = matchPattern(pattern, text, std::strlen(text), matcherScratch.matchBlock);
    if (result == MATCH_NO_MATCH) {
        return;
    }
    if (result < 0) {
        logMatchingError(result, ruleText);
        return;
    }
    matched = true;
    if ((flags & FLAG_NEGATE) == 0) {
        holdMatchEvidence(fieldName, ruleText, text);
    }
}

void testIfHeaderExists(const char* headerName, const char* const* headerLines, int32_t headerCount,
                        uint32_t flags, bool& matched) {
    for (int32_t i = 0; headerLines != nullptr && i < headerCount; ++i) {
        const char* line = headerLines[i];
        if (line == nullptr || fieldPrefixLength(line, headerName) < 1) {
            continue;
        }
        matched = true;
        if ((flags & FLAG_NEGATE) == 0) {
            writeLog(formatText("valid: [%.256s] exists: [%.*s]", headerName,
                                lengthWithoutLineEnd(line), line),
                     LOG_HOLD);
        }
        return;
    }
}

void testIfSizeIsAtLeast(const char* limitText, int32_t messageSize, uint32_t flags,
                         bool& matched) {
    int32_t limit = readLeadingInteger(limitText);
    if (messageSize < limit) {
        return;
    }
    matched = true;
    if ((flags & FLAG_NEGATE) == 0) {
        writeLog(formatText("valid: msgsize=%u >= %u", static_cast<unsigned>(messageSize),
                            static_cast<unsigned>(limit)),
                 LOG_HOLD);
    }
}

}  // namespace cw
