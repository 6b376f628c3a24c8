// The about box: its texts, the blue link with the hand pointer over it, and the
// click that asks the shell to open the home page.
#include <fstream>

#include "dialog_host.h"
#include "wine_unix.h"

namespace {

constexpr DWORD TYPE_MASK = 0x1F;

class AboutDialogTest : public DialogHost {
  protected:
    // Moves the pointer over the centre of a control, as the mouse does, and lets
    // the box answer.
    POINT pointAt(HWND about, int id) {
        RECT rectangle;
        GetWindowRect(GetDlgItem(about, id), &rectangle);
        POINT centre{(rectangle.left + rectangle.right) / 2,
                     (rectangle.top + rectangle.bottom) / 2};
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dx = MulDiv(centre.x, 65536, GetSystemMetrics(SM_CXSCREEN));
        input.mi.dy = MulDiv(centre.y, 65536, GetSystemMetrics(SM_CYSCREEN));
        input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        SendInput(1, &input, sizeof input);
        pump();
        return centre;
    }

    void clickAt(HWND about, int id) {
        pointAt(about, id);
        INPUT inputs[2]{};
        inputs[0].type = inputs[1].type = INPUT_MOUSE;
        inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SendInput(2, inputs, sizeof inputs[0]);
        pump();
    }

    HCURSOR currentCursor() {
        CURSORINFO info{};
        info.cbSize = sizeof info;
        GetCursorInfo(&info);
        return info.hCursor;
    }

    // How many pixels of the control are drawn in pure blue.
    int bluePixels(HWND about, int id) {
        HWND control = GetDlgItem(about, id);
        RECT client;
        GetClientRect(control, &client);
        HDC dc = GetDC(control);
        int count = 0;
        for (int y = 0; y < client.bottom; ++y) {
            for (int x = 0; x < client.right; ++x) {
                count += GetPixel(dc, x, y) == RGB(0, 0, 255) ? 1 : 0;
            }
        }
        ReleaseDC(control, dc);
        return count;
    }

    HCURSOR handCursor() {
        return LoadCursorA(static_cast<HMODULE>(plugin.handle), MAKEINTRESOURCEA(102));
    }
};

TEST_F(AboutDialogTest, ShowsTheTemplateWithTheHomePageInBlue) {
    HWND about = openAbout();
    expectLayout(about, "About the Cobbleweave plugin",
                 WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, SIZE{287, 153},
                 {
                     {101, "Static", "Cobbleweave plugin", {9, 9, 270, 12}, SS_CENTER, TYPE_MASK},
                     {102,
                      "Static",
                      std::string("version ") + plugin.getPluginVersion(),
                      {8, 23, 273, 12},
                      SS_CENTER,
                      TYPE_MASK},
                     {150,
                      "Static",
                      std::string("by ") + plugin.getPluginAuthor(),
                      {6, 38, 275, 12},
                      SS_CENTER,
                      TYPE_MASK},
                     {104,
                      "Static",
                      "Regular expression support is provided by the PCRE2 library,",
                      {9, 68, 270, 11},
                      SS_CENTER,
                      TYPE_MASK},
                     {105,
                      "Button",
                      "OK",
                      {127, 121, 40, 14},
                      BS_DEFPUSHBUTTON | WS_TABSTOP,
                      TYPE_MASK | WS_TABSTOP},
                     {103,
                      "Static",
                      "written by Philip Hazel, copyright (c) University of Cambridge.",
                      {9, 79, 270, 11},
                      SS_CENTER,
                      TYPE_MASK},
                     {106,
                      "Static",
                      plugin.getPluginHomepage(),
                      {6, 49, 275, 12},
                      SS_CENTER,
                      TYPE_MASK | SS_NOTIFY},
                 });
    EXPECT_EQ(hostWindow, GetWindow(about, GW_OWNER));
    saveScreenshot("about", {about});
    EXPECT_LT(20, bluePixels(about, 106));
    EXPECT_EQ(0, bluePixels(about, 102));
}

TEST_F(AboutDialogTest, ThePointerIsAHandOverTheLinkOnly) {
    HWND about = openAbout();
    pointAt(about, 106);
    EXPECT_EQ(handCursor(), currentCursor());
    pointAt(about, 102);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), currentCursor());
}

