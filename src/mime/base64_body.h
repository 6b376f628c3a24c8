// Base64 body text, decoded in one forward pass. Used for a whole single-part
// body and for the base64 text parts of a multipart body.
#pragma once

#include <cstddef>

namespace cw {

// Value of a base64 alphabet byte: A-Z 0-25, a-z 26-51, 0-9 52-61, '+' 62,
// '/' 63; -1 for every other byte.
int base64Value(unsigned char c);

// Decodes from `source` (NUL-terminated) into `output`, which must hold
// `capacity` + 1 bytes; writes a NUL behind the output and lowers `capacity` by
// one for each byte written, stopping when it reaches 0. Returns the source
// position where decoding stopped. On bad input it degrades as follows:
// - '-' stops at once (a part ends at its boundary line); the result is behind it;
// - '=' pads: with no byte of the current group read it just stops, after one or
//   two it yields one byte, after three two bytes (missing bits are 0); the
//   result is behind that '=';
// - bytes outside the alphabet are skipped; an incomplete group at the end is dropped;
// - a decoded 0 byte is written as '*', so the text never ends early.
const char* decodeBase64Body(const char* source, char* output, size_t& capacity);

}  // namespace cw
