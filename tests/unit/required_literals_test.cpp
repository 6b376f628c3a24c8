#include "engine/required_literals.h"

#include <gtest/gtest.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <random>
#include <string>
#include <vector>

#include "common/text_ops.h"

namespace cw {
namespace {

using Strings = std::vector<std::string>;

constexpr uint64_t LARGE_LIMIT = 10000000;

TEST(RequiredLiterals, ReadsWhatEveryMatchMustContain) {
    const struct {
        const char* pattern;
        Strings anyOf;
    } cases[] = {
        {"free(?#c3)", {"free"}},
        {"Free.*OFFER", {"offer"}},
        {"opt.?in", {"opt"}},
        {"colou?r", {"color", "colour"}},
        {"(visa|mastercard)", {"mastercard", "visa"}},
        {"you (have|'ve) (been selected|won)",
         {"you 've been selected", "you 've won", "you have been selected", "you have won"}},
        {"save (big|[0-9]+)", {"save "}},
        {"\\$[0-9]+,[0-9][0-9][0-9]", {"$"}},
        {"earn \\$", {"earn $"}},
        {"^subject:\\s+re\\b", {"subject:"}},
        {"a\\x41\\tb\\r\\n", {"aa\tb\r\n"}},
        {"(?:ab)+c", {"ab"}},
        {"x{2,5}yz", {"yz"}},
        {"[]a-z]+ing", {"ing"}},
        {"[[:alpha:]]+ly", {"ly"}},
        {"(?#one)a(?#two)b", {"ab"}},
        {"(abc|x.*y)", {"abc", "x"}},
        {"\xC4rger", {"\xC4rger"}},
        // Nothing every match must hold, or nothing known.
        {"(abc|.*)", {}},
        {"x?", {}},
        {"a*b*", {}},
        {"[a-z]+", {}},
        {"(?i)free", {}},
        {"(?=free)", {}},
        {"(?<name>free)", {}},
        {"(a)\\1", {}},
        {"\\Qfree\\E", {}},
        {"\\x{41}free", {}},
        {"\\x4", {}},
        {"\\pL", {}},
        {"(*UTF)free", {}},
        {"a{,3}b", {}},
        {"a{2}{3}", {}},
        {"free(?#c)+", {}},
        {"free(", {}},
        {"free)", {}},
        {"[free", {}},
        {"free\\", {}},
    };
    for (const auto& c : cases) {
        RequiredLiterals literals = requiredLiteralsOf(c.pattern, LARGE_LIMIT);
        EXPECT_EQ(c.anyOf, literals.anyOf) << c.pattern;
    }
}

// How far a pattern may be passed over follows its backtracking: linear
// patterns over any subject the scan can hand them, nested repeats over none.
TEST(RequiredLiterals, SkipsOnlySubjectsTooShortToReachTheStepLimit) {
    const struct {
        const char* pattern;
        size_t atLeast;
        size_t atMost;
    } cases[] = {
        {"free", SIZE_MAX, SIZE_MAX},
        {"free.*offer", 131072, SIZE_MAX},  // the largest body
        {"a.*b.*c.*de", 50, 1000},
        {"(a|aa)+b", 0, 64},
        {"(a+)+bc", 0, 64},
        // A runaway part that holds a required literal, or stands behind one, is
        // never entered on a subject without them; in front of one it is.
        {"(a+)+b", SIZE_MAX, SIZE_MAX},
        {"free (a+)+b", SIZE_MAX, SIZE_MAX},
        {"(?:cheap|low) (a|aa)+b", SIZE_MAX, SIZE_MAX},
        {"(?:free|\\w+) (a+)+b", 50000, SIZE_MAX},
        {"(a+)+free", 0, 64},
    };
    for (const auto& c : cases) {
        RequiredLiterals literals = requiredLiteralsOf(c.pattern, LARGE_LIMIT);
        ASSERT_FALSE(literals.anyOf.empty()) << c.pattern;
        EXPECT_GE(literals.skipUpTo, c.atLeast) << c.pattern;
        EXPECT_LE(literals.skipUpTo, c.atMost) << c.pattern;
    }
}

// How far before its first literal a match can begin: bounded where what comes
// before the literal is, unknown where it is not or where \G ties the match to
// where the search starts.
TEST(RequiredLiterals, LeadIsTheLongestTextBeforeTheLiteral) {
    const struct {
        const char* pattern;
        size_t lead;
    } cases[] = {
        {"free", 0},           {"\\b(?:hot|horny) (?:girls|teens)", 0},
        {"x{2,5}yz", 5},       {"(?:ab|c\\d{1,3})offer", 4},
        {"a.*free", SIZE_MAX}, {"\\Gfree", SIZE_MAX},
    };
    for (const auto& c : cases) {
        RequiredLiterals literals = requiredLiteralsOf(c.pattern, LARGE_LIMIT);
        ASSERT_FALSE(literals.anyOf.empty()) << c.pattern;
        EXPECT_EQ(c.lead, literals.lead) << c.pattern;
    }
}

// Random patterns from the subset the reader knows, and texts over a small
// alphabet, so that literals often occur and often do not.
class PatternMaker {
  public:
    explicit PatternMaker(uint32_t seed) : random_(seed) {}

