// The pattern test (template 500), run modally from the editor's "Test" button:
// a test string and a pattern, tried as a pattern rule tries them. The editor's
// selection is offered as the pattern.
#include <windows.h>

#include <string>

#include "engine/pattern_trial.h"
#include "ui/dialog_ids.h"
#include "ui/dialog_procedures.h"
#include "ui/editor_control.h"

namespace cw {

namespace {

constexpr size_t MAX_PICKED_UP = 128;

void pickUpSelection(HWND dialog) {
    HWND control = GetDlgItem(currentEditorWindow(), IDC_EDITOR_TEXT);
    if (control == nullptr) {
        return;
    }
    std::string selection = selectedText(control, MAX_PICKED_UP);
    if (!selection.empty()) {
        SetDlgItemTextA(dialog, IDC_TEST_PATTERN, selection.c_str());
    }
}

void showAnswer(HWND dialog) {
    PatternTrialAnswer answer = tryPattern(windowText(GetDlgItem(dialog, IDC_TEST_STRING)),
                                           windowText(GetDlgItem(dialog, IDC_TEST_PATTERN)));
    MessageBoxA(dialog, answer.text.c_str(), answer.caption, MB_OK | MB_ICONEXCLAMATION);
}

INT_PTR patternTestMessage(HWND dialog, UINT message, WPARAM wParam) {
    switch (message) {
        case WM_INITDIALOG:
            pickUpSelection(dialog);
            return TRUE;  // the system gives the first field the focus
        case WM_CLOSE:
            EndDialog(dialog, 0);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_TEST_TEST) {
                showAnswer(dialog);
                return TRUE;
            }
            // IDCANCEL: the dialog manager's answer to Escape.
            if (LOWORD(wParam) == IDC_TEST_EXIT || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK patternTestProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return guardedProcedure([&] { return patternTestMessage(dialog, message, wParam); });
}

}  // namespace cw
