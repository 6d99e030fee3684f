// The controls on real windows: the track-bar protocol, the WM_HSCROLL and WM_APP notices they
// send their parent, mouse interactions that hold the capture and the tracking depth exactly
// once, keys, the menus' entries, registration, and controls whose artwork is missing.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Alerts.h"
#include "ButtonControls.h"
#include "ControlGallery.h"
#include "ControlTestSupport.h"
#include "MenuControls.h"
#include "PopupWindow.h"
#include "SliderControls.h"
#include "SliderGeometry.h"
#include "ToolkitState.h"

namespace {

using namespace ControlMessage;

// One host window for the tests of a suite: under Wine without a window manager a top-level
// window takes seconds to go away. Each test leaves it empty.
class Controls : public testing::Test {
protected:
    static void SetUpTestSuite() { host_ = new ControlHost; }
    static void TearDownTestSuite() {
        delete host_;
        host_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(RegisterCustomControls());
        Toolkit::SetResourceBase(GALLERY_DIALOG);
        Toolkit::SetSliderPopup(nullptr);
        host.notices.clear();
    }
    void TearDown() override {
        EXPECT_EQ(Toolkit::TrackingDepth(), 0) << "every interaction gave the tracking depth back";
        while (Toolkit::TrackingDepth() > 0) Toolkit::LowerTrackingDepth();
        while (const HWND child = GetWindow(host.Window(), GW_CHILD)) DestroyWindow(child);
        host.notices.clear();
        Toolkit::SetSliderPopup(nullptr);
        Toolkit::SetResourceBase(0);
    }

    // The geometry a slider window of the given size lays its track on.
    static SliderGeometry GeometryOf(HWND slider, bool linear) {
        RECT client{};
        GetClientRect(slider, &client);
        return MakeSliderGeometry(1, 1, client.right - 1, client.bottom - 1,
                                  static_cast<int16_t>(Send(slider, kGetMinimum)),
                                  static_cast<int16_t>(Send(slider, kGetMaximum)), linear, 0);
    }

