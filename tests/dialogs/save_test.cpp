// Saving the editor's text as the host asks for it: the file, its backup, and
// the failures a user meets (a read-only folder, a file another program holds).
#include <atomic>
#include <thread>

#include "dialog_host.h"
#include "wine_unix.h"

namespace {

const char* const OLD_RULES = "~Subject: \"old rule\" 5\r\n";

// The system's own text for an error, as the box must show it.
std::string systemText(DWORD error) {
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
    return text;
}

class SaveTest : public DialogHost {
  protected:
    void TearDown() override {
        if (!readOnlyFolder_.empty()) {
            runUnixProgram({"chmod", "755", readOnlyFolder_});
        }
        DialogHost::TearDown();
    }

    // Fails the test when the folder stays writable all the same (root, with Wine
    // not started by scripts/wine-run.sh).
    void makeFolderReadOnly() {
        readOnlyFolder_ = unixPath(folder);
        ASSERT_FALSE(readOnlyFolder_.empty());
        ASSERT_TRUE(runUnixProgram({"chmod", "555", readOnlyFolder_}));
        std::string probe = folder + "probe";
        HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            DeleteFileA(probe.c_str());
            FAIL() << "the read-only folder is writable: run Wine as a user, or as root "
                      "through scripts/wine-run.sh, server included";
        }
    }

    std::string readOnlyFolder_;
};

TEST_F(SaveTest, WritesTheEditorsTextAndKeepsThePreviousFileAsBackup) {
    HWND editor = openEditor(OLD_RULES);
    select(editor, 0, 0);
    type(editor, 208, "~Subject: \"new rule\" 7\r");
    EXPECT_TRUE(answeringBoxes([&] { save(editor); }).empty());
    EXPECT_EQ("~Subject: \"new rule\" 7\r\n~Subject: \"old rule\" 5\r\n",
              readConfigFile("filters.dat"));
    EXPECT_EQ(OLD_RULES, readConfigFile("filters.bak"));
    EXPECT_FALSE(configFileExists("filters.dat.new"));

    // A second save backs up what the first one wrote. A rich edit control counts
    // a line break as one character.
    select(editor, 0, static_cast<long>(std::string("~Subject: \"new rule\" 7\r").size()));
    type(editor, 208, "\r");
    save(editor);
    EXPECT_EQ("\r\n~Subject: \"old rule\" 5\r\n", readConfigFile("filters.dat"));
    EXPECT_EQ("~Subject: \"new rule\" 7\r\n~Subject: \"old rule\" 5\r\n",
              readConfigFile("filters.bak"));
    std::vector<std::string> log = logLines();
    EXPECT_EQ("writing configuration: " + folder + "filters.dat", log.back());
}

TEST_F(SaveTest, RulesFromTheDistributedFileBecomeTheUsersOwnWithoutABackup) {
    loadFolder();
    HWND editor = createConfigDialog(configHandle, hostWindow);
    std::string shown = shownText(editor);
    save(editor);
    EXPECT_EQ(shown, readConfigFile("filters.dat"));
    EXPECT_FALSE(configFileExists("filters.bak"));
}

TEST_F(SaveTest, AnEmptyEditorWritesAnEmptyFile) {
    HWND editor = openEditor(OLD_RULES);
    select(editor, 0, -1);
    type(editor, 208, "\b");
    save(editor);
    EXPECT_TRUE(configFileExists("filters.dat"));
    EXPECT_EQ("", readConfigFile("filters.dat"));
    EXPECT_EQ(OLD_RULES, readConfigFile("filters.bak"));
}

