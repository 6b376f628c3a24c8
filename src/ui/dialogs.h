// The dialogs of the plug-in, Windows only: the filter editor with its pattern
// test and find dialogs, saving the editor's text, and the about box. They run on
// the host thread that owns their parent window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace cw {

// A modeless filter editor owned by `parent`, showing the main rule file's lines
// of the configuration (an empty editor for a handle no configuration has).
HWND createConfigDialog(int32_t configHandle, HWND parent);

// Writes the text of the editor `dialog` as folder + "filters.dat", keeping the
// previous file as "filters.bak". Does nothing for a window that is no editor.
void saveConfigFromDialog(HWND dialog, const char* folder);

// The whole text of control 208 of the editor `dialog` as plain text.
std::string getEditorText(HWND dialog);

// Searches control 208 of `editor` forward from the end of its selection for
// `newText`, or for the last search text when `newText` is null, and selects what
// it finds. 0 when there is no search text at all, else 1.
int findText(const char* newText, HWND editor);

// A modeless about box owned by `parent`.
HWND createInfoDialog(HWND parent);

}  // namespace cw
