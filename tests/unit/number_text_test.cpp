#include "common/number_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace cw {
namespace {

TEST(NumberText, OneDecimalRoundsTheExactBinaryValue) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {0.0, "0.0"},
        {1.0, "1.0"},
        {2.25, "2.2"},
        {2.75, "2.8"},
        {0.05, "0.1"},
        {0.15, "0.1"},
        {2.35, "2.4"},
        {-5.0, "-5.0"},
        {-0.04, "-0.0"},
        {99999.0, "99999.0"},
        {1e21, "1000000000000000000000.0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.text, formatFixed1(c.value)) << c.value;
    }
}

// The standard library's exact printer as the reference, over the whole range:
// ties, the tiniest and the largest doubles, powers of two around 2^53 and 2^64.
TEST(NumberText, OneDecimalAgreesWithTheExactPrinterOverTheWholeRange) {
    std::vector<double> values{0.25,
                               0.35,
                               0.45,
                               1e-300,
                               5e-324,
                               0.049999999999999996,
                               0.05,
                               1e15,
                               1e17,
                               1e18,
                               1.8e19,
                               123456789.95,
                               std::numeric_limits<double>::max(),
                               std::ldexp(1.0, 53) + 2,
                               std::ldexp(1.0, 64),
                               std::ldexp(1.0, 63) - 1024};
    for (double seed = 0.01; seed < 1e6; seed *= 3.7) {
        values.push_back(seed);
    }
    for (double value : values) {
        for (double signed_value : {value, -value}) {
            char buffer[400];
            auto result = std::to_chars(buffer, buffer + sizeof buffer, signed_value,
                                        std::chars_format::fixed, 1);
            EXPECT_EQ(std::string(buffer, result.ptr), formatFixed1(signed_value)) << signed_value;
        }
    }
}

TEST(NumberText, DecimalPrefixIsReadWhateverTheLocale) {
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // may not exist; the reading must not care
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"5.5", 5.5}, {"  -1.5xyz", -1.5}, {"1.5.2", 1.5}, {"2-3", 2.0},   {"-", 0.0},
        {"", 0.0},    {"abc", 0.0},        {".5", 0.5},    {"5.", 5.0},    {"1e3", 1000.0},
        {"1e", 1.0},  {"+2", 2.0},         {"1,5", 1.0},   {"1.27", 1.27}, {"1.100", 1.1},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(c.value, readLeadingDecimal(c.text)) << c.text;
    }
    std::setlocale(LC_NUMERIC, "C");
}

// Out of range, the order of magnitude decides, whatever the sign of the
// exponent part: below the smallest double gives zero (as strtod does), above
// the largest gives the largest finite double, so a score never becomes infinite.
TEST(NumberText, DecimalsOutOfRangeBecomeZeroOrTheLargestFiniteByTheirMagnitude) {
    const double largest = std::numeric_limits<double>::max();
    const std::string zeros(400, '0');
    struct Case {
        std::string text;
        double value;
    };
    const Case cases[] = {
        {"1e-400", 0.0},
        {"1e400", largest},
        {"-1e400", -largest},
        {"0." + zeros + "1", 0.0},
        {"-0." + zeros + "1", -0.0},
        {"0." + zeros + "1e+5", 0.0},
        {"1" + zeros + "e-5", largest},
        {"1" + zeros, largest},
        {"0.0001e-400", 0.0},
        {"0.0001e400", largest},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.value, readLeadingDecimal(c.text.c_str())) << c.text.substr(0, 20);
    }
}

TEST(NumberText, IntegerPrefixSaturatesInsteadOfOverflowing) {
    EXPECT_EQ(42, readLeadingInteger(" 42abc"));
    EXPECT_EQ(-5, readLeadingInteger("-5"));
    EXPECT_EQ(0, readLeadingInteger("x1"));
    EXPECT_EQ(3, readLeadingInteger("3 4"));
    EXPECT_EQ(std::numeric_limits<int32_t>::max(), readLeadingInteger("99999999999999999999"));
    EXPECT_EQ(std::numeric_limits<int32_t>::min(), readLeadingInteger("-99999999999999999999"));
}

TEST(NumberText, FormattedTextIsWholeAtAnyLength) {
    // Around the length that a first try holds, and far beyond it.
    for (size_t length :
         {size_t{0}, size_t{1}, size_t{510}, size_t{511}, size_t{512}, size_t{513}, size_t{5000}}) {
        std::string word(length, 'w');
        EXPECT_EQ("[" + word + "] 7", formatText("[%s] %d", word.c_str(), 7)) << length;
    }
}

}  // namespace
}  // namespace cw
