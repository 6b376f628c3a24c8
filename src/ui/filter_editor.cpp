// The filter editor (template 200): the main rule file's lines in a rich edit
// control, with buttons for the pattern test, the find dialog, searching on, and
// opening the file in Notepad. The dialog only ever hides itself; the host that
// holds its handle destroys it.
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

#include <string>

#include "base/log_writer.h"
#include "base/module_state.h"
#include "common/number_text.h"
#include "config/config_table.h"
#include "config/filter_file.h"
#include "config/rule_file_reader.h"
#include "ui/dialog_ids.h"
#include "ui/dialog_procedures.h"
#include "ui/dialogs.h"
#include "ui/editor_control.h"

namespace cw {

namespace {

HWND editorWindow = nullptr;  // touched only by the thread that runs the editors

constexpr const char* DEFAULT_RULE_FILE = "default_filters.dat";

void showEditorBox(HWND editor, const char* text, const char* caption) {
    MessageBoxA(editor, text, caption, MB_OK | MB_ICONEXCLAMATION);
}

// The template's control 208 is a plain edit control standing in for a rich edit
// control of the class LibMain chose: the rich edit control takes over its id,
// styles, place, size and place in the tab order. Returns control 208 as it is now.
HWND replaceWithRichEdit(HWND dialog) {
    HWND placeholder = GetDlgItem(dialog, IDC_EDITOR_TEXT);
    if (placeholder == nullptr || moduleState.richEditClass == nullptr) {
        return placeholder;
    }
    RECT rectangle;
    GetWindowRect(placeholder, &rectangle);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rectangle), 2);
    HWND richEdit = CreateWindowExA(
        static_cast<DWORD>(GetWindowLongPtrA(placeholder, GWL_EXSTYLE)), moduleState.richEditClass,
        "", static_cast<DWORD>(GetWindowLongPtrA(placeholder, GWL_STYLE)), rectangle.left,
        rectangle.top, rectangle.right - rectangle.left, rectangle.bottom - rectangle.top,
        GetParent(placeholder),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(GetDlgCtrlID(placeholder))),
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(placeholder, GWLP_HINSTANCE)), nullptr);
    if (richEdit == nullptr) {
        return placeholder;
    }
    SetWindowPos(richEdit, placeholder, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
    DestroyWindow(placeholder);
    return richEdit;
}

// "Use external editor": Notepad edits the file itself; the editor's text is not
// read back, so the two edit independently.
void useExternalEditor(HWND editor) {
    std::string path = currentMainRuleFilePath();
    if (path.find(DEFAULT_RULE_FILE) != std::string::npos) {
        showEditorBox(editor,
                      "You are editing 'default_filters.dat'. This file is overwritten when "
                      "updating Cobbleweave!",
                      "Warning from Cobbleweave plugin");
    }
    showEditorBox(editor, "Don't forget to select 'All files' when saving the filters!",
                  "Info from Cobbleweave plugin");
    ShellExecuteA(editor, "open", "notepad.exe", path.c_str(), nullptr, SW_SHOWNORMAL);
}

INT_PTR editorMessage(HWND dialog, UINT message, WPARAM wParam) {
    editorWindow = dialog;
    if (message == WM_CLOSE) {
        ShowWindow(dialog, SW_HIDE);
        return TRUE;
    }
    if (message != WM_COMMAND) {
        return FALSE;
    }
    switch (LOWORD(wParam)) {
        case IDC_EDITOR_OK:
            ShowWindow(dialog, SW_HIDE);
            return TRUE;
        case IDC_EDITOR_TEST:
            DialogBoxParamA(moduleInstance(), MAKEINTRESOURCEA(IDD_PATTERN_TEST), dialog,
                            patternTestProcedure, 0);
            return TRUE;
        case IDC_EDITOR_FIND:
            DialogBoxParamA(moduleInstance(), MAKEINTRESOURCEA(IDD_FIND), dialog, findProcedure, 0);
            return TRUE;
        case IDC_EDITOR_CONTINUE:
            findText(nullptr, dialog);
            return TRUE;
        case IDC_EDITOR_EXTERNAL:
            useExternalEditor(dialog);
            return FALSE;
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK editorProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return guardedProcedure([&] { return editorMessage(dialog, message, wParam); });
}

}  // namespace

HINSTANCE moduleInstance() {
    return static_cast<HINSTANCE>(const_cast<void*>(moduleState.moduleHandle));
}

HWND currentEditorWindow() {
    return editorWindow;
}

void* createConfigDialog(int32_t configHandle, void* parent) {
    HWND dialog = CreateDialogParamA(moduleInstance(), MAKEINTRESOURCEA(IDD_EDITOR),
                                     static_cast<HWND>(parent), editorProcedure, 0);
    if (dialog == nullptr) {
        return nullptr;
    }
    HWND control = replaceWithRichEdit(dialog);
    if (control != nullptr) {
        std::string text = editorText(configHandle);
        setUpEditorControl(control, text.size());
        SetWindowTextA(control, text.c_str());
        // A line longer than the rule reader's piece shows as several: saving that
        // would change the file, so the editor only shows it (and a save refuses).
        if (mainRuleFileHasCutLines(configHandle)) {
            SendMessageA(control, EM_SETREADONLY, TRUE, 0);
        }
    }
    return dialog;
}

std::string getEditorText(HWND dialog) {
    HWND control = GetDlgItem(dialog, IDC_EDITOR_TEXT);
    return control == nullptr ? std::string() : controlText(control);
}

void saveConfigFromDialog(void* window, const char* folder) {
    HWND dialog = static_cast<HWND>(window);
    traceLine(">>> saveConfigFromDialog");
    // Without an editor there is no text to save, and writing an empty file would
    // throw the user's rules away.
    HWND control = GetDlgItem(dialog, IDC_EDITOR_TEXT);
    if (folder == nullptr || control == nullptr) {
        writeLog("saveConfigFromDialog: nothing saved, no filter editor or no folder given");
    } else if ((GetWindowLongPtrA(control, GWL_STYLE) & ES_READONLY) != 0) {
        writeLog("saveConfigFromDialog: nothing saved, the editor shows long lines cut");
        std::string text = formatText(
            "filters.dat has lines longer than %d characters, which this editor cannot show "
            "whole: it was not saved. Change the file with 'Use external editor'.",
            static_cast<int>(LINE_PIECE_BYTES));
        showEditorBox(dialog, text.c_str(), "Error from Cobbleweave plugin");
    } else {
        saveFilterText(folder, getEditorText(dialog));
    }
    traceLine("<<< saveConfigFromDialog");
}

}  // namespace cw
