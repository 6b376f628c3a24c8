#include "common/text_ops.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace cw {
namespace {

TEST(TextOps, TrimRemovesAllSixWhiteSpaceBytesOnly) {
    char text[] = " \t\n\v\f\r a\xA0 b \r\n";
    trimWhiteSpace(text);
    EXPECT_STREQ("a\xA0 b", text);
    char blank[] = " \t ";
    trimWhiteSpace(blank);
    EXPECT_STREQ("", blank);
    std::string owned = "\r\n x \r\n";
    trimWhiteSpace(owned);
    EXPECT_EQ("x", owned);
}

TEST(TextOps, CaseFoldingTouchesAsciiLettersOnly) {
    char text[] = "ABC xyz \xC4\xE4 [Z]";
    lowerCaseInPlace(text);
    EXPECT_STREQ("abc xyz \xC4\xE4 [z]", text);
    EXPECT_TRUE(startsWithNoCase("SUBJECT: x", "Subject:"));
    EXPECT_FALSE(startsWithNoCase("Subj", "Subject:"));
    EXPECT_TRUE(equalsNoCase("Any-Sender:", "any-SENDER:"));
    EXPECT_FALSE(equalsNoCase("Any-Sender:", "Any-Sender"));
}

TEST(TextOps, ClosingBracketMustBeFollowedByWhiteSpaceOrEnd) {
    struct Case {
        const char* text;
        int end;  // offset behind the element, -1 for none
    };
    const Case cases[] = {
        {"{abc} [x]", 5}, {"{a{2,3}b}", 9}, {"{a}b} c", -1}, {"{a}b}c", -1},      {"{unclosed", -1},
        {"x{a}", -1},     {"[]", 2},        {"{a}}", -1},    {"{a{b}c} rest", 7}, {"{}\t", 2},
    };
    for (const Case& c : cases) {
        char open = c.text[0];
        char close = open == '{' ? '}' : ']';
        const char* end = findClosingBracket(c.text, open, close);
        EXPECT_EQ(c.end, end == nullptr ? -1 : static_cast<int>(end - c.text)) << c.text;
    }
}

}  // namespace
}  // namespace cw
