// The filter editor as the host opens it and a user works in it.
#include <richedit.h>

#include "dialog_host.h"
#include "wine_unix.h"

namespace {

constexpr DWORD TYPE_MASK = 0x1F;  // SS_TYPEMASK and BS_TYPEMASK alike
// A rich edit control shows its border as a client edge and its scroll bars only
// when the text needs them; see ScrollBarsAppearWhenTheRulesOverflow.
constexpr DWORD EDITOR_STYLE =
    ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN | WS_TABSTOP;

const char* const RULES =
    "# Rules of the test\r\n"
    "THRESHOLD_SPAM 5\r\n"
    "\r\n"
    "B_INCLUDE_SENDER=senders.txt 4\r\n"
    "~Subject: \"cheap (pills|watches)\" 6 pharma\r\n";

using EditorTest = DialogHost;

TEST_F(EditorTest, ShowsTheTemplateWithARichEditControlInPlaceOfThePlaceholder) {
    writeConfigFile("senders.txt", "spam@example.org\r\n");
    HWND editor = openEditor(RULES);
    expectLayout(editor, "Cobbleweave plugin configuration",
                 WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, SIZE{420, 268},
                 {
                     {201,
                      "Static",
                      "The plugin knows about the following filters:",
                      {11, 10, 211, 9},
                      SS_LEFT,
                      TYPE_MASK},
                     {205,
                      "Button",
                      "OK",
                      {367, 243, 40, 14},
                      BS_DEFPUSHBUTTON | WS_TABSTOP,
                      TYPE_MASK | WS_TABSTOP},
                     {207,
                      "Button",
                      "Test",
                      {11, 243, 40, 14},
                      BS_PUSHBUTTON | WS_TABSTOP,
                      TYPE_MASK | WS_TABSTOP},
                     {208, "RichEdit20A", RULES, {10, 19, 400, 216}, EDITOR_STYLE, EDITOR_STYLE},
                     {204,
                      "Button",
                      "Use external editor",
                      {95, 244, 69, 14},
                      BS_PUSHBUTTON | WS_TABSTOP,
                      TYPE_MASK | WS_TABSTOP},
                     {206,
                      "Button",
                      "Find",
                      {225, 244, 39, 14},
                      BS_PUSHBUTTON | WS_TABSTOP,
                      TYPE_MASK | WS_TABSTOP},
                     {209,
                      "Button",
                      "Cont",
                      {267, 244, 39, 14},
                      BS_PUSHBUTTON | WS_TABSTOP,
                      TYPE_MASK | WS_TABSTOP},
                 });
    EXPECT_EQ(hostWindow, GetWindow(editor, GW_OWNER));
    HWND control = GetDlgItem(editor, 208);
    EXPECT_TRUE((GetWindowLongPtrA(control, GWL_STYLE) & WS_BORDER) ||
                (GetWindowLongPtrA(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
    saveScreenshot("editor", {editor});
}

TEST_F(EditorTest, ScrollBarsAppearWhenTheRulesOverflow) {
    std::string rules;
    for (int line = 0; line < 60; ++line) {
        rules += "~Subject: \"" + std::string(200, 'x') + "\" 1\r\n";
    }
    HWND control = GetDlgItem(openEditor(rules), 208);
    LONG_PTR style = GetWindowLongPtrA(control, GWL_STYLE);
    EXPECT_TRUE(style & WS_VSCROLL);
    EXPECT_TRUE(style & WS_HSCROLL);
}

TEST_F(EditorTest, TextControlHoldsPlainTextInANinePointFixedPitchFont) {
    HWND control = GetDlgItem(openEditor("iiiiWWWWx\r\n"), 208);
    EXPECT_EQ(8388608, SendMessageA(control, EM_GETLIMITTEXT, 0, 0));
    EXPECT_EQ(TM_PLAINTEXT, SendMessageA(control, EM_GETTEXTMODE, 0, 0) & TM_PLAINTEXT);
    const LRESULT options = ECO_AUTOVSCROLL | ECO_AUTOHSCROLL | ECO_NOHIDESEL;
    EXPECT_EQ(options, SendMessageA(control, EM_GETOPTIONS, 0, 0) & options);
    CHARFORMAT2A format{};
    format.cbSize = sizeof format;
    SendMessageA(control, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(9 * 20, format.yHeight);  // in twips
    // Fixed pitch: four narrow letters take the room of four wide ones.
    POINTL at[3]{};
    for (int index = 0; index < 3; ++index) {
        SendMessageA(control, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at[index]), 4 * index);
    }
    EXPECT_LT(0, at[1].x - at[0].x);
    EXPECT_EQ(at[1].x - at[0].x, at[2].x - at[1].x);
}

TEST_F(EditorTest, ShowsOnlyTheMainFileLinesEachEndedByCrLf) {
    writeConfigFile("senders.txt", "spam@example.org\r\nmore@example.org\r\n");
    writeConfigFile("local_filters.dat", "~Subject: \"local rule\" 3\r\n");
    HWND editor = openEditor(RULES);
    EXPECT_EQ(RULES, shownText(editor));
}

TEST_F(EditorTest, AnUnknownHandleGivesAnEmptyEditor) {
    HWND editor = createConfigDialog(42, hostWindow);
    ASSERT_NE(nullptr, editor);
    pump();
    EXPECT_TRUE(IsWindowVisible(editor));
    EXPECT_EQ("", shownText(editor));
}

TEST_F(EditorTest, OkAndTheCloseBoxHideTheEditorAndEachCallMakesANewOne) {
    HWND first = openEditor(RULES);
    click(first, 205);
    EXPECT_FALSE(IsWindowVisible(first));
    EXPECT_TRUE(IsWindow(first));
    HWND second = createConfigDialog(configHandle, hostWindow);
    ASSERT_NE(nullptr, second);
    EXPECT_NE(first, second);
    EXPECT_TRUE(IsWindowVisible(second));
    SendMessageA(second, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(second));
    EXPECT_TRUE(IsWindow(second));
}

TEST_F(EditorTest, TypedTextIsWhatTheEditorHolds) {
    HWND editor = openEditor("first\r\n");
    select(editor, 0, 0);
    type(editor, 208, "new rule\r");
    EXPECT_EQ("new rule\r\nfirst\r\n", shownText(editor));
}

TEST_F(EditorTest, ExternalEditorRemindsTheUserAndAsksTheShellForNotepad) {
    HWND editor = openEditor(RULES);
    std::vector<Box> boxes = clickAnsweringBoxes(editor, 204);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(
        "Info from Cobbleweave plugin: Don't forget to select 'All files' when saving the "
        "filters!",
        boxes[0].line());
    EXPECT_EQ(editor, boxes[0].owner);
    EXPECT_EQ("exclamation", boxes[0].icon);
    const std::vector<ShellRequest> notepad{
        {"open", "notepad.exe", folder + "filters.dat", "(none)", SW_SHOWNORMAL}};
    EXPECT_EQ(notepad, takeShellRequests());
}

TEST_F(EditorTest, ExternalEditorWarnsFirstWhenTheRulesAreTheDistributedOnes) {
    loadFolder();  // no filters.dat: default_filters.dat beside the plug-in
    HWND editor = createConfigDialog(configHandle, hostWindow);
    std::vector<Box> boxes = clickAnsweringBoxes(editor, 204);
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ(
        "Warning from Cobbleweave plugin: You are editing 'default_filters.dat'. This file "
        "is overwritten when updating Cobbleweave!",
        boxes[0].line());
    EXPECT_EQ(editor, boxes[0].owner);
    EXPECT_EQ("Info from Cobbleweave plugin", boxes[1].caption);
    std::vector<ShellRequest> requests = takeShellRequests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("notepad.exe", requests[0].file);
    EXPECT_NE(std::string::npos, requests[0].parameters.find("default_filters.dat"));
}

// The save writes what the user sees: a text past the control's usual limit is
// shown, and saved, whole.
TEST_F(EditorTest, ATextPastTheUsualLimitIsShownAndSavedWhole) {
    // Long lines: few of them keep the rich edit control quick under Wine.
    std::string line = "# " + std::string(3997, 'x') + "\r\n";
    std::string rules;
    while (rules.size() <= 8388608 + 1000) {
        rules += line;
    }
    HWND editor = openEditor(rules);
    // Whether a rich edit control cuts a text set past its limit differs between
    // versions: the limit itself must hold the text.
    EXPECT_LE(static_cast<LRESULT>(rules.size()),
              SendMessageA(GetDlgItem(editor, 208), EM_GETLIMITTEXT, 0, 0));
    EXPECT_EQ(rules.size(), shownText(editor).size());
    save(editor);
    EXPECT_TRUE(readConfigFile("filters.dat") == rules);
}

// A line longer than the rule reader's piece reaches the editor in pieces: the
// editor shows it but refuses, with a box, to save the pieces as lines.
TEST_F(EditorTest, ALineTooLongToShowWholeIsNeverSavedCut) {
    std::string rules = "~Subject: \"" + std::string(5000, 'a') + "\" 1\r\nlast\r\n";
    HWND editor = openEditor(rules);
    HWND control = GetDlgItem(editor, 208);
    EXPECT_TRUE(GetWindowLongPtrA(control, GWL_STYLE) & ES_READONLY);
    std::vector<Box> boxes = answeringBoxes([&] { save(editor); });
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(
        "Error from Cobbleweave plugin: filters.dat has lines longer than 4094 characters, "
        "which this editor cannot show whole: it was not saved. Change the file with 'Use "
        "external editor'.",
        boxes[0].line());
    EXPECT_EQ(editor, boxes[0].owner);
    EXPECT_EQ("exclamation", boxes[0].icon);
    EXPECT_EQ(rules, readConfigFile("filters.dat"));
    EXPECT_FALSE(configFileExists("filters.bak"));
}

// Like every other export, the dialog exports trace their calls at DEBUG only,
// and opening a dialog writes nothing else.
TEST_F(EditorTest, TheDialogExportsTraceAtDebugOnly) {
    const struct {
        const char* level;
        std::vector<std::string> lines;
    } cases[] = {
        {"QUIET", {}},
        {"DEBUG", {"=== createConfigDialog", "=== createInfoDialog"}},
    };
    for (const auto& c : cases) {
        load(std::string(c.level) + "\r\n");
        markLog();
        createConfigDialog(configHandle, hostWindow);
        createInfoDialog(hostWindow);
        EXPECT_EQ(c.lines, newLogLines()) << c.level;
    }
}

TEST_F(EditorTest, ValidationAcceptsAnyText) {
    EXPECT_EQ(1, plugin.validateConfigDialog());
}

}  // namespace
