// The scan's shortcuts (literal groups, prefilter groups and the lead before a
// literal, runs of list rules passed over, the header index) change nothing:
// the training mail is scanned through the exports with each rule set built as
// the host builds it and built with every shortcut off, and the status record,
// the added lines and the log must be the same, byte for byte. Rule sets: the
// shipped rules, the 200-rule benchmark set, and rules generated from pieces of
// the mail under several sets of options.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "config/config_table.h"
#include "engine/rule_set.h"
#include "generated_rules.h"
#include "two_way_scan.h"

namespace {

namespace fs = std::filesystem;
using cw::scantool::Message;

constexpr const char* TRAINING_FOLDERS[] = {"spam-1", "easy-ham-1", "hard-ham-1-odd"};
// COBBLEWEAVE_DIFFERENTIAL_SEED picks another seed, to look further by hand.
constexpr uint32_t GENERATOR_SEED = 20261208;
// The generated rules are scanned with every `GENERATED_STRIDE`-th message of
// those the other rule sets take: they come in several sets of options.
constexpr size_t GENERATED_STRIDE = 3;
// Differences told in full; the rest are counted.
constexpr size_t DIFFERENCES_SHOWN = 5;

// What the host has decided before the plug-in sees a message, taken in turn:
// status removal ('%') and NOWHITELIST act on it.
constexpr fuzzhost::HostVerdict INCOMING[] = {{0, 0}, {1, 0}, {0, 0}, {0, 1}, {0, 0}};

uint32_t generatorSeed() {
    const char* seed = std::getenv("COBBLEWEAVE_DIFFERENTIAL_SEED");
    return seed != nullptr ? static_cast<uint32_t>(std::strtoul(seed, nullptr, 10))
                           : GENERATOR_SEED;
}

std::vector<Message> readTrainingMail() {
    std::vector<std::string> folders;
    for (const char* folder : TRAINING_FOLDERS) {
        folders.push_back(std::string(CORPUS_DIR) + "/" + folder);
    }
    std::vector<cw::scantool::InputFile> files;
    std::vector<std::string> errors;
    cw::scantool::expandInputs(folders, files, errors);
    std::vector<Message> messages;
    if (!errors.empty()) {
        return messages;
    }
    for (const cw::scantool::InputFile& file : files) {
        if (file.path.size() < 4 || file.path.substr(file.path.size() - 4) != ".txt") {
            continue;
        }
        std::string error;
        cw::scantool::readMessages(
            file, false, [&](Message& message) { messages.push_back(std::move(message)); }, error);
    }
    return messages;
}

void writeFolder(const std::string& folder, const differential::RuleFiles& files) {
    for (const auto& [name, content] : files) {
        fuzzhost::writeFile(folder + name, content);
    }
}

std::string benchmarkRulesFolder() {
    std::string folder = fuzzhost::makeScratchFolder("cobbleweave-differential");
    fs::copy_file(BENCHMARK_RULES, folder + "filters.dat");
    return folder;
}

// What the shortcuts of a rule set amount to, for the report.
std::string shortcutsOf(int32_t handle) {
    std::shared_ptr<cw::FilterConfig> config = cw::findConfig(handle);
    const cw::RuleSet& set = cw::ruleSetOf(*config);
    size_t grouped = 0;
    size_t prefiltered = 0;
    size_t inRuns = 0;
    size_t rules = 0;
    size_t runEntries = 0;
    for (const cw::ListRunRules& run : set.listRuns) {
        runEntries += run.run->size();
    }
    for (const cw::CompiledRule& rule : set.rules) {
        rules += rule.record.kind == cw::LineKind::RULE ? 1 : 0;
        grouped += rule.group != cw::NO_INDEX ? 1 : 0;
        prefiltered += rule.prefilter != cw::NO_INDEX ? 1 : 0;
        inRuns += rule.runEnd != cw::NO_INDEX ? 1 : 0;
    }
    return std::to_string(rules) + " rules; " + std::to_string(grouped) + " in " +
           std::to_string(set.groups.size()) + " literal groups, " + std::to_string(prefiltered) +
           " in " + std::to_string(set.prefilterGroups.size()) + " prefilter groups, " +
           std::to_string(inRuns) + " in literal runs, " + std::to_string(runEntries) +
           " entries in " + std::to_string(set.listRuns.size()) + " list runs, " +
           std::to_string(set.selectors.size()) + " header selectors";
}

class TrainingMail : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { messages_ = new std::vector<Message>(readTrainingMail()); }
    static void TearDownTestSuite() {
        delete messages_;
        messages_ = nullptr;
    }

