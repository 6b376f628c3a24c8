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

// Saves the editor's text as folder + "filters.dat", after copying the file there
// to folder + "filters.bak". Holds the fetch lock throughout. A failure shows the
// system's error text in a box; "filters.dat" then keeps its previous content whole.
void saveFilterText(const std::string& folder, const std::string& text);

// Writes `text` as the whole content of `path`: into a file beside it first, which
// then replaces `path`. Shows the error box and returns false when a step fails.
bool writeFilterFile(const std::string& path, const std::string& text);

// Shows the system's text for the calling thread's last error in a box with no
// owner, captioned "Error from CobbleweavePlugin".
void showLastErrorBox();

}  // namespace cw
