// PLACEHOLDER: replaced by the decoder work.
#include "mime/message_texts.h"

namespace cw {
void loadMessageBody(const char* const*, int32_t, platform::BodyFile, MessageTexts&) {}
}  // namespace cw
