#include "mime/base64_body.h"

#include <gtest/gtest.h>

#include <string>

#include "mime_decoder_harness.h"

namespace cw {
namespace {

DecoderRun decodeBase64(const std::string& source, size_t capacity = 64) {
    return runBase64Decoder(source, capacity);
}

struct Base64Case {
    const char* source;
    const char* expected;
    size_t stoppedAt;
};

TEST(Base64Body, DecodesAndStopsWhereTheTextEnds) {
    const Base64Case cases[] = {
        {"SGVsbG8h", "Hello!", 8},
        {"SGVs\r\nbG8h\r\n", "Hello!", 12},
        {"SGVs bG8h", "Hello!", 9},              // white space skipped
        {"SG\xE9Vs!bG8h", "Hello!", 10},         // other bytes skipped
        {"SGVsbG8=\r\n--b1\r\n", "Hello", 8},    // behind the '='
        {"SGVsbG8h\r\n--b1\r\n", "Hello!", 11},  // behind the first '-'
        {"QQ==", "A", 3},                        // two data bytes before '='
        {"Qw=", "C", 3},
        {"Q=", "@", 2},        // one data byte: missing bits are 0
        {"=QUJD", "", 1},      // '=' with no data byte read
        {"QUJDRA", "ABC", 6},  // an incomplete group at the end is dropped
        {"QUJD-RA==", "ABC", 5},
        {"", "", 0},
    };
    for (const Base64Case& c : cases) {
        DecoderRun run = decodeBase64(c.source);
        EXPECT_EQ(c.expected, run.written) << c.source;
        EXPECT_EQ(c.stoppedAt, run.stoppedAt) << c.source;
        EXPECT_TRUE(run.terminated) << c.source;
    }
}

TEST(Base64Body, ZeroBytesAreWrittenAsStars) {
    EXPECT_EQ("***", decodeBase64("AAAA").written);
    EXPECT_EQ("A*B", decodeBase64("QQBC").written);
    EXPECT_EQ("*", decodeBase64("AA==").written);
}

TEST(Base64Body, StopsWhenCapacityIsUsedUp) {
    DecoderRun run = decodeBase64("QUJDREVG", 4);
    EXPECT_EQ("ABCD", run.written);
    EXPECT_EQ(0u, run.capacityLeft);
    EXPECT_TRUE(run.terminated);
    EXPECT_TRUE(run.guardIntact);

    run = decodeBase64("QUJDREVG", 0);
    EXPECT_EQ("", run.written);
    EXPECT_EQ(0u, run.stoppedAt);
    EXPECT_TRUE(run.terminated);
    EXPECT_TRUE(run.guardIntact);
}

TEST(Base64Body, CapacityLimitsPaddedGroupToo) {
    DecoderRun run = decodeBase64("QUJDREU=", 4);  // "ABCDE"
    EXPECT_EQ("ABCD", run.written);
    EXPECT_TRUE(run.guardIntact);
}

}  // namespace
}  // namespace cw
