// PLACEHOLDER: replaced by the rule reader work.
#include "engine/rule_line.h"

namespace cw {
bool readRuleLine(const char*, RuleLine&) { return false; }
}  // namespace cw
