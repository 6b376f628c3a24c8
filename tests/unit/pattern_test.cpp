#include "engine/pattern.h"

#include <gtest/gtest.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#ifndef PCRE2_STATIC
#define PCRE2_STATIC
#endif
#include <pcre2.h>

#include <chrono>
#include <cstring>
#include <string>

namespace cw {
namespace {

// One match with a match area of its own.
int matchOnce(const pcre2_real_code_8* pattern, const char* subject, size_t length) {
    MatchArea area;
    return matchPattern(pattern, subject, length, area);
}

// Every test runs with the JIT and with the interpreter: the two must agree.
class Pattern : public testing::TestWithParam<bool> {
  protected:
    PatternCompileResult compile(const char* pattern) {
        return compilePattern(pattern, GetParam());
    }

    int matchText(const char* pattern, const std::string& subject) {
        PatternCompileResult compiled = compile(pattern);
        EXPECT_TRUE(compiled.pattern) << pattern << ": " << compiled.errorText;
        return matchOnce(compiled.pattern.get(), subject.data(), subject.size());
    }
};

INSTANTIATE_TEST_SUITE_P(JitAndInterpreter, Pattern, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& useJit) {
                             return useJit.param ? "Jit" : "Interpreter";
                         });

TEST_P(Pattern, CompiledCaselessForAsciiLettersOnly) {
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

TEST_P(Pattern, MatchCoversExactlyTheGivenLength) {
    PatternCompileResult compiled = compile("X$");
    ASSERT_TRUE(compiled.pattern);
    EXPECT_EQ(MATCH_NO_MATCH, matchOnce(compiled.pattern.get(), "abcX", 3));
    EXPECT_LE(0, matchOnce(compiled.pattern.get(), "abcX", 4));
}

TEST_P(Pattern, MoreGroupsThanFortyPairsGiveResultZero) {
    std::string pattern;
    for (int i = 0; i < 45; ++i) {
        pattern += "(a)";
    }
    EXPECT_EQ(0, matchText(pattern.c_str(), std::string(45, 'a')));
    EXPECT_EQ(3, matchText("(a)(b)", "ab"));
}

TEST_P(Pattern, CompileErrorGivesOffsetAndLibraryText) {
    PatternCompileResult compiled = compile("a(");
    EXPECT_FALSE(compiled.pattern);
    EXPECT_EQ(2, compiled.errorOffset);
    EXPECT_EQ("missing closing parenthesis", compiled.errorText);
}

// The cheaper check for code that is not kept says what compiling says.
TEST(PatternCheck, AgreesWithCompilingOnSuccessAndOnTheError) {
    const char* const patterns[] = {
        "cheap\\s+offer", "(a",       "a{3,2}",   "[z-a]",     "a**",  "(?<=a+)b",  "\\",
        "x{65536}",       "[\\d-z]",  "(?#open",  "\\k<n>",    "^*",   "(a)\\2",    "\\G.*x",
        "(?:ab){2000}z",  "a\\x{zz}", "(*VERB)x", "[[:foo:]]", "\\cX", "(?i)A|\\bB"};
    for (const char* pattern : patterns) {
        PatternCompileResult compiled = compilePattern(pattern, false);
        PatternCompileResult checked = checkPattern(pattern);
        EXPECT_EQ(compiled.pattern != nullptr, patternCompiles(checked)) << pattern;
        EXPECT_EQ(nullptr, checked.pattern) << pattern;
        EXPECT_EQ(compiled.errorOffset, checked.errorOffset) << pattern;
        EXPECT_EQ(compiled.errorText, checked.errorText) << pattern;
    }
}

TEST_P(Pattern, FailuresMapToTheClassicCodes) {
    EXPECT_EQ(MATCH_NULL, matchOnce(nullptr, "x", 1));
    PatternCompileResult compiled = compile("x");
    ASSERT_TRUE(compiled.pattern);
    EXPECT_EQ(MATCH_NULL, matchOnce(compiled.pattern.get(), nullptr, 0));
    EXPECT_EQ(MATCH_LIMIT, matchText("(a+)+$", std::string(40, 'a') + "b"));
}

// One area serves match after match: whatever a match before left in it (a
// match found, the step limit reached, a search from an offset, a long subject
// tried window by window, a JIT stack grown deep), the next match gets the
// result and the positions a fresh area gives it.
TEST_P(Pattern, AReusedMatchAreaGivesEveryMatchTheResultOfAFreshOne) {
    const struct {
        const char* pattern;
        std::string subject;
        size_t from;
        int result;
        size_t start;  // of the match, when there is one
    } cases[] = {
        {"b+", "abbc", 0, 1, 1},
        {"b+", "ac", 0, MATCH_NO_MATCH, 0},
        {"(a+)+$", std::string(40, 'a') + "b", 0, MATCH_LIMIT, 0},
        {"b+", "abbc", 2, 1, 2},
        {"(a)(b)?", "a", 0, 2, 0},
        {"x", std::string(300000, 'a') + "x", 0, 1, 300000},
        {"^(a|b)*$", std::string(131072, 'b'), 0, 2, 0},
        {"b+", "b", 0, 1, 0},
        {"(a+)+$", std::string(16, 'a') + "b", 0, MATCH_NO_MATCH, 0},
        {"c", "abc", 1, 1, 2},
    };
    MatchArea reused;
    for (const auto& c : cases) {
        PatternCompileResult compiled = compile(c.pattern);
        ASSERT_TRUE(compiled.pattern) << c.pattern;
        MatchArea fresh;
        int expected =
            matchPattern(compiled.pattern.get(), c.subject.data(), c.subject.size(), fresh, c.from);
        int result = matchPattern(compiled.pattern.get(), c.subject.data(), c.subject.size(),
                                  reused, c.from);
        EXPECT_EQ(c.result, expected) << c.pattern;
        EXPECT_EQ(expected, result) << c.pattern;
        if (result >= 0 && expected >= 0) {
            const PCRE2_SIZE* freshPositions = pcre2_get_ovector_pointer(fresh.data);
            const PCRE2_SIZE* positions = pcre2_get_ovector_pointer(reused.data);
            EXPECT_EQ(c.start, freshPositions[0]) << c.pattern;
            for (int pair = 0; pair < result; ++pair) {
                EXPECT_EQ(freshPositions[2 * pair], positions[2 * pair]) << c.pattern;
                EXPECT_EQ(freshPositions[2 * pair + 1], positions[2 * pair + 1]) << c.pattern;
            }
        }
    }
}

TEST_P(Pattern, JitIsUsedExactlyWhenAsked) {
    EXPECT_EQ(GetParam(), compile("free.*offer").jit);
}

size_t machineCodeSize(const pcre2_real_code_8* pattern) {
    size_t size = 0;
    pcre2_pattern_info(pattern, PCRE2_INFO_JITSIZE, &size);
    return size;
}

// The machine code of a pattern is made once per key, from a copy: the compiled
// pattern itself stays as it was compiled.
TEST(MachineCodeStore, MakesMachineCodeOnceAndLeavesTheCompiledPatternAlone) {
    PatternCompileResult compiled = compilePattern("fr.e", false);
    ASSERT_TRUE(compiled.pattern);
    MachineCodeStore store;
    const pcre2_real_code_8* code = machineCodeFor(compiled.pattern.get(), 7, store);
    ASSERT_NE(nullptr, code);
    EXPECT_EQ(code, machineCodeFor(compiled.pattern.get(), 7, store));
    EXPECT_EQ(1u, store.byKey.size());
    EXPECT_EQ(0u, machineCodeSize(compiled.pattern.get()));
    if (compilePattern("x").jit) {  // where the library and the platform have a JIT
        EXPECT_NE(compiled.pattern.get(), code);
        EXPECT_LT(0u, machineCodeSize(code));
    }
    EXPECT_LE(0, matchOnce(code, "FREE", 4));
    EXPECT_EQ(nullptr, machineCodeFor(nullptr, 8, store));
}

// The JIT counts its steps otherwise than the interpreter; either way runaway
// patterns stop with the limit and heavy but finite ones finish.
TEST_P(Pattern, RunawayPatternsReachTheLimitAndHeavyOnesFinish) {
    const struct {
        const char* pattern;
        std::string subject;
        int result;
    } cases[] = {
        {"(a+)+$", std::string(30, 'a') + "b", MATCH_LIMIT},
        {"(a|aa)+$", std::string(60, 'a') + "b", MATCH_LIMIT},
        {"^(\\w+\\s?)*$", std::string(40, 'a') + "!", MATCH_LIMIT},
        {"(a+)+$", std::string(16, 'a') + "b", MATCH_NO_MATCH},
        {"(?:a|b)*c", std::string(131072, 'a') + "c", 1},
        {"^(a|b)*$", std::string(131072, 'b'), 2},
        {"(\\w+\\s)*x", std::string(20000, 'w') + " y", MATCH_NO_MATCH},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.result, matchText(c.pattern, c.subject)) << c.pattern;
    }
}

// PCRE2's own answer in one plain match, every position tried without a step
// limit: the result and where the match begins.
std::pair<int, size_t> plainMatch(const char* pattern, const std::string& subject, size_t from) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED,
                                     PCRE2_CASELESS, &error, &offset, nullptr);
    pcre2_match_data* data = pcre2_match_data_create(40, nullptr);
    int result = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(),
                             from, PCRE2_NO_JIT, data, nullptr);
    size_t begin = result >= 0 ? pcre2_get_ovector_pointer(data)[0] : 0;
    pcre2_match_data_free(data);
    pcre2_code_free(code);
    return {result, begin};
}

