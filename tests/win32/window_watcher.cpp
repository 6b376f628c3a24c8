#include "win32/window_watcher.h"

#include <set>

namespace testwin {

namespace {

constexpr DWORD POLL_INTERVAL_MS = 20;
constexpr const char* DIALOG_CLASS = "#32770";
constexpr int MESSAGE_BOX_ICON_ID = 0x0440;  // Wine's id of a message box's icon

std::string classOf(HWND window) {
    char name[256];
    int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? static_cast<size_t>(length) : 0);
}

struct WindowSearch {
    const char* className;
    const char* caption;
    std::vector<HWND> found;
};

BOOL CALLBACK collectTopLevel(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
        (search->className == nullptr || classOf(window) == search->className) &&
        (search->caption == nullptr || windowText(window) == search->caption)) {
        search->found.push_back(window);
    }
    return TRUE;
}

// The visible top-level windows of this process with that class and caption (null: any).
std::vector<HWND> topLevelWindows(const char* className, const char* caption) {
    WindowSearch search{className, caption, {}};
    EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> childrenOf(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

}  // namespace

HWND waitForWindow(const char* className, const char* caption, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> windows = topLevelWindows(className, caption);
        if (!windows.empty()) {
            return windows.front();
        }
        if (GetTickCount() - start >= timeoutMs) {
            return nullptr;
        }
        Sleep(POLL_INTERVAL_MS);
    }
}

std::string windowText(HWND window) {
    // WM_GETTEXT, unlike GetWindowTextA, also reads controls of other threads.
    LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    LRESULT copied = SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(text.size()),
                                  reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(copied));
    return text;
}

std::string controlText(HWND dialog, int controlId) {
    HWND control = GetDlgItem(dialog, controlId);
    return control != nullptr ? windowText(control) : std::string();
}

bool setControlText(HWND dialog, int controlId, const std::string& text) {
    HWND control = GetDlgItem(dialog, controlId);
    return control != nullptr &&
           SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) != FALSE;
}

bool pressButton(HWND dialog, int buttonId) {
    HWND button = GetDlgItem(dialog, buttonId);
    if (button == nullptr) {
        return false;
    }
    SendMessageA(button, BM_CLICK, 0, 0);
    return true;
}

std::vector<std::string> buttonTexts(HWND dialog) {
    std::vector<std::string> texts;
    for (HWND child : childrenOf(dialog)) {
        if (classOf(child) == "Button") {
            texts.push_back(windowText(child));
        }
    }
    return texts;
}

bool looksLikeMessageBox(HWND window) {
    if (classOf(window) != DIALOG_CLASS || GetDlgItem(window, MESSAGE_BOX_TEXT_ID) == nullptr) {
        return false;
    }
    for (HWND child : childrenOf(window)) {
        std::string name = classOf(child);
        if (name != "Static" && name != "Button") {
            return false;
        }
    }
    return true;
}

namespace {

// The system icons a message box shows are shared, so they compare by handle.
std::string iconKind(HWND box) {
    HICON icon =
        reinterpret_cast<HICON>(SendDlgItemMessageA(box, MESSAGE_BOX_ICON_ID, STM_GETICON, 0, 0));
    if (icon == nullptr) {
        return "other";
    }
    if (icon == LoadIconA(nullptr, IDI_EXCLAMATION)) {
        return "exclamation";
    }
    return icon == LoadIconA(nullptr, IDI_INFORMATION) ? "information" : "other";
}

}  // namespace

SeenMessageBox readMessageBox(HWND box) {
    return SeenMessageBox{windowText(box), controlText(box, MESSAGE_BOX_TEXT_ID), buttonTexts(box),
                          GetWindow(box, GW_OWNER), iconKind(box)};
}

HWND waitForMessageBox(DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND window : topLevelWindows(DIALOG_CLASS, nullptr)) {
            if (looksLikeMessageBox(window)) {
                return window;
            }
        }
        if (GetTickCount() - start >= timeoutMs) {
            return nullptr;
        }
        Sleep(POLL_INTERVAL_MS);
    }
}

MessageBoxWatcher::MessageBoxWatcher(int answer) : answer_(answer) {
    thread_ = std::thread([this] { watch(); });
}

MessageBoxWatcher::~MessageBoxWatcher() {
    stopping_ = true;
    thread_.join();
}

std::vector<SeenMessageBox> MessageBoxWatcher::takeAnswered() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<SeenMessageBox> boxes;
    boxes.swap(answered_);
    return boxes;
}

void MessageBoxWatcher::watch() {
    // A box stays visible for a moment after its button was pressed.
    std::set<HWND> pressed;
    while (!stopping_) {
        std::erase_if(pressed, [](HWND window) { return !IsWindow(window); });
        for (HWND window : topLevelWindows(DIALOG_CLASS, nullptr)) {
            if (pressed.count(window) != 0 || !looksLikeMessageBox(window)) {
                continue;
            }
            SeenMessageBox box = readMessageBox(window);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                answered_.push_back(box);
            }
            pressButton(window, answer_);
            pressed.insert(window);
        }
        Sleep(POLL_INTERVAL_MS);
    }
}

}  // namespace testwin
