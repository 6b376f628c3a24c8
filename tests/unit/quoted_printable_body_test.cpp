#include "mime/quoted_printable_body.h"

#include <gtest/gtest.h>

#include <string>

#include "log_capture.h"
#include "mime_decoder_harness.h"

namespace cw {
namespace {

DecoderRun decodeQuotedPrintable(const std::string& source, const char* boundary = "b1",
                                 size_t capacity = 64) {
    return runQuotedPrintableDecoder(source, boundary, capacity);
}

struct QuotedPrintableCase {
    const char* source;
    std::string expected;
    size_t stoppedAt;
};

TEST(QuotedPrintableBody, DecodesEscapesAndSoftBreaks) {
    const QuotedPrintableCase cases[] = {
        {"a=3Db", "a=b", 5},
        {"a=3db", "a=b", 5},
        {"caf=C3=A9", "caf\xC3\xA9", 9},
        {"one=\r\ntwo\r\n", "onetwo\r\n", 11},
        {"one=\ntwo", "onetwo", 8},
        {"one=\n\ntwo", "onetwo", 9},  // a second line end behind a soft break goes too
        {"one=\r\n\r\ntwo", "one\r\ntwo", 11},
        {"a=", "a", 2},   // '=' at the end
        {"a=4", "a", 3},  // the text ends inside the escape
        {"=z0", "0", 3},  // lenient digits: z counts 35, (16 * 35) mod 256 = 48
        {"=G1", "q", 3},  // G is no digit: its code 71 counts, 1137 mod 256 = 113
        {"a=00b", std::string("a\0b", 3), 5},
    };
    for (const QuotedPrintableCase& c : cases) {
        DecoderRun run = decodeQuotedPrintable(c.source);
        EXPECT_EQ(c.expected, run.written) << c.source;
        EXPECT_EQ(c.stoppedAt, run.stoppedAt) << c.source;
        EXPECT_TRUE(run.terminated) << c.source;
    }
}

TEST(QuotedPrintableBody, StopsAtTheBoundaryLine) {
    const QuotedPrintableCase cases[] = {
        {"text=\r\nmore\r\n--b1\r\nrest", "textmore\r\n", 13},
        {"text\n--b1--\n", "text\n", 5},
        {"text\r\n--b2\r\n--b1", "text\r\n--b2\r\n", 12},  // another boundary is text
        {"--b1\r\ntext", "--b1\r\ntext", 10},              // not at the very start
        {"a --b1", "a --b1", 6},                           // not at a line start
        {"text\r\n-b1", "text\r\n-b1", 9},
    };
    for (const QuotedPrintableCase& c : cases) {
        DecoderRun run = decodeQuotedPrintable(c.source);
        EXPECT_EQ(c.expected, run.written) << c.source;
        EXPECT_EQ(c.stoppedAt, run.stoppedAt) << c.source;
    }
}

TEST(QuotedPrintableBody, StopsWhenCapacityIsUsedUp) {
    DecoderRun run = decodeQuotedPrintable("abc=3Ddef", "b1", 4);
    EXPECT_EQ("abc=", run.written);
    EXPECT_EQ(6u, run.stoppedAt);
    EXPECT_TRUE(run.terminated);
    EXPECT_TRUE(run.guardIntact);

    run = decodeQuotedPrintable("abc", "b1", 0);
    EXPECT_EQ("", run.written);
    EXPECT_EQ(0u, run.stoppedAt);
    EXPECT_TRUE(run.guardIntact);
}

class QuotedPrintableLogTest : public LogCaptureTest {};

TEST_F(QuotedPrintableLogTest, DashLineWithoutBoundaryStopsWithWarning) {
    DecoderRun run = decodeQuotedPrintable("text\r\n-- \r\nsignature", "");
    EXPECT_EQ("text\r\n", run.written);
    EXPECT_EQ(6u, run.stoppedAt);
    EXPECT_EQ(Lines{"Warning: End of boundary not found"}, logLines());
}

TEST_F(QuotedPrintableLogTest, OutsideAMultipartBodyDashLinesAreText) {
    DecoderRun run = decodeQuotedPrintable("text\r\n-- \r\n--b1\r\n-->=3D", nullptr);
    EXPECT_EQ("text\r\n-- \r\n--b1\r\n-->=", run.written);
    EXPECT_EQ(23u, run.stoppedAt);
    EXPECT_EQ(Lines{}, logLines());
}

TEST_F(QuotedPrintableLogTest, KnownBoundaryStopsSilently) {
    decodeQuotedPrintable("text\r\n--b1\r\n", "b1");
    EXPECT_EQ(Lines{}, logLines());
}

}  // namespace
}  // namespace cw
