#include "config/rule_file_reader.h"

#include <cstdint>
#include <cstring>
#include <new>

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

void appendRuleLine(FilterConfig& config, const std::string& text, uint8_t origin) {
    bool included = origin == ORIGIN_INCLUDED;
    try {
        config.lineOrigins.push_back(origin);
    } catch (const std::bad_alloc&) {
        writeLog(included ? "loadConfig.cobbleweavesFlag.1 / memory allocation failed"
                          : "loadConfig.cobbleweavesFlag / memory allocation failed");
        throw LoadOutOfMemory{};
    }
    try {
        if (linesBeforeFailedAllocation == 0) {
            throw std::bad_alloc();
        }
        if (linesBeforeFailedAllocation != SIZE_MAX) {
            --linesBeforeFailedAllocation;
        }
        config.lineTexts.push_back(text);
    } catch (const std::bad_alloc&) {
        config.lineOrigins.pop_back();
        writeLog(included ? "loadConfig.cobbleweaves.1 / memory allocation failed"
                          : "loadConfig / memory allocation failed");
        throw LoadOutOfMemory{};
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
