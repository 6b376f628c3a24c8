// Splitting a body text into the lines that "Line:" rules test. A line is a
// maximal run of bytes other than LF: LF only separates, so empty lines do not
// exist, a CR before an LF stays at the end of its line, and the empty line of a
// CR LF text is a line holding only CR.
#pragma once

#include <cstddef>

namespace cw {

size_t countLines(const char* text);

// Cuts the NUL-terminated `area` into its lines in place (each LF becomes a NUL)
// and stores the start of each of the first `maxLines` lines in `lines`.
// Returns the number stored.
size_t cutLines(char* area, const char** lines, size_t maxLines);

}  // namespace cw
