#include "engine/list_run.h"

#include <algorithm>

namespace cw {

bool readListRunShape(const ListRun& run, const RuleRecord& sample, std::string_view line,
                      ListRunRules& rules) {
    const char* entryAt = line.data() + run.prefix.size();
    const char* suffixAt = entryAt + 1;
    bool plain = sample.isWellFormed() && sample.flags == FLAG_HAS_STRING &&
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
    rules.list = std::make_unique<LiteralList>(run.entries, run.ends);
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
                                      LiteralSearchMarks& marks) {
    std::vector<ListRunHit> hits;
    // The field's subjects are found by the field type as written.
    std::string text;
    RuleRecord first = listRunRecord(rules, 0, text);
    RuleUnderTest test{first, first.flags, rules.selectorId};
    std::vector<uint32_t> entries;
    visitSubjects(test, subjects, false, [&](PreparedText& subject, size_t start) {
        foldPrepared(subject);
        entries.clear();
        rules.list->findAll(std::string_view(subject.lower).substr(start), marks, entries);
        for (uint32_t entry : entries) {
            hits.push_back(ListRunHit{entry, &subject, start});
        }
    });
    std::stable_sort(hits.begin(), hits.end(),
                     [](const ListRunHit& a, const ListRunHit& b) { return a.entry < b.entry; });
    return hits;
}

}  // namespace cw
