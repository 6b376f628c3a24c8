// PLACEHOLDER: replaced by the engine work.
#include "engine/message_scan.h"

namespace cw {
void filterOnMessageBody(const char* const*, int32_t, platform::BodyFile, int32_t, MessageStatus*,
                         int32_t) {}
}  // namespace cw
