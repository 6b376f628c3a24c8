// --spam and --ham: each rule's hits in labelled mail, recall and false
// positives, checked against counts made by hand for small folders.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "tool_runner.h"

namespace {

class HitStatisticsTest : public ScanToolTest {
  protected:
    // Rules of every kind the table must name: plain rules with and without a
    // comment, a chain link (not listed), a negated exists test, a whitelist
    // rule, rules made from a list, and a rule of local_filters.dat.
    void writeLabelledRules() {
        writeRules(
            "THRESHOLD_SPAM 5.0\r\n"
            "# test rules\r\n"
            "Subject: 3.0 {viagra} [pills]\r\n"
            "@From: {@spam\\.example}\r\n"
            "Subject: 3.0 \"offer\" [offer]\r\n"
            "Header: 1.0 \"X-Mailer:\" [mailer]\r\n"
            "-Header: 2.5 \"Message-ID:\" [no id]\r\n"
            "Body: 2.0 {click here}\r\n"
            "Subject: 1.0 {xyzzy} [never]\r\n"
            "+From: -4.0 \"friend@\" [friend]\r\n"
            "B_INCLUDE_SUBJECT 2.0 subjects.txt\r\n");
        writeFile(config + "subjects.txt", "lose weight\r\ncheap pills\r\n");
        writeFile(config + "local_filters.dat", "Body: 1.5 \"unsubscribe\" [unsub]\r\n");
    }

    void writeMessage(const std::string& name, const std::string& subject, const std::string& from,
                      const std::string& extraHeaders, const std::string& body) {
        writeMail(name, "From: " + from + "\r\nSubject: " + subject + "\r\n" + extraHeaders +
                            "\r\n" + body);
    }

    // Scores per message, by hand (rules in brackets):
    //   s1 8.5 marked [pills mailer no-id click]   h1 1.0 [mailer]
    //   s2 6.5 marked [offer click unsub]          h2 8.5 marked [pills offer no-id]
    //   s3 6.5 marked [no-id click list:1]         h3 3.5 [click unsub]
    //   s4 -1.0 whitelisted [pills friend]         h4 1.0 [mailer]
    //                                              h5 -4.0 whitelisted [friend]
    void writeLabelledMail() {
        const std::string id = "Message-ID: <1@x.example>\r\n";
        const std::string mailer = "X-Mailer: bulk 1.0\r\n";
        writeMessage("spam/s1.eml", "cheap viagra now", "a@spam.example", mailer,
                     "click here to buy\r\n");
        writeMessage("spam/s2.eml", "special offer", "b@spam.example", id,
                     "click here\r\nunsubscribe\r\n");
        writeMessage("spam/s3.eml", "lose weight fast", "c@other.example", "", "click here\r\n");
        writeMessage("spam/s4.eml", "viagra offer", "friend@x.example", id, "plain text\r\n");
        writeMessage("ham/h1.eml", "meeting", "d@ham.example", id + mailer, "see you\r\n");
        writeMessage("ham/h2.eml", "re: viagra offer", "x@spam.example", "", "hi\r\n");
        writeMessage("ham/h3.eml", "hello", "e@ham.example", id, "to unsubscribe click here\r\n");
        writeMessage("ham/h4.eml", "hi", "f@ham.example", id + mailer, "nothing\r\n");
        writeMessage("ham/h5.eml", "hello", "friend@y.example", id, "hello\r\n");
    }

