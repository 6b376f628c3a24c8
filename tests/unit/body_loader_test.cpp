#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/filter_options.h"
#include "log_capture.h"
#include "mime/message_texts.h"
#include "scratch_folder.h"

namespace cw {
namespace {

using Headers = std::vector<const char*>;

const Headers TEXT_BASE64 = {"Content-Type: text/plain; charset=us-ascii\r\n",
                             "Content-Transfer-Encoding: base64\r\n"};
const Headers TEXT_QUOTED_PRINTABLE = {"Content-Type: text/plain\r\n",
                                       "Content-Transfer-Encoding: quoted-printable\r\n"};
const Headers MULTIPART = {"Content-Type: multipart/mixed;\r\n", "\tboundary=b1\r\n"};

class BodyLoaderTest : public LogCaptureTest {
  protected:
    // Hands the body over as the host does: an open file positioned behind
    // `skipped`, which comes first in the file and must not be read.
    void Load(const Headers& headers, const std::string& body, const std::string& skipped = "") {
        std::string path = makeScratchFolder() + "body.eml";
        writeFileBytes(path, skipped + body);
        BodyFileForTest file(path, static_cast<long>(skipped.size()));
        loadMessageBody(headers.data(), static_cast<int32_t>(headers.size()), file.handle(),
                        texts_);
    }

    static std::vector<std::string> Strings(const std::vector<const char*>& lines) {
        return std::vector<std::string>(lines.begin(), lines.end());
    }

