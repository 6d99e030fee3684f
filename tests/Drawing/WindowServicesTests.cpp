// Keys, menus, the popup window and the help text window, on real windows of the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "DesktopInput.h"
#include "Alerts.h"
#include "Errors.h"
#include "Geometry.h"
#include "HelpTextWindow.h"
#include "PopupWindow.h"
#include "WindowServices.h"

namespace {

struct Recorded {
    HWND window;
    UINT message;
    WPARAM wParam;
    bool controlDown;   // as the thread's key state stood when the message was handled
};
std::vector<Recorded> gRecorded;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_LBUTTONUP:
    case WM_APP:
        gRecorded.push_back({window, message, wParam, GetKeyState(VK_CONTROL) < 0});
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// A window of the test that records what it receives; destroyed with its owner.
class TestWindow {
public:
    explicit TestWindow(HMENU menu = nullptr) {
        static const ATOM atom = [] {
            WNDCLASSW windowClass{};
            windowClass.lpfnWndProc = RecordingProc;
            windowClass.hInstance = GetModuleHandleW(nullptr);
            windowClass.lpszClassName = L"DrawingTestsRecorder";
            return RegisterClassW(&windowClass);
        }();
        window_.Reset(CreateWindowExW(0, MAKEINTATOM(atom), L"Test", WS_POPUP | WS_BORDER, 50, 50, 300, 200,
                                      nullptr, menu, GetModuleHandleW(nullptr), nullptr));
    }
    HWND Get() const { return window_.Get(); }
    HWND Release() { return window_.Release(); }

private:
    OwnedWindow window_;
};

size_t CountRecorded(HWND window, UINT message) {
    size_t count = 0;
    for (const Recorded& r : gRecorded) count += r.window == window && r.message == message;
    return count;
}

TEST(ModifierKeys, FollowTheKeysHeldDown) {
    const struct {
        std::vector<WORD> keys;
        uint16_t expected;
    } cases[] = {
        {{}, 0},
        {{VK_SHIFT, VK_MENU}, 10},
        {{VK_CONTROL}, kModifierControl},
        {{VK_CONTROL, VK_SHIFT}, kModifierControl | kModifierShift},
    };
    for (const auto& c : cases) {
        SendKeys(c.keys, false);
        EXPECT_TRUE(PumpUntil([&] { return GetModifierKeys() == c.expected; })) << GetModifierKeys();
        SendKeys(c.keys, true);
        EXPECT_TRUE(PumpUntil([] { return GetModifierKeys() == 0; })) << GetModifierKeys();
    }
}

TEST(PostKeystroke, TypesTheKeyWithControlHeld) {
    // Keyboard input goes to the active window. This one lives until the program ends: Wine waits
    // two seconds for the absent window manager when an active window is destroyed.
    static const HWND target = [] {
        const HWND window = TestWindow().Release();
        ShowWindow(window, SW_SHOW);
        SetForegroundWindow(window);
        return window;
    }();
    SetFocus(target);
    gRecorded.clear();
    PostKeystroke('z');
    ASSERT_TRUE(PumpUntil([&] { return CountRecorded(target, WM_KEYUP) >= 2; }));
    const auto keyDown = std::find_if(gRecorded.begin(), gRecorded.end(),
                                      [](const Recorded& r) { return r.message == WM_KEYDOWN && r.wParam == 'Z'; });
    ASSERT_NE(keyDown, gRecorded.end());
    EXPECT_TRUE(keyDown->controlDown);
    EXPECT_EQ(gRecorded.back().message, static_cast<UINT>(WM_KEYUP));
    EXPECT_EQ(gRecorded.back().wParam, static_cast<WPARAM>(VK_CONTROL));
    EXPECT_EQ(GetModifierKeys() & kModifierControl, 0);
}

// The host's menu bar: Edit with Undo, Remove and a sub-menu holding Last Effect.
HMENU MakeHostMenu() {
    HMENU more = CreatePopupMenu();
    AppendMenuW(more, MF_STRING, 103, L"&Last Effect\tCtrl+F");
    HMENU edit = CreatePopupMenu();
    AppendMenuW(edit, MF_STRING, 101, L"&Undo\tCtrl+Z");
    AppendMenuW(edit, MF_STRING, 102, L"Remo&ve");
    AppendMenuW(edit, MF_POPUP, reinterpret_cast<UINT_PTR>(more), L"More");
    HMENU bar = CreateMenu();
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), L"&Edit");
    return bar;
}

