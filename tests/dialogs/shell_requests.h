// Where the plug-in would start a program through the shell (Notepad, the web
// browser), the tests record the request instead: the plug-in's import of
// ShellExecuteA is pointed at a recorder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct ShellRequest {
    std::string operation;
    std::string file;
    std::string parameters;  // "(none)" for a null pointer
    std::string directory;   // "(none)" for a null pointer
    int show;

    bool operator==(const ShellRequest&) const = default;
};

void PrintTo(const ShellRequest& request, std::ostream* out);

// Points the module's import of ShellExecuteA at the recorder. False when the
// module does not import it.
bool recordShellRequests(HMODULE module);

// The requests recorded since the last call.
std::vector<ShellRequest> takeShellRequests();
