// The control gallery on the desktop: the dialog template runs with a plain dialog procedure that
// paints the dialog dark, and every control is probed at its place for the artwork and colours it
// drew. With QUORVEL_SHOTS set the gallery is also written as a picture.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ControlGallery.h"
#include "ControlTestSupport.h"
#include "PopupWindow.h"
#include "ToolkitState.h"
#include "WindowShot.h"

namespace {

using namespace ControlLook;

// The gallery's dialog procedure: numbers in the edits, three tabs, and the dialog's surfaces in
// the interface greys, as the dialog framework paints them.
// The commands the gallery's buttons sent (IDOK, IDCANCEL), latest last.
std::vector<int> gGalleryCommands;

INT_PTR CALLBACK GalleryProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    static OwnedBrush background(CreateSolidBrush(kBackground));
    static OwnedBrush surface(CreateSolidBrush(kSurface));
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) gGalleryCommands.push_back(LOWORD(wParam));
            return TRUE;
        case WM_INITDIALOG: {
            SetDlgItemTextW(dialog, GALLERY_OPACITY_EDIT, L"100");
            SetDlgItemTextW(dialog, GALLERY_SOFTNESS_EDIT, L"25");
            SetDlgItemTextW(dialog, GALLERY_ANGLE_EDIT, L"-15");
            SetDlgItemTextW(dialog, GALLERY_BLUR_EDIT, L"4.5");
            const HWND tabs = GetDlgItem(dialog, GALLERY_TABS);
            const wchar_t* names[] = {L"Border", L"Shadow", L"Glow"};
            for (int i = 0; i < 3; ++i) {
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = const_cast<wchar_t*>(names[i]);
                SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
            }
            SendDlgItemMessageA(dialog, GALLERY_LINEAR_SLIDER, 0x406, 1, MAKELPARAM(static_cast<WORD>(-100), 100));
            SendDlgItemMessageA(dialog, GALLERY_LINEAR_SLIDER, 0x405, 0, 40);
            SendDlgItemMessageA(dialog, GALLERY_NONLINEAR_SLIDER, 0x405, 0, 25);
            SendDlgItemMessageA(dialog, GALLERY_PADLOCK, 0x405, 0, 1);
            return TRUE;
        }
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            SetTextColor(reinterpret_cast<HDC>(wParam), kText);
            SetBkColor(reinterpret_cast<HDC>(wParam), kBackground);
            return reinterpret_cast<INT_PTR>(background.Get());
        case WM_CTLCOLOREDIT:
            SetTextColor(reinterpret_cast<HDC>(wParam), kText);
            SetBkColor(reinterpret_cast<HDC>(wParam), kSurface);
            return reinterpret_cast<INT_PTR>(surface.Get());
        default:
            return FALSE;
    }
}

// The gallery is shown once for all its tests: a captioned window under Wine without a window
// manager takes seconds to go away.
class Gallery : public testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX classes{sizeof classes, ICC_TAB_CLASSES};
        InitCommonControlsEx(&classes);
        ASSERT_TRUE(RegisterCustomControls());
        // The dialog framework publishes the template id while it creates the controls.
        Toolkit::SetResourceBase(GALLERY_DIALOG);
        dialog_ = CreateDialogParamW(ThisModule(), MAKEINTRESOURCEW(GALLERY_DIALOG), nullptr, GalleryProc, 0);
        Toolkit::SetResourceBase(0);
        ASSERT_NE(dialog_, nullptr) << GetLastError();
        SetWindowPos(dialog_, HWND_TOP, 80, 80, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        BringToFront(dialog_);
    }
    static void TearDownTestSuite() {
        if (dialog_) DestroyWindow(dialog_);
        dialog_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(dialog_, nullptr);
        popup_ = std::make_unique<PopupWindow>(nullptr, PopupWindow::kNoCapture);
        Toolkit::SetSliderPopup(popup_.get());
        RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
        PumpPending();
    }
    void TearDown() override {
        Toolkit::SetSliderPopup(nullptr);
        popup_.reset();
        EXPECT_EQ(Toolkit::TrackingDepth(), 0);
    }

    static HWND Item(int id) { return GetDlgItem(dialog_, id); }
    static RECT Place(int id) { return ChildRect(Item(id)); }
    // A rectangle relative to an item's top-left corner, in the dialog's client coordinates.
    static RECT Within(int id, RECT r) {
        const RECT place = Place(id);
        OffsetRect(&r, place.left, place.top);
        return r;
    }

    std::unique_ptr<PopupWindow> popup_;
    static HWND dialog_;
};

