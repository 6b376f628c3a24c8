#include "engine/required_literals.h"

#include <optional>
#include <set>

#include "common/text_ops.h"
#include "engine/literal_algebra.h"
#include "engine/pattern_reader.h"

namespace cw {

namespace {

bool isPatternMetaCharacter(char c) {
    return std::string_view("\\^$.[]|()?*+{}").find(c) != std::string_view::npos;
}

}  // namespace

RequiredLiterals requiredLiteralsOf(std::string_view pattern, uint64_t stepLimit,
                                    SkipLengthMemo* memo) {
    RequiredLiterals result;
    std::optional<PatternTree> tree = readPattern(pattern);
    if (!tree) {
        return result;
    }
    std::set<std::string> required = requirementOf(literalInfo(tree->root));
    if (required.empty()) {
        return result;
    }
    std::optional<SkipBounds> bounds = skipBoundsOf(tree->root, required, stepLimit, memo);
    if (!bounds) {
        return result;
    }
    result.anyOf.assign(required.begin(), required.end());
    result.skipUpTo = bounds->skipUpTo;
    // \G ties a match to where the search starts: starting later changes it.
    if (!tree->anchorsAtStart) {
        result.lead = bounds->lead;
    }
    return result;
}

bool literalOfPattern(std::string_view pattern, std::string& literal) {
    literal.clear();
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c == '\\') {
            // A backslash before punctuation stands for the punctuation itself;
            // before a letter or digit it is an escape with a meaning of its own.
            if (i + 1 == pattern.size() || isAsciiAlphanumeric(pattern[i + 1]) ||
                static_cast<unsigned char>(pattern[i + 1]) >= 0x80) {
                return false;
            }
            literal += pattern[++i];
        } else if (isPatternMetaCharacter(c)) {
            return false;
        } else {
            literal += c;
        }
    }
    return !literal.empty();
}

}  // namespace cw