    void SetUp() override {
        ASSERT_GT(messages_->size(), 3000u)
            << "the training mail is missing from " << CORPUS_DIR
            << ": run scripts/fetch-corpus.sh (scripts/test.sh does)";
    }

    // Scans every `stride`-th training message both ways with the rules of
    // `folder`; every difference fails the test.
    void expectSameBothWays(const std::string& folder, size_t stride) {
        fuzzhost::TwoWayConfig config = fuzzhost::loadTwoWays(folder);
        size_t compared = 0;
        size_t different = 0;
        size_t matched = 0;
        for (size_t index = 0; index < messages_->size(); index += stride) {
            const Message& message = (*messages_)[index];
            std::string_view body = std::string_view(message.text).substr(message.bodyOffset);
            fuzzhost::TwoWayResult result = fuzzhost::scanTwoWays(
                config, message.headerLines, body, INCOMING[index % std::size(INCOMING)]);
            ++compared;
            matched += result.matchedRules;
            if (result.difference.empty()) {
                continue;
            }
            if (++different <= DIFFERENCES_SHOWN) {
                ADD_FAILURE() << message.source << (result.cutByTime ? " (cut by time)" : "")
                              << ":\n"
                              << result.difference;
            }
        }
        EXPECT_EQ(0u, different) << "of " << compared << " messages scanned both ways";
        EXPECT_GT(matched, compared) << "the rules hardly ever match: the comparison proves little";
        std::cout << "compared " << compared << " messages both ways, " << matched
                  << " rule matches; " << shortcutsOf(config.withShortcuts) << "\n";
        fuzzhost::releaseTwoWays(config);
    }

    static std::vector<Message>* messages_;
};

std::vector<Message>* TrainingMail::messages_ = nullptr;

TEST_F(TrainingMail, ShippedRulesGiveTheSameScanWithoutShortcuts) {
    expectSameBothWays(
        fuzzhost::makeShippedRulesFolder(SHIPPED_RULES_DIR, "cobbleweave-differential"),
        DIFFERENTIAL_STRIDE);
}

TEST_F(TrainingMail, BenchmarkRulesGiveTheSameScanWithoutShortcuts) {
    expectSameBothWays(benchmarkRulesFolder(), DIFFERENTIAL_STRIDE);
}

// The generated rules under sets of options that change what a scan logs and
// which shortcuts it may take (list runs only below DEBUG and without PROFILE).
struct OptionSet {
    const char* name;
    std::vector<std::string> lines;
};

const OptionSet OPTION_SETS[] = {
    {"Quiet",
     {"QUIET", "WHITELIST", "PRECOMPILE", "USEBLOCK 1,2", "ADDSCORE", "SHOWVALUE", "COMMENT",
      "NOTEXTONLY", "NOPROFILE", "THRESHOLD_SPAM 4.0", "THRESHOLD_SUSPECT 2.0",
      "THRESHOLD_WHITELISTED -3.0", "MAXCOMMENT 1024", "MAXLOGSIZE 5000000"}},
    {"CheckWithProfile",
     {"CHECK", "PROFILE", "NOWHITELIST", "TEXTONLY", "NOPRECOMPILE", "NOSHOWVALUE", "SIMULATE",
      "MAXSIZE 8192", "MAXLINES 200", "USEBLOCK 2,3", "ADDSCORE"}},
    {"DebugFastScan",
     {"DEBUG", "FASTSCAN", "WHITELIST", "KEEPLOGFILE", "NOCOMMENT", "ADDSCORE",
      "THRESHOLD_SPAM 3.0"}},
    {"QuietFastScan",
     {"QUIET", "FASTSCAN", "WHITELIST", "NOUSEBLOCK", "COMMENT", "SHOWVALUE", "TEXTONLY",
      "THRESHOLD_SPAM 6.0", "MAXLOGSIZE 5000000"}},
};

