// How much of PCRE2's limits the pattern rules of a configuration need on real
// mail: for every pattern rule and every subject the scan would test it on, the
// smallest match limit with which the match still ends as it does without one
// (interpreted and with the JIT), the smallest depth limit and the smallest heap
// limit of the interpreter. Prints how many matches need how much and the
// largest need with its rule. Run by hand, e.g. with the 200-rule set and the
// shipped rules over the training mail:
//
//   build/linux/bench/match_limits CONFIG-FOLDER build/corpus/spam-1 build/corpus/easy-ham-1
//
// A configuration folder holds filters.dat (and its lists); the plug-in writes
// its log and statistics there.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <fcntl.h>
#include <pcre2.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "cobbleweave_scan/message_source.h"
#include "config/config_table.h"
#include "engine/matchers.h"
#include "engine/message_subjects.h"
#include "engine/rule_set.h"
#include "mime/message_texts.h"

namespace {

// Above this the search gives up: the rule would hit any sensible limit.
constexpr uint32_t SEARCH_CEILING = 100000000;

using LimitSetter = int (*)(pcre2_match_context*, uint32_t);

// The smallest value of the limit with which the match ends without a limit error.
uint32_t smallestLimit(const pcre2_code* pattern, std::string_view subject, uint32_t options,
                       LimitSetter setLimit, pcre2_match_data* data, pcre2_match_context* context) {
    auto fits = [&](uint32_t limit) {
        setLimit(context, limit);
        int result = pcre2_match(pattern, reinterpret_cast<PCRE2_SPTR>(subject.data()),
                                 subject.size(), 0, options, data, context);
        return result != PCRE2_ERROR_MATCHLIMIT && result != PCRE2_ERROR_DEPTHLIMIT &&
               result != PCRE2_ERROR_HEAPLIMIT;
    };
    uint32_t low = 1;
    uint32_t high = 1000;
    while (!fits(high)) {
        if (high >= SEARCH_CEILING) {
            return SEARCH_CEILING;
        }
        low = high + 1;
        high = std::min<uint32_t>(high * 10, SEARCH_CEILING);
    }
    while (low < high) {
        uint32_t middle = low + (high - low) / 2;
        if (fits(middle)) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return high;
}

struct Need {
    const char* name;
    std::array<uint64_t, 6> buckets{};  // <= 1e3, 1e4, 1e5, 1e6, 1e7, more
    uint32_t largest = 0;
    std::string largestRule;
    std::string largestMessage;

    void add(uint32_t value, std::string_view rule, const std::string& message) {
        size_t bucket = 0;
        for (uint64_t bound = 1000; bucket < 5 && value > bound; bound *= 10) {
            ++bucket;
        }
        ++buckets[bucket];
        if (value > largest) {
            largest = value;
            largestRule = std::string(rule.substr(0, 120));
            largestMessage = message;
        }
    }
    void print() const {
        std::printf("%-22s <=1e3 %llu, <=1e4 %llu, <=1e5 %llu, <=1e6 %llu, <=1e7 %llu, more %llu\n",
                    name, static_cast<unsigned long long>(buckets[0]),
                    static_cast<unsigned long long>(buckets[1]),
                    static_cast<unsigned long long>(buckets[2]),
                    static_cast<unsigned long long>(buckets[3]),
                    static_cast<unsigned long long>(buckets[4]),
                    static_cast<unsigned long long>(buckets[5]));
        std::printf("%-22s largest %u: %s\n%-22s in %s\n", "", largest, largestRule.c_str(), "",
                    largestMessage.c_str());
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s CONFIG-FOLDER MESSAGE-OR-FOLDER...\n", argv[0]);
        return 1;
    }
    std::string folder = std::string(argv[1]) + "/";
    int32_t handle = cw::loadConfig(folder.c_str(), cw::compileRuleSet);
    const cw::RuleSet& set = cw::ruleSetOf(*cw::findConfig(handle));
    cw::MachineCodeStore machineCode;
    pcre2_match_data* data = pcre2_match_data_create(40, nullptr);
    pcre2_match_context* context = pcre2_match_context_create(nullptr);
    pcre2_jit_stack* jitStack = pcre2_jit_stack_create(64 * 1024, 4 * 1024 * 1024, nullptr);
    pcre2_jit_stack_assign(context, nullptr, jitStack);
    Need interpreted{"match limit", {}, 0, "", ""};
    Need jit{"JIT match limit", {}, 0, "", ""};
    Need depth{"depth limit", {}, 0, "", ""};
    Need heap{"heap limit (KiB)", {}, 0, "", ""};
    uint64_t messages = 0;
    std::string bodyPath = folder + "body.tmp";
    cw::AccountInfo account{"pop.example.org", 0, "alice"};
    cw::FetchInfo fetchInfo{};
    fetchInfo.fetchType = cw::POP3_RETR;
    std::vector<std::string> arguments(argv + 2, argv + argc);
    std::vector<cw::scantool::InputFile> inputs;
    std::vector<std::string> errors;
    cw::scantool::expandInputs(arguments, inputs, errors);
    auto measureMessage = [&](cw::scantool::Message& message) {
        std::ofstream(bodyPath, std::ios::binary) << message.text.substr(message.bodyOffset);
        std::vector<const char*> lines;
        for (const std::string& line : message.headerLines) {
            lines.push_back(line.c_str());
        }
        const int32_t count = static_cast<int32_t>(lines.size());
        cw::MessageStatus status{};
        status.account = &account;
        status.fetchInfo = &fetchInfo;
        fetchInfo.messageSize = static_cast<int32_t>(message.text.size());
        cw::MessageTexts texts;
        cw::buildHeaderTexts(lines.data(), count, texts);
        int body = open(bodyPath.c_str(), O_RDONLY);
        cw::loadMessageBody(lines.data(), count, body, texts, true);
        close(body);
        cw::MessageSubjects subjects(lines.data(), count, texts, &status, set.selectors);
        const std::string name = message.source;
        for (const cw::CompiledRule& rule : set.rules) {
            const cw::RuleRecord& record = rule.record;
            if (!(record.flags & cw::FLAG_HAS_PATTERN) || rule.group != cw::NO_INDEX ||
                rule.patternSlot == cw::NO_INDEX) {
                continue;
            }
            // A prefiltered pattern's code is not kept by the rule set.
            cw::PatternCompileResult own;
            const pcre2_code* compiled = set.patterns[rule.patternSlot].pattern.get();
            if (compiled == nullptr) {
                own = cw::compilePattern(record.pattern, false);
                compiled = own.pattern.get();
            }
            const pcre2_code* pattern = cw::machineCodeFor(compiled, rule.patternSlot, machineCode);
            if (pattern == nullptr) {
                continue;
            }
            size_t machineCodeSize = 0;
            pcre2_pattern_info(pattern, PCRE2_INFO_JITSIZE, &machineCodeSize);
            cw::RuleUnderTest test{record, record.flags, rule.selectorId};
            cw::visitSubjects(test, subjects, false, [&](cw::PreparedText& prepared, size_t start) {
                std::string_view subject = std::string_view(prepared.text).substr(start);
                // Each limit measured with the others out of the way.
                pcre2_set_depth_limit(context, SEARCH_CEILING);
                pcre2_set_heap_limit(context, SEARCH_CEILING);
                interpreted.add(smallestLimit(pattern, subject, PCRE2_NO_JIT, pcre2_set_match_limit,
                                              data, context),
                                record.text, name);
                pcre2_set_match_limit(context, SEARCH_CEILING);
                depth.add(smallestLimit(pattern, subject, PCRE2_NO_JIT, pcre2_set_depth_limit, data,
                                        context),
                          record.text, name);
                pcre2_set_depth_limit(context, SEARCH_CEILING);
                heap.add(smallestLimit(pattern, subject, PCRE2_NO_JIT, pcre2_set_heap_limit, data,
                                       context),
                         record.text, name);
                if (machineCodeSize > 0) {
                    jit.add(
                        smallestLimit(pattern, subject, 0, pcre2_set_match_limit, data, context),
                        record.text, name);
                }
            });
        }
        ++messages;
    };
    for (const cw::scantool::InputFile& input : inputs) {
        std::string error;
        if (!cw::scantool::readMessages(input, false, measureMessage, error)) {
            errors.push_back(error);
        }
    }
    for (const std::string& error : errors) {
        std::fprintf(stderr, "%s\n", error.c_str());
    }
    std::remove(bodyPath.c_str());
    std::printf("%llu messages, %llu pattern matches\n", static_cast<unsigned long long>(messages),
                static_cast<unsigned long long>(
                    std::accumulate(interpreted.buckets.begin(), interpreted.buckets.end(), 0ull)));
    interpreted.print();
    jit.print();
    depth.print();
    heap.print();
    pcre2_jit_stack_free(jitStack);
    pcre2_match_context_free(context);
    pcre2_match_data_free(data);
    return 0;
}