// Long subjects are searched in windows of starting positions; wherever the
// match lies, at a window's edge or far behind it, looking back across an edge
// or depending on where the search began, the answer is the plain match's.
TEST_P(Pattern, WindowsOfStartingPositionsGiveThePlainMatch) {
    std::string subject(20000, 'x');
    for (size_t at : {511u, 4094u, 9000u, 19990u}) {
        subject.replace(at, 6, "needle");
    }
    subject.replace(12000, 7, " needle");
    subject.replace(15000, 4, "a\nb");
    const char* patterns[] = {
        "needle",       "\\bneedle", "(?<=x)needle$",  "(?<=e)ne+dle",    "^x+needle",
        "(?m)^needle",  "a\\nb",     "\\Gx",           "(*COMMIT)needle", "x(*SKIP)needle",
        "(?s).*needle", "ne{3}dle",  "[a-z]{0,20}nee",
    };
    for (const char* pattern : patterns) {
        PatternCompileResult compiled = compile(pattern);
        ASSERT_TRUE(compiled.pattern) << pattern;
        for (size_t from : {0u, 100u, 4096u, 9001u}) {
            MatchArea area;
            int result =
                matchPattern(compiled.pattern.get(), subject.data(), subject.size(), area, from);
            auto [expected, begin] = plainMatch(pattern, subject, from);
            EXPECT_EQ(expected < 0 ? MATCH_NO_MATCH : expected, result)
                << pattern << " from " << from;
            if (result > 0) {
                EXPECT_EQ(begin, pcre2_get_ovector_pointer(area.data)[0]) << pattern;
            }
        }
    }
}

// The step limit counts from each starting position afresh: over 4 KB a
// pattern that stays below it everywhere took 38 s. A deadline stops it.
TEST_P(Pattern, DeadlineStopsAMatchThatStaysBelowTheStepLimit) {
    PatternCompileResult compiled = compile("[a-z]{0,92}[a-z]{0,92}[a-z]{0,92}[a-z0-9][!?]");
    ASSERT_TRUE(compiled.pattern);
    const std::string subject(4096, 'a');
    MatchArea area;
    WorkDeadline deadline = deadlineAfter(std::chrono::milliseconds(20));
    EXPECT_EQ(MATCH_OUT_OF_TIME, matchPattern(compiled.pattern.get(), subject.data(),
                                              subject.size(), area, 0, &deadline));
    // A deadline that has passed stops a match before it begins.
    const std::string easy = "a!";
    EXPECT_EQ(MATCH_OUT_OF_TIME,
              matchPattern(compiled.pattern.get(), easy.data(), easy.size(), area, 0, &deadline));
    WorkDeadline later = deadlineAfter(std::chrono::seconds(60));
    EXPECT_EQ(1, matchPattern(compiled.pattern.get(), easy.data(), easy.size(), area, 0, &later));
}

}  // namespace
}  // namespace cw
