// The menu components drawn into dialog items: a menu's entries with their radio group and toggle,
// the current entry chosen by command, by live highlighting and through a real menu typed into;
// picture buttons that show the picture of their state, toggle on a release inside and open
// their menu; combo boxes that show the current entry beside the arrow. The ui steps photograph
// the dialog ("image-menu-combo.png", kept when QUORVEL_SHOTS names a folder).
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ComboControl.h"
#include "ComponentTestDialog.h"
#include "ImageControl.h"
#include "MenuControl.h"
#include "QuorvelHostCore/ImageFiles.h"
#include "QuorvelHostCore/UiScript.h"
#include "TempFolder.h"
#include "TestPanels.h"
#include "UiShots.h"
#include "WindowShot.h"

namespace {

using namespace ControlLook;

// The fills of the tool buttons' pictures away from their glyphs: normal, selected, disabled.
constexpr COLORREF kToolFace = RGB(0x57, 0x57, 0x57);
constexpr COLORREF kToolFaceSelected = RGB(0x47, 0x47, 0x47);
constexpr COLORREF kToolFaceDisabled = RGB(0x4B, 0x4B, 0x4B);
// The pressed arrow's colour.
constexpr COLORREF kLight = RGB(0xE6, 0xE6, 0xE6);
// A point of a tool picture that shows its face: right of the glyph, inside the toggle's ring.
constexpr int kFaceX = 20, kFaceY = 4;
constexpr int kToolSize = 24;

void AddTool(ComponentTestDialog& d, int16_t item, int16_t normal, int16_t selected, int16_t disabled, bool toggle) {
    const Rect16 r = d.GetItemRect(item);
    d.MoveItem(item, Rect16{r.top, r.left, static_cast<int16_t>(r.top + kToolSize), static_cast<int16_t>(r.left + kToolSize)});
    auto& tool = d.Add<ImageControl>(item, RecordEvent);
    tool.Init(kInterfaceArtworkBase, normal, selected, disabled);
    if (toggle) tool.SetHelperFlags(ItemHelper::kToggleButton);
}

ComboControl& AddCombo(ComponentTestDialog& d, int16_t item, int16_t menu, int16_t current) {
    auto& combo = d.Add<ComboControl>(item, RecordEvent);
    combo.Init();
    combo.SetArrowImages(kInterfaceArtworkBase, ComboArt::kArrow, ComboArt::kArrowPressed);
    combo.LoadMenu(menu);
    combo.SetCurrent(current, false);
    return combo;
}

// The tool strip of the preview dialog's kind over a column of combo boxes.
void MakeImageDialog(ComponentTestDialog& d) {
    AddTool(d, IMAGE_EYEDROPPER, 37, 38, 39, true);
    AddTool(d, IMAGE_HAND, 40, 41, 42, true);
    AddTool(d, IMAGE_MOVE, 43, 44, 45, true);
    AddTool(d, IMAGE_ZOOM, 46, 47, 48, false);
    d.Get<ImageControl>(IMAGE_ZOOM).LoadMenu(TEST_ZOOM_MENU);
    d.Get<ImageControl>(IMAGE_ZOOM).SetCurrent(1, false);
    AddTool(d, IMAGE_ROTATE, 80, 81, 0, false);
    for (const auto& [item, text] : {std::pair{IMAGE_RESET_TEXT, "Reset"}, std::pair{IMAGE_APPLY_TEXT, "Apply"}}) {
        auto& button = d.Add<ImageControl>(static_cast<int16_t>(item), RecordEvent);
        button.Init(kInterfaceArtworkBase, 0, 0, 0);
        button.SetText(text);
    }
    AddCombo(d, IMAGE_BLEND_COMBO, TEST_BLEND_MENU, 2);
    ComboControl& background = AddCombo(d, IMAGE_BACKGROUND_COMBO, TEST_BACKGROUND_MENU, 1);
    background.MakeEntry4Toggle();
    background.SetCurrent(4, false);
    AddCombo(d, IMAGE_ARROW_COMBO, TEST_BLEND_MENU, 1);
    AddCombo(d, IMAGE_DISABLED_COMBO, TEST_BLEND_MENU, 5);
}

// Runs the dialog with the test at its first idle tick; the test ends it.
void RunImageDialog(const std::function<void(ComponentTestDialog&)>& test) {
    ComponentTestDialog dialog(TEST_IMAGE_MENU_DIALOG);
    dialog.onInit = MakeImageDialog;
    dialog.onFirstIdle = [&](ComponentTestDialog& d) {
        test(d);
        d.EndDialog(IMAGE_OK);
    };
    EXPECT_EQ(dialog.RunModal(), IMAGE_OK);
}

std::vector<ComponentEvent> EventsOf(const DialogComponent& component) {
    std::vector<ComponentEvent> mine;
    for (const ComponentEvent& e : Events().events)
        if (e.component == &component) mine.push_back(e);
    return mine;
}

// ---- Menus

TEST(MenuComponent, LoadsItsEntriesAsOneGroupAndAnswersWhetherACurrentEntryChangedAnything) {
    RunImageDialog([](ComponentTestDialog& d) {
        ComboControl& blend = d.Get<ComboControl>(IMAGE_BLEND_COMBO);
        EXPECT_EQ(blend.EntryCount(), 6);
        EXPECT_EQ(blend.GroupCount(), 1);
        EXPECT_TRUE(blend.EntryState(1).groupHead);
        EXPECT_TRUE(blend.EntryState(4).separator);
        EXPECT_EQ(blend.GroupBounds(1), std::make_pair(int16_t{1}, int16_t{6})) << "separators stay inside a group";
        EXPECT_EQ(blend.GroupBounds(4), std::make_pair(int16_t{0}, int16_t{0}));

        struct Case {
            int16_t entry;
            bool changed;
            int16_t currentAfter;
        };
        // The blend combo starts on entry 2.
        const Case cases[] = {
            {2, false, 2},   // already current and checked
            {3, true, 3},    {3, false, 3},
            {4, false, 3},   // a separator
            {0, false, 3},   {7, false, 3}, {-1, false, 3},   // outside the menu: nothing changed
            {6, true, 6},
        };
        for (const Case& c : cases) {
            EXPECT_EQ(blend.SetCurrent(c.entry, true), c.changed) << "entry " << c.entry;
            EXPECT_EQ(blend.Current(), c.currentAfter) << "entry " << c.entry;
        }
        for (int16_t n = 1; n <= blend.EntryCount(); ++n) EXPECT_EQ(blend.IsChecked(n), n == 6) << "entry " << n;

        // Select tells the owner only of a change.
        Events().events.clear();
        EXPECT_FALSE(blend.Select(6));
        EXPECT_FALSE(blend.Select(0));
        EXPECT_TRUE(blend.Select(1));
        EXPECT_EQ(Events().events, (std::vector<ComponentEvent>{{&blend, 0, 0}}));

        // A missing menu leaves no entries.
        MenuControl bare(d, IMAGE_ARROW_COMBO);
        EXPECT_FALSE(bare.LoadMenu(TEST_MISSING_MENU));
        EXPECT_EQ(bare.EntryCount(), 0);
        EXPECT_FALSE(bare.SetCurrent(1, false));

        // Leading separators: entry 4 heads the group, and made a toggle it heads none.
        EXPECT_TRUE(bare.LoadMenu(TEST_LEADING_SEPARATOR_MENU));
        EXPECT_TRUE(bare.EntryState(4).groupHead);
        EXPECT_EQ(bare.GroupCount(), 1);
        bare.MakeEntry4Toggle();
        EXPECT_TRUE(bare.EntryState(4).toggle);
        EXPECT_FALSE(bare.EntryState(4).groupHead);
        EXPECT_EQ(bare.GroupCount(), 0);
    });
}

TEST(MenuComponent, TheToggleEntryFlipsOnEverySelectionAndKeepsItsMarkWhileTheGroupChanges) {
    RunImageDialog([](ComponentTestDialog& d) {
        ComboControl& background = d.Get<ComboControl>(IMAGE_BACKGROUND_COMBO);
        // Set up as White with "None if Realistic" checked.
        EXPECT_EQ(background.Current(), 1);
        EXPECT_TRUE(background.IsChecked(4));
        EXPECT_EQ(background.GroupBounds(1), std::make_pair(int16_t{1}, int16_t{3}));
        EXPECT_EQ(background.GroupBounds(4), std::make_pair(int16_t{0}, int16_t{0}));
        EXPECT_EQ(background.GroupBounds(5), std::make_pair(int16_t{5}, int16_t{5})) << "a group begins after a toggle";

        EXPECT_TRUE(background.SetCurrent(2, false));
        EXPECT_TRUE(background.IsChecked(4)) << "the group's change leaves the toggle alone";
        EXPECT_FALSE(background.IsChecked(1));

        Events().events.clear();
        EXPECT_TRUE(background.Select(4));
        EXPECT_FALSE(background.IsChecked(4));
        EXPECT_EQ(background.Current(), 2) << "a toggle never becomes current";
        EXPECT_TRUE(background.Select(4));
        EXPECT_TRUE(background.IsChecked(4));
        EXPECT_EQ(EventsOf(background).size(), 2u);
    });
}

TEST(MenuComponent, TheItemWindowTakesTheMenusCommandsAndHighlightsWhileLive) {
    RunImageDialog([](ComponentTestDialog& d) {
        ComboControl& blend = d.Get<ComboControl>(IMAGE_BLEND_COMBO);
        const HWND item = blend.ItemWindow();
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(GetPropA(item, MenuControl::kWindowProperty), &blend);

        Events().events.clear();
        SendMessageW(item, WM_COMMAND, BLEND_OVERLAY, 0);
        EXPECT_EQ(blend.Current(), 5);
        EXPECT_EQ(EventsOf(blend).size(), 1u);

        // A greyed entry's command matches nothing: the entry saved at opening (none yet) stays.
        ComboControl& background = d.Get<ComboControl>(IMAGE_BACKGROUND_COMBO);
        SendMessageW(background.ItemWindow(), WM_COMMAND, BACKGROUND_DISABLED, 0);
        EXPECT_EQ(background.Current(), 1);
        EXPECT_TRUE(EventsOf(background).empty());

        // Highlighting previews the entry while live, and does nothing otherwise.
        const LPARAM menu = reinterpret_cast<LPARAM>(blend.Entries());
        SendMessageW(item, WM_MENUSELECT, MAKEWPARAM(BLEND_MULTIPLY, MF_HILITE), menu);
        EXPECT_EQ(blend.Current(), 2);
        blend.SetMenuFlags(0);
        SendMessageW(item, WM_MENUSELECT, MAKEWPARAM(BLEND_SCREEN, MF_HILITE), menu);
        EXPECT_EQ(blend.Current(), 2);
        EXPECT_EQ(EventsOf(blend).size(), 2u);

        // Other messages still reach the item's own procedure: it takes a position (1), which the
        // default procedure would not.
        EXPECT_EQ(SendMessageW(item, ControlMessage::kSetPosition, 0, 0), 1);

        // One control to an item's window.
        const HWND arrowItem = d.ItemWindow(IMAGE_ARROW_COMBO);
        MenuControl intruder(d, IMAGE_ARROW_COMBO);
        EXPECT_FALSE(intruder.Attach());
        EXPECT_EQ(GetPropA(arrowItem, MenuControl::kWindowProperty), &d.Get<ComboControl>(IMAGE_ARROW_COMBO));

        // A control that goes from under a later subclass leaves the chain whole.
        d.Remove(IMAGE_ARROW_COMBO);
        EXPECT_EQ(GetPropA(arrowItem, MenuControl::kWindowProperty), nullptr);
        {
            auto second = std::make_unique<MenuControl>(d, IMAGE_ARROW_COMBO);
            ASSERT_TRUE(second->Attach());
            static WNDPROC below = nullptr;
            below = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
                arrowItem, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                    return CallWindowProcA(below, w, m, wp, lp);
                })));
            second.reset();
            EXPECT_EQ(SendMessageW(arrowItem, ControlMessage::kSetPosition, 0, 0), 1);
            SetWindowLongPtrA(arrowItem, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(below));
        }
        EXPECT_EQ(SendMessageW(arrowItem, ControlMessage::kSetPosition, 0, 0), 1);
    });
}

