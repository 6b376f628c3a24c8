// RFC 2047 encoded words ("=?charset?B|Q?text?=") in header texts, decoded to
// their bytes; the charset is read and ignored, nothing is converted.
//
// Recognised form: "=?" charset "?" one of BbQq "?" encoded text "?=", where the
// charset is bytes 0x21-0x7E other than ( ) < > , ; : / [ ] ? . = @ " (a '*'
// starts a language suffix), and the encoded text is bytes 0x21-0x7E other
// than '?'. Anything else is not a word and stays in the text as it is.
#pragma once

#include <cstddef>
#include <string>

namespace cw {

// Position of the "=?" of the first recognised word at or behind `text`, or
// nullptr when there is none; `wordEnd` then receives the position behind its "?=".
const char* findEncodedWord(const char* text, const char** wordEnd);

// Decodes the word that starts at `word` into `output`: its bytes and a NUL, at
// most `capacity` bytes in all (nothing when capacity is 0). A decoded NUL ends
// the word's text. Returns 0, or -1 (nothing written) when the encoding byte is
// neither B nor Q. Q: '_' is a space, "=XX" a hex byte, every other byte itself.
// B: '=' ends the text, bytes outside the alphabet are skipped, spare bits dropped.
int decodeEncodedWord(char* output, const char* word, size_t capacity);

// Replaces every recognised encoded word of `text` by its decoded bytes; white
// space (space, TAB, CR, LF) between two words is dropped once a word has been
// decoded. The text ends at its first NUL. Takes no lock. When no work area can
// be had the text stays as it was.
void decodeHeaderWords(std::string& text);

}  // namespace cw
