#include "config/include_keywords.h"

#include <cstring>
#include <string_view>

#include "base/log_writer.h"
#include "base/module_state.h"
#include "common/number_text.h"
#include "common/text_file.h"
#include "common/text_ops.h"
#include "config/rule_file_reader.h"
#include "platform/platform.h"

namespace cw {

namespace {

constexpr IncludeKeyword INCLUDE_KEYWORDS[] = {
    {"B_INCLUDE_SENDER", "Any-Sender:", ListRuleForm::QUOTED},
    {"B_INCLUDE_SUBJECT", "Subject:", ListRuleForm::QUOTED},
    {"B_INCLUDE_REG_SENDER", "Any-Sender:", ListRuleForm::BRACED},
    {"B_INCLUDE_REG_SUBJECT", "Subject:", ListRuleForm::BRACED},
    {"B_INCLUDE_LIST", "complete rule file", ListRuleForm::WHOLE_LINE},
};

// The scan passes over a line by the prefix alone.
constexpr bool keywordsBeginWithThePrefix() {
    std::string_view prefix = INCLUDE_KEYWORD_PREFIX;
    for (const IncludeKeyword& include : INCLUDE_KEYWORDS) {
        if (!std::string_view(include.keyword).starts_with(prefix)) {
            return false;
        }
    }
    return true;
}
static_assert(keywordsBeginWithThePrefix());

constexpr double DEFAULT_INCLUDE_SCORE = 1.0;

// What one list may add: far above any real list (a list of 100,000 addresses
// is about 2.5 MB), yet bounded, so that a huge or endless file cannot eat the
// host's memory; in a 32-bit host a million rules already cost a few hundred MB.
constexpr size_t MAX_LIST_RULES = 1000000;
constexpr size_t MAX_LIST_BYTES = 64 * 1024 * 1024;
// What all the lists of one load may add together: one list's bound, so that
// many lists (one include line can be repeated) cost no more than one large
// list, and a reload, which holds two configurations at once, fits a 32-bit host.
constexpr size_t MAX_LOAD_RULES = MAX_LIST_RULES;
constexpr size_t MAX_LOAD_BYTES = MAX_LIST_BYTES;

// Whether the load, with what the list at work has added so far, is full.
bool loadBoundReached(const FilterConfig& config, size_t listRules, size_t listBytes) {
    return config.includedRules + listRules >= MAX_LOAD_RULES ||
           config.includedBytes + listBytes > MAX_LOAD_BYTES;
}

void logLoadBound(const std::string& listPath, const char* what) {
    writeLog(
        formatText("include blacklist cut: the lists of this configuration hold more than "
                   "%u rules or %u bytes in all; %s %.256s is not read",
                   static_cast<unsigned>(MAX_LOAD_RULES), static_cast<unsigned>(MAX_LOAD_BYTES),
                   what, listPath.c_str()));
}

// A name with a separator is taken as it is. Otherwise it is looked for beside
// the rule file and, failing that, taken untested from the module folder.
std::string resolveListPath(const std::string& name, const std::string& ruleFilePath) {
    if (name.find(platform::PATH_SEPARATOR) != std::string::npos) {
        return name;
    }
    size_t separator = ruleFilePath.find_last_of(platform::PATH_SEPARATOR);
    std::string besideRuleFile =
        (separator == std::string::npos ? std::string() : ruleFilePath.substr(0, separator + 1)) +
        name;
    if (canOpenForReading(besideRuleFile)) {
        return besideRuleFile;
    }
    writeLog("include blacklist failed: " + besideRuleFile);
    writeLog("trying application folder...");
    return moduleFolder() + name;
}

// Whether an entry reads back, inside its rule, as the entry and nothing else:
// then it can share its rule's text with its neighbours in a list run. A quote
// would end a plain string early; a pattern's braces must close just behind
// it (`scratch` is reused from entry to entry).
bool joinsListRun(const IncludeKeyword& include, const std::string& entry, std::string& scratch) {
    if (include.form == ListRuleForm::QUOTED) {
        return entry.find('"') == std::string::npos;
    }
    if (include.form != ListRuleForm::BRACED || entry.find('\0') != std::string::npos) {
        return false;
    }
    scratch.clear();
    scratch.push_back('{');
    scratch.append(entry);
    scratch.append(listRuleSuffix(include));
    return findClosingBracket(scratch.c_str(), '{', '}') == scratch.c_str() + entry.size() + 2;
}

void appendListRules(TextFileReader& list, const std::string& listPath,
                     const IncludeKeyword& include, double score, FilterConfig& config) {
    std::string scoreTrace = "score for included rules: " + formatFixed1(score);
    const char* close = listRuleSuffix(include);
    std::string prefix = listRulePrefix(include, score);
    std::string line;
    std::string rule;
    std::string scratch;
    size_t rulesAdded = 0;
    bool inRun = false;  // the last item is this list's run
    // Counted into the load's tally however the reading ends.
    struct Tally {
        FilterConfig& config;
        const TextFileReader& list;
        size_t& rules;
        ~Tally() {
            config.includedRules += rules;
            config.includedBytes += list.bytesRead();
            config.lines.dropEmptyRun();
        }
    } tally{config, list, rulesAdded};
    while (readRuleFilePiece(list, line)) {
        if (rulesAdded == MAX_LIST_RULES || list.bytesRead() > MAX_LIST_BYTES) {
            writeLog(
                formatText("include blacklist cut: %.256s holds more than %u rules or %u "
                           "bytes; the rest of it is not read",
                           listPath.c_str(), static_cast<unsigned>(MAX_LIST_RULES),
                           static_cast<unsigned>(MAX_LIST_BYTES)));
            return;
        }
        if (loadBoundReached(config, rulesAdded, list.bytesRead())) {
            logLoadBound(listPath, "the rest of");
            return;
        }
        trimWhiteSpace(line);
        if (line.empty()) {
            continue;
        }
        if (include.form == ListRuleForm::WHOLE_LINE) {
            appendRuleLine(config, line, ORIGIN_INCLUDED);
            ++rulesAdded;
            continue;
        }
        traceLine(scoreTrace);
        // Rules are built in a 4096-byte work buffer; a longer one would be cut
        // into a rule nobody wrote, so it is left out.
        size_t ruleSize = prefix.size() + line.size() + std::strlen(close);
        if (ruleSize >= RULE_BUFFER_SIZE) {
            rule = prefix + line + close;
            writeLog(formatText("include blacklist: rule too long (%d bytes), skipped: %.256s",
                                static_cast<int>(rule.size()), rule.c_str()));
            continue;
        }
        if (joinsListRun(include, line, scratch)) {
            if (!inRun) {
                appendListRun(config, prefix, close);
                inRun = true;
            }
            appendListRunEntry(config, line);
        } else {
            inRun = false;
            appendRuleLine(config, prefix + line + close, ORIGIN_INCLUDED);
        }
        ++rulesAdded;
    }
}

}  // namespace

double includeScoreOf(const char* argument) {
    // Only a digit starts a score: a sign belongs to the file name.
    return isAsciiDigit(argument[0]) ? readLeadingDecimal(argument) : DEFAULT_INCLUDE_SCORE;
}

std::string listRulePrefix(const IncludeKeyword& include, double score) {
    return formatText("%s %s %s", include.label, formatFixed1(score).c_str(),
                      include.form == ListRuleForm::QUOTED ? "\"" : "{");
}

const char* listRuleSuffix(const IncludeKeyword& include) {
    return include.form == ListRuleForm::QUOTED ? "\" [BL]" : "} [BL]";
}

std::span<const IncludeKeyword> includeKeywords() {
    return INCLUDE_KEYWORDS;
}

const IncludeKeyword* includeKeywordOf(const char* line) {
    const char* start = skipWhiteSpace(line);
    for (const IncludeKeyword& include : INCLUDE_KEYWORDS) {
        if (startsWithNoCase(start, include.keyword)) {
            return &include;
        }
    }
    return nullptr;
}

bool applyIncludeKeyword(const char* line, const std::string& ruleFilePath, FilterConfig& config) {
    const IncludeKeyword* found = includeKeywordOf(line);
    if (found == nullptr) {
        return false;
    }
    const IncludeKeyword& include = *found;
    std::string argument = skipWhiteSpace(line) + std::strlen(include.keyword);
    trimWhiteSpace(argument);
    double score = includeScoreOf(argument.c_str());
    if (!argument.empty() && isAsciiDigit(argument[0])) {
        size_t nameStart = 0;
        while (nameStart < argument.size() &&
               (isAsciiDigit(argument[nameStart]) || argument[nameStart] == '.')) {
            ++nameStart;
        }
        argument.erase(0, nameStart);
        trimWhiteSpace(argument);
    }
    std::string path = resolveListPath(argument, ruleFilePath);
    writeLog(formatText("include blacklist (%s): %s", include.label, path.c_str()));
    if (loadBoundReached(config, 0, 0)) {
        logLoadBound(path, "the list");
        return true;
    }
    TextFileReader list;
    if (!list.open(path)) {
        writeLog("include blacklist failed: " + path);
        return true;
    }
    appendListRules(list, path, include, score, config);
    return true;
}

}  // namespace cw
