// PLACEHOLDER: replaced by the decoder work.
#include "mime/encoded_word.h"

namespace cw {
void decodeHeaderWords(std::string&) {}
}  // namespace cw
