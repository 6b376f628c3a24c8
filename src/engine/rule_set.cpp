#include "engine/rule_set.h"

#include <algorithm>
#include <map>
#include <new>

#include "base/log_writer.h"
#include "common/text_ops.h"
#include "engine/required_literals.h"

namespace cw {

namespace {

// Fewer rules on one field are cheaper tested one by one than searched together.
constexpr size_t MIN_GROUP_SIZE = 4;

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    lowerCaseInPlace(lower);
    return lower;
}

// A rule's selector, shared by the rules of one field (or of one Header: name).
// Without shortcuts one selector offers every line to every field, which then
// tells by the line's name alone whether it belongs.
uint32_t selectorFor(RuleSet& set, std::map<std::string, uint32_t>& byField,
                     const RuleRecord& record) {
    std::string key = !set.shortcuts ? std::string()
                      : ruleFieldOf(record.field).subjects == FieldSubjects::HEADER_EXISTENCE
                          ? "Header: " + lowerCase(record.pattern)
                          : lowerCase(record.fieldType);
    auto [position, added] = byField.emplace(key, static_cast<uint32_t>(set.selectors.size()));
    if (added) {
        set.selectors.push_back(set.shortcuts ? ruleSelectorOf(record)
                                              : HeaderSelector{.anyLine = true, .names = {}});
    }
    return position->second;
}

// A slot for every pattern that a scan can match: those of the rules outside
// the literal groups, as written, and folded where a string test folds them
// first.
void assignPatternSlots(RuleSet& set) {
    for (CompiledRule& rule : set.rules) {
        const RuleRecord& record = rule.record;
        if (!record.isWellFormed() || !(record.flags & FLAG_HAS_PATTERN) ||
            rule.group != NO_INDEX) {
            continue;
        }
        rule.patternSlot = static_cast<uint32_t>(set.patterns.size());
        set.patterns.emplace_back();
        if ((record.flags & FLAG_HAS_STRING) && lowerCase(record.pattern) != record.pattern) {
            rule.foldedSlot = static_cast<uint32_t>(set.patterns.size());
            set.patterns.emplace_back();
        }
    }
}

// The pattern runs' entries get machine code store keys behind the slots.
void assignRunPatternKeys(RuleSet& set) {
    size_t next = set.patterns.size();
    for (ListRunRules& run : set.listRuns) {
        if (run.patterns != nullptr) {
            run.patterns->keyBase = static_cast<uint32_t>(next);
            next += run.run->size();
        }
    }
}

// Compiled interpreted: the machine code is made at a pattern's first match
// (see MachineCodeStore). A prefiltered pattern is compiled only to learn
// whether it does. Done last, once what gathering the groups needed
// for a while is freed, so the compiled patterns do not settle among it.
void compilePatterns(RuleSet& set) {
    for (const CompiledRule& rule : set.rules) {
        if (rule.patternSlot != NO_INDEX) {
            set.patterns[rule.patternSlot] = rule.prefilter != NO_INDEX
                                                 ? checkPattern(rule.record.pattern)
                                                 : compilePattern(rule.record.pattern, false);
        }
        if (rule.foldedSlot != NO_INDEX) {
            set.patterns[rule.foldedSlot] = compilePattern(lowerCase(rule.record.pattern), false);
        }
    }
}

// Rules whose outcome is nothing but "does this literal occur in a subject of the
// field", whose subjects a group can share: a plain string or a literal pattern,
// no flag but '~', on header lines or a whole text. The group key tells rules of
// one kind and field apart.
bool literalGroupKey(const RuleRecord& record, std::string& key) {
    if (!record.isWellFormed() || record.pattern.empty()) {
        return false;
    }
    uint32_t kind = record.flags & ~FLAG_USE_DECODED;
    if (kind != FLAG_HAS_STRING && kind != FLAG_HAS_PATTERN) {
        return false;
    }
    // Kept subjects, but none of a text-only field: TEXTONLY marks its rules at
    // scan time, so a group would search lines that its rules do not test.
    const RuleField& field = ruleFieldOf(record.field);
    if (!field.keptSubjects || (field.flags & FIELD_TEXT_ONLY) != 0) {
        return false;
    }
    std::string literal;
    if (kind == FLAG_HAS_PATTERN && !literalOfPattern(record.pattern, literal)) {
        return false;
    }
    key = (kind == FLAG_HAS_PATTERN ? "pattern " : "string ");
    key += (record.flags & FLAG_USE_DECODED) ? "decoded " : "raw ";
    key += lowerCase(record.fieldType);
    return true;
}

void gatherLiteralGroups(RuleSet& set) {
    std::map<std::string, std::vector<uint32_t>> byKey;
    std::string key;
    for (uint32_t index = 0; index < set.rules.size(); ++index) {
        if (literalGroupKey(set.rules[index].record, key)) {
            byKey[key].push_back(index);
        }
    }
    for (auto& [groupKey, members] : byKey) {
        if (members.size() < MIN_GROUP_SIZE) {
            continue;
        }
        LiteralGroup group;
        const RuleRecord& first = set.rules[members[0]].record;
        group.patterns = (first.flags & FLAG_HAS_PATTERN) != 0;
        group.decoded = (first.flags & FLAG_USE_DECODED) != 0;
        group.selectorId = set.rules[members[0]].selectorId;
        group.literals.resize(group.patterns ? members.size() : 0);
        std::vector<std::string_view> strings;
        strings.reserve(members.size());
        for (uint32_t member = 0; member < members.size(); ++member) {
            CompiledRule& rule = set.rules[members[member]];
            rule.group = static_cast<uint32_t>(set.groups.size());
            rule.member = member;
            if (group.patterns) {
                literalOfPattern(rule.record.pattern, group.literals[member]);
                strings.push_back(group.literals[member]);
            } else {
                strings.push_back(rule.record.pattern);
            }
        }
        group.members = std::move(members);
        group.list = std::make_unique<LiteralList>(strings);
        set.groups.push_back(std::move(group));
    }
}

// Pattern rules outside the literal groups that test their pattern as written
// (not folded by a string test first) and need a literal, gathered by field.
void gatherPrefilterGroups(RuleSet& set, LiteralAnalysisMemo& memo) {
    std::map<std::string, std::vector<uint32_t>> byField;
    std::vector<RequiredLiterals> required(set.rules.size());
    for (uint32_t index = 0; index < set.rules.size(); ++index) {
        const CompiledRule& rule = set.rules[index];
        const RuleRecord& record = rule.record;
        if (!record.isWellFormed() || rule.patternSlot == NO_INDEX || rule.foldedSlot != NO_INDEX ||
            rule.group != NO_INDEX || !ruleFieldOf(record.field).keptSubjects) {
            continue;
        }
        required[index] = requiredLiteralsOf(record.pattern, MATCH_STEP_LIMIT, &memo);
        if (!required[index].anyOf.empty()) {
            std::string key =
                std::to_string(static_cast<int>(record.field)) + " " + lowerCase(record.fieldType);
            byField[key].push_back(index);
        }
    }
    for (const auto& [field, members] : byField) {
        if (members.size() < MIN_GROUP_SIZE) {
            continue;
        }
        // Rules that need the same literal (copies of a rule, variants of one
        // word) share it: a subject is searched for it once. Sorted rather than
        // mapped, so that a large list costs no tree node per literal.
        PrefilterGroup group;
        std::vector<std::pair<std::string*, uint32_t>> needs;  // literal, member
        for (uint32_t member = 0; member < members.size(); ++member) {
            CompiledRule& rule = set.rules[members[member]];
            rule.prefilter = static_cast<uint32_t>(set.prefilterGroups.size());
            rule.prefilterMember = member;
            rule.skipUpTo = required[members[member]].skipUpTo;
            rule.lead = required[members[member]].lead;
            for (std::string& literal : required[members[member]].anyOf) {
                needs.emplace_back(&literal, member);
            }
        }
        std::sort(needs.begin(), needs.end(), [](const auto& a, const auto& b) {
            return *a.first != *b.first ? *a.first < *b.first : a.second < b.second;
        });
        group.holders.reserve(needs.size());
        for (size_t at = 0; at < needs.size(); ++at) {
            if (at == 0 || *needs[at].first != *needs[at - 1].first) {
                group.holderStart.push_back(static_cast<uint32_t>(group.holders.size()));
                group.literals.push_back(*needs[at].first);
            }
            group.holders.push_back(needs[at].second);
        }
        group.holderStart.push_back(static_cast<uint32_t>(group.holders.size()));
        needs = {};
        for (uint32_t index : members) {
            required[index] = RequiredLiterals();
        }
        group.memberCount = static_cast<uint32_t>(members.size());
        group.list = std::make_unique<LiteralList>(
            std::vector<std::string_view>(group.literals.begin(), group.literals.end()));
        set.prefilterGroups.push_back(std::move(group));
    }
}

void markLiteralRuns(RuleSet& set) {
    auto inRun = [&](size_t index) {
        const CompiledRule& rule = set.rules[index];
        return rule.group != NO_INDEX && rule.record.blockNumber == 0;
    };
    size_t index = set.rules.size();
    uint32_t runEnd = NO_INDEX;
    while (index-- > 0) {
        if (!inRun(index)) {
            runEnd = NO_INDEX;
            continue;
        }
        if (runEnd == NO_INDEX) {
            runEnd = static_cast<uint32_t>(index + 1);
        }
        set.rules[index].runEnd = runEnd;
    }
}

void addRule(RuleSet& set, std::map<std::string, uint32_t>& selectorByField,
             std::string_view line) {
    CompiledRule rule;
    rule.record = readRuleRecord(line);
    const RuleRecord& record = rule.record;
    if (record.isWellFormed()) {
        const RuleField& field = ruleFieldOf(record.field);
        if (field.testsHeaderLines || field.subjects == FieldSubjects::HEADER_EXISTENCE) {
            rule.selectorId = selectorFor(set, selectorByField, record);
        }
        set.usesHeaderTexts |= field.subjects == FieldSubjects::HEADER_TEXT;
        set.usesBodyLines |= field.subjects == FieldSubjects::BODY_LINES;
    }
    set.rules.push_back(std::move(rule));
}

// A list run as one item of the rule set, when its entries' rules read as plain
// strings or patterns of one shape and are enough to be worth a search of
// their own; otherwise (and in the reference build) as its lines.
void addListRun(RuleSet& set, std::map<std::string, uint32_t>& selectorByField, const ListRun& run,
                LiteralAnalysisMemo& memo) {
    std::string sample = run.prefix + "x" + run.suffix;
    RuleRecord record = readRuleRecord(sample);
    ListRunRules rules;
    if (set.shortcuts && run.size() >= MIN_GROUP_SIZE &&
        readListRunShape(run, record, sample, rules, memo)) {
        rules.selectorId = selectorFor(set, selectorByField, record);
        CompiledRule rule;
        rule.listRun = static_cast<uint32_t>(set.listRuns.size());
        set.listRuns.push_back(std::move(rules));
        set.rules.push_back(std::move(rule));
        return;
    }
    for (size_t entry = 0; entry < run.size(); ++entry) {
        set.expandedLines.push_back(run.line(entry));
        addRule(set, selectorByField, set.expandedLines.back());
    }
}

std::shared_ptr<CompiledConfiguration> buildRuleSet(const FilterConfig& config, bool shortcuts) {
    RuleSet set;
    set.shortcuts = shortcuts;
    // One rule per line, but one for a list run that is kept whole; a run too
    // small to be searched on its own is read as its lines.
    size_t ruleCount = config.lines.size();
    for (size_t item = 0; item < config.lines.size(); ++item) {
        const ListRun* run = config.lines.run(item);
        if (run != nullptr && run->size() > 1 && (!shortcuts || run->size() < MIN_GROUP_SIZE)) {
            ruleCount += run->size() - 1;
        }
    }
    set.rules.reserve(ruleCount);
    std::map<std::string, uint32_t> selectorByField;
    LiteralAnalysisMemo memo;
    for (size_t item = 0; item < config.lines.size(); ++item) {
        if (const ListRun* run = config.lines.run(item)) {
            addListRun(set, selectorByField, *run, memo);
        } else {
            addRule(set, selectorByField, config.lines.line(item));
        }
    }
    if (set.shortcuts) {
        gatherLiteralGroups(set);
    }
    assignPatternSlots(set);
    assignRunPatternKeys(set);
    if (set.shortcuts) {
        gatherPrefilterGroups(set, memo);
        markLiteralRuns(set);
    }
    compilePatterns(set);
    return std::make_shared<CompiledConfiguration>(std::move(set));
}

void compileRuleSetWith(FilterConfig& config, bool shortcuts) {
    try {
        config.compiled = buildRuleSet(config, shortcuts);
    } catch (const std::bad_alloc&) {
        writeLog("loadConfig:compile / memory allocation failed");
        // The first scan tries again.
        config.compiled.reset();
    }
}

}  // namespace

void compileRuleSet(FilterConfig& config) {
    compileRuleSetWith(config, true);
}

void compileReferenceRuleSet(FilterConfig& config) {
    compileRuleSetWith(config, false);
}

CompiledConfiguration& compiledOf(FilterConfig& config) {
    if (!config.compiled) {
        config.compiled = buildRuleSet(config, true);
    }
    return static_cast<CompiledConfiguration&>(*config.compiled);
}

const RuleSet& ruleSetOf(FilterConfig& config) {
    return compiledOf(config).ruleSet;
}

}  // namespace cw
