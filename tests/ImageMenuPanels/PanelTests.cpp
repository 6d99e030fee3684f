// The panel components drawn into dialog items: tabs that ask their owner before the selection
// moves, a line of text, sliders pressed and dragged, the favourite mark and the rating stars,
// and the add panel's segments. The ui steps photograph the dialog ("panels.png", kept when
// QUORVEL_SHOTS names a folder).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "ComponentTestDialog.h"
#include "PanelControls.h"
#include "QuorvelHostCore/ImageFiles.h"
#include "QuorvelHostCore/UiScript.h"
#include "TempFolder.h"
#include "TestPanels.h"
#include "UiShots.h"
#include "WindowShot.h"

namespace {

using namespace ControlLook;

constexpr COLORREF kAccent = RGB(0xE8, 0xA3, 0x2C);   // lit stars and the favourite mark

void MakePanelsDialog(ComponentTestDialog& d) {
    auto& tabs = d.Add<TabControl>(PANEL_TABS, RecordEvent);
    tabs.Init();
    tabs.AddTab("Frame", false);
    tabs.AddTab("Effect", true);
    tabs.AddTab("Shadow", false);

    auto& title = d.Add<StaticTextControl>(PANEL_TITLE);
    title.Init();
    title.SetText("Classic Wood 04");
    auto& note = d.Add<StaticTextControl>(PANEL_NOTE);
    note.Init();
    note.SetText("Not editable here");

    auto& slider = d.Add<SlideControl>(PANEL_SLIDER, RecordEvent);
    slider.SetRange(0, 10);
    slider.SetValue(4);
    slider.Init(false);
    auto& vertical = d.Add<SlideControl>(PANEL_VERTICAL_SLIDER, RecordEvent);
    vertical.SetRange(0, 5);
    vertical.SetValue(2);
    vertical.Init(true);

    auto& rating = d.Add<FavPanel>(PANEL_RATING, RecordEvent);
    rating.Init();
    rating.SetRating(3);
    rating.SetFavourite(true);

    auto& add = d.Keep(std::make_unique<ARPanel>(d, RecordEvent));
    add.Init();
    add.SetFlags(AddPanelLayout::kFirstIcon | AddPanelLayout::kSecondIcon | AddPanelLayout::kAddInstant |
                 AddPanelLayout::kAddRandom | AddPanelLayout::kItemCount);
    add.SetItemCount(128);
}

void RunPanelsDialog(const std::function<void(ComponentTestDialog&)>& test) {
    ComponentTestDialog dialog(TEST_PANELS_DIALOG);
    dialog.onInit = MakePanelsDialog;
    dialog.onFirstIdle = [&](ComponentTestDialog& d) {
        test(d);
        d.EndDialog(PANEL_OK);
    };
    EXPECT_EQ(dialog.RunModal(), PANEL_OK);
}

// Presses at a dialog point with the button already up: the press ends at once, where it began.
bool PressAt(ComponentTestDialog& d, DialogComponent& component, int x, int y) {
    d.PointAt(x, y);
    return component.Track(Point16{static_cast<int16_t>(y), static_cast<int16_t>(x)});
}

// ---- Tabs

TEST(TabComponent, TheOwnerIsAskedBeforeTheSelectionMovesAndToldAfter) {
    RunPanelsDialog([](ComponentTestDialog& d) {
        TabControl& tabs = d.Get<TabControl>(PANEL_TABS);
        ASSERT_EQ(tabs.TabCount(), 3);
        EXPECT_EQ(tabs.Selected(), 1);
        const Rect16 item = d.GetItemRect(PANEL_TABS);
        const auto onTab = [&](int tab) { return POINT{tabs.TabPosition(tab).h + 3, item.top + RectHeight(item) / 2}; };

        Events().events.clear();
        Events().answer = false;
        EXPECT_FALSE(PressAt(d, tabs, onTab(2).x, onTab(2).y));
        EXPECT_EQ(tabs.Selected(), 1) << "refused";
        EXPECT_EQ(Events().events, (std::vector<ComponentEvent>{{&tabs, TabControl::kMayChange, 2}}));

        Events().events.clear();
        Events().answer = true;
        EXPECT_FALSE(PressAt(d, tabs, onTab(2).x, onTab(2).y));
        EXPECT_EQ(tabs.Selected(), 2);
        EXPECT_EQ(Events().events, (std::vector<ComponentEvent>{{&tabs, TabControl::kMayChange, 2},
                                                                  {&tabs, TabControl::kChanged, 2}}));

        // The selected tab, and the strip beside the tabs, change nothing.
        Events().events.clear();
        PressAt(d, tabs, onTab(2).x, onTab(2).y);
        PressAt(d, tabs, item.right - 2, onTab(0).y);
        EXPECT_TRUE(Events().events.empty());
        EXPECT_EQ(tabs.Selected(), 2);

        // Without a callback a click selects unasked.
        tabs.SetCallback(nullptr);
        PressAt(d, tabs, onTab(0).x, onTab(0).y);
        EXPECT_EQ(tabs.Selected(), 0);
        tabs.SetCallback(RecordEvent);

        // Eight tabs at most.
        for (const char* label : {"Bevel", "Edge", "Option", "Stack", "Globe"}) EXPECT_TRUE(tabs.AddTab(label, false));
        EXPECT_FALSE(tabs.AddTab("Ninth", true));
        EXPECT_EQ(tabs.TabCount(), TabControl::kMaxTabs);
        EXPECT_EQ(tabs.Selected(), 0);
    });
}

TEST(TabComponent, TheSelectedTabIsLitAndOpensIntoThePageBelow) {
    RunPanelsDialog([](ComponentTestDialog& d) {
        TabControl& tabs = d.Get<TabControl>(PANEL_TABS);
        const Rect16 item = d.GetItemRect(PANEL_TABS);
        const ClientPicture picture = d.Picture();
        const int face = item.top + TabControl::kTabTop + 3;
        const int bottom = item.bottom - 1;
        for (int tab = 0; tab < tabs.TabCount(); ++tab) {
            const int x = tabs.TabPosition(tab).h + 2;
            EXPECT_EQ(picture.At(x, face), tab == 1 ? kBackground : kSurface) << "tab " << tab;
            EXPECT_EQ(picture.At(tabs.TabPosition(tab).h, face), kFrame) << "tab " << tab << "'s edge";
        }
        const int selectedMiddle = tabs.TabPosition(1).h + tabs.TabWidth(1) / 2;
        EXPECT_EQ(picture.At(selectedMiddle, bottom), kBackground) << "open below the selected tab";
        EXPECT_EQ(picture.At(tabs.TabPosition(0).h + 2, bottom), kFrame);
        EXPECT_EQ(picture.At(item.right - 2, bottom), kFrame);
        EXPECT_EQ(picture.At(item.right - 2, face), kBackground) << "the strip beside the tabs";
        // Each label shows in the text colour.
        for (int tab = 0; tab < tabs.TabCount(); ++tab) {
            const RECT label{tabs.TabPosition(tab).h, item.top, tabs.TabPosition(tab).h + tabs.TabWidth(tab), item.bottom};
            EXPECT_GT(picture.Count(label, kText), 5) << "tab " << tab;
        }
    });
}

// ---- Text

TEST(StaticTextComponent, DrawsItsTextDimmedWhenTheItemIsDisabled) {
    RunPanelsDialog([](ComponentTestDialog& d) {
        const ClientPicture picture = d.Picture();
        const RECT title = ToRECTOf(d.GetItemRect(PANEL_TITLE));
        const RECT note = ToRECTOf(d.GetItemRect(PANEL_NOTE));
        EXPECT_GT(picture.Count(title, kText), 20);
        EXPECT_EQ(picture.Count(title, kDisabledText), 0);
        EXPECT_GT(picture.Count(note, kDisabledText), 20);
        EXPECT_EQ(picture.Count(note, kText), 0);

        d.Get<StaticTextControl>(PANEL_TITLE).SetText(nullptr);
        EXPECT_EQ(d.Picture().Count(title, kText), 0);
    });
}

// ---- Sliders

TEST(SlideComponent, APressBesideTheThumbTakesTheValueThereHeldAtTheEnds) {
    RunPanelsDialog([](ComponentTestDialog& d) {
        SlideControl& slider = d.Get<SlideControl>(PANEL_SLIDER);
        const Rect16 item = d.GetItemRect(PANEL_SLIDER);
        const int y = item.top + 2;
        Events().events.clear();
        EXPECT_FALSE(PressAt(d, slider, item.left, y));
        EXPECT_EQ(slider.Value(), 0) << "left of the groove";
        EXPECT_FALSE(PressAt(d, slider, item.right - 1, y));
        EXPECT_EQ(slider.Value(), 10) << "beyond it";
        EXPECT_EQ(slider.ThumbPosition(), slider.TrackStart() + slider.TrackSpan());
        // The thumb comes to the press: a press on the tick of 7 takes 7.
        const int tick7 = SlideLayout::ValueToPosition(slider.TrackStart(), slider.TrackSpan(), 0, 10, 7) +
                          RectWidth(slider.ThumbRect()) / 2;
        PressAt(d, slider, tick7, item.bottom - 1);
        EXPECT_EQ(slider.Value(), 7);
        PressAt(d, slider, tick7, item.bottom - 1);   // no change: no word to the owner
        EXPECT_EQ(Events().events, (std::vector<ComponentEvent>{{&slider, 0, 0}, {&slider, 0, 10}, {&slider, 0, 7}}));

        // The thumb shows where its value is.
        const ClientPicture picture = d.Picture();
        const Rect16 thumb = slider.ThumbRect();
        EXPECT_GT(picture.Count(ToRECTOf(thumb), RGB(0xE6, 0xE6, 0xE6)), 30);

        SlideControl& vertical = d.Get<SlideControl>(PANEL_VERTICAL_SLIDER);
        const Rect16 column = d.GetItemRect(PANEL_VERTICAL_SLIDER);
        PressAt(d, vertical, column.left + 2, column.bottom - 1);
        EXPECT_EQ(vertical.Value(), 5);
        PressAt(d, vertical, column.left + 2, column.top);
        EXPECT_EQ(vertical.Value(), 0);
    });
}

TEST(SlideComponent, TheThumbDraggedTellsEachNewValueAndSnapsToItsValueOnRelease) {
    RunPanelsDialog([](ComponentTestDialog& d) {
        SlideControl& slider = d.Get<SlideControl>(PANEL_SLIDER);
        const int start = slider.TrackStart(), span = slider.TrackSpan();
        const auto at = [&](int value) { return SlideLayout::ValueToPosition(start, span, 0, 10, static_cast<int16_t>(value)); };
        const Rect16 thumb = slider.ThumbRect();   // at 4
        const int grabX = thumb.left + 3, y = thumb.top + 3;
        // The mouse at which the thumb stands at a position: the grab offset stays.
        const auto mouseFor = [&](int position) { return POINT{grabX + position - at(4), y}; };
        // Moved to 5, to just short of 7, and just past 8: the values round to the nearest.
        Events().events.clear();
        int thumbWhileDragging = 0;
        Play(d, {Gesture{POINT{grabX, y}}, Gesture{POINT{grabX, y}, MOUSEEVENTF_LEFTDOWN}, Gesture{mouseFor(at(5))},
                 Gesture{mouseFor(at(7) - 1), 0, 100, [&] { thumbWhileDragging = slider.ThumbPosition(); }},
                 Gesture{mouseFor(at(8) + 2)}, Gesture{mouseFor(at(8) + 2), MOUSEEVENTF_LEFTUP}});
        EXPECT_EQ(thumbWhileDragging, at(7) - 1) << "the thumb follows the mouse";
        EXPECT_EQ(slider.Value(), 8);
        EXPECT_EQ(slider.ThumbPosition(), at(8)) << "snapped to its value";
        std::vector<intptr_t> told;
        for (const ComponentEvent& e : Events().events) told.push_back(e.argument);
        EXPECT_EQ(told, (std::vector<intptr_t>{5, 7, 8}));

        // Dragged far past the end: the end.
        const Rect16 now = slider.ThumbRect();
        Events().events.clear();
        Play(d, {Gesture{POINT{now.left + 3, y}}, Gesture{POINT{now.left + 3, y}, MOUSEEVENTF_LEFTDOWN},
                 Gesture{POINT{now.left + 400, y + 60}}, Gesture{POINT{now.left + 400, y + 60}, MOUSEEVENTF_LEFTUP}});
        EXPECT_EQ(slider.Value(), 10);
        EXPECT_EQ(slider.ThumbPosition(), start + span);
    });
}

// ---- Favourite and rating

TEST(FavComponent, TheMarkTogglesAndAStarSetsTheRatingOrClearsTheTopOne) {
    RunPanelsDialog([](ComponentTestDialog& d) {
        FavPanel& rating = d.Get<FavPanel>(PANEL_RATING);
        const auto clickPart = [&](int part) {
            const POINT p = CentreOf(rating.PartRect(part));
            return PressAt(d, rating, p.x, p.y);
        };
        struct Case {
            int16_t before;
            int star;
            int16_t after;
        };
        const Case cases[] = {{3, 3, 2}, {0, 1, 1}, {1, 1, 0}, {2, 5, 5}, {5, 4, 4}};
        for (const Case& c : cases) {
            rating.SetRating(c.before);
            Events().events.clear();
            EXPECT_FALSE(clickPart(c.star));
            EXPECT_EQ(rating.Rating(), c.after) << c.before << " then star " << c.star;
            EXPECT_EQ(Events().events, (std::vector<ComponentEvent>{{&rating, 0, 0}}));
        }

        Events().events.clear();
        EXPECT_TRUE(rating.Favourite());
        clickPart(0);
        EXPECT_FALSE(rating.Favourite());
        EXPECT_EQ(Events().events.size(), 1u);
        // Between two stars, and beside the last: nothing.
        const Rect16 second = rating.PartRect(2);
        PressAt(d, rating, second.right + 2, CentreOf(second).y);
        PressAt(d, rating, rating.PartRect(5).right + 3, CentreOf(second).y);
        EXPECT_EQ(Events().events.size(), 1u);

        // Lit stars in the accent colour, the rest dim.
        rating.SetRating(2);
        rating.SetFavourite(true);
        rating.Draw();
        const ClientPicture picture = d.Picture();
        for (int part = 0; part <= 5; ++part)
            EXPECT_EQ(picture.Count(ToRECTOf(rating.PartRect(part)), kAccent) > 10, part <= 2) << "part " << part;
    });
}

// ---- The add panel

TEST(AddPanelComponent, ReportsTheNumberOfTheSegmentReleasedIn) {
    RunPanelsDialog([](ComponentTestDialog& d) {
        ARPanel& add = d.Get<ARPanel>(PANEL_ADD);
        EXPECT_EQ(add.Item(), ARPanel::kLibraryItem);
        std::vector<AddPanelLayout::Segment> segments = add.Segments();
        ASSERT_EQ(segments.size(), 4u);
        for (size_t n = 0; n < 4; ++n) {
            const POINT p = CentreOf(segments[n].rect);
            Events().events.clear();
            EXPECT_TRUE(PressAt(d, add, p.x, p.y));
            EXPECT_EQ(Events().events, (std::vector<ComponentEvent>{{&add, segments[n].number, 0}}));
        }
        // The count, right-aligned before the frame.
        const Rect16 item = d.GetItemRect(PANEL_ADD);
        ClientPicture picture = d.Picture();
        EXPECT_GT(picture.Count(RECT{segments.back().rect.right + 1, item.top, item.right - ARPanel::kCountInset, item.bottom}, kText), 20);
        EXPECT_EQ(picture.Count(RECT{item.right - ARPanel::kCountInset, item.top + 1, item.right - 1, item.bottom - 1}, kText), 0);
        EXPECT_EQ(picture.At(item.left, CentreOf(item).y), kFrame);
        EXPECT_EQ(picture.At(segments[0].rect.right, CentreOf(item).y), kFrame) << "a separator";

        // Only the two texts: the first segment is "Add Instant" and reports 3.
        add.SetFlags(AddPanelLayout::kAddInstant | AddPanelLayout::kAddRandom);
        add.Draw();
        segments = add.Segments();
        ASSERT_EQ(segments.size(), 2u);
        EXPECT_EQ(segments[0].rect.left, item.left + 1);
        Events().events.clear();
        EXPECT_TRUE(PressAt(d, add, segments[0].rect.left + 2, CentreOf(item).y));
        EXPECT_EQ(Events().events, (std::vector<ComponentEvent>{{&add, 3, 0}}));
        // Beside the segments nothing is pressed.
        Events().events.clear();
        EXPECT_FALSE(PressAt(d, add, item.right - 3, CentreOf(item).y));
        EXPECT_TRUE(Events().events.empty());
    });
}

TEST(AddPanelComponent, APressedTextSegmentIsLitAndARelaseOutsideReportsNothing) {
    RunPanelsDialog([](ComponentTestDialog& d) {
        ARPanel& add = d.Get<ARPanel>(PANEL_ADD);
        const AddPanelLayout::Segment random = add.Segments()[3];
        const POINT inside{random.rect.left + 2, random.rect.top + 2};
        const POINT outside{random.rect.left + 2, random.rect.bottom + 40};
        COLORREF pressed = 0, released = 0;
        Events().events.clear();
        Play(d, {Gesture{inside}, Gesture{inside, MOUSEEVENTF_LEFTDOWN, 150, [&] { pressed = ScreenPixelAt(d, inside.x, inside.y); }},
                 Gesture{outside, 0, 150, [&] { released = ScreenPixelAt(d, inside.x, inside.y); }},
                 Gesture{outside, MOUSEEVENTF_LEFTUP}});
        EXPECT_EQ(pressed, kPressed);
        EXPECT_EQ(released, kBackground);
        EXPECT_EQ(d.trackAnswers, std::vector<bool>{false});
        EXPECT_TRUE(Events().events.empty());
    });
}

// ---- The picture

TEST(PanelsPicture, TheUiStepsPhotographThePanelsAndCloseWithCancel) {
    TempFolder temporary("QuorvelPanels");
    const std::string folder = ShotFolder().empty() ? std::string(temporary / "") : ShotFolder();
    const std::string shot = (std::filesystem::path(folder) / "panels.png").string();
    ComponentTestDialog dialog(TEST_PANELS_DIALOG);
    dialog.onInit = MakePanelsDialog;
    int16_t result = 0;
    const std::vector<qvhost::UiStep> steps = UiSteps("wait 500; shot \"" + shot + "\"; press 2");
    const qvhost::UiReport report = qvhost::DriveDialogs(steps, {}, [&] { result = dialog.RunModal(); });
    EXPECT_TRUE(report.completed) << report.error;
    EXPECT_EQ(result, PANEL_CANCEL);

    qvhost::RasterImage image;
    std::string error;
    ASSERT_TRUE(qvhost::ReadImageFile(shot, image, error)) << error;
    int background = 0, surface = 0, frame = 0, text = 0, accent = 0, probes = 0;
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x, ++probes) {
            const uint16_t* rgb = image.samples.data() + (static_cast<size_t>(y) * image.width + x) * image.channels;
            const COLORREF c = RGB(rgb[0], rgb[1], rgb[2]);
            background += c == kBackground;
            surface += c == kSurface;
            frame += c == kFrame;
            text += c == kText;
            accent += c == kAccent;
        }
    EXPECT_GT(background, probes / 3);
    EXPECT_GT(surface, 200) << "the tabs behind the selected one";
    EXPECT_GT(frame, 300);
    EXPECT_GT(text, 100);
    EXPECT_GT(accent, 100) << "the favourite mark and three stars";
}

}  // namespace
