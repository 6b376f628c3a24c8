// Finds and drives the windows of a test program as a user at the screen would:
// reads a message box and presses its button, fills in and presses the controls
// of a dialog. Every call works from any thread of the program; a modal message
// box blocks the thread that opened it, so the MessageBoxWatcher answers boxes
// from a thread of its own.
//
// Needs a real display: under Wine one that scripts/wine-run.sh --start-server
// provides. Without a display MessageBoxA returns at once and no window appears.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testwin {

// The control id of a message box's text, on Windows and Wine alike.
inline constexpr int MESSAGE_BOX_TEXT_ID = 0xFFFF;

// The first visible top-level window of this process whose class is `className`
// and whose caption is `caption` (null: any caption), waited for up to `timeoutMs`.
// Null when none appears in time.
HWND waitForWindow(const char* className, const char* caption, DWORD timeoutMs);

// A window's text: a top-level window's caption, a control's content.
std::string windowText(HWND window);
std::string controlText(HWND dialog, int controlId);
bool setControlText(HWND dialog, int controlId, const std::string& text);

// Clicks a button of a dialog as the mouse would. False when there is no such button.
bool pressButton(HWND dialog, int buttonId);

// The texts of a dialog's buttons, in their order among its children.
std::vector<std::string> buttonTexts(HWND dialog);

// A dialog that holds nothing but static texts and buttons, one of them the
// message box text: what MessageBoxA shows.
bool looksLikeMessageBox(HWND window);

struct SeenMessageBox {
    std::string caption;
    std::string text;
    std::vector<std::string> buttons;
    HWND owner = nullptr;
    std::string icon;  // "exclamation", "information" or "other"

    // "caption: text", as a test names a box.
    std::string line() const { return caption + ": " + text; }
};

SeenMessageBox readMessageBox(HWND box);

// The first message box of this program, waited for up to `timeoutMs`; null when
// none appears in time.
HWND waitForMessageBox(DWORD timeoutMs);

// While it lives, answers every message box of this program: reads it, then
// presses `answer` (IDOK, IDYES, ...). Dialogs that are not message boxes are
// left alone.
class MessageBoxWatcher {
  public:
    explicit MessageBoxWatcher(int answer = IDOK);
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // The boxes answered since the last call, oldest first.
    std::vector<SeenMessageBox> takeAnswered();

  private:
    void watch();

    int answer_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::vector<SeenMessageBox> answered_;
    std::thread thread_;
};

}  // namespace testwin
