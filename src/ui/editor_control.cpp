#include "ui/editor_control.h"

// FR_DOWN, the search direction, comes from commdlg.h.
#include <commdlg.h>
#include <richedit.h>

#include <new>

#include "common/text_ops.h"

namespace cw {

namespace {

constexpr size_t TEXT_LIMIT = 8388608;
constexpr int FONT_POINTS = 9;

// One font for every editor, made at first use and kept for the life of the process.
HFONT editorFont() {
    static HFONT font = [] {
        HDC screen = GetDC(nullptr);
        int height = -MulDiv(FONT_POINTS, GetDeviceCaps(screen, LOGPIXELSY), 72);
        ReleaseDC(nullptr, screen);
        // The stock fixed-pitch font's description at 9 points; Tahoma only if
        // that description cannot be had.
        LOGFONTA fixed{};
        if (GetObjectA(GetStockObject(ANSI_FIXED_FONT), sizeof fixed, &fixed) != 0) {
            fixed.lfHeight = height;
            fixed.lfWidth = 0;
            fixed.lfFaceName[0] = '\0';
            if (HFONT made = CreateFontIndirectA(&fixed)) {
                return made;
            }
        }
        return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, "Tahoma");
    }();
    return font;
}

// EM_STREAMOUT hands the text over in chunks.
DWORD CALLBACK appendChunk(DWORD_PTR cookie, LPBYTE chunk, LONG count, LONG* taken) {
    try {
        reinterpret_cast<std::string*>(cookie)->append(reinterpret_cast<const char*>(chunk),
                                                       static_cast<size_t>(count));
    } catch (...) {
        *taken = 0;
        return 1;  // stops the stream; the caller sees the error
    }
    *taken = count;
    return 0;
}

}  // namespace

std::string windowText(HWND window) {
    int length = GetWindowTextLengthA(window);
    if (length <= 0) {
        return std::string();
    }
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int copied = GetWindowTextA(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

bool isRichEdit(HWND control) {
    char className[32] = "";
    GetClassNameA(control, className, sizeof className);
    return lstrcmpiA(className, "Edit") != 0;
}

void setUpEditorControl(HWND control, size_t textLength) {
    // A longer file is shown whole, with the usual room to add to it: a control
    // that cut it would have a save write it short.
    auto limit =
        static_cast<LPARAM>(textLength > TEXT_LIMIT ? textLength + TEXT_LIMIT : TEXT_LIMIT);
    if (isRichEdit(control)) {
        SendMessageA(control, EM_EXLIMITTEXT, 0, limit);
        SendMessageA(control, EM_SETTEXTMODE, TM_PLAINTEXT, 0);
        SendMessageA(control, EM_SETOPTIONS, ECOOP_OR,
                     ECO_AUTOVSCROLL | ECO_AUTOHSCROLL | ECO_NOHIDESEL);
    } else {
        SendMessageA(control, EM_SETLIMITTEXT, static_cast<WPARAM>(limit), 0);
    }
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(editorFont()), TRUE);
}

TextRange getSelection(HWND control) {
    if (isRichEdit(control)) {
        CHARRANGE range{};
        SendMessageA(control, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
        return TextRange{range.cpMin, range.cpMax};
    }
    DWORD start = 0;
    DWORD end = 0;
    SendMessageA(control, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    return TextRange{static_cast<long>(start), static_cast<long>(end)};
}

void setSelection(HWND control, TextRange range) {
    if (isRichEdit(control)) {
        CHARRANGE selection{range.start, range.end};
        SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    } else {
        SendMessageA(control, EM_SETSEL, static_cast<WPARAM>(range.start), range.end);
    }
    SendMessageA(control, EM_SCROLLCARET, 0, 0);
}

std::string selectedText(HWND control, size_t maxCharacters) {
    TextRange range = getSelection(control);
    long count = range.end - range.start;
    if (count <= 0) {
        return std::string();
    }
    std::string text;
    if (isRichEdit(control)) {
        text.assign(static_cast<size_t>(count) + 2, '\0');
        LRESULT copied =
            SendMessageA(control, EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(text.data()));
        text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    } else {
        text = windowText(control).substr(static_cast<size_t>(range.start),
                                          static_cast<size_t>(count));
    }
    if (text.size() > maxCharacters) {
        text.resize(maxCharacters);
    }
    return text;
}

long findForward(HWND control, long from, const std::string& text) {
    if (isRichEdit(control)) {
        FINDTEXTA find{};
        find.chrg.cpMin = from;
        find.chrg.cpMax = -1;
        find.lpstrText = text.c_str();
        return static_cast<long>(
            SendMessageA(control, EM_FINDTEXT, FR_DOWN, reinterpret_cast<LPARAM>(&find)));
    }
    std::string content = windowText(control);
    for (size_t at = static_cast<size_t>(from); at + text.size() <= content.size(); ++at) {
        if (startsWithNoCase(content.c_str() + at, text.c_str(), text.size())) {
            return static_cast<long>(at);
        }
    }
    return -1;
}

std::string controlText(HWND control) {
    if (!isRichEdit(control)) {
        return windowText(control);
    }
    std::string text;
    EDITSTREAM stream{};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&text);
    stream.pfnCallback = appendChunk;
    SendMessageA(control, EM_STREAMOUT, SF_TEXT, reinterpret_cast<LPARAM>(&stream));
    if (stream.dwError != 0) {
        throw std::bad_alloc();
    }
    return text;
}

}  // namespace cw
