// Control 208 of the filter editor, whichever class it is: the rich edit control
// that replaces the template's placeholder, or the plain multi-line edit control
// that stays when no rich edit library loaded. Positions count characters as the
// control does (a rich edit control counts a line break as one, a plain one as two).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace cw {

struct TextRange {
    long start;
    long end;
};

// The whole text of a window, for a field of a dialog or a plain edit control.
std::string windowText(HWND window);

bool isRichEdit(HWND control);

// The text limit (8,388,608 characters, more when the text to be shown,
// `textLength` bytes, is longer), plain-text mode, automatic scrolling, a
// selection that stays visible without the focus, and the 9-point fixed-pitch font.
void setUpEditorControl(HWND control, size_t textLength);

TextRange getSelection(HWND control);
// Selects the range and scrolls it into view.
void setSelection(HWND control, TextRange range);

// The selected text, cut after `maxCharacters`.
std::string selectedText(HWND control, size_t maxCharacters);

// Position of the first occurrence of `text` at or after `from`, letter case
// ignored, or -1.
long findForward(HWND control, long from, const std::string& text);

// The whole text as plain text with the control's line ends: streamed out of a
// rich edit control, the window text of a plain one. Throws std::bad_alloc when
// the text cannot be had whole, so that nobody saves part of it.
std::string controlText(HWND control);

}  // namespace cw
