#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/filter_options.h"
#include "log_capture.h"
#include "mime/message_texts.h"

namespace cw {
namespace {

class HeaderTextsTest : public LogCaptureTest {
  protected:
    void Build(const std::vector<const char*>& lines) {
        ASSERT_TRUE(buildHeaderTexts(lines.data(), static_cast<int32_t>(lines.size()), texts_));
    }
    MessageTexts texts_;
};

TEST_F(HeaderTextsTest, JoinsLinesAsTheyCame) {
    Build({"Subject: =?utf-8?B?SGVsbG8=?=\r\n", nullptr, "From: =?x?Q?J=F6rg?= <j@x.example>\r\n",
           "\tcontinued\r\n"});
    EXPECT_EQ(
        "Subject: =?utf-8?B?SGVsbG8=?=\r\nFrom: =?x?Q?J=F6rg?= <j@x.example>\r\n\tcontinued\r\n",
        texts_.rawHeaderText);
    EXPECT_EQ("Subject: Hello\r\nFrom: J\xF6rg <j@x.example>\r\n\tcontinued\r\n",
              texts_.decodedHeaderText);
}

TEST_F(HeaderTextsTest, NoLinesGiveEmptyTexts) {
    texts_.rawHeaderText = "stale";
    texts_.decodedHeaderText = "stale";
    ASSERT_TRUE(buildHeaderTexts(nullptr, 3, texts_));
    EXPECT_EQ("", texts_.rawHeaderText);
    EXPECT_EQ("", texts_.decodedHeaderText);
}

TEST_F(HeaderTextsTest, LinesThatDoNotFitAreSkippedOneByOne) {
    std::string first(40000, 'a');
    std::string tooLong(30000, 'b');
    std::string fitsExactly(25535, 'c');  // 40000 + 25535 = 65535
    std::string oneMore = "d";
    Build({first.c_str(), tooLong.c_str(), fitsExactly.c_str(), oneMore.c_str()});
    EXPECT_EQ(65535u, texts_.rawHeaderText.size());
    EXPECT_TRUE(texts_.rawHeaderText == first + fitsExactly);
    EXPECT_TRUE(texts_.decodedHeaderText == first + fitsExactly);
}

TEST_F(HeaderTextsTest, LineReachingTheLimitIsLeftOut) {
    std::string first(40000, 'a');
    std::string reaches(25536, 'c');  // would make 65536
    Build({first.c_str(), reaches.c_str()});
    EXPECT_EQ(40000u, texts_.rawHeaderText.size());
    EXPECT_EQ(40000u, texts_.decodedHeaderText.size());
}

// The fit test uses the undecoded length, the running total the decoded one.
TEST_F(HeaderTextsTest, DecodedTextCountsDecodedLength) {
    std::string encoded = "Subject: =?x?Q?" + std::string(65500, 'x') + "=41?=\r\n";
    std::string decodedSubject = "Subject: " + std::string(65500, 'x') + "A\r\n";
    Build({encoded.c_str(), "To: b@x.example\r\n"});
    EXPECT_TRUE(texts_.rawHeaderText == encoded);
    EXPECT_TRUE(texts_.decodedHeaderText == decodedSubject + "To: b@x.example\r\n");
}

TEST_F(HeaderTextsTest, TraceShowsEncodedAndDecodedLines) {
    filterOptions.traceLevel = TRACE_DEBUG;
    Build({"To: b@x.example", "Subject: =?x?Q?a_b?="});
    EXPECT_EQ((Lines{"header mime encoded: [Subject: =?x?Q?a_b?=]",
                     "header mime decoded: [Subject: a b]"}),
              logLines());
}

TEST_F(HeaderTextsTest, TraceQuotesAtMost8192Bytes) {
    filterOptions.traceLevel = TRACE_DEBUG;
    std::string line = "=?x?Q?a?=" + std::string(9000, 'z');
    Build({line.c_str()});
    Lines lines = logLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_TRUE(lines[0] == "header mime encoded: [" + line.substr(0, 8192) + "]");
    EXPECT_TRUE(lines[1] == "header mime decoded: [a" + std::string(8191, 'z') + "]");
}

TEST_F(HeaderTextsTest, NoTraceBelowDebug) {
    filterOptions.traceLevel = TRACE_CHECK;
    Build({"Subject: =?x?Q?a_b?="});
    EXPECT_EQ(Lines{}, logLines());
}

}  // namespace
}  // namespace cw
