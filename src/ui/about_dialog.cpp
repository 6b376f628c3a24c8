// The about box (template 100): name, version, author, the credit for the pattern
// library, and the home page as a link, drawn in blue, under a hand pointer, opened
// in the browser on a click. The link is a plain static text without notifications,
// so the mouse messages over it come to the box itself.
#include <windows.h>
// shellapi.h and windowsx.h need the types of windows.h.
#include <shellapi.h>
#include <windowsx.h>

#include "base/module_state.h"
#include "ui/dialog_ids.h"
#include "ui/dialog_procedures.h"
#include "ui/dialogs.h"

namespace cw {

namespace {

constexpr COLORREF LINK_COLOUR = RGB(0, 0, 255);

bool isOverLink(HWND dialog, LPARAM position) {
    POINT point{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    HWND link = GetDlgItem(dialog, IDC_ABOUT_LINK);
    return link != nullptr && ChildWindowFromPoint(dialog, point) == link;
}

INT_PTR aboutMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CTLCOLORSTATIC:
            if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) != IDC_ABOUT_LINK) {
                return FALSE;
            }
            SetTextColor(reinterpret_cast<HDC>(wParam), LINK_COLOUR);
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        case WM_MOUSEMOVE:
            if (isOverLink(dialog, lParam)) {
                SetCursor(LoadCursorA(moduleInstance(), MAKEINTRESOURCEA(IDR_HAND_CURSOR)));
            }
            return FALSE;
        case WM_LBUTTONUP:
            if (!isOverLink(dialog, lParam)) {
                return FALSE;
            }
            // A browser that does not start is not reported; the box goes all the same.
            ShellExecuteA(dialog, "open", PLUGIN_HOMEPAGE, nullptr, nullptr, SW_SHOWMAXIMIZED);
            ShowWindow(dialog, SW_HIDE);
            return TRUE;
        case WM_CLOSE:
            ShowWindow(dialog, SW_HIDE);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_ABOUT_OK) {
                ShowWindow(dialog, SW_HIDE);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK aboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return guardedProcedure([&] { return aboutMessage(dialog, message, wParam, lParam); });
}

}  // namespace

void* createInfoDialog(void* parent) {
    return CreateDialogParamA(moduleInstance(), MAKEINTRESOURCEA(IDD_ABOUT),
                              static_cast<HWND>(parent), aboutProcedure, 0);
}

}  // namespace cw
