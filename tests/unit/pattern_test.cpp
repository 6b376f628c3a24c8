#include "engine/pattern.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace cw {
namespace {

// One match with a match block of its own.
int matchOnce(const pcre2_real_code_8* pattern, const char* subject, size_t length) {
    MatchBlock block;
    return matchPattern(pattern, subject, length, block);
}

int matchText(const char* pattern, const std::string& subject) {
    PatternCompileResult compiled = compilePattern(pattern);
    EXPECT_TRUE(compiled.pattern) << pattern << ": " << compiled.errorText;
    return matchOnce(compiled.pattern.get(), subject.data(), subject.size());
}

TEST(Pattern, CompiledCaselessForAsciiLettersOnly) {
    const struct {
        const char* pattern;
        std::string subject;
        bool matches;
    } cases[] = {
        {"HELLO", "say hello", true},
        {"^abc", "xabc", false},
        {"\xC4", "\xE4", false},  // bytes above 0x7F are not letters
        {"\xC4", "x\xC4", true},
        {"a.b", "a\nb", false},  // the dot does not cross a line feed
        {"^second", "first\nsecond", false},
        {"first$", "first\nsecond", false},
        {"a\\x00b", std::string("a\0b", 3), true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.matches, matchText(c.pattern, c.subject) >= 0) << c.pattern;
    }
}

TEST(Pattern, MatchCoversExactlyTheGivenLength) {
    PatternCompileResult compiled = compilePattern("X$");
    ASSERT_TRUE(compiled.pattern);
    EXPECT_EQ(MATCH_NO_MATCH, matchOnce(compiled.pattern.get(), "abcX", 3));
    EXPECT_LE(0, matchOnce(compiled.pattern.get(), "abcX", 4));
}

TEST(Pattern, MoreGroupsThanFortyPairsGiveResultZero) {
    std::string pattern;
    for (int i = 0; i < 45; ++i) {
        pattern += "(a)";
    }
    EXPECT_EQ(0, matchText(pattern.c_str(), std::string(45, 'a')));
    EXPECT_EQ(3, matchText("(a)(b)", "ab"));
}

TEST(Pattern, CompileErrorGivesOffsetAndLibraryText) {
    PatternCompileResult compiled = compilePattern("a(");
    EXPECT_FALSE(compiled.pattern);
    EXPECT_EQ(2, compiled.errorOffset);
    EXPECT_EQ("missing closing parenthesis", compiled.errorText);
}

TEST(Pattern, FailuresMapToTheClassicCodes) {
    EXPECT_EQ(MATCH_NULL, matchOnce(nullptr, "x", 1));
    PatternCompileResult compiled = compilePattern("x");
    ASSERT_TRUE(compiled.pattern);
    EXPECT_EQ(MATCH_NULL, matchOnce(compiled.pattern.get(), nullptr, 0));
    EXPECT_EQ(MATCH_LIMIT, matchText("(a+)+$", std::string(40, 'a') + "b"));
}

TEST(Pattern, MatchBlockIsCreatedOnceAndReused) {
    PatternCompileResult compiled = compilePattern("b+");
    ASSERT_TRUE(compiled.pattern);
    MatchBlock block;
    EXPECT_LE(0, matchPattern(compiled.pattern.get(), "abbc", 4, block));
    ASSERT_TRUE(block);
    const void* first = block.get();
    EXPECT_EQ(MATCH_NO_MATCH, matchPattern(compiled.pattern.get(), "ac", 2, block));
    EXPECT_LE(0, matchPattern(compiled.pattern.get(), "b", 1, block));
    EXPECT_EQ(first, block.get());
}

}  // namespace
}  // namespace cw
