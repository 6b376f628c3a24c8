// PLACEHOLDER: replaced by the decoder work.
#include "mime/message_texts.h"

namespace cw {
bool buildHeaderTexts(const char* const*, int32_t, MessageTexts&) { return true; }
}  // namespace cw