TEST(MenuComponent, ALiveMenuDismissedAfterHighlightingEndsOnTheEntryItOpenedOn) {
    RunImageDialog([](ComponentTestDialog& d) {
        ComboControl& blend = d.Get<ComboControl>(IMAGE_BLEND_COMBO);
        blend.SetCurrent(3, false);
        const Rect16 r = d.GetItemRect(IMAGE_BLEND_COMBO);
        const POINT at = d.ScreenPoint(r.left, r.bottom);
        Events().events.clear();
        {
            MenuHand hand(blend.ItemWindow(), {VK_DOWN, VK_DOWN, VK_ESCAPE});
            blend.TrackMenu(&at);
            EXPECT_TRUE(hand.Finish());
        }
        PumpPending();
        EXPECT_EQ(blend.SavedEntry(), 3);
        EXPECT_EQ(blend.Current(), 3);
        EXPECT_TRUE(blend.IsChecked(3));
        EXPECT_FALSE(blend.IsChecked(2));
        // Entries 1 and 2 were previewed, then entry 3 came back.
        ASSERT_GE(EventsOf(blend).size(), 3u);

        // Chosen with Return, the highlighted entry stays.
        {
            MenuHand hand(blend.ItemWindow(), {VK_DOWN, VK_DOWN, VK_RETURN});
            blend.TrackMenu(&at);
            EXPECT_TRUE(hand.Finish());
        }
        PumpUntil([&] { return blend.Current() == 2; });
        EXPECT_EQ(blend.Current(), 2);
        EXPECT_TRUE(blend.IsChecked(2));
    });
}