TEST(HostMenuCommand, PostsTheCommandOfTheItemFoundByItsText) {
    TestWindow host(MakeHostMenu());
    gRecorded.clear();
    const struct {
        const char* name;
        uint16_t expected;
    } cases[] = {
        {"&Undo", 101}, {"REMO&VE", 102}, {"&last effect", 103}, {"&La", 103},
        {"Last Effect", 0}, {"Repeat ", 0}, {"&Undo\tCtrl+Z and more", 0}, {"", 0},
    };
    std::vector<WPARAM> expectedCommands;
    for (const auto& c : cases) {
        EXPECT_EQ(DoHostMenuCommand(host.Get(), c.name), c.expected) << c.name;
        if (c.expected) expectedCommands.push_back(c.expected);
    }
    ASSERT_TRUE(PumpUntil([&] { return CountRecorded(host.Get(), WM_COMMAND) >= expectedCommands.size(); }));
    std::vector<WPARAM> commands;
    for (const Recorded& r : gRecorded)
        if (r.message == WM_COMMAND) commands.push_back(r.wParam);
    EXPECT_EQ(commands, expectedCommands);

    EXPECT_EQ(DoHostMenuCommand(nullptr, "&Undo"), 0);
}

TEST(MenuItemText, IsReplacedKeepingTheShortcutAndTheState) {
    TestWindow window(MakeHostMenu());
    DrawingPort port;
    InitPort(port, window.Get());
    const HMENU menu = GetMenu(window.Get());
    EnableMenuItem(menu, 101, MF_BYCOMMAND | MF_GRAYED);

    EXPECT_EQ(SetMenuItemText(port, 101, "Undo &Frame Caf\xC3\xA9"), Err::None);
    wchar_t whole[64] = {};
    GetMenuStringW(menu, 101, whole, 64, MF_BYCOMMAND);
    EXPECT_STREQ(whole, L"Undo &Frame Caf\u00E9\tCtrl+Z");
    EXPECT_EQ(GetMenuItemText(menu, 101), "Undo &Frame Caf\xC3\xA9");
    EXPECT_TRUE(GetMenuState(menu, 101, MF_BYCOMMAND) & MF_GRAYED);

    EXPECT_EQ(SetMenuItemText(port, 102, "Delete"), Err::None);
    EXPECT_EQ(GetMenuItemText(menu, 102), "Delete");
    EXPECT_EQ(SetMenuItemText(port, 999, "None"), Err::ResourceMissing);
    EXPECT_EQ(GetMenuItemText(menu, 999), "");
    DisposePort(port);
}

Rect16 ClientRectOnScreen(PopupWindow& popup) { return GetClientScreenRect(popup.Port()); }

COLORREF ClientPixel(HWND window, int x, int y) {
    const HDC dc = GetDC(window);
    const COLORREF color = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return color;
}

int CountClientPixels(HWND window, const Rect16& client, COLORREF color) {
    const HDC dc = GetDC(window);
    int count = 0;
    for (int y = 0; y < RectHeight(client); ++y)
        for (int x = 0; x < RectWidth(client); ++x) count += GetPixel(dc, x, y) == color;
    ReleaseDC(window, dc);
    return count;
}

