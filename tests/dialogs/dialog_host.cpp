#include "dialog_host.h"

#include <richedit.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "wine_unix.h"

namespace {

constexpr DWORD WAIT_LIMIT_MS = 10000;

using testwin::windowText;

template <typename Condition>
bool waitFor(Condition condition) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start >= WAIT_LIMIT_MS) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

bool isRichEdit(HWND control) {
    char className[32] = "";
    GetClassNameA(control, className, sizeof className);
    return lstrcmpiA(className, "Edit") != 0;
}

DWORD CALLBACK appendStreamed(DWORD_PTR cookie, LPBYTE chunk, LONG count, LONG* taken) {
    reinterpret_cast<std::string*>(cookie)->append(reinterpret_cast<char*>(chunk), count);
    *taken = count;
    return 0;
}

// The messages a key press sends: the key going down (which is what a rich edit
// control breaks a line on), the character, the key going up.
void typeInto(HWND field, const std::string& text) {
    for (char c : text) {
        SHORT key = VkKeyScanA(c);
        UINT virtualKey = c == '\r' ? VK_RETURN : LOBYTE(key);
        SendMessageA(field, WM_KEYDOWN, virtualKey, 1);
        SendMessageA(field, WM_CHAR, static_cast<unsigned char>(c), 1);
        SendMessageA(field, WM_KEYUP, virtualKey, 0xC0000001);
    }
}

// Waits for the Driver's thread while dispatching this thread's messages: the
// Driver reads this thread's windows, which takes an answer from this thread.
void joinPumping(std::thread& helper, const std::atomic<bool>& helperDone) {
    while (!helperDone) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    }
    helper.join();
}

}  // namespace

HWND Driver::waitForDialog(const std::string& caption) {
    HWND dialog = testwin::waitForWindow("#32770", caption.c_str(), WAIT_LIMIT_MS);
    if (dialog == nullptr) {
        ADD_FAILURE() << "no dialog \"" << caption << "\" appeared";
    }
    return dialog;
}

Box Driver::answerBox(const std::string& screenshot, const std::vector<HWND>& shownWith) {
    HWND box = testwin::waitForMessageBox(WAIT_LIMIT_MS);
    if (box == nullptr) {
        ADD_FAILURE() << "no message box appeared";
        return Box{};
    }
    Box seen = testwin::readMessageBox(box);
    if (!screenshot.empty()) {
        settle(box);
        std::vector<HWND> windows = shownWith;
        windows.push_back(box);
        saveScreenshot(screenshot, windows);
    }
    testwin::pressButton(box, IDOK);
    if (!waitFor([&] { return !IsWindow(box); })) {
        ADD_FAILURE() << "the message box \"" << seen.text << "\" did not close";
    }
    return seen;
}

Box Driver::clickForBox(HWND dialog, int id, const std::string& screenshot) {
    click(dialog, id);
    return answerBox(screenshot, {dialog});
}

std::vector<Box> Driver::answerBoxesAfterClick(HWND dialog, int id) {
    click(dialog, id);
    std::vector<Box> boxes;
    while (IsWindowVisible(dialog)) {
        if (testwin::waitForMessageBox(20) != nullptr) {
            boxes.push_back(answerBox());
        }
    }
    return boxes;
}

void Driver::click(HWND dialog, int id) {
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void Driver::type(HWND dialog, int id, const std::string& text) {
    typeInto(GetDlgItem(dialog, id), text);
}

void Driver::pressEscape() {
    HWND target = focus();
    PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0000001);
}

HWND Driver::focus() {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(uiThread_, &info);
    return info.hwndFocus;
}

void Driver::settle(HWND window) {
    SendMessageA(window, WM_NULL, 0, 0);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(300);
}

void Driver::closeLeftovers() {
    for (int round = 0; round < 10; ++round) {
        if (HWND box = testwin::waitForMessageBox(0)) {
            testwin::pressButton(box, IDOK);
        } else if (HWND test = testwin::waitForWindow("#32770", "Test regular expression", 0)) {
            PostMessageA(test, WM_CLOSE, 0, 0);
        } else if (HWND find = testwin::waitForWindow("#32770", "Find text", 0)) {
            PostMessageA(find, WM_CLOSE, 0, 0);
        } else {
            return;
        }
        Sleep(100);
    }
}

void DialogHost::SetUp() {
    PluginHost::SetUp();
    if (HasFatalFailure()) {
        return;
    }
    ASSERT_TRUE(GetEnvironmentVariableA("DISPLAY", nullptr, 0) > 0)
        << "the dialog tests need an X display (scripts/test.sh starts Xvfb)";
    HMODULE module = static_cast<HMODULE>(plugin.handle);
    createConfigDialog = reinterpret_cast<decltype(createConfigDialog)>(
        reinterpret_cast<void*>(GetProcAddress(module, "createConfigDialog")));
    createInfoDialog = reinterpret_cast<decltype(createInfoDialog)>(
        reinterpret_cast<void*>(GetProcAddress(module, "createInfoDialog")));
    saveConfigFromDialog = reinterpret_cast<decltype(saveConfigFromDialog)>(
        reinterpret_cast<void*>(GetProcAddress(module, "saveConfigFromDialog")));
    ASSERT_TRUE(createConfigDialog && createInfoDialog && saveConfigFromDialog);
    ASSERT_TRUE(recordShellRequests(module)) << "the plug-in does not import ShellExecuteA";
    hostWindow = CreateWindowExA(0, "STATIC", "Vellmox", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, hostWindow);
}

