// The two joined header texts of a filter run, the subjects of
// "CompleteHeader:" rules.
#include <cstring>
#include <new>

#include "base/log_writer.h"
#include "common/number_text.h"
#include "mime/encoded_word.h"
#include "mime/message_texts.h"

namespace cw {

namespace {

// A line is appended only while the text stays within MAX_HEADER_TEXT bytes;
// a line that does not fit is skipped, a later shorter one may still fit.
bool fitsHeaderText(size_t total, size_t lineLength) {
    return total + lineLength <= MAX_HEADER_TEXT;
}

void appendDecodedLine(const char* line, size_t length, std::string& lineCopy,
                       std::string& decodedHeaderText) {
    lineCopy.assign(line, length);
    if (std::strstr(lineCopy.c_str(), "=?") != nullptr) {
        traceLine(formatText("header mime encoded: [%.8192s]", lineCopy.c_str()));
        decodeHeaderWords(lineCopy);
        traceLine(formatText("header mime decoded: [%.8192s]", lineCopy.c_str()));
    }
    decodedHeaderText += lineCopy;
}

}  // namespace

bool buildHeaderTexts(const char* const* headerLines, int32_t headerCount, MessageTexts& texts) {
    texts.rawHeaderText.clear();
    texts.decodedHeaderText.clear();
    try {
        texts.rawHeaderText.reserve(MAX_HEADER_TEXT);
        texts.decodedHeaderText.reserve(MAX_HEADER_TEXT);
        std::string lineCopy;
        size_t rawTotal = 0;
        size_t decodedTotal = 0;
        for (int32_t i = 0; headerLines != nullptr && i < headerCount; ++i) {
            const char* line = headerLines[i];
            if (line == nullptr) {
                continue;
            }
            size_t length = std::strlen(line);
            if (fitsHeaderText(rawTotal, length)) {
                texts.rawHeaderText.append(line, length);
                rawTotal += length;
            }
            if (fitsHeaderText(decodedTotal, length)) {
                appendDecodedLine(line, length, lineCopy, texts.decodedHeaderText);
                decodedTotal = texts.decodedHeaderText.size();
            }
        }
    } catch (const std::bad_alloc&) {
        writeLog("headerDecodeBuf / memory allocation failed", LOG_APPEND);
        return false;
    }
    return true;
}

}  // namespace cw
