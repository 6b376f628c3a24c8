// The stand-in host for the dialog tests: loads the DLL, opens its dialogs on an
// X display (Xvfb) and drives them as a user would, with window messages: button
// clicks, typed characters, selections. Modal dialogs and message boxes run on
// the test's thread, as they run on the host's; a second thread (the Driver)
// finds them, reads them, types into them and presses their buttons.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "../integration/plugin_host.h"
#include "shell_requests.h"
#include "win32/window_watcher.h"

// A message box as the user sees it: caption, text, owner, icon.
using Box = testwin::SeenMessageBox;

// One control of a dialog as the user sees it, in tab order. The rectangle is
// in dialog units; `style` must equal the control's style under `styleMask`.
struct ControlLayout {
    int id;
    std::string className;
    std::string text;
    RECT dialogUnits;  // left, top, width, height
    DWORD style;
    DWORD styleMask;
    DWORD exStyle = 0;  // bits that must be set
};

// Works from the second thread on the windows of the test's thread, with the
// watcher's calls (tests/win32/window_watcher.h) to find, read and press them.
class Driver {
  public:
    explicit Driver(DWORD uiThread) : uiThread_(uiThread) {}

    // A visible dialog with this caption, waited for.
    HWND waitForDialog(const std::string& caption);
    // Waits for a message box, reads it, presses its OK and returns what it showed.
    // Takes a screenshot of the box and the windows `shownWith` first when
    // `screenshot` names one.
    Box answerBox(const std::string& screenshot = "", const std::vector<HWND>& shownWith = {});
    // Presses a button of a dialog that then shows a message box, and answers it.
    Box clickForBox(HWND dialog, int id, const std::string& screenshot = "");
    // Presses a button that ends its dialog, answering the boxes shown until then.
    std::vector<Box> answerBoxesAfterClick(HWND dialog, int id);
    // Posted: the click may open a modal window, which would hold a sent message.
    void click(HWND dialog, int id);
    void type(HWND dialog, int id, const std::string& text);
    // Presses Escape where the keyboard focus is, through the dialog's message loop.
    void pressEscape();
    std::string text(HWND dialog, int id) { return testwin::controlText(dialog, id); }
    // The window of the test's thread that has the keyboard focus.
    HWND focus();
    // Lets the test's thread paint what it shows.
    void settle(HWND window);
    // Ends whatever a failed script left open, so that the test's thread returns.
    void closeLeftovers();

  private:
    DWORD uiThread_;
};

class DialogHost : public PluginHost {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Loads `mainRules` as filters.dat and opens the editor on the configuration.
    HWND openEditor(const std::string& mainRules);
    HWND openAbout();

    // Runs `script` on the Driver's thread while this thread runs `action`, which
    // returns once the modal window it opened has ended.
    void runWithDriver(const std::function<void()>& action,
                       const std::function<void(Driver&)>& script);
    void clickWithDriver(HWND dialog, int id, const std::function<void(Driver&)>& script) {
        runWithDriver([&] { click(dialog, id); }, script);
    }
    // Runs `action` and returns the message boxes it showed, each answered with OK
    // by the watcher.
    std::vector<Box> answeringBoxes(const std::function<void()>& action);
    std::vector<Box> clickAnsweringBoxes(HWND dialog, int id) {
        return answeringBoxes([&] { click(dialog, id); });
    }
    void click(HWND dialog, int id);
    void type(HWND dialog, int id, const std::string& text);
    void select(HWND editor, long start, long end);
    std::pair<long, long> selection(HWND editor);
    // The editor's text as its control shows it, and as a save reads it.
    std::string shownText(HWND editor);
    void save(HWND editor);

    // Dispatches waiting messages for a while, so that windows paint.
    void pump(int milliseconds = 200);
    void expectLayout(HWND dialog, const std::string& caption, DWORD style, SIZE dialogUnits,
                      const std::vector<ControlLayout>& controls);

    HWND(__cdecl* createConfigDialog)(int32_t, HWND) = nullptr;
    HWND(__cdecl* createInfoDialog)(HWND) = nullptr;
    void(__cdecl* saveConfigFromDialog)(HWND, void*, const char*) = nullptr;
    HWND hostWindow = nullptr;
};
