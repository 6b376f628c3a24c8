#include "config/include_keywords.h"

#include <gtest/gtest.h>

#include <string>

#include "base/filter_options.h"
#include "config_load_fixture.h"

namespace cw {
namespace {

class IncludeKeywordsTest : public ConfigLoadTest {
  protected:
    std::string readingMain() const {
        return "Cobbleweave 3.0.0 - reading configuration (1): " + folder + "filters.dat";
    }
};

TEST_F(IncludeKeywordsTest, SenderListWithScoreMakesQuotedRulesBeforeTheIncludeLine) {
    writeConfigFile("senders.txt", "alice@example.org\nbob@example.net\n");
    int32_t handle = load("first\nB_INCLUDE_SENDER 2.5 senders.txt\nlast\n");
    EXPECT_EQ((Lines{"first", "Any-Sender: 2.5 \"alice@example.org\" [BL]",
                     "Any-Sender: 2.5 \"bob@example.net\" [BL]", "B_INCLUDE_SENDER 2.5 senders.txt",
                     "last"}),
              storedLines(handle));
    EXPECT_EQ((Origins{ORIGIN_MAIN, ORIGIN_INCLUDED, ORIGIN_INCLUDED, ORIGIN_MAIN, ORIGIN_MAIN}),
              storedOrigins(handle));
    EXPECT_EQ((Lines{readingMain(), "include blacklist (Any-Sender:): " + folder + "senders.txt"}),
              logLines());
}

TEST_F(IncludeKeywordsTest, EachKeywordHasItsLabelAndForm) {
    struct Case {
        const char* keyword;
        const char* rule;
        const char* label;
    };
    const Case cases[] = {
        {"B_INCLUDE_SENDER", "Any-Sender: 1.0 \"^win\" [BL]", "Any-Sender:"},
        {"B_INCLUDE_SUBJECT", "Subject: 1.0 \"^win\" [BL]", "Subject:"},
        {"B_INCLUDE_REG_SENDER", "Any-Sender: 1.0 {^win} [BL]", "Any-Sender:"},
        {"B_INCLUDE_REG_SUBJECT", "Subject: 1.0 {^win} [BL]", "Subject:"},
        {"B_INCLUDE_LIST", "^win", "complete rule file"},
    };
    writeConfigFile("list.txt", "^win\n");
    for (const Case& c : cases) {
        writeFileBytes(folder + "cobbleweave.log", "");
        int32_t handle = load(std::string(c.keyword) + " list.txt\n");
        EXPECT_EQ((Lines{c.rule, std::string(c.keyword) + " list.txt"}), storedLines(handle))
            << c.keyword;
        EXPECT_EQ((Lines{readingMain(), std::string("include blacklist (") + c.label +
                                            "): " + folder + "list.txt"}),
                  logLines())
            << c.keyword;
    }
}

TEST_F(IncludeKeywordsTest, TheScoreIsReadOnlyWhenTheArgumentBeginsWithADigit) {
    struct Case {
        const char* includeLine;
        const char* listName;
        const char* rule;
    };
    const Case cases[] = {
        {"B_INCLUDE_SENDER 2.25 a.txt", "a.txt", "Any-Sender: 2.2 \"x\" [BL]"},
        {"B_INCLUDE_SENDER 3 a.txt", "a.txt", "Any-Sender: 3.0 \"x\" [BL]"},
        {"B_INCLUDE_SENDER 10name.txt", "name.txt", "Any-Sender: 10.0 \"x\" [BL]"},
        {"B_INCLUDE_SENDER 2.5.7 a.txt", "a.txt", "Any-Sender: 2.5 \"x\" [BL]"},
        {"B_INCLUDE_SENDER -2 minus.txt", "-2 minus.txt", "Any-Sender: 1.0 \"x\" [BL]"},
        {"B_INCLUDE_SENDER +2.txt", "+2.txt", "Any-Sender: 1.0 \"x\" [BL]"},
        {"B_INCLUDE_SENDER .5.txt", ".5.txt", "Any-Sender: 1.0 \"x\" [BL]"},
        {"  b_include_sender\t 0.5 \t a.txt  ", "a.txt", "Any-Sender: 0.5 \"x\" [BL]"},
    };
    for (const Case& c : cases) {
        writeConfigFile(c.listName, "x\n");
        int32_t handle = load(std::string(c.includeLine) + "\n");
        Lines lines = storedLines(handle);
        ASSERT_EQ(2u, lines.size()) << c.includeLine;
        EXPECT_EQ(c.rule, lines[0]) << c.includeLine;
    }
}

TEST_F(IncludeKeywordsTest, ListLinesAreTrimmedAndBlankOnesMakeNoRule) {
    writeConfigFile("subjects.txt", "\n   \n\t cheap pills \t\r\n\r\n  \nwin big\n");
    int32_t handle = load("B_INCLUDE_SUBJECT 4 subjects.txt\n");
    EXPECT_EQ((Lines{"Subject: 4.0 \"cheap pills\" [BL]", "Subject: 4.0 \"win big\" [BL]",
                     "B_INCLUDE_SUBJECT 4 subjects.txt"}),
              storedLines(handle));
}

TEST_F(IncludeKeywordsTest, CompleteRuleFileStoresEachTrimmedLineAsItIs) {
    writeConfigFile("rules.txt", "  Subject: 3 \"offer\"  \n\n\tBody: 2 {x+} [spam]\n");
    int32_t handle = load("B_INCLUDE_LIST rules.txt\n");
    EXPECT_EQ((Lines{"Subject: 3 \"offer\"", "Body: 2 {x+} [spam]", "B_INCLUDE_LIST rules.txt"}),
              storedLines(handle));
    EXPECT_EQ((Origins{ORIGIN_INCLUDED, ORIGIN_INCLUDED, ORIGIN_MAIN}), storedOrigins(handle));
    EXPECT_EQ(
        (Lines{readingMain(), "include blacklist (complete rule file): " + folder + "rules.txt"}),
        logLines());
}

TEST_F(IncludeKeywordsTest, KeywordLinesInAListChangeNothing) {
    writeConfigFile("rules.txt", "DEBUG\nMAXSIZE 2000\nB_INCLUDE_LIST rules.txt\n");
    int32_t handle = load("B_INCLUDE_LIST rules.txt\n");
    EXPECT_EQ(TRACE_QUIET, filterOptions.traceLevel);
    EXPECT_EQ(65536, filterOptions.maxSize);
    EXPECT_EQ(
        (Lines{"DEBUG", "MAXSIZE 2000", "B_INCLUDE_LIST rules.txt", "B_INCLUDE_LIST rules.txt"}),
        storedLines(handle));
    EXPECT_EQ(
        (Lines{readingMain(), "include blacklist (complete rule file): " + folder + "rules.txt"}),
        logLines());
}

TEST_F(IncludeKeywordsTest, AListFoundNowhereLogsBothFailures) {
    int32_t handle = load("B_INCLUDE_SENDER 2 missing.txt\n");
    EXPECT_EQ(Lines{"B_INCLUDE_SENDER 2 missing.txt"}, storedLines(handle));
    EXPECT_EQ((Lines{readingMain(), "include blacklist failed: " + folder + "missing.txt",
                     "trying application folder...",
                     "include blacklist (Any-Sender:): " + moduleFolderPath + "missing.txt",
                     "include blacklist failed: " + moduleFolderPath + "missing.txt"}),
              logLines());
}

TEST_F(IncludeKeywordsTest, AListMissingBesideTheRuleFileIsTakenFromTheModuleFolder) {
    writeModuleFile("shared.txt", "spammer@example.com\n");
    int32_t handle = load("B_INCLUDE_REG_SENDER 5 shared.txt\n");
    EXPECT_EQ(
        (Lines{"Any-Sender: 5.0 {spammer@example.com} [BL]", "B_INCLUDE_REG_SENDER 5 shared.txt"}),
        storedLines(handle));
    EXPECT_EQ((Lines{readingMain(), "include blacklist failed: " + folder + "shared.txt",
                     "trying application folder...",
                     "include blacklist (Any-Sender:): " + moduleFolderPath + "shared.txt"}),
              logLines());
}

TEST_F(IncludeKeywordsTest, ANameWithAPathSeparatorIsUsedUnchanged) {
    std::string elsewhere = makeScratchFolder();
    writeFileBytes(elsewhere + "list.txt", "x\n");
    writeConfigFile("list.txt", "beside\n");
    int32_t handle = load("B_INCLUDE_SUBJECT " + elsewhere + "list.txt\n");
    EXPECT_EQ("Subject: 1.0 \"x\" [BL]", storedLines(handle)[0]);
    EXPECT_EQ((Lines{readingMain(), "include blacklist (Subject:): " + elsewhere + "list.txt"}),
              logLines());
}

TEST_F(IncludeKeywordsTest, ListsOfTheLocalRuleFileAreLookedForBesideIt) {
    writeModuleFile("local_filters.dat", "B_INCLUDE_SUBJECT local.txt\n");
    writeModuleFile("local.txt", "from module\n");
    writeConfigFile("local.txt", "from folder\n");
    int32_t handle = load("main\n");
    EXPECT_EQ((Lines{"main", "Subject: 1.0 \"from module\" [BL]", "B_INCLUDE_SUBJECT local.txt"}),
              storedLines(handle));
    EXPECT_EQ((Origins{ORIGIN_MAIN, ORIGIN_INCLUDED, ORIGIN_LOCAL}), storedOrigins(handle));
}

TEST_F(IncludeKeywordsTest, TheScoreIsTracedForEveryFormattedRuleAtDebug) {
    writeConfigFile("senders.txt", "a@example.org\nb@example.org\n");
    writeConfigFile("rules.txt", "Body: 1 {x}\n");
    load("DEBUG\nB_INCLUDE_SENDER 2.5 senders.txt\nB_INCLUDE_LIST rules.txt\n");
    EXPECT_EQ((Lines{readingMain(), "debug enabled",
                     "include blacklist (Any-Sender:): " + folder + "senders.txt",
                     "score for included rules: 2.5", "score for included rules: 2.5",
                     "include blacklist (complete rule file): " + folder + "rules.txt",
                     "new config handle: 1", "number of active configs: 1", "<<< loadConfig"}),
              logLines());
}

TEST_F(IncludeKeywordsTest, AGeneratedRuleLongerThan4095BytesIsSkippedWithALogLine) {
    // "Any-Sender: 1.0 \"" and "\" [BL]" add 23 bytes to the list line.
    std::string fits(4072, 'f');
    std::string tooLong(4073, 't');
    writeConfigFile("senders.txt", fits + "\n" + tooLong + "\nshort\n");
    int32_t handle = load("B_INCLUDE_SENDER senders.txt\n");
    Lines lines = storedLines(handle);
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(4095u, lines[0].size());
    EXPECT_EQ("Any-Sender: 1.0 \"short\" [BL]", lines[1]);
    Lines log = logLines();
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ("include blacklist: rule too long (4096 bytes), skipped: Any-Sender: 1.0 \"" +
                  std::string(256 - 17, 't'),
              log[2]);
}

TEST_F(IncludeKeywordsTest, ListLinesLongerThanAPieceGoOnAsTheNextRule) {
    writeConfigFile("rules.txt", std::string(5000, 'r') + "\n");
    int32_t handle = load("B_INCLUDE_LIST rules.txt\n");
    EXPECT_EQ((Lines{std::string(4094, 'r'), std::string(906, 'r'), "B_INCLUDE_LIST rules.txt"}),
              storedLines(handle));
}

}  // namespace
}  // namespace cw
