// The pattern test dialog, opened with the editor's "Test" button.
#include "dialog_host.h"
#include "wine_unix.h"

namespace {

constexpr DWORD TYPE_MASK = 0x1F;
// An edit control draws its border as the sunken client edge.
constexpr DWORD FIELD_STYLE = ES_AUTOHSCROLL | WS_TABSTOP;

using PatternTestDialogTest = DialogHost;

TEST_F(PatternTestDialogTest, ShowsTheTemplateAndAMatch) {
    HWND editor = openEditor("~Subject: \"cheap (pills|watches)\" 6\r\n");
    select(editor, 11, 32);
    clickWithDriver(editor, 207, [&](Driver& driver) {
        HWND test = driver.waitForDialog("Test regular expression");
        if (test == nullptr) {
            return;
        }
        expectLayout(
            test, "Test regular expression", WS_POPUP | DS_MODALFRAME | WS_CAPTION | WS_SYSMENU,
            SIZE{332, 81},
            {
                {501, "Edit", "", {70, 19, 250, 12}, FIELD_STYLE, FIELD_STYLE, WS_EX_CLIENTEDGE},
                {301, "Static", "Enter string:", {17, 20, 47, 12}, SS_LEFT, TYPE_MASK},
                {502, "Static", "Enter pattern:", {17, 36, 47, 12}, SS_LEFT, TYPE_MASK},
                {503,
                 "Edit",
                 "cheap (pills|watches)",
                 {70, 36, 250, 12},
                 FIELD_STYLE,
                 FIELD_STYLE,
                 WS_EX_CLIENTEDGE},
                {504,
                 "Button",
                 "Exit",
                 {279, 57, 40, 14},
                 BS_PUSHBUTTON | WS_TABSTOP,
                 TYPE_MASK | WS_TABSTOP},
                {505,
                 "Button",
                 "Test",
                 {234, 57, 40, 14},
                 BS_DEFPUSHBUTTON | WS_TABSTOP,
                 TYPE_MASK | WS_TABSTOP},
            });
        EXPECT_EQ(editor, GetWindow(test, GW_OWNER));
        EXPECT_EQ(GetDlgItem(test, 501), driver.focus());
        driver.type(test, 501, "Buy CHEAP Watches now");
        Box box = driver.clickForBox(test, 505, "pattern-test");
        EXPECT_EQ("Info from Cobbleweave plugin: Match succeeded", box.line());
        EXPECT_EQ(test, box.owner);
        EXPECT_EQ("exclamation", box.icon);
        driver.click(test, 504);
    });
    // The editor's text is never changed by the test.
    EXPECT_EQ("~Subject: \"cheap (pills|watches)\" 6\r\n", shownText(editor));
}

TEST_F(PatternTestDialogTest, AnswersEachTestOfTheOpenDialog) {
    const struct {
        const char* testString;
        const char* pattern;
        const char* answer;
    } cases[] = {
        {"Hello", "hello", "Info from Cobbleweave plugin: Match succeeded"},
        {"xabc", "^abc", "Info from Cobbleweave plugin: No match"},
        {"abc", "a(", "Info from Cobbleweave plugin: Sytax error in pattern: 2"},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "(a+)+$",
         "Info from Cobbleweave plugin: Matching error"},
        {"   ", "abc",
         "Error from Cobbleweave plugin: You didn't enter a test string or a pattern!"},
        {"abc", "", "Error from Cobbleweave plugin: You didn't enter a test string or a pattern!"},
    };
    HWND editor = openEditor("rule\r\n");
    std::vector<std::string> answers;
    clickWithDriver(editor, 207, [&](Driver& driver) {
        HWND test = driver.waitForDialog("Test regular expression");
        for (const auto& c : cases) {
            SetDlgItemTextA(test, 501, "");
            SetDlgItemTextA(test, 503, "");
            driver.type(test, 501, c.testString);
            driver.type(test, 503, c.pattern);
            answers.push_back(driver.clickForBox(test, 505).line());
        }
        // The dialog stays open after each test until "Exit".
        EXPECT_TRUE(IsWindowVisible(test));
        driver.click(test, 504);
    });
    ASSERT_EQ(std::size(cases), answers.size());
    for (size_t index = 0; index < answers.size(); ++index) {
        EXPECT_EQ(cases[index].answer, answers[index]) << cases[index].pattern;
    }
}

TEST_F(PatternTestDialogTest, OffersAtMost128SelectedCharactersAsThePattern) {
    const std::string line(200, 'p');
    const struct {
        long selected;
        size_t offered;
    } cases[] = {{200, 128}, {128, 128}, {5, 5}, {0, 0}};
    HWND editor = openEditor(line + "\r\n");
    for (const auto& c : cases) {
        select(editor, 0, c.selected);
        std::string pattern = "(dialog not seen)";
        std::string testString;
        clickWithDriver(editor, 207, [&](Driver& driver) {
            HWND test = driver.waitForDialog("Test regular expression");
            pattern = driver.text(test, 503);
            testString = driver.text(test, 501);
            SendMessageA(test, WM_CLOSE, 0, 0);
        });
        EXPECT_EQ(std::string(c.offered, 'p'), pattern) << c.selected << " selected";
        EXPECT_EQ("", testString);
    }
}

}  // namespace
