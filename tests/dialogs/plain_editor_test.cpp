// The editor where no rich edit library loads: the template's plain edit control
// stays, and still shows, saves, searches and offers its selection. CTest runs
// these with Wine's rich edit libraries switched off.
#include "dialog_host.h"

namespace {

const char* const RULES =
    "~Subject: \"cheap pills\" 6\r\n"  // 0..24; a line break counts two characters
    "~From: \"pills@example\" 4\r\n";  // 27..50

class PlainEditorTest : public DialogHost {
  protected:
    void SetUp() override {
        DialogHost::SetUp();
        ASSERT_EQ(nullptr, LoadLibraryA("RICHED20.DLL")) << "run with riched20 switched off";
        ASSERT_EQ(nullptr, LoadLibraryA("RICHED32.DLL")) << "run with riched32 switched off";
    }
};

TEST_F(PlainEditorTest, ShowsTheRulesInTheTemplatesEditControl) {
    HWND control = GetDlgItem(openEditor(RULES), 208);
    char className[32] = "";
    GetClassNameA(control, className, sizeof className);
    EXPECT_STREQ("Edit", className);
    EXPECT_EQ(RULES, shownText(GetParent(control)));
    const DWORD style = ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN |
                        WS_VSCROLL | WS_HSCROLL | WS_TABSTOP;
    EXPECT_EQ(style, GetWindowLongPtrA(control, GWL_STYLE) & style);
    EXPECT_TRUE(GetWindowLongPtrA(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);  // its border
    EXPECT_EQ(8388608, SendMessageA(control, EM_GETLIMITTEXT, 0, 0));
}

TEST_F(PlainEditorTest, SavesTheWholeText) {
    HWND editor = openEditor(RULES);
    type(editor, 208, "~Subject: \"new\" 1\r");
    save(editor);
    EXPECT_EQ(std::string("~Subject: \"new\" 1\r\n") + RULES, readConfigFile("filters.dat"));
    EXPECT_EQ(RULES, readConfigFile("filters.bak"));
}

TEST_F(PlainEditorTest, FindAndContSelectEachOccurrence) {
    HWND editor = openEditor(RULES);
    clickWithDriver(editor, 206, [&](Driver& driver) {
        HWND dialog = driver.waitForDialog("Find text");
        driver.type(dialog, 401, "PILLS");
        driver.answerBoxesAfterClick(dialog, 402);
    });
    EXPECT_EQ(std::make_pair(17L, 22L), selection(editor));
    EXPECT_TRUE(clickAnsweringBoxes(editor, 209).empty());
    EXPECT_EQ(std::make_pair(35L, 40L), selection(editor));
}

TEST_F(PlainEditorTest, TheSelectionIsOfferedAsThePattern) {
    HWND editor = openEditor(RULES);
    select(editor, 11, 22);
    std::string pattern;
    clickWithDriver(editor, 207, [&](Driver& driver) {
        HWND test = driver.waitForDialog("Test regular expression");
        pattern = driver.text(test, 503);
        driver.click(test, 504);
    });
    EXPECT_EQ("cheap pills", pattern);
}

}  // namespace
