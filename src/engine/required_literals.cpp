#include "engine/required_literals.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "common/text_ops.h"
#include "engine/literal_algebra.h"
#include "engine/pattern_reader.h"

namespace cw {

namespace {

bool isPatternMetaCharacter(char c) {
    return std::string_view("\\^$.[]|()?*+{}").find(c) != std::string_view::npos;
}

RequiredLiterals analyse(const PatternTree& tree, uint64_t stepLimit, SkipLengthMemo* memo) {
    RequiredLiterals result;
    StringSet required = requirementOf(literalInfo(tree.root));
    if (required.empty()) {
        return result;
    }
    std::optional<SkipBounds> bounds = skipBoundsOf(tree.root, required, stepLimit, memo);
    if (!bounds) {
        return result;
    }
    result.anyOf.assign(required.begin(), required.end());
    result.skipUpTo = bounds->skipUpTo;
    // \G ties a match to where the search starts: starting later changes it.
    if (!tree.anchorsAtStart) {
        result.lead = bounds->lead;
    }
    return result;
}

bool holdsLiteral(const PatternNode& node) {
    return node.kind == NodeKind::LITERAL ||
           std::any_of(node.children.begin(), node.children.end(), holdsLiteral);
}

const std::vector<PatternNode>& flatItems(const PatternTree& tree) {
    return tree.root.children[0].children;
}

// The shape of a flat tree into `shape`, or false when the tree is not flat.
bool flatShapeOf(const PatternTree& tree, std::string& shape) {
    const PatternNode& root = tree.root;
    if (root.children.size() != 1 || root.children[0].kind != NodeKind::SEQUENCE) {
        return false;
    }
    for (const PatternNode& item : flatItems(tree)) {
        if (item.kind != NodeKind::LITERAL && holdsLiteral(item)) {
            return false;
        }
    }
    shape.clear();
    shape += tree.anchorsAtStart ? '1' : '0';
    appendTreeShape(root, shape);
    return true;
}

// The result of a flat tree read anew, as `flat` of its shape gives it.
RequiredLiterals flatResultOf(const PatternTree& tree,
                              const LiteralAnalysisMemo::FlatResult& flat) {
    RequiredLiterals result;
    if (flat.literalLength == 0) {
        result.skipUpTo = flat.skipUpTo;
        result.lead = flat.lead;
        return result;
    }
    std::string literal;
    uint32_t ordinal = 0;
    for (const PatternNode& item : flatItems(tree)) {
        if (item.kind == NodeKind::LITERAL) {
            if (ordinal >= flat.literalFrom && ordinal - flat.literalFrom < flat.literalLength) {
                literal += item.byte;
            }
            ++ordinal;
        }
    }
    result.anyOf.push_back(std::move(literal));
    result.skipUpTo = flat.skipUpTo;
    result.lead = flat.lead;
    return result;
}

// `result` of a flat tree as its shape's: its literal found among the runs of
// literal bytes (items that are not exact end a run), or nothing when it is not
// one run, which is then not kept.
std::optional<LiteralAnalysisMemo::FlatResult> asFlatResult(const PatternTree& tree,
                                                            const RequiredLiterals& result) {
    LiteralAnalysisMemo::FlatResult flat;
    flat.skipUpTo = result.skipUpTo;
    flat.lead = result.lead;
    if (result.anyOf.empty()) {
        return flat;
    }
    if (result.anyOf.size() != 1) {
        return std::nullopt;
    }
    std::string run;
    uint32_t ordinal = 0;
    uint32_t runFrom = 0;
    auto runIsTheLiteral = [&] {
        if (run == result.anyOf[0]) {
            flat.literalFrom = runFrom;
            flat.literalLength = static_cast<uint32_t>(run.size());
            return true;
        }
        return false;
    };
    for (const PatternNode& item : flatItems(tree)) {
        if (item.kind == NodeKind::LITERAL) {
            run += item.byte;
            ++ordinal;
        } else if (!literalInfo(item).exact) {
            if (runIsTheLiteral()) {
                return flat;
            }
            run.clear();
            runFrom = ordinal;
        }
    }
    if (runIsTheLiteral()) {
        return flat;
    }
    return std::nullopt;
}

}  // namespace

RequiredLiterals requiredLiteralsOf(std::string_view pattern, uint64_t stepLimit,
                                    LiteralAnalysisMemo* memo) {
    std::optional<PatternTree> tree = readPattern(pattern);
    if (!tree) {
        return RequiredLiterals{};
    }
    SkipLengthMemo* skipLengths = memo == nullptr ? nullptr : &memo->skipLengths;
    if (memo == nullptr || !flatShapeOf(*tree, memo->shape)) {
        return analyse(*tree, stepLimit, skipLengths);
    }
    auto found = memo->byFlatShape.find(memo->shape);
    if (found != memo->byFlatShape.end()) {
        return flatResultOf(*tree, found->second);
    }
    RequiredLiterals result = analyse(*tree, stepLimit, skipLengths);
    if (std::optional<LiteralAnalysisMemo::FlatResult> flat = asFlatResult(*tree, result)) {
        memo->byFlatShape.emplace(memo->shape, *flat);
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
