// The texts of one message that rules test, built once per filter run: the two
// joined header texts, the raw and decoded body, and their lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace cw {

// Each joined header text holds at most this many bytes.
inline constexpr size_t MAX_HEADER_TEXT = 65535;

// The line arrays point into the line areas, so a MessageTexts is filled in
// place and neither copied nor moved while its lines are in use. One record may
// serve message after message: each step starts its texts afresh.
struct MessageTexts {
    std::string rawHeaderText;              // header lines joined as they are
    std::string decodedHeaderText;          // the same, encoded words decoded
    std::string rawBody;                    // at most MAXSIZE bytes, ends at its first NUL
    std::string decodedBody;                // empty when no decoder ran
    std::vector<const char*> rawLines;      // point into rawLineArea
    std::vector<const char*> decodedLines;  // point into decodedLineArea
    std::string rawLineArea;
    std::string decodedLineArea;
    bool bodyIsEncoded = false;  // base64, quoted-printable or multipart announced
    bool bodyDecoded = false;    // a decoder ran: decodedBody holds what it gave
};

// Whether the rules that test the decoded body ("~Body:", "Line:") test
// decodedBody: the headers announce an encoding and a decoder ran. When none
// ran (no text type, or one written without the space after its colon) they
// test the raw body, which is what the message holds, rather than nothing.
inline bool decodedBodyStands(const MessageTexts& texts) {
    return texts.bodyIsEncoded && texts.bodyDecoded;
}

// Builds rawHeaderText and decodedHeaderText from the header lines (null entries
// skipped). False when a line copy could not be allocated: the run then ends.
bool buildHeaderTexts(const char* const* headerLines, int32_t headerCount, MessageTexts& texts);

// Reads the body once (at most MAXSIZE bytes), analyses the MIME headers, decodes
// and splits the body into lines (at most MAXLINES), logging as it goes. Without
// `linesWanted` the lines are cut only when the log reports them.
void loadMessageBody(const char* const* headerLines, int32_t headerCount, platform::BodyFile body,
                     MessageTexts& texts, bool linesWanted = true);

}  // namespace cw