HWND Gallery::dialog_ = nullptr;

TEST_F(Gallery, ItemsAreNumberedWithoutGapsAndOfEveryClass) {
    struct Expected {
        int id;
        const char* className;
    };
    const Expected items[] = {
        {GALLERY_OPACITY_SPINNER, "tSpinner"},
        {GALLERY_OPACITY_POPUP, "tPopupSlider"},
        {GALLERY_SOFTNESS_POPUP, "tNonLinearPopup"},
        {GALLERY_ANGLE_POPUP, "tPopupSliderSansSpinner"},
        {GALLERY_BLUR_POPUP, "tNonLinearPopupSansSpinner"},
        {GALLERY_LINEAR_SLIDER, "tLinearSlider"},
        {GALLERY_NONLINEAR_SLIDER, "tNonLinearSlider"},
        {GALLERY_POPUP_MENU, "tPopupMenu"},
        {GALLERY_REALTIME_MENU, "tRealtimeMenu"},
        {GALLERY_TOOL_PALETTE, "tToolPalette"},
        {GALLERY_BITMAP_BUTTON, "bBitmapButton"},
        {GALLERY_PICTURE_BUTTON, "bPicButton"},
        {GALLERY_ICON_BUTTON, "bIconButton"},
        {GALLERY_PADLOCK, "tPadLock"},
        {GALLERY_TABS, "SysTabControl32"},
        {GALLERY_USER_ITEM, "tUserItem"},
    };
    for (int id = 1; id <= GALLERY_LAST_ITEM; ++id) EXPECT_NE(Item(id), nullptr) << "item " << id;
    EXPECT_EQ(Item(GALLERY_LAST_ITEM + 1), nullptr);
    for (const Expected& item : items) {
        char name[64] = {};
        GetClassNameA(Item(item.id), name, sizeof name);
        EXPECT_STREQ(name, item.className) << "item " << item.id;
    }
}

TEST_F(Gallery, NumberGroupsCloseRoundTheirEdits) {
    const int groups[][3] = {
        {GALLERY_OPACITY_EDIT, GALLERY_OPACITY_SPINNER, GALLERY_OPACITY_POPUP},
        {GALLERY_SOFTNESS_EDIT, GALLERY_SOFTNESS_SPINNER, GALLERY_SOFTNESS_POPUP},
        {GALLERY_ANGLE_EDIT, 0, GALLERY_ANGLE_POPUP},
        {GALLERY_BLUR_EDIT, 0, GALLERY_BLUR_POPUP},
    };
    for (const auto& group : groups) {
        const RECT edit = Place(group[0]);
        if (group[1]) {
            EXPECT_EQ(Place(group[1]).right, edit.left + 2) << "spinner " << group[1];
        }
        EXPECT_EQ(Place(group[2]).left, edit.right - 2) << "popup slider " << group[2];
        EXPECT_EQ(Place(group[2]).top, edit.top) << "popup slider " << group[2];
    }
}