TEST_F(SaveTest, AReadOnlyFolderShowsTheSystemsErrorAndKeepsTheOldFile) {
    HWND editor = openEditor(OLD_RULES);
    makeFolderReadOnly();
    type(editor, 208, "~Subject: \"lost?\" 1\r");
    Box box;
    runWithDriver([&] { save(editor); },
                  [&](Driver& driver) { box = driver.answerBox("save-error"); });
    EXPECT_EQ("Error from CobbleweavePlugin: " + systemText(ERROR_ACCESS_DENIED), box.line());
    EXPECT_EQ(nullptr, box.owner);
    EXPECT_EQ("exclamation", box.icon);
    EXPECT_EQ(OLD_RULES, readConfigFile("filters.dat"));
    EXPECT_FALSE(configFileExists("filters.dat.new"));
}

// While the box waits for the user, the proxy goes on: a load on another thread
// (and so a scan) must not wait for the answer.
TEST_F(SaveTest, AFailedSavesBoxLeavesLoadsAndScansFree) {
    HWND editor = openEditor(OLD_RULES);
    makeFolderReadOnly();
    std::atomic<bool> loaded{false};
    bool loadedWhileBoxOpen = false;
    std::thread loader;
    runWithDriver([&] { save(editor); },
                  [&](Driver& driver) {
                      if (testwin::waitForMessageBox(10000) == nullptr) {
                          return;
                      }
                      loader = std::thread([&] {
                          plugin.releaseConfig(plugin.loadConfig(folder.c_str()));
                          loaded = true;
                      });
                      for (int waited = 0; waited < 1000 && !loaded; ++waited) {
                          Sleep(10);
                      }
                      loadedWhileBoxOpen = loaded;
                      driver.answerBox();
                  });
    ASSERT_TRUE(loader.joinable()) << "no error box";
    loader.join();
    EXPECT_TRUE(loadedWhileBoxOpen);
}

// A folder where the user may change filters.dat but create nothing: the old way
// of saving (writing the file in place) still works, once the backup holds the
// old rules.
TEST_F(SaveTest, AFolderWhereNothingCanBeCreatedIsSavedInPlaceAfterTheBackup) {
    writeConfigFile("filters.bak", "~Subject: \"older rule\" 5\r\n");
    HWND editor = openEditor(OLD_RULES);
    makeFolderReadOnly();
    select(editor, 0, 0);
    type(editor, 208, "~Subject: \"new\" 1\r");
    EXPECT_TRUE(answeringBoxes([&] { save(editor); }).empty());
    EXPECT_EQ("~Subject: \"new\" 1\r\n" + std::string(OLD_RULES), readConfigFile("filters.dat"));
    EXPECT_EQ(OLD_RULES, readConfigFile("filters.bak"));
}

TEST_F(SaveTest, AFileHeldByAnotherProgramStaysWholeAndSoDoesTheBackup) {
    writeConfigFile("filters.bak", "~Subject: \"older rule\" 5\r\n");
    HWND editor = openEditor(OLD_RULES);
    type(editor, 208, "~Subject: \"new\" 1\r");
    HANDLE held = CreateFileA((folder + "filters.dat").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    std::vector<Box> boxes = answeringBoxes([&] { save(editor); });
    CloseHandle(held);
    ASSERT_EQ(1u, boxes.size());
    // The new file is written; replacing the held one is what is refused.
    EXPECT_EQ("Error from CobbleweavePlugin: " + systemText(ERROR_SHARING_VIOLATION),
              boxes[0].line());
    EXPECT_EQ(OLD_RULES, readConfigFile("filters.dat"));
    EXPECT_EQ("~Subject: \"older rule\" 5\r\n", readConfigFile("filters.bak"));
    EXPECT_FALSE(configFileExists("filters.dat.new"));
}

TEST_F(SaveTest, AWindowThatIsNoEditorSavesNothing) {
    load(OLD_RULES);
    EXPECT_TRUE(
        answeringBoxes([&] { saveConfigFromDialog(hostWindow, nullptr, folder.c_str()); }).empty());
    EXPECT_EQ(OLD_RULES, readConfigFile("filters.dat"));
    EXPECT_FALSE(configFileExists("filters.bak"));
    EXPECT_TRUE(
        logContains("saveConfigFromDialog: nothing saved, no filter editor or no folder given"));
}

}  // namespace
