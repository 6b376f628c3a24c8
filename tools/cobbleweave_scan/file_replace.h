// Writing a file whole or not at all.
#pragma once

#include <string>
#include <string_view>

namespace cw::scantool {

// Writes `bytes` to a new file beside `path` and renames it over `path`, so that
// `path` holds either its old bytes or all of the new ones. False with `error`
// (and `path` as it was) when the file cannot be written.
bool replaceFile(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace cw::scantool
