// Searching the editor's text with "Find" and "Cont".
#include "dialog_host.h"
#include "wine_unix.h"

namespace {

constexpr DWORD TYPE_MASK = 0x1F;

// Positions count a line break as one character, as the rich edit control does.
const char* const TEXT =
    "Spam rule one\r\n"      // 0..13
    "a rule about SPAM\r\n"  // 14..31
    "last spam\r\n";         // 32..41

class FindDialogTest : public DialogHost {
  protected:
    // "Find" in the editor, the search text typed into the find dialog, then its
    // "Find" button; returns the message boxes either dialog showed.
    std::vector<std::string> find(HWND editor, const std::string& searchText,
                                  const std::string& screenshot = "") {
        std::vector<std::string> boxes;
        clickWithDriver(editor, 206, [&](Driver& driver) {
            HWND dialog = driver.waitForDialog("Find text");
            if (dialog == nullptr) {
                return;
            }
            EXPECT_EQ("", driver.text(dialog, 401)) << "the field starts empty";
            driver.type(dialog, 401, searchText);
            if (!screenshot.empty()) {
                driver.settle(dialog);
                saveScreenshot(screenshot, {dialog});
            }
            boxes = lines(driver.answerBoxesAfterClick(dialog, 402));
        });
        return boxes;
    }

    std::vector<std::string> cont(HWND editor) { return lines(clickAnsweringBoxes(editor, 209)); }

    static std::vector<std::string> lines(const std::vector<Box>& boxes) {
        std::vector<std::string> result;
        for (const Box& box : boxes) {
            result.push_back(box.line() + " (" + box.icon + ")");
        }
        return result;
    }

    using Strings = std::vector<std::string>;
    using Range = std::pair<long, long>;
};

TEST_F(FindDialogTest, ShowsTheTemplate) {
    HWND editor = openEditor(TEXT);
    clickWithDriver(editor, 206, [&](Driver& driver) {
        HWND dialog = driver.waitForDialog("Find text");
        if (dialog == nullptr) {
            return;
        }
        expectLayout(dialog, "Find text", WS_POPUP | WS_CAPTION | WS_SYSMENU, SIZE{301, 68},
                     {
                         {401,
                          "Edit",
                          "",
                          {39, 14, 250, 12},
                          ES_AUTOHSCROLL | WS_TABSTOP,
                          ES_AUTOHSCROLL | WS_TABSTOP,
                          WS_EX_CLIENTEDGE},
                         {301, "Static", "Find:", {14, 14, 24, 12}, SS_LEFT, TYPE_MASK},
                         {403,
                          "Button",
                          "Cancel",
                          {204, 42, 40, 14},
                          BS_PUSHBUTTON | WS_TABSTOP,
                          TYPE_MASK | WS_TABSTOP},
                         {402,
                          "Button",
                          "Find",
                          {249, 42, 40, 14},
                          BS_DEFPUSHBUTTON | WS_TABSTOP,
                          TYPE_MASK | WS_TABSTOP},
                     });
        EXPECT_EQ(editor, GetWindow(dialog, GW_OWNER));
        EXPECT_EQ(GetDlgItem(dialog, 401), driver.focus()) << "the user types at once";
        driver.click(dialog, 403);
    });
    EXPECT_EQ(Range(0, 0), selection(editor));
}

TEST_F(FindDialogTest, FindSelectsTheFirstOccurrenceAndContGoesOnThenStartsAgain) {
    HWND editor = openEditor(TEXT);
    EXPECT_EQ(Strings{}, find(editor, "spam", "find"));
    EXPECT_EQ(Range(0, 4), selection(editor));  // at the very start, letter case ignored
    EXPECT_EQ(Strings{}, cont(editor));
    EXPECT_EQ(Range(27, 31), selection(editor));
    EXPECT_EQ(Strings{}, cont(editor));
    EXPECT_EQ(Range(37, 41), selection(editor));
    EXPECT_EQ(Strings{"Note: Not Found (information)"}, cont(editor));
    EXPECT_EQ(Range(0, 0), selection(editor));
    EXPECT_EQ(Strings{}, cont(editor));
    EXPECT_EQ(Range(0, 4), selection(editor));
}

TEST_F(FindDialogTest, FindStartsBehindTheSelectionAndSearchesWithoutTheBlanksAround) {
    HWND editor = openEditor(TEXT);
    select(editor, 2, 10);
    EXPECT_EQ(Strings{}, find(editor, "  rule "));
    EXPECT_EQ(Range(16, 20), selection(editor));
}

TEST_F(FindDialogTest, ContBeforeAnySearchAsksForASearchText) {
    HWND editor = openEditor(TEXT);
    std::vector<Box> boxes = clickAnsweringBoxes(editor, 209);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Note: Please enter a search text!", boxes[0].line());
    EXPECT_EQ(editor, boxes[0].owner);
    EXPECT_EQ("information", boxes[0].icon);
}

TEST_F(FindDialogTest, ABlankEntryAsksForTextAndKeepsThePreviousSearch) {
    HWND editor = openEditor(TEXT);
    find(editor, "rule");
    EXPECT_EQ(Range(5, 9), selection(editor));
    EXPECT_EQ(Strings{"Note: Please enter a search text! (information)"}, find(editor, "   "));
    EXPECT_EQ(Strings{}, cont(editor));
    EXPECT_EQ(Range(16, 20), selection(editor));
}

// Escape ends either dialog the editor opens, as Windows dialogs do.
TEST_F(FindDialogTest, EscapeClosesTheFindAndThePatternTestDialogs) {
    HWND editor = openEditor(TEXT);
    for (auto [button, caption] :
         {std::pair{206, "Find text"}, std::pair{207, "Test regular expression"}}) {
        bool closed = false;
        clickWithDriver(editor, button, [&](Driver& driver) {
            HWND dialog = driver.waitForDialog(caption);
            if (dialog == nullptr) {
                return;
            }
            driver.pressEscape();
            for (int waited = 0; waited < 500 && IsWindowVisible(dialog); ++waited) {
                Sleep(10);
            }
            closed = !IsWindowVisible(dialog);
        });
        EXPECT_TRUE(closed) << caption;
    }
    EXPECT_EQ(Range(0, 0), selection(editor));
}

// With two editors open, Find, Cont and Test work on the one whose button was
// pressed: the last editor that received a message.
TEST_F(FindDialogTest, TwoEditorsEachSearchAndTestTheirOwnText) {
    HWND first = openEditor(TEXT);
    HWND second = openEditor("no match here\r\nbut a rule\r\n");
    EXPECT_EQ(Strings{}, find(second, "rule"));
    EXPECT_EQ(Range(20, 24), selection(second));
    EXPECT_EQ(Range(0, 0), selection(first));
    EXPECT_EQ(Strings{}, cont(first));
    EXPECT_EQ(Range(5, 9), selection(first));
    EXPECT_EQ(Range(20, 24), selection(second));
    EXPECT_EQ(Strings{"Note: Not Found (information)"}, cont(second));
    EXPECT_EQ(Range(0, 0), selection(second));
    std::string offered;
    clickWithDriver(first, 207, [&](Driver& driver) {
        if (HWND test = driver.waitForDialog("Test regular expression")) {
            offered = driver.text(test, 503);
            driver.click(test, 504);
        }
    });
    EXPECT_EQ("rule", offered);
}

}  // namespace
