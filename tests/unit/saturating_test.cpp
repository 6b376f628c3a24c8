#include "common/saturating.h"

#include <gtest/gtest.h>

namespace cw {
namespace {

TEST(Saturating, SumsAndProductsStopAtUnboundedInsteadOfWrapping) {
    const struct {
        size_t a;
        size_t b;
        size_t sum;
        size_t product;
    } cases[] = {
        {0, 0, 0, 0},
        {3, 4, 7, 12},
        {UNBOUNDED - 1, 1, UNBOUNDED, UNBOUNDED - 1},
        {UNBOUNDED - 1, 2, UNBOUNDED, UNBOUNDED},
        {UNBOUNDED / 2, UNBOUNDED / 2, UNBOUNDED - 1, UNBOUNDED},
        {UNBOUNDED / 2 + 1, 2, UNBOUNDED / 2 + 3, UNBOUNDED},
        {UNBOUNDED, 1, UNBOUNDED, UNBOUNDED},
        {UNBOUNDED, UNBOUNDED, UNBOUNDED, UNBOUNDED},
        {UNBOUNDED, 0, UNBOUNDED, 0},  // nothing repeated without end is still nothing
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.sum, saturatingAdd(c.a, c.b)) << c.a << " + " << c.b;
        EXPECT_EQ(c.sum, saturatingAdd(c.b, c.a)) << c.b << " + " << c.a;
        EXPECT_EQ(c.product, saturatingMultiply(c.a, c.b)) << c.a << " * " << c.b;
        EXPECT_EQ(c.product, saturatingMultiply(c.b, c.a)) << c.b << " * " << c.a;
    }
}

}  // namespace
}  // namespace cw