// ---- Picture buttons

TEST(ImageComponent, ShowsThePictureOfItsStateAndTheSelectedOneWhenDisabledWithoutADisabledPicture) {
    RunImageDialog([](ComponentTestDialog& d) {
        const auto face = [&](int16_t item) {
            const Rect16 r = d.GetItemRect(item);
            return d.Picture().At(r.left + kFaceX, r.top + kFaceY);
        };
        EXPECT_EQ(face(IMAGE_EYEDROPPER), kToolFace);
        d.Get<ImageControl>(IMAGE_EYEDROPPER).SetSelected(true);
        EXPECT_EQ(face(IMAGE_EYEDROPPER), kToolFaceSelected) << "a selected toggle";
        d.Get<ImageControl>(IMAGE_EYEDROPPER).ToggleSelected();
        EXPECT_EQ(face(IMAGE_EYEDROPPER), kToolFace);
        EXPECT_EQ(face(IMAGE_MOVE), kToolFaceDisabled);
        EXPECT_EQ(face(IMAGE_ROTATE), kToolFaceSelected) << "disabled, without a disabled picture";
        // Selected, a button that is no toggle still shows its normal picture.
        d.Get<ImageControl>(IMAGE_ZOOM).SetSelected(true);
        EXPECT_EQ(face(IMAGE_ZOOM), kToolFace);

        // Text buttons: the text in the interface's text colour, dimmed when disabled.
        const ClientPicture picture = d.Picture();
        const RECT reset = ToRECTOf(d.GetItemRect(IMAGE_RESET_TEXT));
        const RECT apply = ToRECTOf(d.GetItemRect(IMAGE_APPLY_TEXT));
        EXPECT_GT(picture.Count(reset, kText), 10);
        EXPECT_GT(picture.Count(reset, kBackground), (reset.right - reset.left) * (reset.bottom - reset.top) / 2);
        EXPECT_GT(picture.Count(apply, kDisabledText), 10);
        EXPECT_EQ(picture.Count(apply, kText), 0);
    });
}