TEST_F(AboutDialogTest, AClickOnTheLinkOpensTheHomePageAndHidesTheBox) {
    HWND about = openAbout();
    clickAt(about, 101);
    clickAt(about, 102);
    EXPECT_TRUE(IsWindowVisible(about));
    EXPECT_TRUE(takeShellRequests().empty());
    clickAt(about, 106);
    EXPECT_FALSE(IsWindowVisible(about));
    EXPECT_TRUE(IsWindow(about));
    const std::vector<ShellRequest> browser{
        {"open", plugin.getPluginHomepage(), "(none)", "(none)", SW_SHOWMAXIMIZED}};
    EXPECT_EQ(browser, takeShellRequests());
}

TEST_F(AboutDialogTest, OkAndTheCloseBoxHideTheBoxAndEachCallMakesANewOne) {
    HWND first = openAbout();
    HWND second = openAbout();
    EXPECT_NE(first, second);
    click(first, 105);
    EXPECT_FALSE(IsWindowVisible(first));
    EXPECT_TRUE(IsWindowVisible(second));
    SendMessageA(second, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(second));
    EXPECT_TRUE(IsWindow(first) && IsWindow(second));
}

// The cursor as drawn in its picture: 32 by 32, monochrome, hot spot (5, 0).
TEST_F(AboutDialogTest, TheHandCursorIsThePicture) {
    std::ifstream picture(HAND_PICTURE);
    std::vector<std::string> rows;
    for (std::string line; std::getline(picture, line);) {
        if (!line.empty() && line[0] == '|') {
            rows.push_back(line.substr(1, 32));
        }
    }
    ASSERT_EQ(32u, rows.size()) << HAND_PICTURE;

    HICON cursor = static_cast<HICON>(LoadImageA(static_cast<HMODULE>(plugin.handle),
                                                 MAKEINTRESOURCEA(102), IMAGE_CURSOR, 32, 32, 0));
    ASSERT_NE(nullptr, cursor);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(cursor, &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(5u, info.xHotspot);
    EXPECT_EQ(0u, info.yHotspot);
    EXPECT_EQ(nullptr, info.hbmColor) << "monochrome";
    // The mask bitmap holds the AND mask above the XOR mask.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[2];
    } format{};
    format.header.biSize = sizeof format.header;
    format.header.biWidth = 32;
    format.header.biHeight = -64;  // top row first
    format.header.biPlanes = 1;
    format.header.biBitCount = 1;
    uint32_t bits[64]{};
    HDC screen = GetDC(nullptr);
    ASSERT_EQ(64, GetDIBits(screen, info.hbmMask, 0, 64, bits,
                            reinterpret_cast<BITMAPINFO*>(&format), DIB_RGB_COLORS));
    ReleaseDC(nullptr, screen);
    for (int y = 0; y < 32; ++y) {
        std::string drawn;
        for (int x = 0; x < 32; ++x) {
            const auto* row = reinterpret_cast<const unsigned char*>(&bits[y]);
            const auto* xorRow = reinterpret_cast<const unsigned char*>(&bits[32 + y]);
            bool andBit = (row[x / 8] >> (7 - x % 8)) & 1;
            bool xorBit = (xorRow[x / 8] >> (7 - x % 8)) & 1;
            drawn += andBit ? (xorBit ? '~' : ' ') : (xorBit ? '.' : '#');
        }
        EXPECT_EQ(rows[y], drawn) << "row " << y;
    }
    DeleteObject(info.hbmMask);
}

}  // namespace