void PrintTo(const OptionSet& options, std::ostream* out) {
    *out << options.name;
}

class GeneratedRules : public TrainingMail, public ::testing::WithParamInterface<OptionSet> {
  protected:
    std::string generatedFolder(const std::vector<std::string>& optionLines) {
        std::string folder = fuzzhost::makeScratchFolder("cobbleweave-differential");
        writeFolder(folder, differential::generateRules(
                                differential::gatherMailPieces(*messages_, GENERATED_STRIDE),
                                generatorSeed(), optionLines));
        return folder;
    }
};

TEST_P(GeneratedRules, GiveTheSameScanWithoutShortcuts) {
    expectSameBothWays(generatedFolder(GetParam().lines), DIFFERENTIAL_STRIDE * GENERATED_STRIDE);
}

INSTANTIATE_TEST_SUITE_P(OptionSets, GeneratedRules, ::testing::ValuesIn(OPTION_SETS),
                         [](const auto& option) { return std::string(option.param.name); });

// The comparison proves something only when the generated rules say everything
// a rule file can and the shortcuts take part: groups of both kinds, prefilter
// groups, list runs, header names looked up; and only when the reference set
// takes none of them.
TEST_F(GeneratedRules, UseEveryFieldFlagAndShortcut) {
    std::string folder = generatedFolder(OPTION_SETS[0].lines);
    int32_t handle = cw::loadConfig(folder.c_str(), cw::compileRuleSet);
    int32_t reference = cw::loadConfig(folder.c_str(), cw::compileReferenceRuleSet);
    const cw::RuleSet& set = cw::ruleSetOf(*cw::findConfig(handle));

    std::vector<size_t> fields(static_cast<size_t>(cw::FieldKind::SERVERNAME) + 1, 0);
    uint32_t flags = 0;
    std::set<std::string> fieldTypes;
    size_t blocks = 0, faulty = 0, options = 0, inRuns = 0;
    for (const cw::CompiledRule& rule : set.rules) {
        const cw::RuleRecord& record = rule.record;
        options += record.kind == cw::LineKind::OPTION ? 1 : 0;
        if (record.kind != cw::LineKind::RULE) {
            continue;
        }
        faulty += record.isWellFormed() ? 0 : 1;
        ++fields[static_cast<size_t>(record.field)];
        flags |= record.flags;
        blocks += record.blockNumber != 0 ? 1 : 0;
        inRuns += rule.runEnd != cw::NO_INDEX ? 1 : 0;
        fieldTypes.emplace(record.fieldType);
    }
    for (size_t field = 0; field < fields.size(); ++field) {
        EXPECT_GE(fields[field], 4u) << "field kind " << field;
    }
    for (uint32_t flag : {cw::FLAG_TEXT_PARTS_ONLY, cw::FLAG_REMOVE_STATUS, cw::FLAG_WHITELIST_RULE,
                          cw::FLAG_NEGATE, cw::FLAG_STOP_AFTER_MATCH, cw::FLAG_CHAIN_WITH_NEXT,
                          cw::FLAG_USE_DECODED, cw::FLAG_CLEAR_COMMENTS}) {
        EXPECT_NE(0u, flags & flag) << "flag " << std::hex << flag;
    }
    EXPECT_GT(blocks, 0u);
    EXPECT_GT(faulty, 0u);
    EXPECT_EQ(OPTION_SETS[0].lines.size() + 6, options) << "option and include lines";
    size_t patternGroups = 0, decodedGroups = 0, selectorsByName = 0;
    for (const cw::LiteralGroup& group : set.groups) {
        patternGroups += group.patterns ? 1 : 0;
        decodedGroups += group.decoded ? 1 : 0;
    }
    for (const cw::HeaderSelector& selector : set.selectors) {
        selectorsByName += selector.anyLine ? 0 : 1;
    }
    EXPECT_GT(patternGroups, 0u);
    EXPECT_GT(decodedGroups, 0u);
    EXPECT_GT(set.groups.size(), patternGroups + decodedGroups) << "plain-string groups";
    EXPECT_GT(set.prefilterGroups.size(), 0u);
    EXPECT_GT(inRuns, 0u);
    EXPECT_GT(selectorsByName, 0u);
    std::cout << "generated: " << shortcutsOf(handle) << "; rules per field kind:";
    for (size_t count : fields) {
        std::cout << " " << count;
    }
    std::cout << "; " << fieldTypes.size() << " field types\n";

    // A list run is one item of the rule set, and its entries' lines without
    // shortcuts.
    EXPECT_GT(set.listRuns.size(), 0u);
    size_t runEntries = 0;
    for (const cw::ListRunRules& run : set.listRuns) {
        runEntries += run.run->size();
    }
    const cw::RuleSet& plain = cw::ruleSetOf(*cw::findConfig(reference));
    EXPECT_EQ(set.rules.size() - set.listRuns.size() + runEntries, plain.rules.size());
    EXPECT_TRUE(plain.listRuns.empty());
    EXPECT_TRUE(plain.groups.empty());
    EXPECT_TRUE(plain.prefilterGroups.empty());
    ASSERT_EQ(1u, plain.selectors.size());
    EXPECT_TRUE(plain.selectors[0].anyLine);
    for (const cw::CompiledRule& rule : plain.rules) {
        EXPECT_EQ(cw::NO_INDEX, rule.runEnd);
    }
    cw::releaseConfig(handle);
    cw::releaseConfig(reference);
}