    static ControlHost* host_;
    ControlHost& host = *host_;
};

ControlHost* Controls::host_ = nullptr;

int Position(HWND control) { return static_cast<int>(Send(control, kGetPosition)); }

TEST_F(Controls, TrackBarRangeAndPositionAreKeptInOrder) {
    struct Case {
        int16_t minimum, maximum, valueBefore;
        int16_t wantMinimum, wantMaximum, wantValue;
    };
    const Case cases[] = {
        {-20, 80, 0, -20, 80, 0},
        {40, 40, 0, 40, 41, 40},      // an empty range gets one value more; the value is pulled in
        {10, 5, 30, 10, 11, 11},      // an inverted one too, the value pulled to the nearer end
        {-300, -200, -250, -300, -200, -250},
    };
    const HWND slider = host.Add("tLinearSlider", 7, {10, 10, 141, 28});
    EXPECT_EQ(Position(slider), 0);
    EXPECT_EQ(Send(slider, kGetMinimum), 0);
    EXPECT_EQ(Send(slider, kGetMaximum), 100);
    for (const Case& c : cases) {
        Send(slider, kSetRange, 0, MAKELPARAM(static_cast<WORD>(-32768), 32767));
        Send(slider, kSetPosition, 0, static_cast<WORD>(c.valueBefore));
        EXPECT_EQ(Send(slider, kSetRange, 1, MAKELPARAM(static_cast<WORD>(c.minimum), static_cast<WORD>(c.maximum))), 0);
        EXPECT_EQ(Send(slider, kGetMinimum), c.wantMinimum) << c.minimum << ".." << c.maximum;
        EXPECT_EQ(Send(slider, kGetMaximum), c.wantMaximum) << c.minimum << ".." << c.maximum;
        EXPECT_EQ(Position(slider), c.wantValue) << c.minimum << ".." << c.maximum;
    }
    Send(slider, kSetRange, 0, MAKELPARAM(static_cast<WORD>(-100), 100));
    EXPECT_EQ(Send(slider, kSetPosition, 0, 500), 1);
    EXPECT_EQ(Position(slider), 100) << "clamped";
    Send(slider, kSetPosition, 0, static_cast<WORD>(-500));
    EXPECT_EQ(Position(slider), -100) << "negative values travel as their 16-bit pattern";
    EXPECT_TRUE(host.notices.empty()) << "setting a value tells nobody";
}

TEST_F(Controls, SliderDragReportsMovingValuesThenTheEnd) {
    const HWND slider = host.Add("tLinearSlider", 7, {10, 10, 141, 28});
    Send(slider, kSetRange, 0, MAKELPARAM(static_cast<WORD>(-100), 100));
    const SliderGeometry g = GeometryOf(slider, true);
    const int y = 9;
    // Two values to the pixel: a position stands for the value it reads back as.
    const int x30 = SliderPositionOfValue(g, 30), xMinus40 = SliderPositionOfValue(g, -40);
    const int16_t at30 = static_cast<int16_t>(SliderValueAtPosition(g, x30));
    const int16_t atMinus40 = static_cast<int16_t>(SliderValueAtPosition(g, xMinus40));
    ASSERT_NEAR(at30, 30, 1);

    Press(slider, x30, y);
    EXPECT_EQ(GetCapture(), slider);
    EXPECT_EQ(Toolkit::TrackingDepth(), 1);
    Drag(slider, xMinus40, y);
    Drag(slider, SliderPositionOfValue(g, 0), y);
    Drag(slider, -500, y);  // beyond the track's start: the minimum
    Drag(slider, -600, y);  // the same value again: nothing to tell
    Release(slider, -600, y);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(Toolkit::TrackingDepth(), 0);
    const std::vector<Notice> want = {Scroll(kValueMoving, at30, slider), Scroll(kValueMoving, atMinus40, slider),
                                      Scroll(kValueMoving, 0, slider), Scroll(kValueMoving, -100, slider),
                                      Scroll(kValueSet, -100, slider)};
    EXPECT_EQ(host.notices, want);
    EXPECT_EQ(Position(slider), -100);
}

TEST_F(Controls, NonLinearSliderPutsAQuarterAtHalfLength) {
    const HWND slider = host.Add("tNonLinearSlider", 8, {10, 40, 141, 58});
    const SliderGeometry g = GeometryOf(slider, false);
    Press(slider, g.trackStart + g.trackLength / 2, 9);
    Release(slider, g.trackStart + g.trackLength / 2, 9);
    EXPECT_NEAR(Position(slider), 25, 1);
    const HWND linear = host.Add("tLinearSlider", 9, {10, 70, 141, 88});
    Press(linear, g.trackStart + g.trackLength / 2, 9);
    Release(linear, g.trackStart + g.trackLength / 2, 9);
    EXPECT_NEAR(Position(linear), 50, 1);
}

TEST_F(Controls, VerticalSliderFollowsThePointersHeight) {
    const HWND slider = host.Add("tLinearSlider", 7, {10, 10, 30, 141});
    const SliderGeometry g = GeometryOf(slider, true);
    ASSERT_TRUE(g.vertical);
    Press(slider, 5, SliderPositionOfValue(g, 80));
    Release(slider, 5, SliderPositionOfValue(g, 80));
    EXPECT_EQ(Position(slider), 80);
}

TEST_F(Controls, SliderKeysReportEveryChangeAsSet) {
    const HWND slider = host.Add("tLinearSlider", 7, {10, 10, 141, 28});
    struct Case {
        WPARAM key;
        int16_t before, after;
    };
    const Case cases[] = {
        {VK_HOME, 50, 100}, {VK_END, 50, 0},  {VK_PRIOR, 50, 70}, {VK_NEXT, 50, 30},
        {VK_UP, 50, 51},    {VK_RIGHT, 50, 51}, {VK_LEFT, 50, 49}, {VK_DOWN, 0, 0},
    };
    for (const Case& c : cases) {
        Send(slider, kSetPosition, 0, c.before);
        host.notices.clear();
        Send(slider, WM_KEYDOWN, c.key);
        EXPECT_EQ(Position(slider), c.after) << "key " << c.key;
        const std::vector<Notice> want =
            c.after == c.before ? std::vector<Notice>{} : std::vector<Notice>{Scroll(kValueSet, c.after, slider)};
        EXPECT_EQ(host.notices, want) << "key " << c.key;
    }
    Send(slider, WM_KEYDOWN, 'A');
    EXPECT_EQ(Send(slider, WM_GETDLGCODE), DLGC_WANTARROWS);
}

TEST_F(Controls, ShiftMakesArrowStepsTen) {
    const HWND slider = host.Add("tLinearSlider", 7, {10, 10, 141, 28});
    Send(slider, kSetPosition, 0, 50);
    SendKeys({VK_SHIFT}, false);
    ASSERT_TRUE(PumpUntil([] { return (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0; }));
    Send(slider, WM_KEYDOWN, VK_RIGHT);
    SendKeys({VK_SHIFT}, true);
    EXPECT_TRUE(PumpUntil([] { return (GetAsyncKeyState(VK_SHIFT) & 0x8000) == 0; }));
    EXPECT_EQ(Position(slider), 60);
    Send(slider, WM_KEYDOWN, VK_RIGHT);
    EXPECT_EQ(Position(slider), 61);
}

TEST_F(Controls, SpinnerAtItsEndHoldsNothing) {
    const HWND spinner = host.Add("tSpinner", 5, {10, 10, 24, 34});
    EXPECT_EQ(Send(spinner, kGetMinimum), -32768);
    EXPECT_EQ(Send(spinner, kGetMaximum), 32767);
    Send(spinner, kSetRange, 0, MAKELPARAM(0, 10));
    Send(spinner, kSetPosition, 0, 10);

    Press(spinner, 5, 3);  // the upper half, at the maximum
    EXPECT_NE(GetCapture(), spinner);
    EXPECT_EQ(Toolkit::TrackingDepth(), 0);
    EXPECT_FALSE(KillTimer(spinner, Spinner::kRepeatTimer)) << "no repeat timer runs";
    Release(spinner, 5, 3);
    EXPECT_TRUE(host.notices.empty());

    // Below the maximum the same press steps, holds the mouse and repeats.
    Send(spinner, kSetPosition, 0, 5);
    Press(spinner, 5, 3);
    EXPECT_EQ(GetCapture(), spinner);
    EXPECT_EQ(Toolkit::TrackingDepth(), 1);
    EXPECT_TRUE(PumpUntil([&] { return Position(spinner) >= 8; })) << "the timer repeats the step";
    Release(spinner, 5, 3);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_FALSE(KillTimer(spinner, Spinner::kRepeatTimer)) << "the release stopped the timer";
    const int reached = Position(spinner);
    ASSERT_GE(host.notices.size(), 4u);
    EXPECT_EQ(host.notices.front(), Scroll(kValueMoving, 6, spinner));
    EXPECT_EQ(host.notices.back(), Scroll(kValueSet, static_cast<int16_t>(reached), spinner));

    // The lower half with Shift steps ten down, stopping at the minimum.
    host.notices.clear();
    Press(spinner, 5, 20, MK_SHIFT);
    Release(spinner, 5, 20);
    EXPECT_EQ(Position(spinner), 0);
    EXPECT_EQ(host.notices, (std::vector<Notice>{Scroll(kValueMoving, 0, spinner), Scroll(kValueSet, 0, spinner)}));
}

TEST_F(Controls, NumberGroupControlsMoveBesideTheirEdit) {
    const HWND edit = host.Add("EDIT", 4, {100, 10, 160, 30}, WS_BORDER);
    const HWND spinner = host.Add("tSpinner", 5, {20, 12, 34, 28});
    const HWND popup = host.Add("tPopupSlider", 6, {200, 12, 214, 28});
    const HWND lonely = host.Add("tSpinner", 9, {20, 60, 34, 76});  // no edit at id 8
    const RECT e = ChildRect(edit), s = ChildRect(spinner), p = ChildRect(popup), l = ChildRect(lonely);
    EXPECT_EQ(s.right, e.left + 2);
    EXPECT_EQ(s.right - s.left, 14) << "the spinner keeps its width";
    EXPECT_EQ(s.bottom - s.top, 16) << "and its height";
    EXPECT_EQ(p.left, e.right - 2);
    EXPECT_EQ(p.right, 214) << "the popup slider keeps its right edge";
    EXPECT_EQ(l.left, 20) << "without its edit a control keeps its place";
}

class PopupSliders : public Controls {
protected:
    void SetUp() override {
        Controls::SetUp();
        popup_ = std::make_unique<PopupWindow>(nullptr, PopupWindow::kNoCapture);
        Toolkit::SetSliderPopup(popup_.get());
        edit = host.Add("EDIT", 4, {100, 10, 160, 30}, WS_BORDER, "50");
        slider = host.Add("tPopupSlider", 6, {160, 10, 174, 30});
        Send(slider, kSetPosition, 0, 50);
    }
    void TearDown() override {
        Toolkit::SetSliderPopup(nullptr);
        if (slider) DestroyWindow(slider);  // before the popup it may show
        popup_.reset();
        Controls::TearDown();
    }

    bool Open() const { return IsWindowVisible(popup_->Window()) != FALSE; }
    // A point of the slider's client area that lies at popupY in the popup.
    POINT FromPopup(int popupY) const {
        POINT point{5, popupY};
        ClientToScreen(popup_->Window(), &point);
        ScreenToClient(slider, &point);
        return point;
    }

    std::unique_ptr<PopupWindow> popup_;
    HWND edit = nullptr;
    HWND slider = nullptr;
};

TEST_F(PopupSliders, AClickOpensAndAClickOutsideCloses) {
    Press(slider, 5, 5);
    Release(slider, 5, 5);
    ASSERT_TRUE(Open()) << "a click without a drag leaves the popup open";
    EXPECT_EQ(GetCapture(), slider);
    EXPECT_EQ(Toolkit::TrackingDepth(), 1);

    // The popup stands right of the control's left edge with the value's thumb under the pointer.
    RECT popupRect{}, own{};
    GetClientRect(popup_->Window(), &popupRect);
    MapWindowPoints(popup_->Window(), nullptr, reinterpret_cast<POINT*>(&popupRect), 2);
    GetWindowRect(slider, &own);
    EXPECT_EQ(popupRect.left, own.left + 1);
    EXPECT_EQ(popupRect.right - popupRect.left, PopupSlider::kPopupWidth);
    const SliderGeometry g = MakeSliderGeometry(PopupSlider::kPopupTrack.left, PopupSlider::kPopupTrack.top,
                                                PopupSlider::kPopupTrack.right, PopupSlider::kPopupTrack.bottom, 0, 100,
                                                true, 50);
    POINT pointer{5, 5};
    ClientToScreen(slider, &pointer);
    EXPECT_EQ(popupRect.top + g.thumbPosition, pointer.y);
    bool settled = false;
    const ClientPicture picture = OnScreen(popup_->Window(), &settled);
    EXPECT_TRUE(settled) << "the screen shows the popup as it drew itself, above the dialog";
    EXPECT_GT(picture.Count({g.trackLeft, g.thumbPosition - 4, g.trackRight, g.thumbPosition + 4}, ControlLook::kFrame), 8)
        << "the thumb is drawn at the value";
    EXPECT_EQ(Send(slider, WM_GETDLGCODE) & DLGC_WANTALLKEYS, DLGC_WANTALLKEYS) << "Return and Escape go to the popup";

    // A click inside moves the thumb and leaves it open.
    const POINT inside = FromPopup(SliderPositionOfValue(g, 80));
    Press(slider, inside.x, inside.y);
    Release(slider, inside.x, inside.y);
    EXPECT_TRUE(Open());
    EXPECT_EQ(Position(slider), 80);

    Press(slider, -300, -300);
    EXPECT_FALSE(Open());
    EXPECT_NE(GetCapture(), slider);
    EXPECT_EQ(Toolkit::TrackingDepth(), 0);
    EXPECT_EQ(host.notices, (std::vector<Notice>{Scroll(kValueMoving, 80, slider), Scroll(kValueSet, 80, slider)}));
    EXPECT_EQ(GetFocus(), edit) << "the edit takes the focus back";
    DWORD start = 1, end = 0;
    Send(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 2u) << "with its text selected";
}

TEST_F(PopupSliders, ADragFromTheOpeningClickClosesOnRelease) {
    Press(slider, 5, 5);
    ASSERT_TRUE(Open());
    const SliderGeometry g = MakeSliderGeometry(PopupSlider::kPopupTrack.left, PopupSlider::kPopupTrack.top,
                                                PopupSlider::kPopupTrack.right, PopupSlider::kPopupTrack.bottom, 0, 100,
                                                true, 0);
    const POINT to = FromPopup(SliderPositionOfValue(g, 20));
    Drag(slider, to.x, to.y);
    Send(slider, WM_MOUSEMOVE, 0, MAKELPARAM(to.x, to.y - 30));  // no button: the thumb stays
    Release(slider, to.x, to.y);
    EXPECT_FALSE(Open());
    EXPECT_EQ(host.notices, (std::vector<Notice>{Scroll(kValueMoving, 20, slider), Scroll(kValueSet, 20, slider)}));
}

TEST_F(PopupSliders, EscapeRestoresAndReturnKeeps) {
    Press(slider, 5, 5);
    Release(slider, 5, 5);
    ASSERT_TRUE(Open());
    Send(slider, WM_KEYDOWN, VK_UP);
    Send(slider, WM_KEYDOWN, VK_PRIOR);
    EXPECT_EQ(Position(slider), 71);
    Send(slider, WM_KEYDOWN, VK_ESCAPE);
    EXPECT_FALSE(Open());
    EXPECT_EQ(Position(slider), 50);
    EXPECT_EQ(host.notices, (std::vector<Notice>{Scroll(kValueSet, 51, slider), Scroll(kValueSet, 71, slider),
                                                 Scroll(kValueSet, 50, slider)}));
    EXPECT_EQ(Toolkit::TrackingDepth(), 0);

    host.notices.clear();
    Press(slider, 5, 5);
    Release(slider, 5, 5);
    Send(slider, WM_KEYDOWN, VK_HOME);
    Send(slider, WM_KEYDOWN, VK_RETURN);
    EXPECT_FALSE(Open());
    EXPECT_EQ(Position(slider), 100);
    EXPECT_EQ(host.notices, (std::vector<Notice>{Scroll(kValueSet, 100, slider), Scroll(kValueSet, 100, slider)}));
    EXPECT_FALSE(Send(slider, WM_GETDLGCODE) & DLGC_WANTALLKEYS) << "closed, the dialog has its keys back";
}

TEST_F(PopupSliders, CaptureTakenByAnotherWindowClosesThePopup) {
    Press(slider, 5, 5);
    Release(slider, 5, 5);
    ASSERT_TRUE(Open());
    SetCapture(host.Window());
    EXPECT_FALSE(Open());
    EXPECT_EQ(Toolkit::TrackingDepth(), 0);
    ReleaseCapture();
}

TEST_F(Controls, PopupSliderShowsInAPopupThatTakesTheMouseItself) {
    PopupWindow popup;  // takes the capture and raises the modal depth while shown
    Toolkit::SetSliderPopup(&popup);
    const HWND slider = host.Add("tPopupSlider", 6, {160, 10, 174, 30});
    Press(slider, 5, 5);
    Release(slider, 5, 5);
    EXPECT_TRUE(IsWindowVisible(popup.Window()));
    EXPECT_EQ(GetCapture(), slider) << "the slider holds the mouse while it is open";
    Press(slider, -300, -300);
    EXPECT_FALSE(IsWindowVisible(popup.Window()));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(AlertState::ModalDepth(), 0);
    EXPECT_EQ(host.notices, (std::vector<Notice>{Scroll(kValueSet, 0, slider)}));
    DestroyWindow(slider);
    Toolkit::SetSliderPopup(nullptr);
}

TEST_F(Controls, PopupSliderWithoutPopupDoesNothing) {
    const HWND slider = host.Add("tNonLinearPopup", 6, {160, 10, 174, 30});
    Press(slider, 5, 5);
    Release(slider, 5, 5);
    EXPECT_NE(GetCapture(), slider);
    EXPECT_TRUE(host.notices.empty());
}

TEST_F(Controls, UserItemForwardsItsClicks) {
    const HWND item = host.Add("tUserItem", GALLERY_USER_ITEM, {10, 10, 110, 60});
    const LPARAM item_ = reinterpret_cast<LPARAM>(item);
    Press(item, 7, 9);
    EXPECT_EQ(GetCapture(), item);
    EXPECT_EQ(Toolkit::TrackingDepth(), 1);
    Press(item, 7, 9);  // a double click holds once
    EXPECT_EQ(Toolkit::TrackingDepth(), 1);
    Release(item, 8, 11);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(Toolkit::TrackingDepth(), 0);
    Send(item, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(3, 4));
    const std::vector<Notice> want = {{WM_APP, GALLERY_USER_ITEM, item_},
                                      {WM_APP, GALLERY_USER_ITEM, item_},
                                      {WM_APP + 3, static_cast<WPARAM>(MAKELPARAM(8, 11)), item_},
                                      {WM_APP + 4, GALLERY_USER_ITEM, MAKELPARAM(3, 4)}};
    EXPECT_EQ(host.notices, want);
    EXPECT_EQ(Send(item, kGetPosition), 0);
    EXPECT_EQ(Send(item, kSetPosition, 0, 5), 1);
    EXPECT_EQ(Send(item, kSetRange, 0, MAKELPARAM(0, 9)), 0);

    // A hold ends when another window takes the mouse, and when the item goes.
    Press(item, 7, 9);
    SetCapture(host.Window());
    EXPECT_EQ(Toolkit::TrackingDepth(), 0);
    ReleaseCapture();
    Press(item, 7, 9);
    DestroyWindow(item);
    EXPECT_EQ(Toolkit::TrackingDepth(), 0);
}

TEST_F(Controls, ToolPaletteReportsEveryClickOnACell) {
    const HWND palette = host.Add("tToolPalette", GALLERY_TOOL_PALETTE, {10, 10, 114, 32});
    EXPECT_EQ(Send(palette, kGetMaximum), (1 << 8) | 4) << "one row of four tools";
    EXPECT_EQ(Position(palette), 1);
    const LPARAM palette_ = reinterpret_cast<LPARAM>(palette);
    Press(palette, 5, 5);  // the current tool
    EXPECT_EQ(Position(palette), 1);
    Press(palette, 2 * 26 + 5, 5);
    EXPECT_EQ(Position(palette), 3);
    Press(palette, 200, 5);  // right of every cell
    EXPECT_EQ(Position(palette), 3);
    EXPECT_EQ(host.notices, (std::vector<Notice>{{WM_APP, GALLERY_TOOL_PALETTE, palette_},
                                                 {WM_APP, GALLERY_TOOL_PALETTE, palette_}}));
    EXPECT_NE(GetCapture(), palette);
}

TEST_F(Controls, PadLockTogglesAndReports) {
    const HWND lock = host.Add("tPadLock", GALLERY_PADLOCK, {10, 10, 32, 32});
    EXPECT_EQ(Send(lock, kGetMaximum), 1);
    Press(lock, 5, 5);
    Release(lock, 5, 5);
    Press(lock, 5, 5);
    EXPECT_EQ(host.notices, (std::vector<Notice>{Scroll(kValueSet, 1, lock), Scroll(kValueSet, 0, lock)}));
}

TEST_F(Controls, BitmapButtonClicksOnlyWhenReleasedInside) {
    const HWND button = host.Add("bBitmapButton", GALLERY_BITMAP_BUTTON, {10, 10, 34, 32});
    const LPARAM button_ = reinterpret_cast<LPARAM>(button);
    Press(button, 5, 5);
    EXPECT_EQ(GetCapture(), button);
    Release(button, 5, 5);
    Press(button, 5, 5);
    Release(button, 80, 5);
    EXPECT_EQ(host.notices, (std::vector<Notice>{{WM_APP, GALLERY_BITMAP_BUTTON, button_}}));
    EXPECT_EQ(Send(button, 0x4EE), 0) << "no drop-down menu";
    EXPECT_EQ(Toolkit::TrackingDepth(), 0);
}

// Records what a bitmap button asks of its drop-down menu.
class RecordingDelegate : public BitmapButtonDelegate {
public:
    void UpdateMenu(HMENU menu) override { updated = menu; }
    void MenuCommand(HMENU menu, UINT command) override {
        picked = menu;
        this->command = command;
    }
    HMENU updated = nullptr, picked = nullptr;
    UINT command = 0;
};

TEST_F(Controls, BitmapButtonDropsItsMenuForItsDelegate) {
    // At the popup menu's id the button finds the gallery's blend menu: it drops it on a press.
    const HWND button = host.Add("bBitmapButton", GALLERY_POPUP_MENU, {10, 10, 34, 32});
    const auto menu = reinterpret_cast<HMENU>(Send(button, BitmapButton::kGetMenu));
    ASSERT_NE(menu, nullptr);
    RecordingDelegate delegate;
    Send(button, BitmapButton::kSetDelegate, 0, reinterpret_cast<LPARAM>(&delegate));
    MenuHand typist(button, {VK_DOWN, VK_DOWN, VK_RETURN});
    Press(button, 5, 5);
    ASSERT_TRUE(typist.Finish());
    EXPECT_EQ(delegate.updated, menu) << "brought up to date before it dropped";
    EXPECT_EQ(delegate.picked, menu);
    EXPECT_EQ(delegate.command, static_cast<UINT>(GALLERY_BLEND_MULTIPLY));
    EXPECT_NE(GetCapture(), button);
    EXPECT_TRUE(host.notices.empty()) << "a menu pick is no click";
    Send(button, BitmapButton::kSetDelegate, 0, 0);
}

TEST_F(Controls, PictureButtonsKeepTheirCheckAndTheirOwnPicture) {
    const HWND picture = host.Add("bPicButton", GALLERY_PICTURE_BUTTON, {10, 10, 90, 32}, WS_TABSTOP, "Picture");
    const HWND icon = host.Add("bIconButton", GALLERY_ICON_BUTTON, {100, 10, 116, 26});
    for (HWND button : {picture, icon}) {
        EXPECT_EQ(GetWindowLongPtrA(button, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
        EXPECT_EQ(Send(button, BM_GETCHECK), BST_UNCHECKED);
        Send(button, BM_SETCHECK, BST_CHECKED);
        EXPECT_EQ(Send(button, BM_GETCHECK), BST_CHECKED);
        // An image handed in is taken and let go: the button keeps its own.
        const HICON given = CopyIcon(LoadIconW(nullptr, MAKEINTRESOURCEW(32512)));
        ASSERT_NE(given, nullptr);
        EXPECT_EQ(Send(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(given)), 0);
        EXPECT_FALSE(DestroyIcon(given)) << "already destroyed";
    }
    // A click on the picture button is a button's click: BN_CLICKED through BUTTON's own procedure.
    Press(picture, 5, 5);
    EXPECT_EQ(GetCapture(), picture);
    Release(picture, 5, 5);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(host.notices, (std::vector<Notice>{{WM_COMMAND, MAKEWPARAM(GALLERY_PICTURE_BUTTON, BN_CLICKED),
                                                  reinterpret_cast<LPARAM>(picture)}}));
}

// The popup menu's entries as the gallery's menu has them: Normal, Multiply, Screen, a separator,
// Overlay and Soft Light.
class PopupMenus : public Controls {
protected:
    HMENU EntriesOf(HWND control) const {
        const auto menu = static_cast<HMENU>(GetPropA(control, "PopupMenu"));
        return menu ? GetSubMenu(menu, 0) : nullptr;
    }
};

TEST_F(PopupMenus, KeysSkipSeparatorsAndGreyedEntries) {
    const HWND control = host.Add("tPopupMenu", GALLERY_POPUP_MENU, {10, 10, 200, 30}, 0, "Blend:\t");
    const HMENU entries = EntriesOf(control);
    ASSERT_NE(entries, nullptr);
    EXPECT_EQ(Send(control, kGetMaximum), 6);
    // Separators at both ends: Home and End land on the nearest usable entries.
    InsertMenuW(entries, 0, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    AppendMenuW(entries, MF_SEPARATOR, 0, nullptr);
    struct Case {
        WPARAM key;
        int16_t before, after;
    };
    const Case cases[] = {
        {VK_HOME, 5, 2}, {VK_DOWN, 4, 6}, {VK_UP, 6, 4}, {VK_PRIOR, 2, 2}, {VK_NEXT, 6, 7}, {VK_END, 2, 7},
    };
    for (const Case& c : cases) {
        Send(control, kSetPosition, 0, c.before);
        host.notices.clear();
        EXPECT_EQ(Send(control, WM_KEYDOWN, c.key), 0);
        EXPECT_EQ(Position(control), c.after) << "key " << c.key << " from " << c.before;
        const std::vector<Notice> want =
            c.after == c.before ? std::vector<Notice>{} : std::vector<Notice>{Scroll(kValueSet, c.after, control)};
        EXPECT_EQ(host.notices, want) << "key " << c.key << " from " << c.before;
    }
    host.notices.clear();
    Send(control, WM_KEYDOWN, VK_NEXT);  // nothing usable after the last entry
    EXPECT_EQ(Position(control), 7);
    EXPECT_TRUE(host.notices.empty());
    // Greyed entries are passed over too.
    EXPECT_EQ(Send(control, CB_SETITEMDATA, 5, 0), 0);  // Overlay
    Send(control, kSetPosition, 0, 4);
    Send(control, WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ(Position(control), 7);
    EXPECT_EQ(Send(control, CB_SETITEMDATA, 6, 0), 0);  // Soft Light
    Send(control, WM_KEYDOWN, VK_END);
    EXPECT_EQ(Position(control), 4);
    Send(control, CB_SETITEMDATA, 5, 1);
    Send(control, WM_KEYDOWN, VK_END);
    EXPECT_EQ(Position(control), 6);
}

TEST_F(PopupMenus, EntriesAnswerComboMessages) {
    const HWND control = host.Add("tPopupMenu", GALLERY_POPUP_MENU, {10, 10, 200, 30});
    const HMENU entries = EntriesOf(control);
    Send(control, kSetPosition, 0, 3);
    EXPECT_EQ(Send(control, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>("Dissolve")), 0);
    EXPECT_EQ(Position(control), 0) << "the current entry moved: none is current";
    EXPECT_EQ(Send(control, kGetMaximum), 7);
    EXPECT_EQ(GetMenuItemID(entries, 0), static_cast<UINT>(GALLERY_BLEND_SOFT_LIGHT + 1));
    EXPECT_EQ(Send(control, CB_GETCOUNT), 6);

    char text[300] = {};
    EXPECT_EQ(Send(control, CB_GETLBTEXTLEN, 0), 8);
    EXPECT_EQ(Send(control, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text)), 8);
    EXPECT_STREQ(text, "Dissolve");
    const std::string umlaut = "\xC3\x9C" "berlagern";  // UTF-8 in and out
    EXPECT_EQ(Send(control, CB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(umlaut.c_str())), 7);
    Send(control, CB_GETLBTEXT, 7, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(std::string(text), umlaut);
    const std::string longName(400, 'x');
    Send(control, CB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(longName.c_str()));
    EXPECT_EQ(Send(control, CB_GETLBTEXTLEN, 8), 255) << "texts are handed out bounded";
    EXPECT_EQ(Send(control, CB_GETLBTEXT, 42, reinterpret_cast<LPARAM>(text)), CB_ERR);

    // Removing an entry after the current one keeps it; removing one before it clears it.
    Send(control, kSetPosition, 0, 3);
    EXPECT_EQ(Send(control, CB_DELETESTRING, 5), 8);
    EXPECT_EQ(Position(control), 3);
    EXPECT_EQ(Send(control, CB_DELETESTRING, 1), 7);
    EXPECT_EQ(Position(control), 0);
    EXPECT_EQ(Send(control, CB_DELETESTRING, 99), CB_ERR);
    EXPECT_TRUE(host.notices.empty());
}

TEST_F(PopupMenus, PlainMenuReportsAPickedEntryAsAClick) {
    const HWND control = host.Add("tPopupMenu", GALLERY_POPUP_MENU, {10, 10, 200, 30}, WS_TABSTOP, "Blend:\t");
    Send(control, kSetPosition, 0, 3);
    MenuHand typist(control, {VK_DOWN, VK_DOWN, VK_RETURN});
    Press(control, 150, 5);
    ASSERT_TRUE(typist.Finish());
    EXPECT_EQ(Position(control), 2);
    EXPECT_EQ(host.notices, (std::vector<Notice>{{WM_APP, GALLERY_POPUP_MENU, reinterpret_cast<LPARAM>(control)}}));
    EXPECT_EQ(Toolkit::TrackingDepth(), 0);
}

TEST_F(PopupMenus, RealtimeMenuShowsHighlightedEntriesAndRestoresOnEscape) {
    const HWND control = host.Add("tRealtimeMenu", GALLERY_REALTIME_MENU, {10, 10, 200, 30}, WS_TABSTOP, "Edge:\t");
    MenuHand typist(control, {VK_DOWN, VK_DOWN, VK_DOWN, VK_ESCAPE});
    Press(control, 150, 5);
    ASSERT_TRUE(typist.Finish());
    EXPECT_EQ(Position(control), 1);
    EXPECT_EQ(host.notices, (std::vector<Notice>{Scroll(kValueSet, 2, control), Scroll(kValueSet, 3, control),
                                                 Scroll(kValueSet, 1, control)}))
        << "each highlighted entry, then the value at opening once";

    host.notices.clear();
    MenuHand picker(control, {VK_DOWN, VK_DOWN, VK_RETURN});
    Press(control, 150, 5);
    ASSERT_TRUE(picker.Finish());
    EXPECT_EQ(Position(control), 2) << "a picked entry stays";
    EXPECT_EQ(host.notices, (std::vector<Notice>{Scroll(kValueSet, 2, control)}));
}

TEST_F(Controls, RegistrationIsIdempotentAndUndone) {
    const char* const names[] = {"tToolPalette", "tPopupMenu", "tRealtimeMenu", "tLinearSlider", "tNonLinearSlider",
                                 "tPopupSlider", "tNonLinearPopup", "tPopupSliderSansSpinner",
                                 "tNonLinearPopupSansSpinner", "tSpinner", "tPadLock", "tUserItem", "bPicButton",
                                 "bIconButton", "bBitmapButton"};
    auto registered = [](const char* name) {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        return GetClassInfoExA(ThisModule(), name, &wc) != FALSE;
    };
    EXPECT_TRUE(RegisterCustomControls());
    for (const char* name : names) EXPECT_TRUE(registered(name)) << name;

    UnregisterCustomControls();
    for (const char* name : names) EXPECT_FALSE(registered(name)) << name;
    UnregisterCustomControls();  // nothing left to undo

    EXPECT_TRUE(RegisterCustomControls());
    // A class whose window still lives stays registered, and registering again still succeeds.
    const HWND spinner = host.Add("tSpinner", 5, {10, 10, 24, 34});
    UnregisterCustomControls();
    EXPECT_TRUE(registered("tSpinner"));
    EXPECT_FALSE(registered("tLinearSlider"));
    EXPECT_TRUE(RegisterCustomControls());
    DestroyWindow(spinner);
    UnregisterCustomControls();
    EXPECT_FALSE(registered("tSpinner"));
    EXPECT_TRUE(RegisterCustomControls());
}

TEST_F(Controls, MissingArtworkLeavesControlsBareAndWorking) {
    Toolkit::SetResourceBase(30000);  // no artwork or menu at any item id above it
    const HWND palette = host.Add("tToolPalette", GALLERY_TOOL_PALETTE, {10, 10, 114, 32});
    const HWND lock = host.Add("tPadLock", GALLERY_PADLOCK, {130, 10, 152, 32});
    const HWND button = host.Add("bBitmapButton", GALLERY_BITMAP_BUTTON, {170, 10, 194, 32});
    const HWND picture = host.Add("bPicButton", GALLERY_PICTURE_BUTTON, {210, 10, 250, 32});
    const HWND icon = host.Add("bIconButton", GALLERY_ICON_BUTTON, {270, 10, 286, 26});
    const HWND menu = host.Add("tPopupMenu", GALLERY_POPUP_MENU, {10, 50, 200, 70}, 0, "Blend:\t");
    host.Paint();

    const ClientPicture shot = OnScreen(host.Window());
    auto area = [](const RECT& r) { return static_cast<int>((r.right - r.left) * (r.bottom - r.top)); };
    const RECT p = ChildRect(palette), b = ChildRect(button), i = ChildRect(icon);
    EXPECT_EQ(shot.Count(p, ControlLook::kBackground), area(p)) << "the palette draws no tools";
    EXPECT_EQ(shot.Count(b, ControlLook::kBackground), area(b)) << "the bitmap button only its background";
    EXPECT_EQ(shot.Count(i, ControlLook::kBackground), area(i)) << "the icon button only its background";
    EXPECT_EQ(shot.Count(ChildRect(lock), ControlLook::kText), 0) << "the padlock has no picture";
    EXPECT_EQ(shot.Count(ChildRect(picture), ControlLook::kSurface), 0) << "the picture button has no icon";
    EXPECT_GT(shot.Count(ChildRect(lock), ControlLook::kFrame), 20) << "but its edge";

    EXPECT_EQ(Send(palette, kGetMaximum), 0);
    Press(palette, 5, 5);
    Press(lock, 5, 5);
    Press(menu, 150, 5);  // no menu: ignored, nothing tracks
    EXPECT_EQ(Send(menu, WM_KEYDOWN, VK_DOWN), 0);
    EXPECT_EQ(Send(menu, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>("Dissolve")), CB_ERR);
    EXPECT_EQ(Send(menu, kGetMaximum), 0);
    EXPECT_EQ(host.notices, (std::vector<Notice>{Scroll(kValueSet, 1, lock)}));
}

TEST_F(Controls, GalleryResourcesCarryThePlugInsOwn) {
    EXPECT_NE(FindResourceW(ThisModule(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16)), nullptr) << "version";
    EXPECT_NE(FindResourceW(ThisModule(), MAKEINTRESOURCEW(GALLERY_DIALOG), MAKEINTRESOURCEW(5)), nullptr) << "dialog";
    EXPECT_NE(FindResourceW(ThisModule(), MAKEINTRESOURCEW(GALLERY_TOOLS_BITMAP), MAKEINTRESOURCEW(2)), nullptr);
    EXPECT_NE(FindResourceW(ThisModule(), MAKEINTRESOURCEW(GALLERY_BUTTON_PRESSED_BITMAP), MAKEINTRESOURCEW(2)),
              nullptr);
    // Each icon shows its own images: 17000's frame is the accent colour, the gallery's grey.
    const OwnedIcon gallery(static_cast<HICON>(
        LoadImageW(ThisModule(), MAKEINTRESOURCEW(GALLERY_ICON_ICON), IMAGE_ICON, 16, 16, 0)));
    ASSERT_TRUE(gallery);
    const OwnedMemoryDC dc(CreateCompatibleDC(nullptr));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, 16, -16, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const OwnedBitmap target(CreateDIBSection(dc.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    ASSERT_TRUE(target);
    {
        const ControlLook::SelectionScope selected(dc.Get(), target.Get());
        DrawIconEx(dc.Get(), 0, 0, gallery.Get(), 16, 16, 0, nullptr, DI_NORMAL);
    }
    GdiFlush();
    EXPECT_EQ(static_cast<const uint32_t*>(bits)[16 * 1 + 0] & 0xFFFFFF, 0xBABABAu) << "the frame's top-left";
}

}  // namespace
