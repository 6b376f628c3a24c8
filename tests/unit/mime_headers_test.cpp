#include "mime/mime_headers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/filter_options.h"
#include "log_capture.h"

namespace cw {
namespace {

MimeState analyse(const std::vector<const char*>& lines) {
    MimeState state;
    state.boundary = "stale";
    analyseMimeHeaders(lines.data(), static_cast<int32_t>(lines.size()), state);
    return state;
}

struct FlagCase {
    const char* line;
    bool text;
    bool base64;
    bool quotedPrintable;
    bool multipart;
};

TEST(MimeHeaders, HeaderLinesSetTheirFlags) {
    const FlagCase cases[] = {
        {"Content-Type: text/plain; charset=us-ascii\r\n", true, false, false, false},
        {"content-type: TEXT/html\r\n", true, false, false, false},
        {"Content-type:text/plain\r\n", false, false, false, false},
        {"Content-Type:  text/plain\r\n", false, false, false, false},
        {"X-Content-Type: text/plain\r\n", false, false, false, false},
        {"Content-Type: image/gif\r\n", false, false, false, false},
        {"Content-Transfer-Encoding: base64\r\n", false, true, false, false},
        {"CONTENT-TRANSFER-ENCODING: BASE64\r\n", false, true, false, false},
        {"Content-Transfer-Encoding: base6\r\n", false, false, false, false},
        {"Content-Transfer-Encoding: quoted-printable\r\n", false, false, true, false},
        {"Content-Transfer-Encoding: 8bit\r\n", false, false, false, false},
        {"Content-Type: multipart/mixed; boundary=b1\r\n", false, false, false, true},
        {"Content-Type: multipart/alternative;\r\n", false, false, false, true},
        {"Content-Type: multipart/mixed boundary=b1\r\n", false, false, false, false},
        {"Content-Type: multipart/related; boundary=b1\r\n", false, false, false, false},
    };
    for (const FlagCase& c : cases) {
        MimeState state = analyse({c.line});
        EXPECT_EQ(c.text, state.textTypeSeen) << c.line;
        EXPECT_EQ(c.base64, state.base64Seen) << c.line;
        EXPECT_EQ(c.quotedPrintable, state.quotedPrintableSeen) << c.line;
        EXPECT_EQ(c.multipart, state.multipartSeen) << c.line;
        EXPECT_EQ(c.base64 || c.quotedPrintable || c.multipart, bodyIsEncoded(state)) << c.line;
    }
}

struct BoundaryCase {
    std::vector<const char*> lines;
    const char* boundary;
};

TEST(MimeHeaders, BoundaryIsTakenOnceMultipartWasSeen) {
    const BoundaryCase cases[] = {
        {{"Content-Type: multipart/mixed; boundary=\"b1\"\r\n"}, "b1"},
        {{"Content-Type: multipart/mixed; boundary=b1\r\n"}, "b1"},
        {{"Content-Type: multipart/mixed; boundary=b1"}, "b1"},
        {{"Content-Type: multipart/mixed; boundary=\"a b=c\"; charset=x\r\n"}, "a b=c"},
        {{"Content-Type: multipart/mixed; boundary=\"b1\r\n"}, "b1"},
        {{"Content-Type: multipart/mixed; boundary=\"\"\r\n"}, ""},
        {{"Content-Type: multipart/mixed; Boundary=b1\r\n"}, "b1"},
        {{"Content-Type: multipart/alternative;\r\n", "\tboundary=\"b2\"\r\n"}, "b2"},
        {{"X-Note: boundary=early\r\n", "Content-Type: multipart/mixed;\r\n"}, ""},
        {{"Content-Type: multipart/mixed; boundary=b1\r\n", "X-Later: boundary=b9\r\n"}, "b9"},
        {{"Content-Type: text/plain; boundary=b1\r\n"}, ""},
    };
    for (const BoundaryCase& c : cases) {
        EXPECT_EQ(c.boundary, analyse(c.lines).boundary) << c.lines.front();
    }
}

TEST(MimeHeaders, LongBoundaryIsCut) {
    std::string line = "Content-Type: multipart/mixed; boundary=\"" + std::string(5000, 'q') + "\"";
    EXPECT_EQ(std::string(4095, 'q'), analyse({line.c_str()}).boundary);
}

TEST(MimeHeaders, NullLinesAreSkipped) {
    MimeState state = analyse({nullptr, "Content-Transfer-Encoding: base64\r\n", nullptr});
    EXPECT_TRUE(state.base64Seen);
    EXPECT_EQ("", state.boundary);
}

class MimeHeadersLogTest : public LogCaptureTest {};

TEST_F(MimeHeadersLogTest, FoundBoundaryIsTraced) {
    filterOptions.traceLevel = TRACE_DEBUG;
    analyse({"Content-Type: multipart/mixed; boundary=\"b1\"\r\n"});
    EXPECT_EQ(Lines{"found boundary \"b1\""}, logLines());
}

}  // namespace
}  // namespace cw
