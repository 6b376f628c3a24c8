// Quoted-printable body text, decoded in one forward pass. Used for a whole
// single-part body and for the quoted-printable text parts of a multipart body.
#pragma once

#include <cstddef>

namespace cw {

// Decodes from `source` (NUL-terminated) into `output`, which must hold
// `capacity` + 1 bytes; writes a NUL behind the output and lowers `capacity` by
// one for each byte written, stopping when it reaches 0. Returns the source
// position where decoding stopped.
// - Inside a multipart body (`boundary` not null), a line that begins with "--"
//   (not at the very start of `source`) ends the text when `boundary` is empty
//   ("Warning: End of boundary not found" is logged) or when the bytes behind
//   "--" begin with `boundary`; the result is the first '-'. Other "--" lines,
//   and every line of a body that is not multipart (`boundary` null: a
//   signature separator, the end of an HTML comment), are ordinary text.
// - '=' with CR or LF behind it is a soft line break (a second CR or LF behind
//   that is dropped as well). '=' with two bytes behind it writes
//   (16 * first + second) mod 256, where A-F count 10-15, a-z count 10-35,
//   0-9 their value and any other byte its own code; "=00" thus writes a NUL,
//   which ends the decoded text for every later step. '=' with the text ending
//   within the next two bytes stops without writing.
const char* decodeQuotedPrintableBody(const char* source, char* output, size_t& capacity,
                                      const char* boundary);

}  // namespace cw
