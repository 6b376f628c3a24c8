// Malformed and hostile input for every decoder: random and truncated encodings,
// unterminated words, huge boundaries, bodies of nothing but pad or dash bytes,
// and capacities that run out anywhere. The decoders must keep within their
// areas (checked by guard bytes here, and by the sanitizer build).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/filter_options.h"
#include "log_capture.h"
#include "mime/encoded_word.h"
#include "mime/message_texts.h"
#include "mime_decoder_harness.h"
#include "scratch_folder.h"

namespace cw {
namespace {

const std::vector<std::string> BODY_PIECES = {"--b1\r\n",
                                              "--b1--\r\n",
                                              "Content-Type: text/plain\r\n",
                                              "Content-Type: text/html\n",
                                              "Content-Transfer-Encoding: base64\r\n",
                                              "Content-Transfer-Encoding: quoted-printable\r\n",
                                              "Content-Transfer-Encoding: 7bit\r\n",
                                              "\r\n",
                                              "\n",
                                              "\r",
                                              "=",
                                              "==",
                                              "=0",
                                              "=00",
                                              "=\r\n",
                                              "=z",
                                              "-",
                                              "--",
                                              "QUJD",
                                              "AAAA",
                                              "aGk",
                                              "a=3Db",
                                              "\x80\xff",
                                              " ",
                                              "x"};

const std::vector<std::string> HEADER_PIECES = {"=?",  "?=",  "x",  "?Q?",  "?q?", "?B?",  "?X?",
                                                "=3D", "=00", "=3", "QQBC", " ",   "\r\n", "\t",
                                                ".",   "*",   "_",  "=",    "?",   "\xe9"};

std::string randomText(std::mt19937& random, const std::vector<std::string>& pieces,
                       size_t maxPieces) {
    std::uniform_int_distribution<size_t> count(0, maxPieces);
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    std::string text;
    for (size_t n = count(random); n > 0; --n) {
        text += pieces[pick(random)];
    }
    return text;
}

void expectWithinBounds(const DecoderRun& run, const std::string& source, size_t capacity) {
    EXPECT_TRUE(run.guardIntact) << source;
    EXPECT_TRUE(run.terminated) << source;
    EXPECT_LE(run.written.size(), capacity) << source;
    EXPECT_LE(run.stoppedAt, source.size()) << source;
}

TEST(MimeRobustness, RandomBodiesKeepEveryDecoderInItsArea) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<size_t> capacities(0, 80);
    for (int i = 0; i < 3000; ++i) {
        std::string source = randomText(random, BODY_PIECES, 40);
        size_t capacity = capacities(random);
        expectWithinBounds(runBase64Decoder(source, capacity), source, capacity);
        expectWithinBounds(runQuotedPrintableDecoder(source, "b1", capacity), source, capacity);
        expectWithinBounds(runMultipartDecoder(source, "b1", capacity), source, capacity);
    }
}

TEST(MimeRobustness, TruncatedMultipartBodiesStayInBounds) {
    const std::string body =
        "--b1\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
        "a=3Db=\r\nc=0\r\n--b1\r\nContent-Type: text/plain\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nQUJDRA==\r\n--b1--\r\n";
    for (size_t length = 0; length <= body.size(); ++length) {
        std::string source = body.substr(0, length);
        for (size_t capacity : {size_t{0}, size_t{1}, size_t{7}, size_t{64}, size_t{512}}) {
            expectWithinBounds(runMultipartDecoder(source, "b1", capacity), source, capacity);
        }
    }
}

TEST(MimeRobustness, RandomHeaderTextsNeverGrow) {
    std::mt19937 random(7);
    for (int i = 0; i < 3000; ++i) {
        std::string input = randomText(random, HEADER_PIECES, 30);
        std::string text = input;
        decodeHeaderWords(text);
        EXPECT_LE(std::strlen(text.c_str()), input.size()) << input;
        if (input.find("=?") == std::string::npos) {
            EXPECT_EQ(input, text);
        }
    }
}

// Every word found is decoded into an area just large enough, with guard bytes behind.
TEST(MimeRobustness, FoundWordsDecodeWithinTheirArea) {
    std::mt19937 random(11);
    for (int i = 0; i < 3000; ++i) {
        std::string input = randomText(random, HEADER_PIECES, 30);
        std::vector<char> text(input.c_str(), input.c_str() + input.size() + 1);
        const char* position = text.data();
        const char* wordEnd = nullptr;
        while (const char* word = findEncodedWord(position, &wordEnd)) {
            ASSERT_LT(word, wordEnd) << input;
            ASSERT_LE(wordEnd, text.data() + input.size()) << input;
            size_t capacity = static_cast<size_t>(wordEnd - word) / 2;
            std::vector<char> area(capacity + 8, '#');
            EXPECT_EQ(0, decodeEncodedWord(area.data(), word, capacity)) << input;
            EXPECT_EQ(std::string(8, '#'), std::string(area.end() - 8, area.end())) << input;
            position = wordEnd;
        }
    }
}

TEST(MimeRobustness, UnterminatedWordsStayAsTheyAre) {
    std::string text;
    for (int i = 0; i < 2000; ++i) {
        text += "=?x?Q?";
    }
    std::string copy = text;
    decodeHeaderWords(copy);
    EXPECT_TRUE(copy == text);
}

class BodyRobustnessTest : public LogCaptureTest {
  protected:
    void SetUp() override {
        LogCaptureTest::SetUp();
        filterOptions.maxSize = 1024;
    }

