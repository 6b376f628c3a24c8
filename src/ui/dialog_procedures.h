// What the dialogs share: the module whose templates they use, the editor that
// handled a message last, the editor's text and search, and the procedures the
// editor runs modally.
#pragma once

#include <windows.h>

#include <string>

namespace cw {

HINSTANCE moduleInstance();

// The editor dialog that most recently received a message; the find and pattern
// test dialogs and "Cont" work on its control 208.
HWND currentEditorWindow();

// The whole text of control 208 of the editor `dialog` as plain text.
std::string getEditorText(HWND dialog);

// Searches control 208 of `editor` forward from the end of its selection for
// `newText`, or for the last search text when `newText` is null, and selects what
// it finds. 0 when there is no search text at all, else 1.
int findText(const char* newText, HWND editor);

INT_PTR CALLBACK patternTestProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK findProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Runs a dialog procedure's body so that no exception leaves it into the system:
// one that does is answered as a message not handled.
template <typename Body>
INT_PTR guardedProcedure(Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return FALSE;
    }
}

}  // namespace cw
