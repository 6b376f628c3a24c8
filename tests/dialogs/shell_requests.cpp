#include "shell_requests.h"

#include <mutex>
#include <ostream>
#include <utility>

namespace {

std::mutex recordedMutex;
std::vector<ShellRequest> recorded;

std::string textOrNone(const char* text) {
    return text == nullptr ? "(none)" : text;
}

HINSTANCE WINAPI recordShellRequest(HWND, LPCSTR operation, LPCSTR file, LPCSTR parameters,
                                    LPCSTR directory, INT show) {
    std::lock_guard<std::mutex> lock(recordedMutex);
    recorded.push_back(ShellRequest{textOrNone(operation), textOrNone(file), textOrNone(parameters),
                                    textOrNone(directory), show});
    // Above 32: what the shell answers when it started the program.
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}

}  // namespace

void PrintTo(const ShellRequest& request, std::ostream* out) {
    *out << "{" << request.operation << ", " << request.file << ", " << request.parameters << ", "
         << request.directory << ", " << request.show << "}";
}

bool recordShellRequests(HMODULE module) {
    FARPROC target = GetProcAddress(LoadLibraryA("shell32.dll"), "ShellExecuteA");
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dosHeader = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* ntHeaders = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dosHeader->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        ntHeaders->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
    for (; library->Name != 0; ++library) {
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
        for (; slot->u1.Function != 0; ++slot) {
            if (reinterpret_cast<FARPROC>(slot->u1.Function) != target) {
                continue;
            }
            DWORD protection = 0;
            VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(&recordShellRequest);
            VirtualProtect(slot, sizeof *slot, protection, &protection);
            return true;
        }
    }
    return false;
}

std::vector<ShellRequest> takeShellRequests() {
    std::lock_guard<std::mutex> lock(recordedMutex);
    return std::exchange(recorded, {});
}