TEST_F(Gallery, EveryControlDrewItsArtworkInPlace) {
    bool settled = false;
    const ClientPicture shot = OnScreen(dialog_, &settled);
    EXPECT_TRUE(settled) << "the screen shows the gallery as it drew itself";
    if (!ShotFolder().empty()) SaveWindowShot(dialog_, ShotFolder() + "/control-gallery.bmp");
    ASSERT_GT(shot.Width(), 0);
    EXPECT_EQ(shot.At(2, 2), kBackground) << "the dialog is dark";

    // The number groups: wells with arrows.
    for (int id : {GALLERY_OPACITY_SPINNER, GALLERY_SOFTNESS_SPINNER}) {
        EXPECT_GT(shot.Count(Place(id), kSurface), 10) << "spinner " << id;
        EXPECT_GT(shot.Count(Place(id), kText), 3) << "spinner " << id << ": its arrows";
    }
    for (int id : {GALLERY_OPACITY_POPUP, GALLERY_SOFTNESS_POPUP, GALLERY_ANGLE_POPUP, GALLERY_BLUR_POPUP}) {
        EXPECT_GT(shot.Count(Place(id), kSurface), 10) << "popup slider " << id;
        EXPECT_GT(shot.Count(Place(id), kText), 3) << "popup slider " << id << ": its arrow";
    }
    // The sliders: a channel, a thumb, and the mark of 0 on the range across it.
    for (int id : {GALLERY_LINEAR_SLIDER, GALLERY_NONLINEAR_SLIDER}) {
        EXPECT_GT(shot.Count(Place(id), kSurface), 50) << "slider " << id << ": its channel";
        EXPECT_GT(shot.Count(Place(id), kFrame), 16) << "slider " << id << ": its thumb";
    }
    EXPECT_GE(shot.Count(Place(GALLERY_LINEAR_SLIDER), kText), 3) << "the mark of 0";
    // The menus: a box, its arrow button and the entry's text.
    for (int id : {GALLERY_POPUP_MENU, GALLERY_REALTIME_MENU}) {
        const RECT place = Place(id);
        EXPECT_GT(shot.Count(place, kSurface), 100) << "menu " << id;
        EXPECT_GT(shot.Count(place, kFrame), 20) << "menu " << id << ": its arrow button";
        int light = 0;  // text pixels, whatever the font's smoothing
        for (int y = place.top; y < place.bottom; ++y)
            for (int x = place.left; x < place.right; ++x) light += GetGValue(shot.At(x, y)) >= 0xA0;
        EXPECT_GT(light, 20) << "menu " << id << ": its label and entry";
    }
    // The tool palette: four tools in light grey, the first pushed in.
    const RECT palette = Place(GALLERY_TOOL_PALETTE);
    const int cell = (palette.right - palette.left) / 4;
    for (int n = 0; n < 4; ++n) {
        const RECT r{palette.left + n * cell, palette.top, palette.left + (n + 1) * cell, palette.bottom};
        EXPECT_GT(shot.Count(r, kText), 15) << "tool " << n + 1;
    }
    EXPECT_GT(shot.Count({palette.left, palette.top, palette.left + cell, palette.bottom}, kPressed), 50);
    EXPECT_EQ(shot.Count({palette.left + cell, palette.top, palette.right, palette.bottom}, kPressed), 0);
    // The bitmap button: its face as drawn, frame, background and plus.
    EXPECT_EQ(shot.Count(Within(GALLERY_BITMAP_BUTTON, {0, 0, 24, 1}), kFrame), 24);
    EXPECT_EQ(shot.Count(Within(GALLERY_BITMAP_BUTTON, {1, 1, 5, 5}), kBackground), 16);
    EXPECT_EQ(shot.Count(Within(GALLERY_BITMAP_BUTTON, {11, 5, 13, 17}), kText), 24);
    // The icon button: the 16 x 16 icon at its top-left, frame and photo.
    EXPECT_EQ(shot.Count(Within(GALLERY_ICON_BUTTON, {0, 1, 16, 2}), kText), 16);
    EXPECT_EQ(shot.Count(Within(GALLERY_ICON_BUTTON, {3, 4, 9, 6}), kSurface), 12);
    // The picture button: a frame, the icon at the left and its text.
    const RECT picture = Place(GALLERY_PICTURE_BUTTON);
    EXPECT_GT(shot.Count(picture, kFrame), 40);
    EXPECT_GT(shot.Count({picture.left, picture.top, picture.left + 22, picture.bottom}, kSurface), 30) << "its icon";
    // The padlock, locked: its picture on the pressed grey.
    EXPECT_GT(shot.Count(Place(GALLERY_PADLOCK), kText), 80);
    EXPECT_GT(shot.Count(Place(GALLERY_PADLOCK), kPressed), 30);
}

