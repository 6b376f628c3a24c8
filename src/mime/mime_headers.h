// What a message's header lines say about its body: a text content type, the
// transfer encoding (base64, quoted-printable), a multipart body and its
// boundary. Every comparison is an ASCII case-insensitive prefix comparison over
// exactly the quoted text, so one space after the colon is required.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace cw {

// The longest boundary kept; a longer "boundary=" value is cut to this length.
inline constexpr size_t MAX_BOUNDARY = 4095;

// Content types whose parts are decoded, each following "Content-Type: ".
inline constexpr const char* textContentTypes[] = {"text/"};

inline constexpr const char* BASE64_ENCODING_LINE = "Content-Transfer-Encoding: base64";
inline constexpr const char* QUOTED_PRINTABLE_ENCODING_LINE =
    "Content-Transfer-Encoding: quoted-printable";
inline constexpr const char* TRANSFER_ENCODING_LINE = "Content-Transfer-Encoding:";

struct MimeState {
    bool textTypeSeen = false;
    bool base64Seen = false;
    bool quotedPrintableSeen = false;
    bool multipartSeen = false;
    std::string boundary;  // at most MAX_BOUNDARY bytes; empty when none was announced
};

// True when `text` begins with "Content-Type: " directly followed by an entry of
// textContentTypes.
bool isTextContentType(const char* text);

// Base64, quoted-printable or a multipart body was announced.
bool bodyIsEncoded(const MimeState& state);

// The value behind "boundary=" (`value` points behind the '='). Quoted: the bytes
// up to the closing quote (a quoted boundary may hold spaces). Unquoted, or with
// no closing quote: up to the first white space or double quote, since header
// lines arrive with their CR LF. At most MAX_BOUNDARY bytes.
std::string readBoundaryValue(const char* value);

// Resets `state` and fills it from the header lines in order (null entries
// skipped). A "boundary=" counts only once a multipart type was seen, on this
// line or an earlier one; a later one replaces it ("found boundary" at trace 2).
void analyseMimeHeaders(const char* const* headerLines, int32_t headerCount, MimeState& state);

}  // namespace cw
