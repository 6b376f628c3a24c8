// Searching the editor's text: the find dialog (template 400), run modally from
// the editor's "Find" button, and findText, which "Find" and "Cont" share and
// which remembers the search text for the next "Cont".
#include <windows.h>

#include <optional>
#include <string>

#include "common/text_ops.h"
#include "ui/dialog_ids.h"
#include "ui/dialog_procedures.h"
#include "ui/dialogs.h"
#include "ui/editor_control.h"

namespace cw {

namespace {

// Touched only by the thread that runs the editors; lives until the process ends.
std::optional<std::string> lastSearchText;

void showNote(HWND owner, const char* text) {
    MessageBoxA(owner, text, "Note", MB_OK | MB_ICONINFORMATION);
}

INT_PTR findMessage(HWND dialog, UINT message, WPARAM wParam) {
    if (message == WM_INITDIALOG) {
        // The field is the first thing a user types into.
        SetFocus(GetDlgItem(dialog, IDC_FIND_TEXT));
        return FALSE;
    }
    if (message == WM_CLOSE) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    if (message != WM_COMMAND) {
        return FALSE;
    }
    if (LOWORD(wParam) == IDC_FIND_FIND) {
        std::string text = windowText(GetDlgItem(dialog, IDC_FIND_TEXT));
        trimWhiteSpace(text);
        if (text.empty()) {
            showNote(dialog, "Please enter a search text!");
        } else {
            findText(text.c_str(), currentEditorWindow());
        }
        EndDialog(dialog, 0);
        return TRUE;
    }
    // IDCANCEL: the dialog manager's answer to Escape.
    if (LOWORD(wParam) == IDC_FIND_CANCEL || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK findProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return guardedProcedure([&] { return findMessage(dialog, message, wParam); });
}

int findText(const char* newText, HWND editor) {
    HWND control = GetDlgItem(editor, IDC_EDITOR_TEXT);
    if (newText != nullptr) {
        lastSearchText = newText;
    }
    if (!lastSearchText) {
        showNote(editor, "Please enter a search text!");
        return 0;
    }
    if (control == nullptr) {
        return 1;
    }
    const std::string& text = *lastSearchText;
    long found = findForward(control, getSelection(control).end, text);
    if (found >= 0) {
        setSelection(control, TextRange{found, found + static_cast<long>(text.size())});
    } else {
        // The next "Cont" starts again at the top.
        setSelection(control, TextRange{0, 0});
        showNote(editor, "Not Found");
    }
    return 1;
}

}  // namespace cw
