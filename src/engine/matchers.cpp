// The tests of a rule against the subjects of its field, and which subjects a
// field stands for. Called only by the scan, under its fetch lock.
#include "engine/matchers.h"

#include <algorithm>
#include <cstring>

#include "base/filter_options.h"
#include "base/log_writer.h"
#include "common/number_text.h"
#include "common/text_ops.h"
#include "mime/encoded_word.h"

namespace cw {

namespace {

constexpr int QUOTE_LIMIT = 256;

int quoted(std::string_view text) {
    return static_cast<int>(std::min<size_t>(text.size(), QUOTE_LIMIT));
}

void traceDecoding(const std::string& encoded, const std::string& decoded) {
    if (filterOptions.traceLevel == TRACE_DEBUG) {
        writeLog(formatText("mime encoded: [%.8192s]", encoded.c_str()), LOG_APPEND);
        writeLog(formatText("mime decoded: [%.8192s]", decoded.c_str()), LOG_APPEND);
    }
}

void logMatchingError(int result, std::string_view ruleText) {
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
        default:
            writeLog(formatText("error: matching error [%.*s] with [%d]", quoted(ruleText),
                                ruleText.data(), result),
                     LOG_APPEND);
            break;
    }
}

// What one subject offers a test: its prepared text and where the field's part
// of it begins (behind the header name and one space).
struct Subject {
    PreparedText* prepared;
    size_t start;
};

// The part of a prepared text that belongs to the field, or false when the text
// does not belong to it at all.
bool cutForField(PreparedText& prepared, std::string_view fieldType, const RuleField& field,
                 Subject& subject) {
    int prefixLength = prefixLengthFor(prepared.text.c_str(), fieldType, field);
    if (prefixLength < 0 || prepared.text.size() < static_cast<size_t>(prefixLength)) {
        return false;
    }
    size_t start = static_cast<size_t>(prefixLength);
    if (prefixLength >= 1 && start < prepared.text.size() && prepared.text[start] == ' ') {
        ++start;
    }
    subject = Subject{&prepared, start};
    return true;
}

// A single subject that no cache keeps (the account's names): trimmed, decoded
// when the rule asks for it.
bool prepareLoneSubject(const char* text, const RuleUnderTest& rule, PreparedText& prepared) {
    if (text == nullptr) {
        return false;
    }
    prepared.text.assign(text);
    trimWhiteSpace(prepared.text);
    prepared.prepared = true;
    if ((rule.flags & FLAG_USE_DECODED) != 0 &&
        (ruleFieldOf(rule.record.field).flags & FIELD_DECODES_WORDS) != 0 &&
        prepared.text.find("=?") != std::string::npos) {
        std::string encoded = prepared.text;
        decodeHeaderWords(prepared.text);
        prepared.text.resize(std::strlen(prepared.text.c_str()));
        traceDecoding(encoded, prepared.text);
    }
    return true;
}

// Hands every subject of the rule's field to `test`, in order, prepared; with
// `trace`, decoded header lines are traced as they are tested. Size: and Header:
// have no subjects; their tests are the caller's.
template <typename Test>
void forEachSubject(const RuleUnderTest& rule, MessageSubjects& subjects, Test test,
                    bool trace = true) {
    const RuleRecord& record = rule.record;
    bool useDecoded = (rule.flags & FLAG_USE_DECODED) != 0;
    const MessageTexts& texts = subjects.texts();
    const RuleField& field = ruleFieldOf(record.field);
    Subject subject{};
    switch (field.subjects) {
        case FieldSubjects::MESSAGE_SIZE:
        case FieldSubjects::HEADER_EXISTENCE:
            return;
        case FieldSubjects::USER_NAME:
        case FieldSubjects::SERVER_NAME: {
            const MessageStatus* status = subjects.status();
            const AccountInfo* account = status != nullptr ? status->account : nullptr;
            const char* text = account == nullptr                           ? nullptr
                               : field.subjects == FieldSubjects::USER_NAME ? account->userName
                                                                            : account->serverName;
            PreparedText prepared;
            if (prepareLoneSubject(text, rule, prepared) &&
                cutForField(prepared, record.fieldType, field, subject)) {
                test(subject);
            }
            return;
        }
        case FieldSubjects::HEADER_TEXT: {
            bool raw = useDecoded && texts.bodyIsEncoded;
            PreparedText& prepared =
                subjects.wholeText(raw ? WholeText::RAW_HEADER : WholeText::DECODED_HEADER);
            if (cutForField(prepared, record.fieldType, field, subject)) {
                test(subject);
            }
            return;
        }
        case FieldSubjects::BODY_TEXT:
        case FieldSubjects::VISIBLE_BODY_TEXT: {
            bool decoded = useDecoded && decodedBodyStands(texts);
            WholeText which =
                field.subjects == FieldSubjects::BODY_TEXT
                    ? (decoded ? WholeText::DECODED_BODY : WholeText::RAW_BODY)
                    : (decoded ? WholeText::DECODED_HTML_TEXT : WholeText::RAW_HTML_TEXT);
            PreparedText& prepared = subjects.wholeText(which);
            if (cutForField(prepared, record.fieldType, field, subject)) {
                test(subject);
            }
            return;
        }
        case FieldSubjects::BODY_LINES: {
            bool textPartsOnly = (rule.flags & FLAG_TEXT_PARTS_ONLY) != 0;
            const std::vector<const char*>& lines = subjects.bodyLines();
            for (uint32_t i = 0; i < lines.size(); ++i) {
                if (lines[i] == nullptr || (textPartsOnly && !subjects.inTextPart(i))) {
                    continue;
                }
                if (cutForField(subjects.bodyLine(i), record.fieldType, field, subject)) {
                    test(subject);
                }
            }
            return;
        }
        case FieldSubjects::NAMED_HEADER_LINES:
        case FieldSubjects::EVERY_HEADER_LINE:
            break;
    }
    // Header lines. With '~' a line holding "=?" is decoded first, its name
    // included, so it is a candidate whatever name it shows undecoded.
    bool decoding = useDecoded && (field.flags & FIELD_DECODES_WORDS) != 0;
    for (uint32_t index : subjects.candidateLines(rule.selectorId, decoding)) {
        PreparedText* prepared = &subjects.headerLine(index, false);
        if (decoding && subjects.headerLineIsEncoded(index)) {
            PreparedText& decoded = subjects.headerLine(index, true);
            if (trace) {
                traceDecoding(prepared->text, decoded.text);
            }
            prepared = &decoded;
        }
        if (cutForField(*prepared, record.fieldType, field, subject)) {
            test(subject);
        }
    }
}

}  // namespace