    void Load(const std::vector<const char*>& headers, const std::string& body) {
        std::string path = makeScratchFolder() + "body.eml";
        writeFileBytes(path, body);
        BodyFileForTest file(path, 0);
        loadMessageBody(headers.data(), static_cast<int32_t>(headers.size()), file.handle(),
                        texts_);
    }

    MessageTexts texts_;
};

const std::vector<std::vector<const char*>> HEADER_SETS = {
    {"Content-Type: text/plain\r\n", "Content-Transfer-Encoding: base64\r\n"},
    {"Content-Type: text/plain\r\n", "Content-Transfer-Encoding: quoted-printable\r\n"},
    {"Content-Type: multipart/mixed; boundary=b1\r\n"},
    {"Content-Type: multipart/alternative;\r\n"},
};

TEST_F(BodyRobustnessTest, BodiesOfOnlyPadOrDashBytes) {
    for (char filler : {'=', '-'}) {
        for (const auto& headers : HEADER_SETS) {
            Load(headers, std::string(3000, filler));
            EXPECT_EQ(1024u, texts_.rawBody.size());
            EXPECT_LE(texts_.decodedBody.size(), 1024u);
            EXPECT_LE(texts_.decodedLines.size(), 1u);
        }
    }
}

TEST_F(BodyRobustnessTest, DecodedOutputIsCutAtMaxSize) {
    Load(HEADER_SETS[0], std::string(1024, 'Q'));  // 768 bytes, within the area
    EXPECT_EQ(768u, texts_.decodedBody.size());
    Load(HEADER_SETS[1], std::string(1024, 'x'));
    EXPECT_EQ(1024u, texts_.decodedBody.size());
    Load(HEADER_SETS[2], std::string(1024, 'x'));
    EXPECT_EQ(1024u, texts_.decodedBody.size());
}

TEST_F(BodyRobustnessTest, HugeBoundaryIsCutAndStillEndsThePart) {
    filterOptions.maxSize = 65536;
    std::string boundary(10000, 'q');
    std::string header = "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n";
    Load({header.c_str()},
         "--" + boundary +
             "\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
             "a=3Db\r\n--" +
             boundary + "--\r\n");
    EXPECT_TRUE(texts_.decodedBody ==
                "--" + boundary +
                    "\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: "
                    "quoted-printable\r\n\r\na=b\r\n--" +
                    boundary + "--\r\n");
}

}  // namespace
}  // namespace cw
