// PLACEHOLDER: replaced by the matcher work.
#include "engine/matchers.h"

namespace cw {
int fieldPrefixLength(const char*, const char*) { return -1; }
void applyStringTest(const RuleLine&, std::string&, const MessageView&, bool&) {}
void applyPatternTest(const RuleLine&, const std::string&, const pcre2_real_code_8*,
                      const MessageView&, bool&) {}
}  // namespace cw