    std::string pattern(int depth = 0) {
        std::string text;
        int items = 1 + pick(4);
        for (int i = 0; i < items; ++i) {
            text += item(depth);
        }
        if (depth > 0 && pick(4) == 0) {
            text += '|';
            text += pattern(depth + 1);
        }
        return text;
    }

    std::string text() {
        static const std::string alphabet = "aAbBcx. -\n";
        std::string text(pick(60), ' ');
        for (char& c : text) {
            c = alphabet[pick(static_cast<int>(alphabet.size()))];
        }
        return text;
    }

  private:
    int pick(int count) { return static_cast<int>(random_() % static_cast<uint32_t>(count)); }

    std::string item(int depth) {
        static const char* const atoms[] = {
            "a", "b", "c",   "A", "B", "x",     ".", "\\.", "[ab]",  "[^a]", "\\s", "\\w",
            "^", "$", "\\b", " ", "-", "\\x41", "a", "b",   "(?#c)", "\\n",  "\\R"};
        static const char* const quantifiers[] = {"?",     "*",    "+",  "{2}",
                                                  "{1,3}", "{2,}", "*?", "++"};
        std::string atom;
        if (depth < 3 && pick(5) == 0) {
            atom = (pick(2) ? "(" : "(?:") + pattern(depth + 1) + ")";
        } else {
            atom = atoms[pick(sizeof atoms / sizeof *atoms)];
        }
        if (atom[0] != '^' && atom[0] != '$' && atom != "\\b" && atom != "(?#c)" && pick(3) == 0) {
            atom += quantifiers[pick(sizeof quantifiers / sizeof *quantifiers)];
        }
        return atom;
    }

    std::mt19937 random_;
};

// Where the first of the literals begins in `text`, case folded; npos if none.
size_t firstOneAt(const std::string& text, const Strings& literals) {
    std::string folded = text;
    lowerCaseInPlace(folded);
    size_t first = std::string::npos;
    for (const std::string& literal : literals) {
        first = std::min(first, folded.find(literal));
    }
    return first;
}

bool holdsOneOf(const std::string& text, const Strings& literals) {
    return firstOneAt(text, literals) != std::string::npos;
}

// PCRE2's own verdict, interpreted, caseless, under `limit` steps per starting
// position. Without the library's shortcuts (a quick look for a required byte,
// repeats made possessive), which only ever save steps: the bound must hold
// for the plain backtracking.
int libraryMatch(const std::string& pattern, const std::string& text, uint32_t limit,
                 size_t from = 0) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(
        reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
        PCRE2_CASELESS | PCRE2_NO_START_OPTIMIZE | PCRE2_NO_AUTO_POSSESS | PCRE2_NO_DOTSTAR_ANCHOR,
        &error, &offset, nullptr);
    if (code == nullptr) {
        return PCRE2_ERROR_NULL;
    }
    pcre2_match_data* data = pcre2_match_data_create(40, nullptr);
    pcre2_match_context* context = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(context, limit);
    int result = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), from,
                             PCRE2_NO_JIT, data, context);
    pcre2_match_context_free(context);
    pcre2_match_data_free(data);
    pcre2_code_free(code);
    return result;
}

