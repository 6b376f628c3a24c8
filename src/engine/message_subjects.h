// The subjects of one message as the matchers test them, each prepared at most
// once per message and only when a rule first asks for it: a header line trimmed
// (and with its encoded words decoded, and folded to lower case, as asked), the
// joined header texts, the raw and decoded body and their visible text (HTML
// parts as a reader sees them), the body lines. Header lines are
// found by their name through an index built once per message.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/host_records.h"
#include "mime/message_texts.h"

namespace cw {

// The header names (lower case, without the colon) whose lines can belong to a
// field, or none when any line can (Match:, names that are no plain "Name:").
struct HeaderSelector {
    bool anyLine = false;
    std::vector<std::string> names;
};

// A prepared text: the subject trimmed, and on demand folded to lower case.
struct PreparedText {
    std::string text;
    std::string lower;
    bool prepared = false;
    bool folded = false;
};

enum class WholeText {
    RAW_HEADER,
    DECODED_HEADER,
    RAW_BODY,
    DECODED_BODY,
    RAW_HTML_TEXT,      // the visible text of the raw body
    DECODED_HTML_TEXT,  // the visible text of the decoded body
};

class MessageSubjects {
  public:
    MessageSubjects(const char* const* headerLines, int32_t headerCount, const MessageTexts& texts,
                    const MessageStatus* status, const std::vector<HeaderSelector>& selectors);

    const MessageTexts& texts() const { return texts_; }
    const MessageStatus* status() const { return status_; }
    const char* const* headerLines() const { return headerLines_; }

    // The header lines (indexes, in message order) that can belong to the
    // selector's field; with `encodedToo`, also every line holding "=?", whose
    // decoded form may name the field.
    const std::vector<uint32_t>& candidateLines(uint32_t selectorId, bool encodedToo);

    // Header line `index` trimmed; with `decoded`, its encoded words decoded
    // (when it holds "=?"; otherwise the same as trimmed).
    PreparedText& headerLine(uint32_t index, bool decoded);
    bool headerLineIsEncoded(uint32_t index);

    PreparedText& wholeText(WholeText which);

    // The lines "Line:" rules test: the decoded lines when the body is encoded
    // and a decoder ran.
    const std::vector<const char*>& bodyLines() const;
    PreparedText& bodyLine(uint32_t index);
    // For text-only rules: whether line `index` is tested, and whether it marks
    // a part's content type (and is never tested itself).
    bool inTextPart(uint32_t index);

  private:
    struct HeaderEntry {
        std::string_view key;  // the name before the first colon; empty without one
        bool encoded = false;
        PreparedText trimmed;
        PreparedText decoded;
    };
    void buildHeaderIndex();
    void markTextParts();

    const char* const* headerLines_;
    int32_t headerCount_;
    const MessageTexts& texts_;
    const MessageStatus* status_;
    const std::vector<HeaderSelector>& selectors_;

    bool indexed_ = false;
    std::vector<HeaderEntry> headers_;
    std::vector<uint32_t> byKey_;  // header indexes sorted by key, then position
    std::vector<uint32_t> encodedLines_;
    std::vector<std::unique_ptr<std::vector<uint32_t>>> candidates_[2];
    PreparedText wholeTexts_[6];
    std::vector<PreparedText> bodyLines_;
    std::vector<uint8_t> textPart_;  // 0 untested, 1 tested, per body line
    bool textPartsMarked_ = false;
};

// Makes the lower-case copy of a prepared text, the first time it is asked for.
void foldPrepared(PreparedText& prepared);

}  // namespace cw
