// The control gallery run by the dialog framework, as the plug-in's dialogs will run their
// templates: the window-class controls are numbered items of the kinds the framework reads, their
// changes arrive through the track-bar protocol and their clicks as item hits, and the ui steps
// photograph the dialog and close it with its Cancel ("controls.png", kept when QUORVEL_SHOTS names
// a folder).
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ControlDrawing.h"
#include "ControlGallery.h"
#include "GdiOwner.h"
#include "PSDialog.h"
#include "QuorvelHostCore/ImageFiles.h"
#include "QuorvelHostCore/UiScript.h"
#include "TempFolder.h"
#include "UiShots.h"
#include "WindowShot.h"

namespace {

using namespace ControlLook;

// The gallery, in the dark faces of the host-call dialogs, recording what reaches the dialog.
class GalleryDialog : public PSDialog {
public:
    GalleryDialog() : PSDialog(GALLERY_DIALOG, DialogKind::Modal) {}

    std::vector<int16_t> hits;
    std::vector<std::pair<int16_t, double>> forwarded;
    std::function<void(GalleryDialog&)> onFirstIdle;

    int16_t ItemHit(int16_t item) override {
        hits.push_back(item);
        return PSDialog::ItemHit(item);
    }
    bool ForwardItemHit(int16_t item, double value) override {
        forwarded.emplace_back(item, value);
        return true;
    }
    void InitDialog() override {
        PSDialog::InitDialog();
        SetItemNumber(GALLERY_OPACITY_EDIT, "%d", 0, 100);
        SetItemValue(GALLERY_OPACITY_EDIT, 100);
        SetItemNumber(GALLERY_SOFTNESS_EDIT, "%d", 0, 100);
        SetItemValue(GALLERY_SOFTNESS_EDIT, 25);
        SetItemNumber(GALLERY_ANGLE_EDIT, "%d", -180, 180);
        SetItemValue(GALLERY_ANGLE_EDIT, -15);
        SetItemNumber(GALLERY_BLUR_EDIT, "%.1f", 0, 250);
        SetItemValue(GALLERY_BLUR_EDIT, 4.5);
        SetItemRange(GALLERY_LINEAR_SLIDER, -100, 100);
        SetItemValue(GALLERY_LINEAR_SLIDER, 40);
        SetItemValue(GALLERY_NONLINEAR_SLIDER, 25);
        SetItemValue(GALLERY_PADLOCK, 1);
        SetItemValue(GALLERY_CHECK_BOX, 1);
        SetItemValue(GALLERY_TABS, 2);
    }
    void Idle() override {
        if (onFirstIdle) {
            auto once = std::move(onFirstIdle);
            onFirstIdle = nullptr;
            once(*this);
        }
    }

};

TEST(GalleryDialog, TheWindowClassControlsAreItemsOfTheKindsTheFrameworkReads) {
    GalleryDialog dialog;
    dialog.onFirstIdle = [](GalleryDialog& d) {
        EXPECT_EQ(d.ItemCount(), GALLERY_LAST_ITEM);
        for (int16_t item : {GALLERY_OPACITY_SPINNER, GALLERY_OPACITY_POPUP, GALLERY_ANGLE_POPUP,
                             GALLERY_LINEAR_SLIDER, GALLERY_NONLINEAR_SLIDER, GALLERY_POPUP_MENU,
                             GALLERY_REALTIME_MENU, GALLERY_TOOL_PALETTE, GALLERY_PADLOCK, GALLERY_USER_ITEM})
            EXPECT_EQ(d.ItemRecord(item)->kind, ItemKind::kTrackBar) << "item " << item;
        for (int16_t item : {GALLERY_BITMAP_BUTTON, GALLERY_PICTURE_BUTTON, GALLERY_ICON_BUTTON, GALLERY_CHECK_BOX})
            EXPECT_EQ(d.ItemRecord(item)->kind, ItemKind::kButton) << "item " << item;
        EXPECT_EQ(d.ItemRecord(GALLERY_TABS)->kind, ItemKind::kTabControl);
        EXPECT_EQ(d.ItemRecord(GALLERY_OPACITY_EDIT)->kind, ItemKind::kIntegerEdit);
        EXPECT_EQ(d.ItemRecord(GALLERY_BLUR_EDIT)->kind, ItemKind::kRealEdit);

        // Values set through the framework are the controls' own.
        EXPECT_EQ(d.GetItemValue(GALLERY_LINEAR_SLIDER), 40);
        EXPECT_EQ(d.GetItemValue(GALLERY_PADLOCK), 1);
        double low = 0, high = 0;
        d.GetItemRange(GALLERY_LINEAR_SLIDER, low, high);
        EXPECT_EQ(low, -100);
        EXPECT_EQ(high, 100);

        // Home takes a linear slider to its maximum: the change ends as an item hit with the
        // new value stored.
        SetFocus(d.ItemWindow(GALLERY_LINEAR_SLIDER));
        SendMessageA(d.ItemWindow(GALLERY_LINEAR_SLIDER), WM_KEYDOWN, VK_HOME, 0);
        EXPECT_NE(std::find(d.hits.begin(), d.hits.end(), GALLERY_LINEAR_SLIDER), d.hits.end());
        EXPECT_EQ(d.ItemRecord(GALLERY_LINEAR_SLIDER)->value, 100.0f);

        // A spinner's step while the mouse is down is forwarded with its value.
        const Rect16 spinner = d.GetItemRect(GALLERY_OPACITY_SPINNER);
        const LPARAM lower = MAKELPARAM(2, RectHeight(spinner) - 3);
        SendMessageA(d.ItemWindow(GALLERY_OPACITY_SPINNER), WM_LBUTTONDOWN, MK_LBUTTON, lower);
        SendMessageA(d.ItemWindow(GALLERY_OPACITY_SPINNER), WM_LBUTTONUP, 0, lower);
        ASSERT_FALSE(d.forwarded.empty());
        EXPECT_EQ(d.forwarded.back().first, GALLERY_OPACITY_SPINNER);

        // A click on the tool palette is a hit of its item.
        d.hits.clear();
        SendMessageA(d.ItemWindow(GALLERY_TOOL_PALETTE), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
        SendMessageA(d.ItemWindow(GALLERY_TOOL_PALETTE), WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
        PostMessageA(d.Window(), WM_NULL, 0, 0);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        EXPECT_NE(std::find(d.hits.begin(), d.hits.end(), GALLERY_TOOL_PALETTE), d.hits.end());
        d.EndDialog(GALLERY_OK);
    };
    EXPECT_EQ(dialog.RunModal(), GALLERY_OK);
}

TEST(GalleryDialog, TheUiStepsPhotographTheControlsAndCloseTheDialogWithItsCancel) {
    TempFolder temporary("QuorvelGallery");
    const std::string folder = ShotFolder().empty() ? std::string(temporary / "") : ShotFolder();
    const std::string shot = (std::filesystem::path(folder) / "controls.png").string();
    GalleryDialog dialog;
    int16_t result = 0;
    const qvhost::UiReport report = qvhost::DriveDialogs(UiSteps("wait 500; shot \"" + shot + "\"; press 2"), {},
                                                         [&] { result = dialog.RunModal(); });
    EXPECT_TRUE(report.completed) << report.error;
    EXPECT_EQ(result, GALLERY_CANCEL);

    qvhost::RasterImage image;
    std::string error;
    ASSERT_TRUE(qvhost::ReadImageFile(shot, image, error)) << error;
    ASSERT_GT(image.width, 300);
    ASSERT_GT(image.height, 200);
    // The dark face fills much of the picture, with the controls' wells, frames and text on it.
    int background = 0, surface = 0, frame = 0, text = 0, probes = 0;
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x, ++probes) {
            const COLORREF c = PixelAt(image, x, y);
            background += c == kBackground;
            surface += c == kSurface;
            frame += c == kFrame;
            text += c == kText;
        }
    }
    EXPECT_GT(background, probes / 4);
    EXPECT_GT(surface, probes / 200);
    EXPECT_GT(frame, probes / 400);
    EXPECT_GT(text, probes / 1000);
}

}  // namespace