// Once a message's processor time for pattern tests is spent, no pattern is
// tested any more, a literal one searched with its group no more than another:
// both ways the literal patterns behind five runaway rules are named as cut
// off, those that occur in the subject and those that do not, and none scores.
TEST(MessageBudget, CutsOffLiteralPatternGroupsAsThePlainScanDoes) {
    std::string folder = fuzzhost::makeScratchFolder("cobbleweave-differential");
    std::string rules = "ADDSCORE\n";
    for (int i = 1; i <= 5; ++i) {
        rules += "Body: 5 {[a-z]{0,92}[a-z]{0,92}[a-z]{0,92}[a-z0-9][!?]} [r" + std::to_string(i) +
                 "]\n";
    }
    rules +=
        "Subject: 1 {free} [free]\nSubject: 1 {money} [money]\n"
        "Subject: 1 {absent} [absent]\nSubject: 1 {missing} [missing]\n";
    fuzzhost::writeFile(folder + "filters.dat", rules);
    fuzzhost::TwoWayConfig config = fuzzhost::loadTwoWays(folder);
    for (int32_t handle : {config.withShortcuts, config.reference}) {
        fuzzhost::ScanOutcome outcome = fuzzhost::scanForOutcome(
            handle, folder, {"Subject: free money\r\n"}, std::string(4096, 'a') + "\r\n");
        EXPECT_EQ("X-Quelt-Score: 0.0\r\n", outcome.addedLines) << "handle " << handle;
        EXPECT_NE(std::string::npos,
                  outcome.log.find(" [Subject: 1 {free} [free]] [Subject: 1 {money} [money]] "
                                   "[Subject: 1 {absent} [absent]] "
                                   "[Subject: 1 {missing} [missing]]\r\n"))
            << "handle " << handle << ":\n"
            << outcome.log;
    }
    fuzzhost::releaseTwoWays(config);
}

}  // namespace