void holdMatchEvidence(const RuleRecord& record, const char* subject) {
    if (isJoinedText(ruleFieldOf(record.field).subjects)) {
        writeLog(formatText("valid: [%.*s] matches something in [%.*s]", quoted(record.text),
                            record.text.data(), quoted(record.fieldType), record.fieldType.data()),
                 LOG_HOLD);
    } else {
        writeLog(formatText("valid: [%.*s] matches [%.256s] in [%.*s]", quoted(record.text),
                            record.text.data(), subject, quoted(record.fieldType),
                            record.fieldType.data()),
                 LOG_HOLD);
    }
}

namespace {

// Length of `line` without the line end the host leaves on header lines, so that
// the evidence stays one line of the log.
int lengthWithoutLineEnd(const char* line) {
    size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\r' || line[length - 1] == '\n')) {
        --length;
    }
    return length < static_cast<size_t>(QUOTE_LIMIT) ? static_cast<int>(length) : QUOTE_LIMIT;
}

// Whether a header line belongs to the header name in the pattern (its colon
// included, or a group such as "Any-Sender:"); the first such line is the evidence.
void testIfHeaderExists(std::string_view headerName, uint32_t selectorId, MessageSubjects& subjects,
                        uint32_t flags, bool& matched) {
    const RuleField& field = ruleFieldNamed(headerName);
    auto belongs = [&](const char* line) {
        return line != nullptr && prefixLengthFor(line, headerName, field) >= 1;
    };
    // The index holds every line that can belong, in message order.
    const char* found = nullptr;
    for (uint32_t index : subjects.candidateLines(selectorId, false)) {
        if (belongs(subjects.headerLines()[index])) {
            found = subjects.headerLines()[index];
            break;
        }
    }
    if (found == nullptr) {
        return;
    }
    matched = true;
    if ((flags & FLAG_NEGATE) == 0) {
        writeLog(formatText("valid: [%.*s] exists: [%.*s]", quoted(headerName), headerName.data(),
                            lengthWithoutLineEnd(found), found),
                 LOG_HOLD);
    }
}

// Whether the message size is at least the integer the pattern begins with.
void testIfSizeIsAtLeast(std::string_view limitText, MessageSubjects& subjects, uint32_t flags,
                         bool& matched) {
    const MessageStatus* status = subjects.status();
    if (status == nullptr || status->fetchInfo == nullptr) {
        return;
    }
    int32_t messageSize = status->fetchInfo->messageSize;
    int32_t limit = readLeadingInteger(std::string(limitText).c_str());
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

// The size and exists tests take the pattern text as their argument. True when
// the field was one of them.
bool applyPatternTextTest(const RuleUnderTest& rule, MessageSubjects& subjects, bool& matched) {
    FieldSubjects fieldSubjects = ruleFieldOf(rule.record.field).subjects;
    if (fieldSubjects == FieldSubjects::MESSAGE_SIZE) {
        testIfSizeIsAtLeast(rule.record.pattern, subjects, rule.flags, matched);
        return true;
    }
    if (fieldSubjects == FieldSubjects::HEADER_EXISTENCE) {
        testIfHeaderExists(rule.record.pattern, rule.selectorId, subjects, rule.flags, matched);
        return true;
    }
    return false;
}

// What a pattern test matches with: the pattern's machine code where it has
// some, compiled first when its code was not kept.
const pcre2_real_code_8* codeToMatch(const PatternToMatch& pattern) {
    if (pattern.machineCode == nullptr) {
        return pattern.compiled;
    }
    const pcre2_real_code_8* compiled = pattern.compiled;
    if (compiled == nullptr && pattern.compiledForScan != nullptr) {
        if (const pcre2_real_code_8* made = madeMachineCode(pattern.key, *pattern.machineCode)) {
            return made;
        }
        CompiledPattern& held = (*pattern.compiledForScan)[pattern.key];
        if (!held) {
            held = compilePattern(pattern.text, false).pattern;
        }
        compiled = held.get();
    }
    return machineCodeFor(compiled, pattern.key, *pattern.machineCode);
}

}  // namespace