TEST(PopupWindow, HoldsTheMouseWhileShownAndGivesItBack) {
    TestWindow owner, holder;
    HWND ownerWindow = owner.Get();
    SetCapture(holder.Get());
    {
        PopupWindow popup(&ownerWindow);
        EXPECT_FALSE(IsWindowVisible(popup.Window()));
        ShowPopupWindowAt(popup, Rect16{100, 120, 140, 220});
        ASSERT_TRUE(IsWindowVisible(popup.Window()));
        EXPECT_EQ(GetCapture(), popup.Window());
        EXPECT_EQ(AlertState::ModalDepth(), 1);
        const Rect16 client = ClientRectOnScreen(popup);
        EXPECT_EQ(client.top, 100);
        EXPECT_EQ(client.left, 120);
        EXPECT_EQ(client.bottom, 140);
        EXPECT_EQ(client.right, 220);
        EXPECT_EQ(ClientPixel(popup.Window(), 50, 20), RGB(255, 255, 255));
        PaintRect(popup.Port(), Rect16{10, 10, 20, 20});
        EXPECT_EQ(ClientPixel(popup.Window(), 15, 15), RGB(0, 0, 0));

        ShowPopupWindowAt(popup, Rect16{100, 120, 150, 260});   // shown again: still one capture
        EXPECT_EQ(AlertState::ModalDepth(), 1);

        gRecorded.clear();
        HidePopupWindow(popup);
        EXPECT_FALSE(IsWindowVisible(popup.Window()));
        EXPECT_EQ(GetCapture(), nullptr);
        EXPECT_EQ(AlertState::ModalDepth(), 0);
        EXPECT_EQ(CountRecorded(holder.Get(), WM_LBUTTONUP), 1u);
        EXPECT_EQ(CountRecorded(ownerWindow, WM_APP), 1u);

        HidePopupWindow(popup);   // hidden already: nothing happens
        EXPECT_EQ(CountRecorded(ownerWindow, WM_APP), 1u);
        ShowPopupWindowAt(popup, Rect16{100, 120, 140, 220});
        EXPECT_EQ(AlertState::ModalDepth(), 1);
    }
    EXPECT_EQ(AlertState::ModalDepth(), 0);   // a popup destroyed while shown gives everything back
}

TEST(HelpTextWindow, ShowsTheItemNameNearTheCursor) {
    ASSERT_TRUE(SetCursorPos(300, 300));
    std::optional<Rect16> preview;
    HelpTextWindow help([&] { return preview; });
    help.Draw("Zoom Tool (Z):  Use it to zoom the preview.");
    EXPECT_EQ(help.TextOnShow(), "Zoom Tool (Z)");
    ASSERT_TRUE(IsWindowVisible(help.Window()));
    EXPECT_EQ(AlertState::ModalDepth(), 0);   // help never takes the mouse
    EXPECT_NE(GetCapture(), help.Window());
    Rect16 shown = ClientRectOnScreen(help);
    EXPECT_EQ(shown.top, 320);
    EXPECT_EQ(shown.left, 300);
    EXPECT_GT(RectWidth(shown), MeasureTextWidth(help.Port(), "Zoom Tool (Z)"));

    EXPECT_EQ(ClientPixel(help.Window(), 0, 0), *GetThemeColor(11));
    EXPECT_GT(CountClientPixels(help.Window(), shown, *GetThemeColor(10)), 10);

    help.Draw("ZOOM TOOL (z): other words");   // the same name: nothing changes
    EXPECT_EQ(help.TextOnShow(), "Zoom Tool (Z)");
    EXPECT_TRUE(IsWindowVisible(help.Window()));
    help.Draw("No colon at all");
    EXPECT_FALSE(IsWindowVisible(help.Window()));
    EXPECT_EQ(help.TextOnShow(), "");

    preview = Rect16{310, 250, 600, 600};   // below the cursor lies the preview: the help goes above
    help.Draw("Hand Tool (H): scroll");
    shown = ClientRectOnScreen(help);
    EXPECT_EQ(shown.bottom, 280);
    EXPECT_EQ(shown.left, 300);

    preview.reset();   // at the foot of the screen it would cover the cursor: above as well
    const Rect16 area = GetMonitorWorkRect();
    ASSERT_TRUE(SetCursorPos(300, area.bottom - 5));
    help.Draw("Move Tool (V): adjust");
    shown = ClientRectOnScreen(help);
    EXPECT_EQ(shown.bottom, area.bottom - 25);
    help.Draw(":");
    EXPECT_FALSE(IsWindowVisible(help.Window()));
}

}  // namespace
