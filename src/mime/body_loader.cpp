// The body step of a filter run: one read of the body, the MIME header analysis,
// the decoders and the line splitting, with their log lines.
//
// An area that cannot be allocated is logged and its text taken as empty: no
// body read for rawBody, no decoder run for decodedBody, no lines for a line
// area. The run goes on with what it has.
#include <cstring>
#include <memory>
#include <new>

#include "base/filter_options.h"
#include "base/log_writer.h"
#include "common/number_text.h"
#include "mime/base64_body.h"
#include "mime/line_splitter.h"
#include "mime/message_texts.h"
#include "mime/mime_headers.h"
#include "mime/multipart_body.h"
#include "mime/quoted_printable_body.h"

namespace cw {

namespace {

// The areas hold the body's first MAXSIZE bytes and a NUL.
size_t bodyCapacity() {
    return filterOptions.maxSize > 0 ? static_cast<size_t>(filterOptions.maxSize) : 0;
}

// A zero-filled area of capacity + 1 bytes; reuses what `area` already holds.
bool createArea(std::string& area, size_t capacity, const char* failureLine) {
    try {
        area.assign(capacity + 1, '\0');
        return true;
    } catch (const std::bad_alloc&) {
        area.clear();
        writeLog(failureLine, LOG_APPEND);
        return false;
    }
}

// A text ends at its first NUL for every later step.
void endAtFirstNul(std::string& text) {
    text.resize(std::strlen(text.c_str()));
}

// The body is read into an area of MAXSIZE bytes that nothing needs cleared, and
// only what was read is kept.
void readBody(platform::BodyFile body, size_t capacity, std::string& rawBody) {
    rawBody.clear();
    std::unique_ptr<char[]> area;
    try {
        area = std::make_unique_for_overwrite<char[]>(capacity + 1);
    } catch (const std::bad_alloc&) {
        writeLog("filterOnMessageBody:bodybuf / memory allocation failed", LOG_APPEND);
        return;
    }
    uint32_t count = platform::readBodyFile(body, area.get(), static_cast<uint32_t>(capacity));
    if (count > 0) {
        traceLine(formatText("> body loaded: %d bytes", static_cast<int>(count)));
    }
    rawBody.assign(area.get(), strnlen(area.get(), count));
}

void traceDecodedText(const char* text) {
    if (filterOptions.traceLevel == TRACE_DEBUG) {
        writeLog(text, LOG_APPEND);
    }
}

// Each decoder writes from the start of the area, so the last one to run stands.
// Returns whether one ran; without one the decoded body stays empty.
bool decodeBody(const MimeState& mime, size_t capacity, const char* rawBody,
                std::string& decodedBody) {
    decodedBody.clear();
    if (!((mime.base64Seen || mime.quotedPrintableSeen) && mime.textTypeSeen) &&
        !mime.multipartSeen) {
        return false;
    }
    if (!createArea(decodedBody, capacity,
                    "filterOnMessageBody:bodydecodebuf / memory allocation failed")) {
        return false;
    }
    char* output = decodedBody.data();
    if (mime.base64Seen && mime.textTypeSeen) {
        writeLog("Found: Content-Transfer-Encoding: base64", LOG_APPEND);
        writeLog("...with valid Content-Type", LOG_APPEND);
        size_t room = capacity;
        decodeBase64Body(rawBody, output, room);
        traceDecodedText(output);
    }
    if (mime.quotedPrintableSeen && mime.textTypeSeen) {
        writeLog("Found: Content-Transfer-Encoding: quoted-printable", LOG_APPEND);
        writeLog("...with valid Content-Type", LOG_APPEND);
        size_t room = capacity;
        // Only a multipart body has boundary lines; in any other a line that
        // begins with "--" is text.
        decodeQuotedPrintableBody(rawBody, output, room,
                                  mime.multipartSeen ? mime.boundary.c_str() : nullptr);
        traceDecodedText(output);
    }
    if (mime.multipartSeen) {
        writeLog("Found: Content-Type: multipart/mixed; or multipart/alternative;", LOG_APPEND);
        decodeMultipartBody(rawBody, output, capacity, mime.boundary.c_str());
        traceDecodedText(output);
    }
    endAtFirstNul(decodedBody);
    return true;
}

bool copyIntoLineArea(const std::string& text, std::string& area, const char* failureLine) {
    try {
        area.assign(text);
        return true;
    } catch (const std::bad_alloc&) {
        area.clear();
        writeLog(failureLine, LOG_APPEND);
        return false;
    }
}

// Cuts the copied text in `area` into `lines`, at most MAXLINES of them.
void splitLines(std::string& area, std::vector<const char*>& lines, bool decoded) {
    size_t count = countLines(area.c_str());
    traceLine(formatText(decoded ? "> decoded body has %d lines" : "> body has %d lines",
                         static_cast<int>(count)));
    try {
        lines.resize(count);
    } catch (const std::bad_alloc&) {
        writeLog("filterOnMessageBody / memory allocation failed", LOG_APPEND);
        lines.clear();
        return;
    }
    cutLines(area.data(), lines.data(), count);
    int32_t maxLines = filterOptions.maxLines;
    if (maxLines > 0 && count > static_cast<size_t>(maxLines)) {
        lines.resize(static_cast<size_t>(maxLines));
        writeLog(formatText(decoded ? "number of decoded lines exceeds limit of %d lines"
                                    : "number of lines exceeds limit of %d lines",
                            maxLines),
                 LOG_APPEND);
    }
}

}  // namespace

void loadMessageBody(const char* const* headerLines, int32_t headerCount, platform::BodyFile body,
                     MessageTexts& texts, bool linesWanted) {
    texts.rawLines.clear();
    texts.decodedLines.clear();
    size_t capacity = bodyCapacity();
    readBody(body, capacity, texts.rawBody);

    MimeState mime;
    analyseMimeHeaders(headerLines, headerCount, mime);
    texts.bodyIsEncoded = bodyIsEncoded(mime);
    texts.bodyDecoded = decodeBody(mime, capacity, texts.rawBody.c_str(), texts.decodedBody);

    // The lines are cut only for rules that test them, or for the log lines
    // that count them.
    if (!linesWanted && filterOptions.traceLevel != TRACE_DEBUG && filterOptions.maxLines <= 0) {
        return;
    }
    if (copyIntoLineArea(texts.rawBody, texts.rawLineArea,
                         "filterOnMessageBody:linebuf / memory allocation failed")) {
        splitLines(texts.rawLineArea, texts.rawLines, false);
    }
    if (texts.bodyIsEncoded &&
        copyIntoLineArea(texts.decodedBody, texts.decodedLineArea,
                         "filterOnMessageBody:declinebuf / memory allocation failed")) {
        splitLines(texts.decodedLineArea, texts.decodedLines, true);
    }
}

}  // namespace cw
