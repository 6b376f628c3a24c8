// The pattern test of the filter editor: a test string and a pattern, compiled and
// matched exactly as a pattern rule is, and the answer the user is shown.
#pragma once

#include <string>

namespace cw {

struct PatternTrialAnswer {
    const char* caption;
    std::string text;
};

// Trims both texts, then answers one of: "You didn't enter a test string or a
// pattern!" (either is empty), "Sytax error in pattern: %d" with the offset where
// compiling stopped, "Match succeeded", "No match" or "Matching error".
PatternTrialAnswer tryPattern(std::string testString, std::string pattern);

}  // namespace cw
