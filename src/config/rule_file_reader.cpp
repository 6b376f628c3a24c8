#include "config/rule_file_reader.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "base/log_writer.h"
#include "common/text_ops.h"
#include "config/include_keywords.h"
#include "config/option_keywords.h"

namespace cw {

bool readRuleFilePiece(TextFileReader& reader, std::string& line, bool* goesOn) {
    if (!reader.readPiece(line, LINE_PIECE_BYTES)) {
        return false;
    }
    if (goesOn != nullptr) {
        *goesOn = line.size() == LINE_PIECE_BYTES && line.back() != '\n';
    }
    trimTrailingWhiteSpace(line.data());
    line.resize(std::strlen(line.c_str()));
    return true;
}

size_t linesBeforeFailedAllocation = SIZE_MAX;

namespace {

// Counts one line against the test hook; throws as a failed allocation would.
void countLineForFailure() {
    if (linesBeforeFailedAllocation == 0) {
        throw std::bad_alloc();
    }
    if (linesBeforeFailedAllocation != SIZE_MAX) {
        --linesBeforeFailedAllocation;
    }
}

[[noreturn]] void failAppend(uint8_t origin) {
    writeLog(origin == ORIGIN_INCLUDED ? "loadConfig.cobbleweaves.1 / memory allocation failed"
                                       : "loadConfig / memory allocation failed");
    throw LoadOutOfMemory{};
}

}  // namespace

void appendRuleLine(FilterConfig& config, std::string_view text, uint8_t origin) {
    try {
        countLineForFailure();
        config.lines.append(text, origin);
    } catch (const std::bad_alloc&) {
        failAppend(origin);
    }
}

void appendListRun(FilterConfig& config, std::string prefix, std::string suffix) {
    try {
        ListRun& run = config.lines.appendRun(ORIGIN_INCLUDED);
        run.prefix = std::move(prefix);
        run.suffix = std::move(suffix);
    } catch (const std::bad_alloc&) {
        config.lines.dropEmptyRun();
        failAppend(ORIGIN_INCLUDED);
    }
}

void appendListRunEntry(FilterConfig& config, std::string_view entry) {
    try {
        countLineForFailure();
        config.lines.addRunEntry(entry);
    } catch (const std::bad_alloc&) {
        failAppend(ORIGIN_INCLUDED);
    }
}

bool isKeywordLine(const char* line) {
    return optionKeywordOf(line) != nullptr ||
           startsWithNoCase(skipWhiteSpace(line), INCLUDE_KEYWORD_PREFIX);
}

void readRuleFileLines(TextFileReader& reader, const std::string& path, uint8_t origin,
                       FilterConfig& config) {
    std::string line;
    bool goesOn = false;
    bool continues = false;  // this piece is the rest of the line before it
    while (readRuleFilePiece(reader, line, &goesOn)) {
        if (continues && origin == ORIGIN_MAIN) {
            config.mainFileHasCutLines = true;
        }
        continues = goesOn;
        if (!applyOptionKeyword(line.c_str())) {
            applyIncludeKeyword(line.c_str(), path, config);
        }
        appendRuleLine(config, line, origin);
    }
}

}  // namespace cw
