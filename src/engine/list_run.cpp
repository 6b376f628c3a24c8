#include "engine/list_run.h"

#include <algorithm>

namespace cw {

namespace {

// A lead too large for 32 bits is as good as none: the search starts at the
// subject's start.
uint32_t leadOf(size_t lead) {
    return lead >= NO_BOUND ? NO_BOUND : static_cast<uint32_t>(lead);
}

// Compiles every entry of a pattern run and reads its literals, which go into
// the run's literal block.
void preparePatternEntries(const ListRun& run, PatternRunEntries& entries,
                           LiteralAnalysisMemo& memo) {
    const uint32_t count = static_cast<uint32_t>(run.size());
    entries.kinds.resize(count);
    entries.skipUpTo.assign(count, NO_BOUND);
    entries.lead.assign(count, NO_BOUND);
    auto addLiteral = [&entries](std::string_view literal, uint32_t entry) {
        entries.literalBlock.append(literal);
        entries.literalEnds.push_back(static_cast<uint32_t>(entries.literalBlock.size()));
        entries.literalEntry.push_back(entry);
    };
    std::string literal;
    for (uint32_t entry = 0; entry < count; ++entry) {
        std::string_view pattern = run.entry(entry);
        if (literalOfPattern(pattern, literal)) {
            entries.kinds[entry] = RunEntryKind::LITERAL;
            addLiteral(literal, entry);
            continue;
        }
        // Only an entry that runs everywhere keeps its code; the others are
        // compiled to learn whether they do.
        RequiredLiterals required = requiredLiteralsOf(pattern, MATCH_STEP_LIMIT, &memo);
        PatternCompileResult compiled =
            required.anyOf.empty() ? compilePattern(pattern, false) : checkPattern(pattern);
        if (!patternCompiles(compiled)) {
            entries.kinds[entry] = RunEntryKind::FAILED;
            entries.failures.push_back(
                PatternRunFailure{entry, compiled.errorOffset, std::move(compiled.errorText)});
            entries.alwaysVisited.push_back(entry);
            continue;
        }
        if (required.anyOf.empty()) {
            entries.kinds[entry] = RunEntryKind::EVERYWHERE;
            entries.kept.emplace_back(entry, std::move(compiled.pattern));
            entries.alwaysVisited.push_back(entry);
            continue;
        }
        entries.kinds[entry] = RunEntryKind::PREFILTERED;
        // A smaller skip only runs the pattern more often.
        entries.skipUpTo[entry] =
            required.skipUpTo == UNBOUNDED
                ? NO_BOUND
                : static_cast<uint32_t>(std::min<size_t>(required.skipUpTo, NO_BOUND - 1));
        entries.lead[entry] = leadOf(required.lead);
        if (entries.skipUpTo[entry] != NO_BOUND) {
            entries.alwaysVisited.push_back(entry);
        }
        for (const std::string& each : required.anyOf) {
            addLiteral(each, entry);
        }
    }
}

}  // namespace

bool readListRunShape(const ListRun& run, const RuleRecord& sample, std::string_view line,
                      ListRunRules& rules, LiteralAnalysisMemo& memo) {
    const char* entryAt = line.data() + run.prefix.size();
    const char* suffixAt = entryAt + 1;
    bool patterns = sample.flags == FLAG_HAS_PATTERN;
    bool plain = sample.isWellFormed() && (sample.flags == FLAG_HAS_STRING || patterns) &&
                 sample.blockNumber == 0 && sample.pattern.data() == entryAt &&
                 sample.pattern.size() == 1 && sample.hasComment && !sample.comment.empty() &&
                 sample.comment.data() >= suffixAt && sample.fieldType.data() == line.data();
    bool searchable = sample.field == FieldKind::HEADER || sample.field == FieldKind::ANY_SENDER ||
                      sample.field == FieldKind::ANY_RECIPIENT || sample.field == FieldKind::MATCH;
    if (!plain || !searchable) {
        return false;
    }
    rules.run = &run;
    rules.shape = sample;
    rules.shape.text = rules.shape.fieldType = rules.shape.pattern = rules.shape.comment = {};
    rules.fieldTypeLength = sample.fieldType.size();
    rules.commentStart = static_cast<size_t>(sample.comment.data() - suffixAt);
    rules.commentLength = sample.comment.size();
    if (!patterns) {
        rules.list = std::make_unique<LiteralList>(run.entries, run.ends);
        return true;
    }
    rules.patterns = std::make_unique<PatternRunEntries>();
    PatternRunEntries& entries = *rules.patterns;
    preparePatternEntries(run, entries, memo);
    rules.list = std::make_unique<LiteralList>(entries.literalBlock, entries.literalEnds);
    entries.literalEnds = {};
    return true;
}

RuleRecord listRunRecord(const ListRunRules& rules, uint32_t entry, std::string& text) {
    const ListRun& run = *rules.run;
    std::string_view pattern = run.entry(entry);
    text.assign(run.prefix);
    text.append(pattern);
    text.append(run.suffix);
    std::string_view line(text);
    RuleRecord record = rules.shape;
    record.text = line;
    record.fieldType = line.substr(0, rules.fieldTypeLength);
    record.pattern = line.substr(run.prefix.size(), pattern.size());
    record.comment =
        line.substr(run.prefix.size() + pattern.size() + rules.commentStart, rules.commentLength);
    return record;
}

std::vector<ListRunHit> searchListRun(const ListRunRules& rules, MessageSubjects& subjects,
                                      LiteralSearchMarks& marks, size_t& longest) {
    std::vector<ListRunHit> hits;
    // The field's subjects are found by the field type as written.
    std::string text;
    RuleRecord first = listRunRecord(rules, 0, text);
    RuleUnderTest test{first, first.flags, rules.selectorId};
    std::vector<uint32_t> found;
    std::vector<size_t> foundAt;
    longest = 0;
    visitSubjects(test, subjects, false, [&](PreparedText& subject, size_t start) {
        longest = std::max(longest, subject.text.size() - start);
        found.clear();
        if (rules.patterns == nullptr) {
            foldPrepared(subject);
            rules.list->findAll(std::string_view(subject.lower).substr(start), marks, found);
            for (uint32_t entry : found) {
                hits.push_back(ListRunHit{entry, &subject, start});
            }
            return;
        }
        foundAt.clear();
        rules.list->findAll(std::string_view(subject.text).substr(start), marks, found, &foundAt);
        for (size_t i = 0; i < found.size(); ++i) {
            hits.push_back(
                ListRunHit{rules.patterns->literalEntry[found[i]], &subject, start, foundAt[i]});
        }
    });
    std::stable_sort(hits.begin(), hits.end(),
                     [](const ListRunHit& a, const ListRunHit& b) { return a.entry < b.entry; });
    if (rules.patterns != nullptr) {
        // An entry with several of its literals in one subject: one hit, at the first.
        auto kept = hits.begin();
        for (auto hit = hits.begin(); hit != hits.end(); ++hit) {
            if (kept != hits.begin() && (kept - 1)->entry == hit->entry &&
                (kept - 1)->subject == hit->subject) {
                (kept - 1)->firstAt = std::min((kept - 1)->firstAt, hit->firstAt);
            } else {
                *kept++ = *hit;
            }
        }
        hits.erase(kept, hits.end());
    }
    return hits;
}

}  // namespace cw