TEST(ImageComponent, AToggleChangesOnAReleaseInsideAndShowsThePressedLookWhileTheMouseIsIn) {
    RunImageDialog([](ComponentTestDialog& d) {
        ImageControl& hand = d.Get<ImageControl>(IMAGE_HAND);
        const Rect16 r = d.GetItemRect(IMAGE_HAND);
        const POINT inside = CentreOf(r);
        const POINT outside{r.right + 30, r.bottom + 30};
        COLORREF whilePressed = 0, whileOutside = 0;
        Play(d, {Gesture{inside},
                 Gesture{inside, MOUSEEVENTF_LEFTDOWN, 150,
                         [&] { whilePressed = ScreenPixelAt(d, r.left + kFaceX, r.top + kFaceY); }},
                 Gesture{inside, MOUSEEVENTF_LEFTUP, 100}});
        EXPECT_EQ(whilePressed, kToolFaceSelected) << "pressed: the selected picture";
        ASSERT_EQ(d.trackAnswers, std::vector<bool>{true});
        EXPECT_TRUE(hand.IsSelected());
        EXPECT_EQ(d.Picture().At(r.left + kFaceX, r.top + kFaceY), kToolFaceSelected);

        // Pressed again, dragged out and released there: no change; a selected toggle's pressed
        // look is its normal picture.
        Play(d, {Gesture{inside},
                 Gesture{inside, MOUSEEVENTF_LEFTDOWN, 150,
                         [&] { whilePressed = ScreenPixelAt(d, r.left + kFaceX, r.top + kFaceY); }},
                 Gesture{outside, 0, 150, [&] { whileOutside = ScreenPixelAt(d, r.left + kFaceX, r.top + kFaceY); }},
                 Gesture{outside, MOUSEEVENTF_LEFTUP, 100}});
        EXPECT_EQ(whilePressed, kToolFace);
        EXPECT_EQ(whileOutside, kToolFaceSelected);
        EXPECT_EQ(d.trackAnswers, (std::vector<bool>{true, false}));
        EXPECT_TRUE(hand.IsSelected());
        EXPECT_TRUE(Events().events.empty()) << "a button tells through its press's answer, not its callback";
    });
}

