#include <gtest/gtest.h>
#include "common/text_ops.h"
TEST(TextOps, Trim) { char t[] = "  a b \r\n"; cw::trimWhiteSpace(t); EXPECT_STREQ("a b", t); }
