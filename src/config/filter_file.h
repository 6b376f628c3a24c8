// The main rule file as the filter editor shows and saves it: the main file's
// lines of a configuration, each followed by CR LF, and the save that keeps one
// backup ("filters.bak") and never leaves a half-written "filters.dat" behind.
#pragma once

#include <cstdint>
#include <string>

namespace cw {

// The lines of the configuration's main rule file, each followed by CR LF; empty
// for a handle no configuration has. Lines of the local file and rules made from
// included lists are left out; the include lines themselves are kept.
std::string editorText(int32_t handle);

// Saves the editor's text as folder + "filters.dat", keeping the file there as
// folder + "filters.bak". Holds the fetch lock while it writes, not while a
// failure's box (the system's error text) waits for the user. After a failure
// "filters.dat" keeps its previous content whole (but see
// platform::replaceFileKeepingBackup for a folder where nothing can be created).
void saveFilterText(const std::string& folder, const std::string& text);

// Shows `text` in a box with no owner, captioned "Error from CobbleweavePlugin".
void showErrorBox(const std::string& text);

}  // namespace cw