TEST(ImageComponent, ATextButtonIsLitWhilePressedAndPicturesAtTheTopLeftKeepTheirSize) {
    RunImageDialog([](ComponentTestDialog& d) {
        const Rect16 reset = d.GetItemRect(IMAGE_RESET_TEXT);
        const POINT inside{reset.left + 2, reset.top + 2};
        COLORREF pressed = 0;
        Play(d, {Gesture{inside}, Gesture{inside, MOUSEEVENTF_LEFTDOWN, 150, [&] { pressed = ScreenPixelAt(d, inside.x, inside.y); }},
                 Gesture{inside, MOUSEEVENTF_LEFTUP}});
        EXPECT_EQ(pressed, kPressed);
        EXPECT_EQ(d.Picture().At(inside.x, inside.y), kBackground);
        EXPECT_EQ(d.trackAnswers, std::vector<bool>{true});

        // Twice the picture's size: scaled into the item, or at its top-left as it is.
        ImageControl& eyedropper = d.Get<ImageControl>(IMAGE_EYEDROPPER);
        const Rect16 r = d.GetItemRect(IMAGE_EYEDROPPER);
        d.MoveItem(IMAGE_EYEDROPPER, Rect16{r.top, r.left, static_cast<int16_t>(r.top + 2 * kToolSize),
                                            static_cast<int16_t>(r.left + 2 * kToolSize)});
        eyedropper.Draw();
        EXPECT_EQ(d.Picture().At(r.left + 2 * kFaceX, r.top + 2 * kFaceY), kToolFace) << "scaled";
        eyedropper.SetHelperFlags(eyedropper.HelperFlags() | ItemHelper::kImageAtTopLeft);
        eyedropper.Draw();
        const ClientPicture picture = d.Picture();
        EXPECT_EQ(picture.At(r.left + kFaceX, r.top + kFaceY), kToolFace);
        EXPECT_EQ(picture.At(r.left + 2 * kFaceX, r.top + 2 * kFaceY), kBackground) << "beyond the picture: the fill";
    });
}