// The properties the scan relies on: a subject that holds none of the literals,
// and is no longer than the pattern may be passed over on, gives a plain
// no-match, never a match and never the step limit; and a search that starts
// the lead before the first of the literals ends as one from the start. The
// limit is small here so that the step bound is tested where it is tight.
TEST(RequiredLiterals, SubjectWithoutTheLiteralsNeverMatches) {
    constexpr uint32_t SMALL_LIMIT = 500;
    std::vector<std::string> patterns = {
        "free.*offer", "(a|aa)+b", "(a+)+b", "a.*b.*c.*x", "(x+x+)+y",   "^(\\w+\\s?)*$x",
        "ab|ba",       "(ab|a)*c", "a.?b",   "\\s+x\\s+",  "(a|b)+c{2}", "(?:a*)*x",
    };
    PatternMaker maker(20260309);
    for (int i = 0; i < 1500; ++i) {
        patterns.push_back(maker.pattern());
    }
    // Runs of one piece, of growing length, drive backtracking up to the limit.
    std::vector<std::string> runs;
    for (const char* piece : {"a", "ab", "x", "aab ", "a\n"}) {
        for (size_t length : {4, 12, 25, 50, 100}) {
            std::string run;
            while (run.size() < length) {
                run += piece;
            }
            runs.push_back(run);
        }
    }
    int skipped = 0;
    int matched = 0;
    int started = 0;
    for (const std::string& pattern : patterns) {
        RequiredLiterals literals = requiredLiteralsOf(pattern, SMALL_LIMIT);
        std::vector<std::string> texts = runs;
        for (int i = 0; i < 12; ++i) {
            texts.push_back(maker.text());
        }
        for (const std::string& text : texts) {
            int result = libraryMatch(pattern, text, SMALL_LIMIT);
            if (result == PCRE2_ERROR_NULL) {
                break;  // does not compile: the scan never gets to match it
            }
            if (result >= 0) {
                ++matched;
                EXPECT_TRUE(literals.anyOf.empty() || holdsOneOf(text, literals.anyOf))
                    << "pattern [" << pattern << "] matches [" << text << "]";
            }
            if (!literals.anyOf.empty() && !holdsOneOf(text, literals.anyOf) &&
                text.size() <= literals.skipUpTo) {
                ++skipped;
                EXPECT_EQ(PCRE2_ERROR_NOMATCH, result)
                    << "pattern [" << pattern << "] on [" << text << "]";
            }
            size_t first = firstOneAt(text, literals.anyOf);
            if (literals.lead != SIZE_MAX && first != std::string::npos && first > literals.lead) {
                ++started;
                int later = libraryMatch(pattern, text, SMALL_LIMIT, first - literals.lead);
                EXPECT_EQ(result >= 0, later >= 0)
                    << "pattern [" << pattern << "] on [" << text << "] from " << first;
                EXPECT_EQ(result == PCRE2_ERROR_MATCHLIMIT, later == PCRE2_ERROR_MATCHLIMIT)
                    << "pattern [" << pattern << "] on [" << text << "] from " << first;
            }
        }
    }
    // The cases must exercise both sides of the property.
    EXPECT_GT(skipped, 5000);
    EXPECT_GT(matched, 5000);
    EXPECT_GT(started, 1000);
}

// A pattern read with a memo of the shapes read before gets what it gets alone,
// however many patterns of its shape (or of another that differs in a repeat,
// a class or a mark) went before it. List-like flat patterns (words between
// items without literals) with runs of equal length and repeated words test
// that the literal kept by shape is the one the whole reading chooses.
TEST(RequiredLiterals, MemoOfShapesChangesNoResult) {
    constexpr uint32_t SMALL_LIMIT = 500;
    std::vector<std::string> patterns = {
        "cheap\\s+offer\\s+number\\s+1",
        "cheap\\s+offer\\s+number\\s+12",
        "cheap\\s+offer\\s+number\\s+2",
        "cheap\\s*offer\\s+number\\s+2",
        "(a+)+free",
        "(b+)+free",
        "(a+)+fre",
        "free (a+)+b",
        "free (a|b)+b",
        "a.*b.*c.*de",
        "x.*y.*z.*wv",
    };
    PatternMaker maker(20261208);
    for (int i = 0; i < 3000; ++i) {
        patterns.push_back(maker.pattern());
    }
    std::mt19937 random(20261208);
    const char* const words[] = {"free", "cash", "now", "fr", "xx", "a", "you", "win"};
    const char* const between[] = {"\\s+", "\\s*", ".",          "[a-z]{0,3}",
                                   "\\b",  "",     "(?:\\s|-)?", "\\d+"};
    for (int i = 0; i < 2000; ++i) {
        std::string pattern = words[random() % 8];
        for (uint32_t more = random() % 4; more > 0; --more) {
            pattern += between[random() % 8];
            pattern += words[random() % 8];
        }
        patterns.push_back(pattern);
    }
    for (uint64_t limit : {uint64_t{SMALL_LIMIT}, LARGE_LIMIT}) {
        LiteralAnalysisMemo memo;
        for (const std::string& pattern : patterns) {
            RequiredLiterals alone = requiredLiteralsOf(pattern, limit);
            RequiredLiterals shared = requiredLiteralsOf(pattern, limit, &memo);
            EXPECT_EQ(alone.anyOf, shared.anyOf) << pattern;
            EXPECT_EQ(alone.skipUpTo, shared.skipUpTo) << pattern;
            EXPECT_EQ(alone.lead, shared.lead) << pattern;
        }
        // Patterns share shapes, or the memo would save nothing.
        EXPECT_LT(memo.skipLengths.byShape.size(), patterns.size() * 2 / 3);
        EXPECT_GT(memo.byFlatShape.size(), 100u);
        EXPECT_LT(memo.byFlatShape.size(), patterns.size() / 3);
    }
}

}  // namespace
}  // namespace cw
