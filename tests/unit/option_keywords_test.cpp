#include "config/option_keywords.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/filter_options.h"
#include "log_capture.h"

namespace cw {
namespace {

class OptionKeywordsTest : public LogCaptureTest {
  protected:
    // The log lines written since the previous call.
    Lines newLogLines() {
        Lines all = logLines();
        Lines fresh(all.begin() + static_cast<std::ptrdiff_t>(seen), all.end());
        seen = all.size();
        return fresh;
    }

    size_t seen = 0;
};

struct SwitchCase {
    const char* line;
    Setting<bool> FilterOptions::*setting;
    bool expected;
    const char* logLine;
};

const SwitchCase SWITCH_CASES[] = {
    {"CHECKPREVIEW", &FilterOptions::checkPreview, true, "check previewed messages enabled"},
    {"NOCHECKPREVIEW", &FilterOptions::checkPreview, false, "check previewed messages disabled"},
    {"SIMULATE", &FilterOptions::simulate, true, "simulation mode enabled"},
    {"NOSIMULATE", &FilterOptions::simulate, false, "simulation mode disabled"},
    {"PRECOMPILE", &FilterOptions::precompile, true, "precompilation mode enabled"},
    {"NOPRECOMPILE", &FilterOptions::precompile, false, "precompilation mode disabled"},
    {"KEEPLOGFILE", &FilterOptions::keepLogFile, true, "keep logfile enabled"},
    {"NOKEEPLOGFILE", &FilterOptions::keepLogFile, false, "keep logfile disabled"},
    {"TEXTONLY", &FilterOptions::textOnly, true, "check text only mode enabled"},
    {"NOTEXTONLY", &FilterOptions::textOnly, false, "check text only mode disabled"},
    {"ADDSCORE", &FilterOptions::addScore, true, "score line generation enabled"},
    {"NOADDSCORE", &FilterOptions::addScore, false, "score line generation disabled"},
    {"SHOWVALUE", &FilterOptions::showValue, true, "score value will be added to score lines"},
    {"NOSHOWVALUE", &FilterOptions::showValue, false,
     "score value will not be added to score lines"},
    {"FASTSCAN", &FilterOptions::fastScan, true, "FastScan enabled"},
    {"NOFASTSCAN", &FilterOptions::fastScan, false, "FastScan disabled"},
    {"COMMENT", &FilterOptions::comment, true, "add user comments enabled"},
    {"NOCOMMENT", &FilterOptions::comment, false, "add user comments disabled"},
    {"PROFILE", &FilterOptions::profile, true, "profile enabled"},
    {"NOPROFILE", &FilterOptions::profile, false, "profile disabled"},
    {"WHITELIST", &FilterOptions::whitelist, true, "whitelist mode enabled"},
    {"NOWHITELIST", &FilterOptions::whitelist, false, "whitelist mode disabled"},
};

TEST_F(OptionKeywordsTest, EachSwitchSetsItsSettingAndLogsItsLine) {
    for (const SwitchCase& c : SWITCH_CASES) {
        filterOptions.*c.setting = !c.expected;
        EXPECT_TRUE(applyOptionKeyword(c.line)) << c.line;
        EXPECT_EQ(c.expected, filterOptions.*c.setting) << c.line;
        EXPECT_EQ(Lines{c.logLine}, newLogLines()) << c.line;
    }
}

TEST_F(OptionKeywordsTest, SwitchesIgnoreTheRestOfTheLine) {
    EXPECT_TRUE(applyOptionKeyword("NOCOMMENT please, no comments"));
    EXPECT_FALSE(filterOptions.comment);
    EXPECT_TRUE(applyOptionKeyword("simulate:yes"));
    EXPECT_TRUE(filterOptions.simulate);
}

struct TraceCase {
    const char* line;
    int32_t level;
    const char* logLine;
};

TEST_F(OptionKeywordsTest, KeywordsMatchByPrefixInTableOrder) {
    const TraceCase cases[] = {
        {"QUIET", TRACE_QUIET, "quiet enabled"},
        {"CHECK", TRACE_CHECK, "check enabled"},
        {"DEBUG", TRACE_DEBUG, "debug enabled"},
        {"debug", TRACE_DEBUG, "debug enabled"},
        {"Debugging: on", TRACE_DEBUG, "debug enabled"},
        {"CHECKING everything", TRACE_CHECK, "check enabled"},
        {"CHECKPREVIE", TRACE_CHECK, "check enabled"},
        {"  \tDEBUG", TRACE_DEBUG, "debug enabled"},
        {"\t quieter", TRACE_QUIET, "quiet enabled"},
    };
    for (const TraceCase& c : cases) {
        filterOptions.traceLevel = c.level == TRACE_DEBUG ? TRACE_QUIET : TRACE_DEBUG;
        EXPECT_TRUE(applyOptionKeyword(c.line)) << c.line;
        EXPECT_EQ(c.level, filterOptions.traceLevel) << c.line;
        EXPECT_EQ(Lines{c.logLine}, newLogLines()) << c.line;
    }
}

TEST_F(OptionKeywordsTest, CheckPreviewIsNotTakenForCheck) {
    filterOptions.traceLevel = TRACE_QUIET;
    EXPECT_TRUE(applyOptionKeyword("checkpreview messages too"));
    EXPECT_TRUE(filterOptions.checkPreview);
    EXPECT_EQ(TRACE_QUIET, filterOptions.traceLevel);
}

TEST_F(OptionKeywordsTest, LinesThatDoNotBeginWithAKeywordChangeNothing) {
    FilterOptions before = filterOptions;
    for (const char* line : {"", "   ", "DEBU", "# DEBUG", "Subject: 2 \"DEBUG\"", "X-DEBUG",
                             "MAXSIZ 10", "USEBLOC 1", "B_INCLUDE_SENDER 2 list.txt"}) {
        EXPECT_FALSE(applyOptionKeyword(line)) << line;
    }
    EXPECT_EQ(before.traceLevel, filterOptions.traceLevel);
    EXPECT_EQ(before.maxSize, filterOptions.maxSize);
    EXPECT_EQ(before.useBlock, filterOptions.useBlock);
    EXPECT_TRUE(newLogLines().empty());
}

struct IntegerCase {
    const char* line;
    Setting<int32_t> FilterOptions::*setting;
    int32_t before;
    int32_t expected;
    const char* logLine;
};

TEST_F(OptionKeywordsTest, IntegerValuesAreReadClampedAndLogged) {
    const IntegerCase cases[] = {
        {"MAXSIZE 50", &FilterOptions::maxSize, 65536, 1024, "scanning max. 1024 bytes"},
        {"MAXSIZE 200000", &FilterOptions::maxSize, 65536, 131072, "scanning max. 131072 bytes"},
        {"MAXSIZE 131072", &FilterOptions::maxSize, 65536, 131072, "scanning max. 131072 bytes"},
        {"MAXSIZE   2048xyz ", &FilterOptions::maxSize, 65536, 2048, "scanning max. 2048 bytes"},
        {"maxsize +4000", &FilterOptions::maxSize, 65536, 4000, "scanning max. 4000 bytes"},
        {"MAXSIZE lots", &FilterOptions::maxSize, 65536, 1024, "scanning max. 1024 bytes"},
        {"MAXSIZE", &FilterOptions::maxSize, 8000, 8000, "scanning max. 8000 bytes"},
        {"MAXSIZE 99999999999", &FilterOptions::maxSize, 65536, 131072,
         "scanning max. 131072 bytes"},
        {"MAXSIZE 5000", &FilterOptions::maxSize, 65536, 5000, "scanning max. 5000 bytes"},
        {"MAXLINES -5", &FilterOptions::maxLines, 10, 0, "scanning max. 0 lines (0=unlimited)"},
        {"MAXLINES 300", &FilterOptions::maxLines, 0, 300, "scanning max. 300 lines (0=unlimited)"},
        {"MAXLINES", &FilterOptions::maxLines, 42, 42, "scanning max. 42 lines (0=unlimited)"},
        {"MAXLOGSIZE 1000", &FilterOptions::maxLogSize, 100000, 10240, "max. logsize 10240 bytes"},
        {"MAXLOGSIZE 99999999", &FilterOptions::maxLogSize, 100000, 10485760,
         "max. logsize 10485760 bytes"},
        {"MAXLOGSIZE 50000", &FilterOptions::maxLogSize, 100000, 50000, "max. logsize 50000 bytes"},
        {"MAXCOMMENT 5000", &FilterOptions::maxComment, 256, 4096,
         "max space reserved for comments: 4096"},
        {"MAXCOMMENT 4096", &FilterOptions::maxComment, 256, 4096,
         "max space reserved for comments: 4096"},
        {"MAXCOMMENT 99", &FilterOptions::maxComment, 256, 100,
         "max space reserved for comments: 100"},
        {"MAXCOMMENT 100", &FilterOptions::maxComment, 256, 100,
         "max space reserved for comments: 100"},
        {"MAXCOMMENT", &FilterOptions::maxComment, 256, 256,
         "max space reserved for comments: 256"},
    };
    for (const IntegerCase& c : cases) {
        filterOptions.*c.setting = c.before;
        EXPECT_TRUE(applyOptionKeyword(c.line)) << c.line;
        EXPECT_EQ(c.expected, filterOptions.*c.setting) << c.line;
        EXPECT_EQ(Lines{c.logLine}, newLogLines()) << c.line;
    }
}

struct ThresholdCase {
    const char* line;
    Setting<double> FilterOptions::*setting;
    double before;
    double expected;
    const char* logLine;
};

TEST_F(OptionKeywordsTest, ThresholdsAreReadUnclampedAndLoggedWithOneDecimal) {
    const ThresholdCase cases[] = {
        {"THRESHOLD_SPAM 5.5", &FilterOptions::thresholdSpam, 0.0, 5.5,
         "threshold for 'spam': >5.5"},
        {"THRESHOLD_SPAM not a number", &FilterOptions::thresholdSpam, 3.0, 0.0,
         "threshold for 'spam': >0.0"},
        {"THRESHOLD_SPAM", &FilterOptions::thresholdSpam, 7.0, 7.0, "threshold for 'spam': >7.0"},
        {"THRESHOLD_SPAM 1e1", &FilterOptions::thresholdSpam, 0.0, 10.0,
         "threshold for 'spam': >10.0"},
        {"THRESHOLD_SPAM 250000", &FilterOptions::thresholdSpam, 0.0, 250000.0,
         "threshold for 'spam': >250000.0"},
        {"THRESHOLD_SUSPECT 2.25", &FilterOptions::thresholdSuspect, -1.0, 2.25,
         "threshold for 'suspect': >2.2"},
        {"threshold_suspect -1", &FilterOptions::thresholdSuspect, 4.0, -1.0,
         "threshold for 'suspect': >-1.0"},
        {"THRESHOLD_WHITELISTED -3", &FilterOptions::thresholdWhitelisted, 99999.0, -3.0,
         "threshold for 'whitelisted': <-3.0"},
        {"THRESHOLD_WHITELISTED .5", &FilterOptions::thresholdWhitelisted, 99999.0, 0.5,
         "threshold for 'whitelisted': <0.5"},
    };
    for (const ThresholdCase& c : cases) {
        filterOptions.*c.setting = c.before;
        EXPECT_TRUE(applyOptionKeyword(c.line)) << c.line;
        EXPECT_EQ(c.expected, filterOptions.*c.setting) << c.line;
        EXPECT_EQ(Lines{c.logLine}, newLogLines()) << c.line;
    }
}

TEST_F(OptionKeywordsTest, UseBlockSetsTheBitsInRangeAndWarnsAboutOthers) {
    EXPECT_TRUE(applyOptionKeyword("USEBLOCK 1, 3, 40"));
    EXPECT_TRUE(filterOptions.useBlock);
    EXPECT_EQ(0x5u, filterOptions.blockMask);
    EXPECT_EQ((Lines{"conditional block enabled: 1", "conditional block enabled: 3",
                     "warning: conditional block value out of range (0-32): 40"}),
              newLogLines());
}

TEST_F(OptionKeywordsTest, UseBlockWithOnlyZeroWarnsButStillSwitchesOn) {
    filterOptions.blockMask = 0x2;
    EXPECT_TRUE(applyOptionKeyword("USEBLOCK 0"));
    EXPECT_TRUE(filterOptions.useBlock);
    EXPECT_EQ(0x2u, filterOptions.blockMask);
    EXPECT_EQ(Lines{"warning: conditional block value out of range (0-32): 0"}, newLogLines());
}

TEST_F(OptionKeywordsTest, UseBlockItemForms) {
    struct Case {
        const char* line;
        uint32_t mask;
        Lines log;
    };
    const Case cases[] = {
        {"USEBLOCK 32", 0x80000000u, {"conditional block enabled: 32"}},
        {"USEBLOCK 2 5", 0x2u, {"conditional block enabled: 2"}},
        {"USEBLOCK", 0u, {}},
        {"USEBLOCK 4,,6", 0x28u, {"conditional block enabled: 4", "conditional block enabled: 6"}},
        {"USEBLOCK -3,x",
         0u,
         {"warning: conditional block value out of range (0-32): -3",
          "warning: conditional block value out of range (0-32): 0"}},
    };
    for (const Case& c : cases) {
        filterOptions.blockMask = 0;
        filterOptions.useBlock = false;
        EXPECT_TRUE(applyOptionKeyword(c.line)) << c.line;
        EXPECT_TRUE(filterOptions.useBlock) << c.line;
        EXPECT_EQ(c.mask, filterOptions.blockMask) << c.line;
        EXPECT_EQ(c.log, newLogLines()) << c.line;
    }
}

TEST_F(OptionKeywordsTest, NoUseBlockClearsItsBitsAndKeepsUseBlockWhenOneWasInRange) {
    filterOptions.useBlock = true;
    filterOptions.blockMask = 0x5;
    EXPECT_TRUE(applyOptionKeyword("NOUSEBLOCK 3"));
    EXPECT_TRUE(filterOptions.useBlock);
    EXPECT_EQ(0x1u, filterOptions.blockMask);
    EXPECT_EQ(Lines{"conditional block disabled: 3"}, newLogLines());

    EXPECT_TRUE(applyOptionKeyword("NOUSEBLOCK 1, 99"));
    EXPECT_TRUE(filterOptions.useBlock);
    EXPECT_EQ(0x0u, filterOptions.blockMask);
    EXPECT_EQ((Lines{"conditional block disabled: 1",
                     "warning: conditional block value out of range (0-32): 99"}),
              newLogLines());
}

TEST_F(OptionKeywordsTest, NoUseBlockWithoutABlockInRangeSwitchesUseBlockOff) {
    for (const char* line : {"NOUSEBLOCK", "NOUSEBLOCK 99"}) {
        filterOptions.useBlock = true;
        filterOptions.blockMask = 0x5;
        EXPECT_TRUE(applyOptionKeyword(line)) << line;
        EXPECT_FALSE(filterOptions.useBlock) << line;
        EXPECT_EQ(0x5u, filterOptions.blockMask) << line;
    }
    EXPECT_EQ(Lines{"warning: conditional block value out of range (0-32): 99"}, newLogLines());
}

}  // namespace
}  // namespace cw
