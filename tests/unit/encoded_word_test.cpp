#include "mime/encoded_word.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace cw {
namespace {

std::string decoded(std::string text) {
    decodeHeaderWords(text);
    return text;
}

struct DecodeCase {
    const char* input;
    const char* expected;
};

template <size_t N>
void expectDecoded(const DecodeCase (&cases)[N]) {
    for (const DecodeCase& c : cases) {
        EXPECT_EQ(c.expected, decoded(c.input)) << c.input;
    }
}

TEST(EncodedWord, DecodesBAndQWords) {
    const DecodeCase cases[] = {
        {"Subject: =?utf-8?B?SGVsbG8=?=", "Subject: Hello"},
        {"Subject: =?iso-8859-1?q?a_b?=", "Subject: a b"},
        {"=?x?b?SGVsbG8?=", "Hello"},    // spare bits dropped without padding
        {"=?x?B?SGV.sbG8=?=", "Hello"},  // bytes outside the alphabet skipped
        {"=?x?B?SGVs=bG8?=", "Hel"},     // '=' ends the text
        {"=?x?Q?a=3Db?=", "a=b"},
        {"=?x?Q?=3d?=", "="},    // lower-case hex digits
        {"=?x?Q?a=3?=", "a=3"},  // '=' without two hex digits stays
        {"=?x?Q?=G1?=", "=G1"},
        {"=?x?Q?=E9t=E9?=", "\xE9t\xE9"},
        {"=??Q?x?=", "x"},          // empty charset
        {"=?utf-8*en?Q?x?=", "x"},  // language suffix
        {"=?x?B?\?=", ""},          // empty encoded text
    };
    expectDecoded(cases);
}

TEST(EncodedWord, DecodedNulEndsOnlyThatWord) {
    const DecodeCase cases[] = {
        {"=?x?Q?a=00b?=", "a"},
        {"X =?x?Q?a=00b?= Y", "X a Y"},
        {"=?x?B?QQBC?=", "A"},  // 'A', 0, 'B'
        {"=?x?Q?a=00b?= =?x?Q?c?=", "ac"},
    };
    expectDecoded(cases);
}

TEST(EncodedWord, AdjacentEncodedWordsJoinWithoutSpace) {
    const DecodeCase cases[] = {
        {"=?x?Q?a?= =?x?Q?b?=", "ab"},
        {"=?x?Q?a?=\r\n\t=?x?B?Yg==?=", "ab"},
        {"Subject: =?x?Q?a?=  =?x?Q?b?=", "Subject: ab"},  // the gap before the first word stays
        {"=?x?Q?a?= - =?x?Q?b?=", "a - b"},                // not only white space: copied in full
        {"=?x?Q?a?=\v=?x?Q?b?=", "a\vb"},                  // VT does not join
        {"=?x?Q?a?=  ", "a  "},                            // white space behind the last word stays
        {"abc=?x?q?d?=ef", "abcdef"},
    };
    expectDecoded(cases);
}

TEST(EncodedWord, MalformedWordsStayUnchanged) {
    const char* inputs[] = {
        "=?a.b?Q?x?=",    // especial in the charset
        "=?a\"b?Q?x?=",   //
        "=?x?X?abc?=",    // encoding neither B nor Q
        "=?x?QQ?abc?=",   //
        "=?x?Q?a b?=",    // space inside the encoded text
        "=?x?Q?a\xE9?=",  // byte above 0x7E inside the encoded text
        "=?x?Q?ab",       // no closer
        "=?x?Q?ab?",      //
        "=?x?Q",          //
        "=?",             //
        "=?x y?Q?a?=",    // space in the charset
        "plain text only",
    };
    for (const char* input : inputs) {
        EXPECT_EQ(input, decoded(input)) << input;
    }
}

TEST(EncodedWord, SearchResumesInsideRejectedWord) {
    const DecodeCase cases[] = {
        // the encoded text "a=" stops at '?', and its last '=' opens the real word
        {"=?x?Q?a=?y?Q?b?=", "=?x?Q?ab"},
        // the charset stops at the especial '=' which opens the real word
        {"=?a=?x?Q?b?=", "=?ab"},
        {"=?a.b?Q?x?= =?x?Q?y?=", "=?a.b?Q?x?= y"},
    };
    expectDecoded(cases);
}

TEST(EncodedWord, EmptyTextStaysEmpty) {
    EXPECT_EQ("", decoded(""));
}

TEST(EncodedWord, FindEncodedWordGivesStartAndEnd) {
    const char* text = "ab =?x?Q?c?= d";
    const char* end = nullptr;
    EXPECT_EQ(text + 3, findEncodedWord(text, &end));
    EXPECT_EQ(text + 12, end);
    EXPECT_EQ(nullptr, findEncodedWord("ab =?x?Q?c d", &end));
}

TEST(EncodedWord, DecodeEncodedWordRespectsCapacity) {
    char output[8];
    std::memset(output, '#', sizeof output);
    EXPECT_EQ(0, decodeEncodedWord(output, "=?x?Q?abcdef?=", 4));
    EXPECT_EQ(std::string("abc\0####", 8), std::string(output, 8));

    std::memset(output, '#', sizeof output);
    EXPECT_EQ(0, decodeEncodedWord(output, "=?x?B?SGVsbG8=?=", 0));
    EXPECT_EQ("########", std::string(output, 8));
}

TEST(EncodedWord, DecodeEncodedWordRefusesOtherEncodings) {
    char output[8];
    std::memset(output, '#', sizeof output);
    EXPECT_EQ(-1, decodeEncodedWord(output, "=?x?X?abc?=", sizeof output));
    EXPECT_EQ(-1, decodeEncodedWord(output, "=?x", sizeof output));
    EXPECT_EQ("########", std::string(output, 8));
}

// The shared work area is guarded by the log lock.
TEST(EncodedWord, ConcurrentCallsDecodeIndependently) {
    auto work = [](const char* input, const char* expected, int* failures) {
        for (int i = 0; i < 2000; ++i) {
            if (decoded(input) != expected) {
                ++*failures;
            }
        }
    };
    int failuresA = 0;
    int failuresB = 0;
    std::thread a(work, "Subject: =?utf-8?B?SGVsbG8gV29ybGQ=?= and more text",
                  "Subject: Hello World and more text", &failuresA);
    std::thread b(work, "=?x?Q?a_b?=", "a b", &failuresB);
    a.join();
    b.join();
    EXPECT_EQ(0, failuresA);
    EXPECT_EQ(0, failuresB);
}

}  // namespace
}  // namespace cw
