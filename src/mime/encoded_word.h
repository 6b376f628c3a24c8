// RFC 2047 encoded words ("=?charset?B|Q?text?=") in header texts, decoded to
// their bytes; the charset is read and ignored, nothing is converted.
#pragma once

#include <string>

namespace cw {

// Replaces every recognised encoded word of `text` by its decoded bytes; white
// space between two adjacent words is dropped. Takes the log lock for its run.
void decodeHeaderWords(std::string& text);

}  // namespace cw