    MessageTexts texts_;
};

TEST_F(BodyLoaderTest, PlainBodyIsReadWholeAndSplit) {
    Load({"Content-Type: text/plain\r\n"}, "Hello\r\n\r\nWorld\r\n");
    EXPECT_EQ("Hello\r\n\r\nWorld\r\n", texts_.rawBody);
    EXPECT_EQ((std::vector<std::string>{"Hello\r", "\r", "World\r"}), Strings(texts_.rawLines));
    EXPECT_FALSE(texts_.bodyIsEncoded);
    EXPECT_EQ("", texts_.decodedBody);
    EXPECT_TRUE(texts_.decodedLines.empty());
    EXPECT_EQ(Lines{}, logLines());
}

TEST_F(BodyLoaderTest, BodyPastMaxSizeIsCutAndReadFromTheCurrentPosition) {
    filterOptions.traceLevel = TRACE_DEBUG;
    std::string body;
    for (int i = 0; body.size() < 200000; ++i) {
        body += "line " + std::to_string(i) + " of the long body\n";
    }
    body.resize(200000);
    Load({}, body, "SKIPPED HEADER\n");
    EXPECT_EQ(65536u, texts_.rawBody.size());
    EXPECT_TRUE(texts_.rawBody == body.substr(0, 65536));
    ASSERT_FALSE(logLines().empty());
    EXPECT_EQ("> body loaded: 65536 bytes", logLines().front());
}

TEST_F(BodyLoaderTest, BodyEndsAtItsFirstNul) {
    filterOptions.traceLevel = TRACE_DEBUG;
    Load({}, std::string("ab\ncd\0ef\n", 9));
    EXPECT_EQ("ab\ncd", texts_.rawBody);
    EXPECT_EQ((std::vector<std::string>{"ab", "cd"}), Strings(texts_.rawLines));
    EXPECT_EQ((Lines{"> body loaded: 9 bytes", "> body has 2 lines"}), logLines());
}

TEST_F(BodyLoaderTest, NothingReadGivesAnEmptyBody) {
    filterOptions.traceLevel = TRACE_DEBUG;
    Load({}, "");
    EXPECT_EQ("", texts_.rawBody);
    loadMessageBody(nullptr, 0, NO_BODY_FILE, texts_);
    EXPECT_EQ("", texts_.rawBody);
    EXPECT_TRUE(texts_.rawLines.empty());
    EXPECT_EQ((Lines{"> body has 0 lines", "> body has 0 lines"}), logLines());
}

TEST_F(BodyLoaderTest, Base64TextBodyIsDecoded) {
    filterOptions.traceLevel = TRACE_DEBUG;
    Load(TEXT_BASE64, "SGVsbG8s\r\nV29ybGQh\r\n");
    EXPECT_TRUE(texts_.bodyIsEncoded);
    EXPECT_TRUE(texts_.bodyDecoded);
    EXPECT_EQ("Hello,World!", texts_.decodedBody);
    EXPECT_EQ(std::vector<std::string>{"Hello,World!"}, Strings(texts_.decodedLines));
    EXPECT_EQ((Lines{"> body loaded: 20 bytes", "Found: Content-Transfer-Encoding: base64",
                     "...with valid Content-Type", "Hello,World!", "> body has 2 lines",
                     "> decoded body has 1 lines"}),
              logLines());
}

TEST_F(BodyLoaderTest, NonTextBase64IsNotDecodedAndHasNoDecodedLines) {
    Load({"Content-Type: image/gif\r\n", "Content-Transfer-Encoding: base64\r\n"}, "R0lG\r\n");
    EXPECT_TRUE(texts_.bodyIsEncoded);
    EXPECT_FALSE(texts_.bodyDecoded);
    EXPECT_EQ("", texts_.decodedBody);
    EXPECT_TRUE(texts_.decodedLines.empty());
    EXPECT_EQ(std::vector<std::string>{"R0lG\r"}, Strings(texts_.rawLines));
    EXPECT_EQ(Lines{}, logLines());
}

// A body that is not multipart has no boundary lines: a signature separator
// or the end of an HTML comment is text, decoded like the rest.
TEST_F(BodyLoaderTest, QuotedPrintableSinglePartBodyDecodesPastDashLines) {
    Load(TEXT_QUOTED_PRINTABLE, "a=3Db soft=\r\nbreak\r\n-- \r\nsigna=\r\nture\r\n-->=3D\r\n");
    EXPECT_EQ("a=b softbreak\r\n-- \r\nsignature\r\n-->=\r\n", texts_.decodedBody);
    EXPECT_TRUE(texts_.bodyDecoded);
    EXPECT_EQ(
        (Lines{"Found: Content-Transfer-Encoding: quoted-printable", "...with valid Content-Type"}),
        logLines());
}

// In a multipart body the quoted-printable part still ends at a "--" line.
TEST_F(BodyLoaderTest, QuotedPrintableMultipartBodyWithoutBoundaryStopsAtDashLine) {
    Load({"Content-Type: multipart/mixed;\r\n", "Content-Type: text/plain\r\n",
          "Content-Transfer-Encoding: quoted-printable\r\n"},
         "a=3Db\r\n--x\r\nrest\r\n");
    EXPECT_EQ((Lines{"Found: Content-Transfer-Encoding: quoted-printable",
                     "...with valid Content-Type", "Warning: End of boundary not found",
                     "Found: Content-Type: multipart/mixed; or multipart/alternative;"}),
              logLines());
}

// The headers announce an encoding that no decoder takes: the decoded body
// stays empty, and the rules that would test it test the raw body instead.
TEST_F(BodyLoaderTest, EncodingWithoutATextTypeRunsNoDecoder) {
    const Headers cases[] = {
        {"Content-Transfer-Encoding: quoted-printable\r\n"},
        {"Content-type:text/plain\r\n", "Content-Transfer-Encoding: quoted-printable\r\n"},
    };
    for (const Headers& headers : cases) {
        Load(headers, "a=3Db\r\n");
        EXPECT_TRUE(texts_.bodyIsEncoded) << headers[0];
        EXPECT_FALSE(texts_.bodyDecoded) << headers[0];
        EXPECT_FALSE(decodedBodyStands(texts_)) << headers[0];
        EXPECT_EQ("", texts_.decodedBody) << headers[0];
    }
}

TEST_F(BodyLoaderTest, DecodedNulEndsTheDecodedBody) {
    Load(TEXT_QUOTED_PRINTABLE, "a=00b\r\nc\r\n");
    EXPECT_EQ("a", texts_.decodedBody);
    EXPECT_EQ(std::vector<std::string>{"a"}, Strings(texts_.decodedLines));
}

TEST_F(BodyLoaderTest, LastDecoderToRunStands) {
    Load({"Content-Type: text/plain\r\n", "Content-Transfer-Encoding: base64\r\n",
          "Content-Transfer-Encoding: quoted-printable\r\n"},
         "QUJD");
    EXPECT_EQ("QUJD", texts_.decodedBody);
    EXPECT_EQ(
        (Lines{"Found: Content-Transfer-Encoding: base64", "...with valid Content-Type",
               "Found: Content-Transfer-Encoding: quoted-printable", "...with valid Content-Type"}),
        logLines());
}

TEST_F(BodyLoaderTest, MultipartBodyDecodesItsTextPart) {
    filterOptions.traceLevel = TRACE_CHECK;
    Load(MULTIPART,
         "--b1\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
         "free =3D money\r\n--b1--\r\n");
    EXPECT_EQ(
        "--b1\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
        "free = money\r\n--b1--\r\n",
        texts_.decodedBody);
    EXPECT_EQ((std::vector<std::string>{"--b1\r", "Content-Type: text/plain\r",
                                        "Content-Transfer-Encoding: quoted-printable\r", "\r",
                                        "free = money\r", "--b1--\r"}),
              Strings(texts_.decodedLines));
    EXPECT_EQ(Lines{"Found: Content-Type: multipart/mixed; or multipart/alternative;"}, logLines());
}

TEST_F(BodyLoaderTest, MaxLinesCutsRawAndDecodedLines) {
    filterOptions.maxLines = 100;
    std::string body;
    for (int i = 1; i <= 150; ++i) {
        body += "line " + std::to_string(i) + "\r\n";
    }
    Load(MULTIPART, body);
    ASSERT_EQ(100u, texts_.rawLines.size());
    EXPECT_STREQ("line 1\r", texts_.rawLines.front());
    EXPECT_STREQ("line 100\r", texts_.rawLines.back());
    ASSERT_EQ(100u, texts_.decodedLines.size());
    EXPECT_STREQ("line 100\r", texts_.decodedLines.back());
    EXPECT_EQ((Lines{"Found: Content-Type: multipart/mixed; or multipart/alternative;",
                     "number of lines exceeds limit of 100 lines",
                     "number of decoded lines exceeds limit of 100 lines"}),
              logLines());
}

TEST_F(BodyLoaderTest, ExactlyMaxLinesIsNoCut) {
    filterOptions.maxLines = 2;
    Load({}, "a\nb\n");
    EXPECT_EQ(2u, texts_.rawLines.size());
    EXPECT_EQ(Lines{}, logLines());
}

TEST_F(BodyLoaderTest, NextMessageStartsFresh) {
    Load(TEXT_BASE64, "SGVsbG8=\r\n");
    Load({}, "plain\r\n");
    EXPECT_FALSE(texts_.bodyIsEncoded);
    EXPECT_EQ("", texts_.decodedBody);
    EXPECT_TRUE(texts_.decodedLines.empty());
    EXPECT_EQ(std::vector<std::string>{"plain\r"}, Strings(texts_.rawLines));
}

}  // namespace
}  // namespace cw
