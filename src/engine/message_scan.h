// filterOnMessageBody: the filter run for one message.
#pragma once

#include <cstdint>

#include "common/host_records.h"
#include "platform/platform.h"

namespace cw {

void filterOnMessageBody(const char* const* headerLines, int32_t headerCount,
                         platform::BodyFile body, int32_t fetchId, MessageStatus* status,
                         int32_t configHandle);

}  // namespace cw
