// Exit statuses and error messages: 0 done, 1 usage error, 2 input error.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "base/version.h"
#include "tool_runner.h"

namespace {

struct StatusCase {
    std::string arguments;
    int status;
    std::string message;  // a part of standard error
};

class ExitStatusTest : public ScanToolTest {
  protected:
    void expectStatuses(const std::vector<StatusCase>& cases) {
        for (const StatusCase& c : cases) {
            ToolRun result = run(c.arguments);
            EXPECT_EQ(c.status, result.status) << c.arguments << "\n" << result.err;
            EXPECT_NE(std::string::npos, result.err.find(c.message))
                << c.arguments << "\nwanted: " << c.message << "\nstderr: " << result.err;
        }
    }
};

TEST_F(ExitStatusTest, UsageErrorsExitWithOne) {
    writeRules("Subject: \"x\"\r\n");
    std::string message = shellQuoted(writeMail("m.eml", "Subject: x\r\n\r\n"));
    std::string folder = shellQuoted(config);
    expectStatuses({
        {"", 1, "no configuration folder given"},
        {message, 1, "no configuration folder given"},
        {"--config", 1, "option --config needs a value"},
        {"--config " + folder, 1, "no INPUT given"},
        {"--config " + folder + " --bogus " + message, 1, "unknown option --bogus"},
        {"--config " + folder + " --lint " + message, 1, "takes no INPUT"},
        {"--config " + folder + " --fetch-type pop4 " + message, 1, "option --fetch-type needs"},
        {"--config " + folder + " --json=yes " + message, 1, "option --json takes no value"},
    });
}

TEST_F(ExitStatusTest, HelpExitsWithZeroAndNamesTheStatuses) {
    ToolRun result = run("--help");
    EXPECT_EQ(0, result.status);
    EXPECT_TRUE(result.out.starts_with("Usage: cobbleweave-scan --config FOLDER")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("  0  done\n  1  usage error\n  2  input error"))
        << result.out;
}

// The version the build writes once, the same as the plug-in's.
TEST_F(ExitStatusTest, VersionPrintsTheProgramsVersionAndExitsWithZero) {
    ToolRun result = run("--version");
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("cobbleweave-scan " COBBLEWEAVE_VERSION "\n", result.out);
}

TEST_F(ExitStatusTest, ConfigurationAndPluginProblemsExitWithTwo) {
    std::string message = shellQuoted(writeMail("m.eml", "Subject: x\r\n\r\n"));
    std::string missing = scratch + "no-such-folder";
    std::string notFolder = writeMail("not-a-folder.txt", "");
    std::string longFolder = config + std::string(240, 'x');
    std::filesystem::create_directory(longFolder);
    expectStatuses({
        {"--config " + shellQuoted(missing) + " " + message, 2,
         "configuration folder '" + missing + "' does not exist"},
        {"--config " + shellQuoted(notFolder) + " " + message, 2,
         "configuration folder '" + notFolder + "' is not a folder"},
        {"--config " + shellQuoted(longFolder) + " " + message, 2,
         "configuration folder path longer than 242 characters"},
        {"--config " + shellQuoted(config) + " --plugin " + shellQuoted(scratch + "libnothing.so") +
             " " + message,
         2, "cannot find the plug-in library '" + scratch + "libnothing.so'"},
        {"--config " + shellQuoted(config) + " --plugin " + shellQuoted(notFolder) + " " + message,
         2, "cannot load " + notFolder},
    });
}

TEST_F(ExitStatusTest, InputErrorsExitWithTwoAndTheOtherInputsAreStillScanned) {
    writeRules("Subject: 6.0 \"x\"\r\n");
    std::string good = writeMail("good.eml", "Subject: x\r\n\r\n");
    std::string missing = mail + "missing.eml";
    std::string notMbox = writeMail("plain.mbox", "Subject: x\r\n\r\nbody\r\n");
    std::string forced = writeMail("forced.eml", "Subject: x\r\n\r\nbody\r\n");
    ToolRun missingRun = scan(shellQuoted(missing) + " " + shellQuoted(good));
    EXPECT_EQ(2, missingRun.status);
    EXPECT_NE(std::string::npos, missingRun.err.find("cannot read '" + missing + "'"))
        << missingRun.err;
    EXPECT_TRUE(missingRun.out.starts_with(good + "\tspam\t")) << missingRun.out;
    EXPECT_NE(std::string::npos, missingRun.err.find("; 1 input could not be read"))
        << missingRun.err;

    ToolRun malformed = scan(shellQuoted(notMbox) + " " + shellQuoted(good));
    EXPECT_EQ(2, malformed.status);
    EXPECT_NE(std::string::npos,
              malformed.err.find("'" + notMbox +
                                 "' is not an mbox file: it does not begin with a \"From \" line"))
        << malformed.err;
    EXPECT_TRUE(malformed.out.starts_with(good + "\tspam\t")) << malformed.out;

    ToolRun forcedRun = scan("--mbox " + shellQuoted(forced));
    EXPECT_EQ(2, forcedRun.status);
    EXPECT_NE(std::string::npos, forcedRun.err.find("is not an mbox file")) << forcedRun.err;
    EXPECT_EQ("", forcedRun.out);
}

// A socket cannot be opened as a file, not even by root.
TEST_F(ExitStatusTest, UnreadableFileExitsWithTwo) {
    writeRules("Subject: \"x\"\r\n");
    std::string path = mail + "socket.eml";
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ToolRun result = scan(shellQuoted(path));
    close(fd);
    EXPECT_EQ(2, result.status);
    EXPECT_NE(std::string::npos, result.err.find("cannot open '" + path + "': ")) << result.err;
    EXPECT_EQ("", result.out);
}

TEST_F(ExitStatusTest, FileWithoutReadPermissionExitsWithTwo) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root reads every file";
    }
    writeRules("Subject: \"x\"\r\n");
    std::string path = writeMail("secret.eml", "Subject: x\r\n\r\n");
    ASSERT_EQ(0, chmod(path.c_str(), 0));
    ToolRun result = scan(shellQuoted(path));
    EXPECT_EQ(2, result.status);
    EXPECT_NE(std::string::npos, result.err.find("cannot open '" + path + "': Permission denied"))
        << result.err;
}

}  // namespace