void DialogHost::TearDown() {
    // Destroying the owner destroys the dialogs it owns, as the host's exit does.
    if (hostWindow != nullptr) {
        DestroyWindow(hostWindow);
    }
    PluginHost::TearDown();
}

HWND DialogHost::openEditor(const std::string& mainRules) {
    load(mainRules);
    HWND editor = createConfigDialog(configHandle, hostWindow);
    EXPECT_NE(nullptr, editor);
    pump();
    return editor;
}

HWND DialogHost::openAbout() {
    HWND about = createInfoDialog(hostWindow);
    EXPECT_NE(nullptr, about);
    pump();
    return about;
}

void DialogHost::runWithDriver(const std::function<void()>& action,
                               const std::function<void(Driver&)>& script) {
    Driver driver(GetCurrentThreadId());
    std::atomic<bool> helperDone{false};
    std::thread helper([&] {
        script(driver);
        driver.closeLeftovers();
        helperDone = true;
    });
    action();
    joinPumping(helper, helperDone);
}

std::vector<Box> DialogHost::answeringBoxes(const std::function<void()>& action) {
    testwin::MessageBoxWatcher watcher(IDOK);
    action();
    return watcher.takeAnswered();
}

void DialogHost::click(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    ASSERT_NE(nullptr, button) << "no button " << id;
    SendMessageA(button, BM_CLICK, 0, 0);
}

void DialogHost::type(HWND dialog, int id, const std::string& text) {
    typeInto(GetDlgItem(dialog, id), text);
}

void DialogHost::select(HWND editor, long start, long end) {
    HWND control = GetDlgItem(editor, 208);
    if (isRichEdit(control)) {
        CHARRANGE range{start, end};
        SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    } else {
        SendMessageA(control, EM_SETSEL, static_cast<WPARAM>(start), end);
    }
}

std::pair<long, long> DialogHost::selection(HWND editor) {
    HWND control = GetDlgItem(editor, 208);
    if (isRichEdit(control)) {
        CHARRANGE range{};
        SendMessageA(control, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
        return {range.cpMin, range.cpMax};
    }
    DWORD start = 0;
    DWORD end = 0;
    SendMessageA(control, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    return {static_cast<long>(start), static_cast<long>(end)};
}

std::string DialogHost::shownText(HWND editor) {
    HWND control = GetDlgItem(editor, 208);
    if (!isRichEdit(control)) {
        return windowText(control);
    }
    std::string text;
    EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&text), 0, appendStreamed};
    SendMessageA(control, EM_STREAMOUT, SF_TEXT, reinterpret_cast<LPARAM>(&stream));
    return text;
}

void DialogHost::save(HWND editor) {
    saveConfigFromDialog(editor, nullptr, folder.c_str());
}

void DialogHost::pump(int milliseconds) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(10);
    } while (std::chrono::steady_clock::now() < limit);
}

void DialogHost::expectLayout(HWND dialog, const std::string& caption, DWORD style,
                              SIZE dialogUnits, const std::vector<ControlLayout>& controls) {
    EXPECT_EQ(caption, windowText(dialog));
    EXPECT_EQ(style, static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_STYLE)) & style) << caption;
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_STREQ("MS Sans Serif", font.lfFaceName) << caption;
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(-MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72), font.lfHeight) << caption;
    ReleaseDC(nullptr, screen);
    RECT size{0, 0, dialogUnits.cx, dialogUnits.cy};
    MapDialogRect(dialog, &size);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(size.right, client.right) << caption << ": width";
    EXPECT_EQ(size.bottom, client.bottom) << caption << ": height";

    HWND child = GetWindow(dialog, GW_CHILD);
    for (const ControlLayout& control : controls) {
        ASSERT_NE(nullptr, child) << caption << ": no control in place of " << control.id;
        EXPECT_EQ(control.id, GetDlgCtrlID(child)) << caption << ": tab order";
        char className[32] = "";
        GetClassNameA(child, className, sizeof className);
        EXPECT_EQ(0, lstrcmpiA(control.className.c_str(), className))
            << control.id << ": " << className;
        EXPECT_EQ(control.text, windowText(child)) << control.id;
        // Mapped as the dialog manager maps them: place and size each on its own.
        RECT mapped = control.dialogUnits;
        MapDialogRect(dialog, &mapped);
        RECT expected{mapped.left, mapped.top, mapped.left + mapped.right,
                      mapped.top + mapped.bottom};
        RECT actual;
        GetWindowRect(child, &actual);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_TRUE(EqualRect(&expected, &actual))
            << control.id << ": expected " << expected.left << "," << expected.top << " - "
            << expected.right << "," << expected.bottom << ", found " << actual.left << ","
            << actual.top << " - " << actual.right << "," << actual.bottom;
        DWORD childStyle = static_cast<DWORD>(GetWindowLongPtrA(child, GWL_STYLE));
        EXPECT_EQ(control.style, childStyle & control.styleMask)
            << control.id << std::hex << ": style " << childStyle;
        DWORD childExStyle = static_cast<DWORD>(GetWindowLongPtrA(child, GWL_EXSTYLE));
        EXPECT_EQ(control.exStyle, childExStyle & control.exStyle) << control.id;
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(nullptr, child) << caption << ": more controls than expected";
}
