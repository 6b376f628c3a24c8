#include "mime/multipart_body.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "log_capture.h"
#include "mime_decoder_harness.h"

namespace cw {
namespace {

DecoderRun decodeMultipart(const std::string& source, const char* boundary = "b1",
                           size_t capacity = 4096) {
    return runMultipartDecoder(source, boundary, capacity);
}

const char* const QUOTED_PRINTABLE_AND_BASE64 =
    "This is a multi-part message.\r\n"
    "--b1\r\n"
    "Content-Type: text/plain; charset=iso-8859-1\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "\r\n"
    "Gr=FC=DFe, soft=\r\n"
    "break =3D ok\r\n"
    "--b1\r\n"
    "Content-Type: text/html\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "PGI+aGk8L2I+\r\n"
    "--b1--\r\n";

const char* const QUOTED_PRINTABLE_AND_BASE64_DECODED =
    "This is a multi-part message.\r\n"
    "--b1\r\n"
    "Content-Type: text/plain; charset=iso-8859-1\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "\r\n"
    "Gr\xFC\xDF"
    "e, softbreak = ok\r\n"
    "--b1\r\n"
    "Content-Type: text/html\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "<b>hi</b>-b1--\r\n";

TEST(MultipartBody, DecodesTextPartsAndCopiesTheRest) {
    DecoderRun run = decodeMultipart(QUOTED_PRINTABLE_AND_BASE64);
    EXPECT_EQ(QUOTED_PRINTABLE_AND_BASE64_DECODED, run.written);
    EXPECT_EQ(std::strlen(QUOTED_PRINTABLE_AND_BASE64), run.stoppedAt);
}

struct PartCase {
    const char* source;
    const char* expected;
};

TEST(MultipartBody, Base64PartEndsAtPadOrAtBoundaryDash) {
    const PartCase cases[] = {
        {"--b1\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\n"
         "aA==\r\n--b1--\r\n",
         "--b1\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\n"
         "h=\r\n--b1--\r\n"},
        {"--b1\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\n"
         "aGk=\r\n--b1--\r\n",
         "--b1\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\n"
         "hi\r\n--b1--\r\n"},
        {"--b1\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\n"
         "aGkh\r\n--b1--\r\n",
         "--b1\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\n"
         "hi!-b1--\r\n"},
        {"--b1\nContent-Type: text/plain\nContent-Transfer-Encoding: base64\n\naGkh\n--b1--\n",
         "--b1\nContent-Type: text/plain\nContent-Transfer-Encoding: base64\n\nhi!-b1--\n"},
    };
    for (const PartCase& c : cases) {
        EXPECT_EQ(c.expected, decodeMultipart(c.source).written) << c.source;
    }
}

TEST(MultipartBody, OtherPartsAreCopiedUnchanged) {
    const char* cases[] = {
        "--b1\r\nContent-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        "R0lG\r\n--b1--\r\n",
        "--b1\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 7bit\r\n\r\n"
        "a=3Db\r\n--b1\r\nContent-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        "R0lG\r\n--b1--\r\n",
        "no parts at all =3D\r\n",
    };
    for (const char* source : cases) {
        EXPECT_EQ(source, decodeMultipart(source).written) << source;
    }
}

TEST(MultipartBody, TextPartWithoutEncodingLetsTheNextEncodingDecide) {
    DecoderRun run = decodeMultipart(
        "--b1\r\nContent-Type: text/plain\r\n\r\nplain\r\n"
        "--b1\r\nContent-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        "R0lG\r\n--b1--\r\n");
    EXPECT_EQ(
        "--b1\r\nContent-Type: text/plain\r\n\r\nplain\r\n"
        "--b1\r\nContent-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        "GIF-b1--\r\n",
        run.written);
}

// The header tests look at every byte position, not only at line starts.
TEST(MultipartBody, HeadersAreFoundInsideLines) {
    DecoderRun run = decodeMultipart(
        "x Content-Type: text/plain y Content-Transfer-Encoding: quoted-printable\r\n\r\n"
        "a=3Db\r\n--b1--\r\n");
    EXPECT_EQ(
        "x Content-Type: text/plain y Content-Transfer-Encoding: quoted-printable\r\n\r\n"
        "a=b\r\n--b1--\r\n",
        run.written);
}

TEST(MultipartBody, CapacityCutsTheOutputToItsPrefix) {
    const std::string full = QUOTED_PRINTABLE_AND_BASE64_DECODED;
    for (size_t capacity = 0; capacity <= full.size() + 2; ++capacity) {
        DecoderRun run = decodeMultipart(QUOTED_PRINTABLE_AND_BASE64, "b1", capacity);
        EXPECT_EQ(full.substr(0, capacity), run.written) << capacity;
        EXPECT_TRUE(run.guardIntact) << capacity;
    }
}

class MultipartLogTest : public LogCaptureTest {};

TEST_F(MultipartLogTest, QuotedPrintablePartWithoutBoundaryStopsAtDashLine) {
    DecoderRun run = decodeMultipart(
        "--b1\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
        "a=3Db\r\n--b1--\r\n",
        "");
    EXPECT_EQ(
        "--b1\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
        "a=b\r\n--b1--\r\n",
        run.written);
    EXPECT_EQ(Lines{"Warning: End of boundary not found"}, logLines());
}

}  // namespace
}  // namespace cw
