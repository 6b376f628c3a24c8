// The dialogs of the plug-in, Windows only: the filter editor with its pattern
// test and find dialogs, saving the editor's text, and the about box. They run on
// the host thread that owns their parent window. Window handles (HWND) are opaque
// pointers here, so that the exports need no <windows.h>.
#pragma once

#include <cstdint>

namespace cw {

// A modeless filter editor owned by `parent`, showing the main rule file's lines
// of the configuration (an empty editor for a handle no configuration has).
void* createConfigDialog(int32_t configHandle, void* parent);

// Writes the text of the editor `dialog` as folder + "filters.dat", keeping the
// previous file as "filters.bak". Does nothing for a window that is no editor.
void saveConfigFromDialog(void* dialog, const char* folder);

// A modeless about box owned by `parent`.
void* createInfoDialog(void* parent);

}  // namespace cw