TEST(ImageComponent, AButtonWithAMenuOpensItAtItsBottomRightCornerAndAnswersFalse) {
    RunImageDialog([](ComponentTestDialog& d) {
        ImageControl& zoom = d.Get<ImageControl>(IMAGE_ZOOM);
        const Rect16 r = d.GetItemRect(IMAGE_ZOOM);
        const POINT corner = d.ScreenPoint(r.right, r.bottom);
        d.PointAt(CentreOf(r).x, CentreOf(r).y);
        MenuHand hand(zoom.ItemWindow(), {VK_DOWN, VK_DOWN, VK_RETURN});
        EXPECT_FALSE(zoom.Track(d.ClientCursor()));
        EXPECT_TRUE(hand.Finish());
        EXPECT_EQ(hand.MenuRect().left, corner.x);
        EXPECT_EQ(hand.MenuRect().top, corner.y);
        PumpUntil([&] { return zoom.Current() == 2; });
        EXPECT_EQ(zoom.Current(), 2);
        EXPECT_FALSE(zoom.IsSelected()) << "a menu button does not toggle";
    });
}

// ---- Combo boxes

TEST(ComboComponent, ShowsTheCurrentEntryBesideItsArrowAndOnlyTheArrowWhenTall) {
    RunImageDialog([](ComponentTestDialog& d) {
        const ClientPicture picture = d.Picture();
        const Rect16 blend = d.GetItemRect(IMAGE_BLEND_COMBO);
        const ResourceImage& arrow = d.Get<ComboControl>(IMAGE_BLEND_COMBO).Arrow();
        ASSERT_NE(arrow.Image(), nullptr);
        const int arrowWidth = static_cast<int>(arrow.Image()->Width());
        const RECT text{blend.left, blend.top, blend.right - arrowWidth - 1, blend.bottom};
        const RECT arrowArea{blend.right - arrowWidth, blend.top + ComboControl::kArrowTop, blend.right, blend.bottom};
        EXPECT_GT(picture.Count(text, kText), 10) << "\"Multiply\"";
        EXPECT_GT(picture.Count(arrowArea, kText), 5) << "the arrow";

        // Disabled: the dim text and the pressed arrow.
        const Rect16 off = d.GetItemRect(IMAGE_DISABLED_COMBO);
        EXPECT_GT(picture.Count(RECT{off.left, off.top, off.right - arrowWidth - 1, off.bottom}, kDisabledText), 10);
        EXPECT_EQ(picture.Count(ToRECTOf(off), kText), 0);
        EXPECT_GT(picture.Count(RECT{off.right - arrowWidth, off.top, off.right, off.bottom}, kLight), 5);

        // Tall: the arrow at the top-left, and no text.
        const Rect16 tall = d.GetItemRect(IMAGE_ARROW_COMBO);
        EXPECT_GT(picture.Count(RECT{tall.left, tall.top, tall.left + arrowWidth, tall.top + arrowWidth}, kText), 5);
        EXPECT_EQ(picture.Count(RECT{tall.left, tall.top + arrowWidth, tall.right, tall.bottom}, kText), 0);

        // Without a current entry only the arrow shows.
        ComboControl& combo = d.Get<ComboControl>(IMAGE_BLEND_COMBO);
        combo.LoadMenu(TEST_BLEND_MENU);
        combo.Draw();
        EXPECT_EQ(d.Picture().Count(text, kText), 0);
    });
}

