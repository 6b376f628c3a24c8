#include "engine/literal_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "common/text_ops.h"

namespace cw {
namespace {

using Found = std::vector<uint32_t>;
// Each string found with where it first begins, by string.
using FoundAt = std::vector<std::pair<uint32_t, size_t>>;

// One set of marks for every list and search of this file, as the scan reuses
// one for all its lists: a search must not be misled by what searches of other
// lists, small or large, left in it.
LiteralSearchMarks sharedMarks;

FoundAt findAllWithPositions(const LiteralList& list, const std::string& text) {
    Found found;
    std::vector<size_t> firstAt;
    list.findAll(text, sharedMarks, found, &firstAt);
    FoundAt result;
    for (size_t i = 0; i < found.size(); ++i) {
        result.emplace_back(found[i], firstAt.at(i));
    }
    std::sort(result.begin(), result.end());
    return result;
}

Found findAll(const LiteralList& list, const std::string& text) {
    Found found;
    for (const auto& [index, position] : findAllWithPositions(list, text)) {
        found.push_back(index);
    }
    return found;
}

// What testing the strings one by one finds: each folded string looked for in
// the folded text.
FoundAt findOneByOne(const std::vector<std::string>& strings, const std::string& text) {
    std::string folded = text;
    lowerCaseInPlace(folded);
    FoundAt found;
    for (uint32_t i = 0; i < strings.size(); ++i) {
        std::string needle = strings[i];
        lowerCaseInPlace(needle);
        size_t position = needle.empty() ? std::string::npos : folded.find(needle);
        if (position != std::string::npos) {
            found.emplace_back(i, position);
        }
    }
    return found;
}

std::vector<std::string_view> views(const std::vector<std::string>& strings) {
    return std::vector<std::string_view>(strings.begin(), strings.end());
}

TEST(LiteralList, FindsEachStringOnceFoldingAsciiCaseOnly) {
    const std::vector<std::string> strings = {
        "spam@bulk.example", "SPAM@BULK.EXAMPLE", "bulk", "b", "", "bulk.example", "\xC4rger", "x"};
    LiteralList list(views(strings));
    EXPECT_EQ((Found{0, 1, 2, 3, 5, 7}), findAll(list, "From: Spam@Bulk.Example, bulk bulk"));
    EXPECT_EQ((Found{}), findAll(list, "\xE4rger"));  // bytes above 0x7F keep their case
    EXPECT_EQ((Found{6}), findAll(list, "\xC4RGER"));
    EXPECT_EQ((Found{}), findAll(list, ""));
    EXPECT_EQ((Found{7}), findAll(list, "x"));
}

TEST(LiteralList, StringsThatBeginOthersAndOverlapAreAllFound) {
    const std::vector<std::string> strings = {"a", "aa", "aaa", "ab", "ba", "aab"};
    LiteralList list(views(strings));
    EXPECT_EQ((Found{0, 1, 3, 4, 5}), findAll(list, "baab"));
    EXPECT_EQ((Found{0, 1, 2}), findAll(list, "aaa"));
}

// Random lists over a small alphabet, so that strings share prefixes and
// overlap often, against random texts: the same strings, first found at the
// same places, as one by one. Every fourth list is long and has two letters
// only, so that many strings begin with the same three bytes; every fourth
// other one has longer strings of few letters and NUL bytes, so that many
// share their first 7 or 14 bytes (the bytes a sort key holds) and end in NULs.
TEST(LiteralList, RandomListsFindWhatTestingOneByOneFinds) {
    std::mt19937 random(20260309);
    std::string alphabet;
    auto randomText = [&](size_t maxLength) {
        std::string text(random() % (maxLength + 1), ' ');
        for (char& c : text) {
            c = alphabet[random() % alphabet.size()];
        }
        return text;
    };
    for (int round = 0; round < 200; ++round) {
        bool crowded = round % 4 == 0;
        bool longer = round % 4 == 1;
        alphabet = crowded ? "aAb" : longer ? std::string("a\0\0b", 4) : "abcAB@.\xE9";
        std::vector<std::string> strings(1 + random() % (crowded || longer ? 300 : 60));
        // Half of those share their first 9 bytes, as lists of one domain do.
        std::string shared = longer && round % 8 == 1 ? "shared:a\0" : "";
        for (std::string& s : strings) {
            s = shared + randomText(longer ? 18 : 6);
        }
        LiteralList list(views(strings));
        for (int text = 0; text < 20; ++text) {
            std::string subject = randomText(20) + shared + randomText(20);
            ASSERT_EQ(findOneByOne(strings, subject), findAllWithPositions(list, subject))
                << "round " << round << ", text '" << subject << "'";
        }
    }
}

}  // namespace
}  // namespace cw