    ToolRun scanLabelled(const std::string& options = "") {
        return scan(options + "--spam " + shellQuoted(mail + "spam") + " --ham " +
                    shellQuoted(mail + "ham"));
    }
};

TEST_F(HitStatisticsTest, TableCountsEachRuleAndTheVerdicts) {
    writeLabelledRules();
    writeLabelledMail();
    ToolRun result = scanLabelled();
    ASSERT_EQ(0, result.status) << result.err;
    EXPECT_EQ(
        "Rules that score, in 4 spam and 5 ham messages, by S/O = spam% / (spam% + ham%):\n"
        "\n"
        "  spam    spam%    ham     ham%    S/O  score  rule\n"
        "     1   25.00%      0    0.00%   1.000    2.0  subjects.txt:1 [BL]\n"
        "     3   75.00%      1   20.00%   0.789    2.0  filters.dat:8 Body: 2.0 {click here}\n"
        "     2   50.00%      1   20.00%   0.714    3.0  filters.dat:3 [pills]\n"
        "     2   50.00%      1   20.00%   0.714    2.5  filters.dat:7 [no id]\n"
        "     1   25.00%      1   20.00%   0.556    3.0  filters.dat:5 [offer]\n"
        "     1   25.00%      1   20.00%   0.556   -4.0  filters.dat:10 [friend]\n"
        "     1   25.00%      1   20.00%   0.556    1.5  local_filters.dat:1 [unsub]\n"
        "     1   25.00%      2   40.00%   0.385    1.0  filters.dat:6 [mailer]\n"
        "     0    0.00%      0    0.00%       -    1.0  filters.dat:9 [never]\n"
        "     0    0.00%      0    0.00%       -    2.0  subjects.txt:2 [BL]\n"
        "\n"
        "Never hit (2):\n"
        "  filters.dat:9 [never]\n"
        "  subjects.txt:2 [BL]\n"
        "Hit against their score (more ham than spam, or more spam than ham for a negative "
        "score) (2):\n"
        "  filters.dat:6 [mailer] (spam 25.00%, ham 40.00%)\n"
        "  filters.dat:10 [friend] (spam 25.00%, ham 20.00%)\n"
        "\n"
        "Verdicts at THRESHOLD_SPAM 5.0:\n"
        "  spam      3 of     4 marked as spam: recall 75.00%\n"
        "  ham       1 of     5 marked as spam: false positives 20.00%\n"
        "Per folder:\n"
        "  spam      3 of     4 marked as spam: recall 75.00%  " +
            mail +
            "spam\n"
            "  ham       1 of     5 marked as spam: false positives 20.00%  " +
            mail + "ham\n",
        result.out);
    EXPECT_FALSE(std::filesystem::exists(config + "statistics.dat"));
    EXPECT_EQ(std::string::npos, readBytes(config + "cobbleweave.log").find("[pills]"))
        << "the rule lines are logged in the scratch folder, not the user's";
}

TEST_F(HitStatisticsTest, JsonHoldsTheSameFiguresAndEveryMessagesHits) {
    writeLabelledRules();
    writeLabelledMail();
    ToolRun result = scanLabelled("--json ");
    ASSERT_EQ(0, result.status) << result.err;
    const std::string expectedParts[] = {
        "{\"messages\":{\"spam\":4,\"ham\":5},\"markedSpam\":{\"spam\":3,\"ham\":1},"
        "\"recall\":0.75,\"falsePositiveRate\":0.2,\"spamThreshold\":5.0,\"rules\":[\n",
        "{\"id\":4,\"file\":\"" + config +
            "filters.dat\",\"line\":8,\"comment\":\"\","
            "\"rule\":\"Body: 2.0 {click here}\",\"score\":2,\"spamHits\":3,\"hamHits\":1,"
            "\"spamShare\":0.75,\"hamShare\":0.2,\"spamRatio\":0.789474}",
        "{\"id\":5,\"file\":\"" + config +
            "filters.dat\",\"line\":9,\"comment\":\"never\","
            "\"rule\":\"Subject: 1.0 {xyzzy} [never]\",\"score\":1,\"spamHits\":0,\"hamHits\":0,"
            "\"spamShare\":0,\"hamShare\":0,\"spamRatio\":null}",
        "{\"id\":7,\"file\":\"" + config +
            "subjects.txt\",\"line\":1,\"comment\":\"BL\","
            "\"rule\":\"Subject: 2.0 \\\"lose weight\\\" [BL]\",\"score\":2,",
        "],\"neverHit\":[5,8],\"againstScore\":[2,6],\"folders\":[\n",
        "{\"path\":\"" + mail +
            "spam\",\"label\":\"spam\",\"messages\":4,\"markedSpam\":3,\"recall\":0.75},\n"
            "{\"path\":\"" +
            mail +
            "ham\",\"label\":\"ham\",\"messages\":5,\"markedSpam\":1,"
            "\"falsePositiveRate\":0.2}],\"scans\":[\n",
        "{\"file\":\"" + mail +
            "spam/s1.eml\",\"folder\":0,\"label\":\"spam\",\"score\":8.5,"
            "\"markedSpam\":true,\"markedWhitelisted\":false,\"hits\":[0,2,3,4]}",
        "{\"file\":\"" + mail +
            "spam/s4.eml\",\"folder\":0,\"label\":\"spam\",\"score\":-1.0,"
            "\"markedSpam\":false,\"markedWhitelisted\":true,\"hits\":[0,6]}",
        "{\"file\":\"" + mail +
            "ham/h3.eml\",\"folder\":1,\"label\":\"ham\",\"score\":3.5,"
            "\"markedSpam\":false,\"markedWhitelisted\":false,\"hits\":[4,9]}",
        "{\"file\":\"" + mail +
            "ham/h5.eml\",\"folder\":1,\"label\":\"ham\",\"score\":-4.0,"
            "\"markedSpam\":false,\"markedWhitelisted\":true,\"hits\":[6]}]}\n",
    };
    for (const std::string& part : expectedParts) {
        EXPECT_NE(std::string::npos, result.out.find(part)) << part << "\n---\n" << result.out;
    }
}

// Rules with the same text are told apart by their order in the scan.
TEST_F(HitStatisticsTest, IdenticalRulesCountOnTheirOwnLines) {
    writeRules("Subject: 3.0 {win}\r\nSubject: 3.0 {win}\r\n");
    writeMessage("spam/s.eml", "you win", "a@x.example", "", "x\r\n");
    writeMessage("ham/h.eml", "lunch", "b@x.example", "", "x\r\n");
    ToolRun result = scanLabelled();
    ASSERT_EQ(0, result.status) << result.err;
    EXPECT_NE(std::string::npos,
              result.out.find("     1  100.00%      0    0.00%   1.000    3.0  filters.dat:1 "
                              "Subject: 3.0 {win}\n"
                              "     1  100.00%      0    0.00%   1.000    3.0  filters.dat:2 "
                              "Subject: 3.0 {win}\n"))
        << result.out;
    EXPECT_NE(std::string::npos, result.out.find("recall 100.00%")) << result.out;
}

// A list's rules carry its score with one decimal as the plug-in writes it
// (2.25 as 2.2), and the table gives the score they score with.
TEST_F(HitStatisticsTest, ListRulesShowTheScoreTheirRulesCarry) {
    writeRules("THRESHOLD_SPAM 2.0\r\nB_INCLUDE_REG_SUBJECT 2.25 subjects.txt\r\n");
    writeFile(config + "subjects.txt", "w[i1]n\r\n");
    writeMessage("spam/s.eml", "you win", "a@x.example", "", "x\r\n");
    writeMessage("ham/h.eml", "lunch", "b@x.example", "", "x\r\n");
    ToolRun result = scanLabelled();
    ASSERT_EQ(0, result.status) << result.err;
    EXPECT_NE(
        std::string::npos,
        result.out.find("     1  100.00%      0    0.00%   1.000    2.2  subjects.txt:1 [BL]\n"))
        << result.out;
    EXPECT_NE(std::string::npos, result.out.find("recall 100.00%")) << result.out;
}

// Recall and false positives per argument: h2 is marked (8.5), h3 is not (3.5).
TEST_F(HitStatisticsTest, EachArgumentIsCountedOnItsOwn) {
    writeLabelledRules();
    writeLabelledMail();
    const std::string arguments = "--spam " + shellQuoted(mail + "spam") + " --ham " +
                                  shellQuoted(mail + "ham/h2.eml") + " --ham " +
                                  shellQuoted(mail + "ham/h3.eml");
    ToolRun text = scan(arguments);
    ASSERT_EQ(0, text.status) << text.err;
    EXPECT_NE(std::string::npos,
              text.out.find("Per folder:\n"
                            "  spam      3 of     4 marked as spam: recall 75.00%  " +
                            mail +
                            "spam\n"
                            "  ham       1 of     1 marked as spam: false positives 100.00%  " +
                            mail +
                            "ham/h2.eml\n"
                            "  ham       0 of     1 marked as spam: false positives 0.00%  " +
                            mail + "ham/h3.eml\n"))
        << text.out;
    ToolRun json = scan(arguments + " --json");
    ASSERT_EQ(0, json.status) << json.err;
    EXPECT_NE(std::string::npos, json.out.find("/ham/h3.eml\",\"folder\":2,")) << json.out;

    std::filesystem::create_directory(mail + "empty");
    ToolRun empty = scan(arguments + " --ham " + shellQuoted(mail + "empty"));
    EXPECT_EQ(2, empty.status);
    EXPECT_EQ("cobbleweave-scan: no mail to read for --ham: '" + mail + "empty' holds no files\n",
              empty.err);
}

// The log writes a backslash before an x as \x5c: such rules are still found
// in their files, as are the rules with other backslashes.
TEST_F(HitStatisticsTest, RulesHoldingBackslashesAreFoundInTheirFiles) {
    writeRules("Subject: 3.0 {\\x76iagra} [hex]\r\nSubject: 2.0 {\\bcheap\\b} [cheap]\r\n");
    writeMessage("spam/s.eml", "cheap viagra", "a@x.example", "", "x\r\n");
    writeMessage("ham/h.eml", "lunch", "b@x.example", "", "x\r\n");
    ToolRun result = scanLabelled();
    ASSERT_EQ(0, result.status) << result.err;
    EXPECT_NE(std::string::npos,
              result.out.find("     1  100.00%      0    0.00%   1.000    3.0  filters.dat:1 "
                              "[hex]\n"
                              "     1  100.00%      0    0.00%   1.000    2.0  filters.dat:2 "
                              "[cheap]\n"))
        << result.out;
}

TEST_F(HitStatisticsTest, MissingOrEmptyInputsExitWithTwoBeforeScanning) {
    writeRules("Subject: {x}\r\n");
    writeMessage("spam/s.eml", "x", "a@x.example", "", "x\r\n");
    std::filesystem::create_directory(mail + "empty");
    std::filesystem::create_directory(mail + "hidden-only");
    writeMail("hidden-only/.note", "x");
    struct Case {
        std::string ham;
        std::string error;
    } cases[] = {
        {mail + "missing",
         "cobbleweave-scan: cannot read '" + mail + "missing': No such file or directory\n"},
        {mail + "empty",
         "cobbleweave-scan: no mail to read for --ham: '" + mail + "empty' holds no files\n"},
        {mail + "hidden-only",
         "cobbleweave-scan: no mail to read for --ham: '" + mail + "hidden-only' holds no files\n"},
    };
    for (const Case& test : cases) {
        ToolRun result =
            scan("--spam " + shellQuoted(mail + "spam") + " --ham " + shellQuoted(test.ham));
        EXPECT_EQ(2, result.status) << test.ham;
        EXPECT_EQ("", result.out) << test.ham;
        EXPECT_EQ(test.error, result.err) << test.ham;
    }
    EXPECT_FALSE(std::filesystem::exists(config + "cobbleweave.log")) << "nothing was loaded";
}

// Odd files among the mail: a FIFO named as an input is passed over with a
// warning rather than waited on; a huge file (1 GB, sparse) is read only as far
// as the plug-in needs it; a folder that cannot be listed is passed over.
TEST_F(HitStatisticsTest, WhatCannotBeReadIsPassedOverWithAWarning) {
    writeRules("Subject: 3.0 {win} [win]\r\n");
    writeMessage("spam/s.eml", "you win", "a@x.example", "", "x\r\n");
    writeMessage("ham/h.eml", "lunch", "b@x.example", "", "x\r\n");
    FILE* huge = std::fopen((mail + "spam/huge.eml").c_str(), "wb");
    ASSERT_NE(nullptr, huge);
    ASSERT_EQ(0, ftruncate(fileno(huge), 1L << 30));
    std::fclose(huge);
    const std::string locked = mail + "ham/locked";
    std::filesystem::create_directory(locked);
    writeMail("ham/locked/h2.eml", "Subject: lunch\r\n\r\nx\r\n");
    ASSERT_EQ(0, chmod(locked.c_str(), 0));
    const std::string fifo = mail + "fifo";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));

    ToolRun result = scan("--spam " + shellQuoted(mail + "spam") + " --ham " + shellQuoted(fifo));
    EXPECT_EQ(2, result.status);
    EXPECT_EQ("cobbleweave-scan: warning: skipped '" + fifo +
                  "': not a regular file\ncobbleweave-scan: no mail to read for --ham: '" + fifo +
                  "' holds no files\n",
              result.err);

    result = scanLabelled();
    chmod(locked.c_str(), 0700);
    ASSERT_EQ(0, result.status) << result.err;
    EXPECT_NE(std::string::npos, result.out.find("in 2 spam and ")) << result.out;
    if (geteuid() != 0) {  // root lists every folder
        EXPECT_NE(std::string::npos,
                  result.err.find("cobbleweave-scan: warning: skipped folder '" + locked + "': "))
            << result.err;
    }
}