TEST_F(Gallery, PopupSliderOpensOverTheDialogAndClosesIntoItsEdit) {
    const HWND slider = Item(GALLERY_SOFTNESS_POPUP);
    Press(slider, 4, 4);
    Release(slider, 4, 4);
    ASSERT_TRUE(IsWindowVisible(popup_->Window()));
    // What the screen shows: the popup over the dialog, with what it drew.
    bool settled = false;
    const ClientPicture open = OnScreen(popup_->Window(), &settled);
    EXPECT_TRUE(settled) << "the screen shows the popup as it drew itself";
    if (!ShotFolder().empty()) SaveWindowShot(popup_->Window(), ShotFolder() + "/control-gallery-popup.bmp");
    EXPECT_GT(open.Count({0, 0, open.Width(), open.Height()}, kSurface), 100) << "the slot";
    EXPECT_GT(open.Count({0, 0, open.Width(), open.Height()}, kFrame), 60) << "the frame and the thumb";
    Send(slider, WM_KEYDOWN, VK_ESCAPE);
    EXPECT_FALSE(IsWindowVisible(popup_->Window()));
    EXPECT_EQ(GetFocus(), Item(GALLERY_SOFTNESS_EDIT));
}

TEST_F(Gallery, TheDialogHandsReturnAndEscapeToAnOpenPopupSlider) {
    const HWND slider = Item(GALLERY_OPACITY_POPUP);
    Send(slider, 0x405, 0, 30);
    gGalleryCommands.clear();
    auto typeThroughTheDialog = [&](WPARAM key) {
        PostMessageW(GetFocus(), WM_KEYDOWN, key, 0);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageW(dialog_, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    };
    Press(slider, 4, 4);
    Release(slider, 4, 4);
    ASSERT_TRUE(IsWindowVisible(popup_->Window()));
    typeThroughTheDialog(VK_UP);
    typeThroughTheDialog(VK_ESCAPE);
    EXPECT_FALSE(IsWindowVisible(popup_->Window()));
    EXPECT_EQ(Send(slider, 0x400), 30) << "Escape restored the value";

    Press(slider, 4, 4);
    Release(slider, 4, 4);
    typeThroughTheDialog(VK_UP);
    typeThroughTheDialog(VK_RETURN);
    EXPECT_FALSE(IsWindowVisible(popup_->Window()));
    EXPECT_EQ(Send(slider, 0x400), 31) << "Return kept it";
    EXPECT_TRUE(gGalleryCommands.empty()) << "neither key pressed the dialog's buttons";

    // Closed, the slider leaves them to the dialog.
    typeThroughTheDialog(VK_ESCAPE);
    EXPECT_EQ(gGalleryCommands, std::vector<int>{IDCANCEL});
}

TEST_F(Gallery, DisabledControlsDrawDimmed) {
    const int ids[] = {GALLERY_OPACITY_SPINNER, GALLERY_OPACITY_POPUP, GALLERY_LINEAR_SLIDER, GALLERY_POPUP_MENU,
                       GALLERY_TOOL_PALETTE, GALLERY_PADLOCK};
    for (int id : ids) EnableWindow(Item(id), FALSE);
    RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const ClientPicture shot = OnScreen(dialog_);
    if (!ShotFolder().empty()) SaveWindowShot(dialog_, ShotFolder() + "/control-gallery-disabled.bmp");
    for (int id : ids) EnableWindow(Item(id), TRUE);
    RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);

    for (int id : {GALLERY_OPACITY_SPINNER, GALLERY_OPACITY_POPUP}) {
        EXPECT_EQ(shot.Count(Place(id), kText), 0) << id;
        EXPECT_GT(shot.Count(Place(id), kDisabledText), 3) << id << ": dimmed arrows";
    }
    EXPECT_EQ(shot.Count(Place(GALLERY_LINEAR_SLIDER), kFrame), 0) << "the thumb's frame is dimmed";
    EXPECT_GT(shot.Count(Place(GALLERY_LINEAR_SLIDER), kSeparator), 16);
    EXPECT_EQ(shot.Count(Place(GALLERY_POPUP_MENU), kSurface), 0) << "no well behind a disabled entry";
    EXPECT_EQ(shot.Count(Place(GALLERY_TOOL_PALETTE), kText), 0) << "tools veiled";
    EXPECT_EQ(shot.Count(Place(GALLERY_PADLOCK), kText), 0) << "the padlock veiled";
}

}  // namespace