bool applyStringTest(const RuleUnderTest& rule, MessageSubjects& subjects, bool& matched) {
    if (applyPatternTextTest(rule, subjects, matched)) {
        return false;
    }
    std::string pattern(rule.record.pattern);
    lowerCaseInPlace(pattern);
    bool prepared = false;
    forEachSubject(rule, subjects, [&](const Subject& subject) {
        prepared = true;
        foldPrepared(*subject.prepared);
        const char* text = subject.prepared->lower.c_str() + subject.start;
        if (std::strstr(text, pattern.c_str()) == nullptr) {
            return;
        }
        matched = true;
        if ((rule.flags & FLAG_NEGATE) == 0) {
            holdMatchEvidence(rule.record, text);
        }
    });
    return prepared;
}

void applyPatternTest(const RuleUnderTest& rule, const PatternToMatch& pattern,
                      MessageSubjects& subjects, MatchArea& area, bool& matched,
                      const SubjectFilter& mayMatch, MessageBudget* budget) {
    if (applyPatternTextTest(rule, subjects, matched)) {
        return;
    }
    if (budget != nullptr && !budget->cutRules.empty()) {
        budget->cutRules.push_back(rule.record.text);
        return;
    }
    // A rule that reaches the match limit on one subject would most likely reach
    // it on the next ones as well (a runaway pattern over lines of one kind), at
    // the cost of the limit each time, while the scan holds the fetch lock. So
    // its budget in a message is one such match: the subjects left are not
    // tested, and one line names the rule. A pattern that stays just below the
    // limit can still cost minutes over a large body or many lines; the rule's
    // time in the message is therefore bounded as well, from its first subject
    // on and within each match.
    WorkDeadline deadline = budget != nullptr ? innerDeadline(budget->deadline, RULE_TIME_BUDGET)
                                              : deadlineAfter(RULE_TIME_BUDGET);
    bool stopped = false;
    const pcre2_real_code_8* code = nullptr;  // made when a subject first needs it
    forEachSubject(rule, subjects, [&](const Subject& subject) {
        size_t from = 0;
        if (stopped || (mayMatch && !mayMatch(*subject.prepared, subject.start, from))) {
            return;
        }
        const std::string& whole = subject.prepared->text;
        const char* text = whole.c_str() + subject.start;
        if (code == nullptr) {
            code = codeToMatch(pattern);
        }
        int result = matchPattern(code, text, whole.size() - subject.start, area, from, &deadline);
        if (result == MATCH_NO_MATCH) {
            return;
        }
        if (result == MATCH_OUT_OF_TIME) {
            stopped = true;
            if (budget != nullptr && deadline.processorRead >= budget->deadline.processorLimit) {
                budget->cutRules.push_back(rule.record.text);
                return;
            }
            writeLog(formatText("error: [%.*s] took more than %d ms in this message; its other "
                                "tests in this message are skipped",
                                quoted(rule.record.text), rule.record.text.data(),
                                static_cast<int>(RULE_TIME_BUDGET.count())),
                     LOG_APPEND);
            return;
        }
        if (result == MATCH_LIMIT) {
            stopped = true;
            writeLog(formatText("error MATCHLIMIT: the recursion and backtracking limit is "
                                "reached by [%.*s]; its other tests in this message are skipped",
                                quoted(rule.record.text), rule.record.text.data()),
                     LOG_APPEND);
            return;
        }
        if (result < 0) {
            logMatchingError(result, rule.record.text);
            return;
        }
        matched = true;
        if ((rule.flags & FLAG_NEGATE) == 0) {
            holdMatchEvidence(rule.record, text);
        }
    });
    if (budget != nullptr) {
        takeReading(budget->deadline, deadline);
    }
}

void visitSubjects(const RuleUnderTest& rule, MessageSubjects& subjects, bool trace,
                   const std::function<void(PreparedText&, size_t)>& visit) {
    forEachSubject(
        rule, subjects, [&](const Subject& subject) { visit(*subject.prepared, subject.start); },
        trace);
}

}  // namespace cw
