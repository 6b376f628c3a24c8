#include "engine/required_literals.h"

#include <optional>
#include <set>

#include "engine/literal_algebra.h"
#include "engine/pattern_reader.h"

namespace cw {

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

}  // namespace cw