// A log or statistics file the plug-in refuses (here folders) is said once on
// standard error: the plug-in cannot say it in a log it cannot write.
TEST_F(HitStatisticsTest, UnusableLogOrStatisticsFilesAreSaidOnce) {
    writeRules("Subject: 3.0 {win} [win]\r\n");
    writeMessage("spam/s.eml", "you win", "a@x.example", "", "x\r\n");
    std::filesystem::create_directory(config + "cobbleweave.log");
    std::filesystem::create_directory(config + "statistics.dat");
    ToolRun result = scan(shellQuoted(mail + "spam/s.eml"));
    EXPECT_EQ(0, result.status);
    EXPECT_TRUE(result.err.starts_with(
        "cobbleweave-scan: warning: '" + config +
        "cobbleweave.log' is not a regular file: the plug-in writes no log\n"
        "cobbleweave-scan: warning: '" +
        config +
        "statistics.dat' is not a regular file: the plug-in keeps no statistics\n1 message: "))
        << result.err;
}

TEST_F(HitStatisticsTest, LabelsMustComeInPairsAndAloneUsageErrorsExitWithOne) {
    writeRules("Subject: {x}\r\n");
    const std::string folder = shellQuoted(mail);
    const std::string arguments[] = {
        "--spam " + folder,
        "--ham " + folder,
        "--spam " + folder + " --ham " + folder + " " + folder,
        "--spam " + folder + " --ham " + folder + " --lint",
        "--spam",
    };
    for (const std::string& argument : arguments) {
        ToolRun result = scan(argument);
        EXPECT_EQ(1, result.status) << argument;
        EXPECT_TRUE(result.err.starts_with("cobbleweave-scan: ")) << argument << result.err;
    }
}

}  // namespace
