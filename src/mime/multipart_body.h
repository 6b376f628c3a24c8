// Multipart bodies: copied as they are, except that the content of text parts
// with a base64 or quoted-printable transfer encoding is decoded in place.
#pragma once

#include <cstddef>

namespace cw {

// Copies `source` (NUL-terminated) into `output`, which must hold `capacity` + 1
// bytes, and writes a NUL behind; copying and decoding share the capacity and
// stop when it is used up. Returns the source position where copying stopped.
//
// A state machine looks at every byte position (not only line starts): a
// "Content-Type: text/..." opens a text part; its "Content-Transfer-Encoding:"
// decides (base64, quoted-printable, or anything else: back to seeking); the
// first empty line behind that header line starts the content, which the
// matching decoder takes over until it stops, and copying resumes there.
// Preamble, part headers, boundary lines and every other part are copied
// unchanged. A text part without a transfer encoding leaves the choice to the
// next "Content-Transfer-Encoding:" line, even one of a non-text part. A base64
// part whose content ends without '=' is decoded up to the first '-' of the next
// boundary line, so that line shows one '-' less.
const char* decodeMultipartBody(const char* source, char* output, size_t capacity,
                                const char* boundary);

}  // namespace cw
