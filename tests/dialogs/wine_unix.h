// The test programs run under Wine; these two calls reach the linux side of it,
// for the screenshots (ImageMagick's import) and for file permissions.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Runs a linux program with `arguments` (the first names the program, looked up
// in PATH) and waits for it. False when Wine cannot start it or it fails.
bool runUnixProgram(const std::vector<std::string>& arguments);

// The linux path of a Windows path, or empty when Wine cannot map it.
std::string unixPath(const std::string& windowsPath);

// Saves what the screen shows of `windows` (their bounding box) as `name`.png in
// the screenshot folder (a linux path).
void saveScreenshot(const std::string& name, const std::vector<HWND>& windows);