TEST(ComboComponent, APressOpensTheMenuAtTheItemsLeftEdgeAndTheChosenEntryArrivesAsAChange) {
    RunImageDialog([](ComponentTestDialog& d) {
        ComboControl& blend = d.Get<ComboControl>(IMAGE_BLEND_COMBO);
        const Rect16 r = d.GetItemRect(IMAGE_BLEND_COMBO);
        d.PointAt(r.left + 10, r.top + 5);
        POINT cursor{};
        GetCursorPos(&cursor);
        const POINT left = d.ScreenPoint(r.left, 0);
        Events().events.clear();
        {
            // Down from no highlight: Normal, Multiply, Screen, then Overlay over the separator.
            MenuHand hand(blend.ItemWindow(), {VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN}, d.ScreenPoint(r.left, r.top - 40));
            EXPECT_FALSE(blend.Track(d.ClientCursor()));
            EXPECT_TRUE(hand.Finish());
            EXPECT_EQ(hand.MenuRect().left, left.x);
            EXPECT_EQ(hand.MenuRect().top, cursor.y);
        }
        PumpUntil([&] { return blend.Current() == 5; });
        EXPECT_EQ(blend.Current(), 5);
        ASSERT_FALSE(EventsOf(blend).empty());
        EXPECT_EQ(EventsOf(blend).back(), (ComponentEvent{&blend, 0, 0}));
        EXPECT_FALSE(blend.Pressed());

        // A combo without entries opens nothing and changes nothing.
        ComboControl& empty = d.Get<ComboControl>(IMAGE_ARROW_COMBO);
        empty.LoadMenu(TEST_MISSING_MENU);
        Events().events.clear();
        EXPECT_FALSE(empty.Track(d.ClientCursor()));
        EXPECT_TRUE(Events().events.empty());
    });
}

// ---- The picture

TEST(ImageMenuPicture, TheUiStepsPhotographTheButtonsAndCombosAndCloseWithCancel) {
    TempFolder temporary("QuorvelImageMenu");
    const std::string folder = ShotFolder().empty() ? std::string(temporary / "") : ShotFolder();
    const std::string shot = (std::filesystem::path(folder) / "image-menu-combo.png").string();
    ComponentTestDialog dialog(TEST_IMAGE_MENU_DIALOG);
    dialog.onInit = [](ComponentTestDialog& d) {
        MakeImageDialog(d);
        d.Get<ImageControl>(IMAGE_HAND).SetSelected(true);
    };
    int16_t result = 0;
    const qvhost::UiReport report = qvhost::DriveDialogs(UiSteps("wait 500; shot \"" + shot + "\"; press 2"), {},
                                                         [&] { result = dialog.RunModal(); });
    EXPECT_TRUE(report.completed) << report.error;
    EXPECT_EQ(result, IMAGE_CANCEL);

    qvhost::RasterImage image;
    std::string error;
    ASSERT_TRUE(qvhost::ReadImageFile(shot, image, error)) << error;
    int background = 0, face = 0, text = 0, probes = 0;
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x, ++probes) {
            const COLORREF c = PixelAt(image, x, y);
            background += c == kBackground;
            face += c == kToolFace || c == kToolFaceSelected || c == kToolFaceDisabled;
            text += c == kText;
        }
    EXPECT_GT(background, probes / 3);
    EXPECT_GT(face, 4 * 200) << "five tool buttons";
    EXPECT_GT(text, 60);
}

}  // namespace
