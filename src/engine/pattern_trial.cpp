#include "engine/pattern_trial.h"

#include "common/number_text.h"
#include "common/text_ops.h"
#include "engine/matchers.h"
#include "engine/pattern.h"

namespace cw {

namespace {

constexpr const char* ERROR_CAPTION = "Error from Cobbleweave plugin";
constexpr const char* INFO_CAPTION = "Info from Cobbleweave plugin";

}  // namespace

PatternTrialAnswer tryPattern(std::string testString, std::string pattern) {
    trimWhiteSpace(testString);
    trimWhiteSpace(pattern);
    if (testString.empty() || pattern.empty()) {
        return {ERROR_CAPTION, "You didn't enter a test string or a pattern!"};
    }
    PatternCompileResult compiled = compilePattern(pattern);
    if (!compiled.pattern) {
        // The system's own wording, misspelling included.
        return {INFO_CAPTION, formatText("Sytax error in pattern: %d", compiled.errorOffset)};
    }
    MatchArea area;
    // The same budget as a rule's in one message: the dialog waits for it.
    WorkDeadline deadline = deadlineAfter(RULE_TIME_BUDGET);
    int result = matchPattern(compiled.pattern.get(), testString.data(), testString.size(), area, 0,
                              &deadline);
    if (result >= 0) {
        return {INFO_CAPTION, "Match succeeded"};
    }
    return {INFO_CAPTION, result == MATCH_NO_MATCH ? "No match" : "Matching error"};
}

}  // namespace cw
