#include "dialog_host.h"

#include <richedit.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "wine_unix.h"

namespace {

constexpr auto WAIT_LIMIT = std::chrono::seconds(10);
constexpr int MESSAGE_BOX_TEXT = 0xFFFF;  // the id of a message box's text
constexpr int MESSAGE_BOX_ICON = 0x0440;

struct WindowSearch {
    std::string caption;
    HWND found = nullptr;
};

// The caption without a message to the window's thread, which may be busy.
std::string captionOf(HWND window) {
    wchar_t caption[128] = L"";
    int length = InternalGetWindowText(window, caption, 128);
    return std::string(caption, caption + length);
}

BOOL CALLBACK matchDialog(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (IsWindowVisible(window) && std::string(className) == "#32770" &&
        (search->caption.empty() ? GetDlgItem(window, MESSAGE_BOX_TEXT) != nullptr
                                 : search->caption == captionOf(window))) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND findThreadDialog(DWORD thread, const std::string& caption) {
    WindowSearch search{caption};
    EnumThreadWindows(thread, matchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

template <typename Condition>
bool waitFor(Condition condition) {
    auto limit = std::chrono::steady_clock::now() + WAIT_LIMIT;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > limit) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

std::string iconKind(HWND box) {
    HICON icon =
        reinterpret_cast<HICON>(SendDlgItemMessageA(box, MESSAGE_BOX_ICON, STM_GETICON, 0, 0));
    if (icon != nullptr && icon == LoadIconA(nullptr, IDI_EXCLAMATION)) {
        return "exclamation";
    }
    if (icon != nullptr && icon == LoadIconA(nullptr, IDI_INFORMATION)) {
        return "information";
    }
    return "other";
}

std::string windowText(HWND window) {
    int length = GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(window, text.data(), length + 1)));
    return text;
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
    HWND dialog = nullptr;
    if (!waitFor([&] { return (dialog = findThreadDialog(uiThread_, caption)) != nullptr; })) {
        ADD_FAILURE() << "no dialog \"" << caption << "\" appeared";
    }
    return dialog;
}

HWND Driver::findBox() {
    return findThreadDialog(uiThread_, "");
}

Box Driver::clickForBox(HWND dialog, int id, const std::string& screenshot) {
    click(dialog, id);
    HWND box = nullptr;
    if (!waitFor([&] { return (box = findBox()) != nullptr; })) {
        ADD_FAILURE() << "button " << id << " showed no message box";
        return Box{};
    }
    Box seen{windowText(box), windowText(GetDlgItem(box, MESSAGE_BOX_TEXT)),
             GetWindow(box, GW_OWNER), iconKind(box)};
    if (!screenshot.empty()) {
        settle(box);
        saveScreenshot(screenshot, {dialog, box});
    }
    PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    if (!waitFor([&] { return !IsWindow(box); })) {
        ADD_FAILURE() << "the message box \"" << seen.text << "\" did not close";
    }
    return seen;
}

std::vector<Box> Driver::answerBoxesUntil(const std::function<bool()>& done,
                                          const std::string& screenshot) {
    std::vector<Box> boxes;
    while (!done()) {
        HWND box = findBox();
        if (box == nullptr) {
            Sleep(20);
            continue;
        }
        boxes.push_back(Box{windowText(box), windowText(GetDlgItem(box, MESSAGE_BOX_TEXT)),
                            GetWindow(box, GW_OWNER), iconKind(box)});
        if (boxes.size() == 1 && !screenshot.empty()) {
            settle(box);
            saveScreenshot(screenshot, {box});
        }
        PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        waitFor([&] { return !IsWindow(box); });
    }
    return boxes;
}

std::vector<Box> Driver::answerBoxesAfterClick(HWND dialog, int id) {
    click(dialog, id);
    return answerBoxesUntil([&] { return !IsWindowVisible(dialog); });
}

void Driver::click(HWND dialog, int id) {
    // Posted: the click may open a modal window, which would hold a sent message.
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void Driver::type(HWND dialog, int id, const std::string& text) {
    typeInto(GetDlgItem(dialog, id), text);
}

std::string Driver::text(HWND dialog, int id) {
    return windowText(GetDlgItem(dialog, id));
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
        if (HWND box = findBox()) {
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        } else if (HWND dialog = findThreadDialog(uiThread_, "Test regular expression")) {
            PostMessageA(dialog, WM_CLOSE, 0, 0);
        } else if (HWND find = findThreadDialog(uiThread_, "Find text")) {
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

void DialogHost::clickWithDriver(HWND dialog, int id, const std::function<void(Driver&)>& script) {
    Driver driver(GetCurrentThreadId());
    std::atomic<bool> helperDone{false};
    std::thread helper([&] {
        script(driver);
        driver.closeLeftovers();
        helperDone = true;
    });
    click(dialog, id);
    joinPumping(helper, helperDone);
}

std::vector<Box> DialogHost::answeringBoxes(const std::function<void()>& action,
                                            const std::string& screenshot) {
    Driver driver(GetCurrentThreadId());
    std::atomic<bool> finished{false};
    std::atomic<bool> helperDone{false};
    std::vector<Box> boxes;
    std::thread helper([&] {
        boxes = driver.answerBoxesUntil([&] { return finished.load(); }, screenshot);
        helperDone = true;
    });
    action();
    finished = true;
    joinPumping(helper, helperDone);
    return boxes;
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
                              SIZE dialogUnits, const std::vector<ControlSpec>& controls) {
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
    for (const ControlSpec& spec : controls) {
        ASSERT_NE(nullptr, child) << caption << ": no control in place of " << spec.id;
        EXPECT_EQ(spec.id, GetDlgCtrlID(child)) << caption << ": tab order";
        char className[32] = "";
        GetClassNameA(child, className, sizeof className);
        EXPECT_EQ(0, lstrcmpiA(spec.className.c_str(), className)) << spec.id << ": " << className;
        EXPECT_EQ(spec.text, windowText(child)) << spec.id;
        // Mapped as the dialog manager maps them: place and size each on its own.
        RECT mapped = spec.dialogUnits;
        MapDialogRect(dialog, &mapped);
        RECT expected{mapped.left, mapped.top, mapped.left + mapped.right,
                      mapped.top + mapped.bottom};
        RECT actual;
        GetWindowRect(child, &actual);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_TRUE(EqualRect(&expected, &actual))
            << spec.id << ": expected " << expected.left << "," << expected.top << " - "
            << expected.right << "," << expected.bottom << ", found " << actual.left << ","
            << actual.top << " - " << actual.right << "," << actual.bottom;
        DWORD childStyle = static_cast<DWORD>(GetWindowLongPtrA(child, GWL_STYLE));
        EXPECT_EQ(spec.style, childStyle & spec.styleMask)
            << spec.id << std::hex << ": style " << childStyle;
        DWORD childExStyle = static_cast<DWORD>(GetWindowLongPtrA(child, GWL_EXSTYLE));
        EXPECT_EQ(spec.exStyle, childExStyle & spec.exStyle) << spec.id;
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(nullptr, child) << caption << ": more controls than expected";
}
