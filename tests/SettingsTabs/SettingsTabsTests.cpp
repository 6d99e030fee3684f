// The nine tabs beside the preview dialog: the default groups and places, the placement written
// into the preference record and read back, the Window menu's Show and Hide texts, the Tab key,
// the preview's pick, and an undo step for every change made outside a tracking loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <array>
#include <vector>

#include "FloatingPalettes.h"
#include "TabPlacement.h"
#include "QuorvelHostCore/UiScript.h"
#include "TabsFixture.h"
#include "WindowShot.h"

namespace {

Point16 ClientOrigin(const MorvaneDialog& tab) {
    POINT origin{0, 0};
    ClientToScreen(tab.Window(), &origin);
    return Point16{static_cast<int16_t>(origin.y), static_cast<int16_t>(origin.x)};
}

RECT WindowRect(const MorvaneDialog& tab) {
    RECT r{};
    GetWindowRect(tab.Window(), &r);
    return r;
}

TEST(TabPlacementEntry, TwelveBigEndianBytesAndRowsToTheNearestRow) {
    const TabPlacement p{.type = 3, .shown = true, .nextTemplate = 16400, .top = 120, .left = -300, .rows = 2};
    uint8_t entry[TabPlacement::kLength];
    std::memset(entry, 0xAA, sizeof entry);
    p.Write(entry);
    const uint8_t expected[TabPlacement::kLength] = {3, 1, 0x40, 0x10, 0, 120, 0xFE, 0xD4, 0, 2, 0, 0};
    EXPECT_EQ(std::memcmp(entry, expected, sizeof entry), 0);
    EXPECT_EQ(TabPlacement::Read(entry), p);

    EXPECT_EQ(PlacementRows(300, 200, 50), 2);
    EXPECT_EQ(PlacementRows(224, 200, 50), 0);
    EXPECT_EQ(PlacementRows(225, 200, 50), 1);
    EXPECT_EQ(PlacementRows(100, 200, 50), 0) << "below the least height";
    EXPECT_EQ(PlacementRows(300, 200, 0), 0) << "no rows";
}

class Tabs : public TabsTest {
protected:
    // The types of a tab's group, from its first page.
    std::vector<TabType> GroupOf(TabType type) {
        std::vector<TabType> group;
        for (const FloatingTab* t = Tab(type).GroupHead(); t && group.size() < 9; t = t->NextInGroup())
            group.push_back(static_cast<const QuorvelTab*>(t)->Type());
        return group;
    }
    std::vector<TabType> Shown() {
        std::vector<TabType> shown;
        for (int t = 0; t < kTabTypeCount; ++t)
            if (tabs_->IsTabShown(static_cast<TabType>(t))) shown.push_back(static_cast<TabType>(t));
        return shown;
    }
};

TEST_F(Tabs, TheDefaultLayoutGroupsTheTabsAndShowsEachGroupsFirstPage) {
    BuildTabs();
    // The test host is no host with layered output: the Option tab stays out of every group.
    EXPECT_EQ(GroupOf(kFrameStackTab), (std::vector<TabType>{kFrameStackTab}));
    EXPECT_EQ(GroupOf(kOptionTab), (std::vector<TabType>{kOptionTab}));
    EXPECT_EQ(GroupOf(kEdgeTab), (std::vector<TabType>{kShapeTab, kEdgeTab, kBevelTab}));
    EXPECT_EQ(GroupOf(kGlowTab), (std::vector<TabType>{kBackgroundTab, kBorderTab, kGlowTab, kShadowTab}));
    EXPECT_EQ(Shown(), (std::vector<TabType>{kFrameStackTab, kShapeTab, kBackgroundTab}));
    EXPECT_TRUE(IsWindowVisible(Tab(kFrameStackTab).Window()));
    EXPECT_FALSE(IsWindowVisible(Tab(kEdgeTab).Window()));
    EXPECT_EQ(Tab(kFrameStackTab).Label(), "Frame Stack");
    EXPECT_EQ(Tab(kShapeTab).Label(), "Razezev Urude");
    EXPECT_EQ(Tab(kOptionTab).Label(), "Options");

    // Frame stack at the work area's left, the shape group at its right, the effects under it.
    const Rect16 work = GetMonitorWorkRect();
    const RECT stack = WindowRect(Tab(kFrameStackTab)), shape = WindowRect(Tab(kShapeTab));
    EXPECT_EQ(stack.left, work.left + 2);
    EXPECT_GT(stack.top, work.top + 2);
    EXPECT_EQ(shape.right, work.right - 2);
    EXPECT_EQ(shape.top, stack.top);
    LONG lowest = 0;
    for (TabType t : {kShapeTab, kEdgeTab, kBevelTab}) lowest = std::max(lowest, WindowRect(Tab(t)).bottom);
    const RECT background = WindowRect(Tab(kBackgroundTab));
    EXPECT_EQ(background.top, lowest + 2);
    EXPECT_EQ(background.right, work.right - 2);
    // Pages of a group stand at one place.
    const Point16 head = ClientOrigin(Tab(kBackgroundTab)), page = ClientOrigin(Tab(kShadowTab));
    EXPECT_EQ(head.v, page.v);
    EXPECT_EQ(head.h, page.h);

    if (!ShotFolder().empty()) {
        std::string error;
        EXPECT_TRUE(qvhost::ShootProcessWindows(ShotFolder() + "/settings-tabs.png", error)) << error;
    }
}

TEST_F(Tabs, ThePlacementComesBackAsItWasWrittenWhateverTheOrderOfItsEntries) {
    BuildTabs();
    // The user's own arrangement: the Border tab torn off to a place of its own and shown, the
    // Bevel tab moved into the frame stack's group and shown there.
    Tab(kBorderTab).LeaveGroup();
    Tab(kBorderTab).MoveTo(Point16{300, 420});
    Tab(kBorderTab).Show(kShowInFront);
    Tab(kFrameStackTab).AddToGroup(Tab(kBevelTab));
    Tab(kBevelTab).Show(kShowInFront);
    Tab(kShapeTab).MoveTo(Point16{200, 180});
    PumpPending();
    const auto groups = [&] {
        std::vector<std::vector<TabType>> all;
        for (int t = 0; t < kTabTypeCount; ++t) all.push_back(GroupOf(static_cast<TabType>(t)));
        return all;
    };
    // Every tab but the Option tab, which the test host does not offer and nobody places.
    const auto origins = [&] {
        std::vector<std::pair<int, int>> all;
        for (int t = 0; t < kTabTypeCount; ++t) {
            if (t == kOptionTab) continue;
            const Point16 p = ClientOrigin(Tab(static_cast<TabType>(t)));
            all.emplace_back(p.v, p.h);
        }
        return all;
    };
    const auto groupsBefore = groups();
    const auto originsBefore = origins();
    const auto shownBefore = Shown();
    ASSERT_EQ(shownBefore, (std::vector<TabType>{kShapeTab, kBevelTab, kBackgroundTab, kBorderTab}));
    EXPECT_EQ(GroupOf(kBevelTab), (std::vector<TabType>{kFrameStackTab, kBevelTab}));

    tabs_->SavePlacement();
    const TabPlacements written = ReadTabPlacements(Preferences());
    std::vector<int> types;
    for (const TabPlacement& p : written) types.push_back(p.type);
    std::sort(types.begin(), types.end());
    EXPECT_EQ(types, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    const auto entryOf = [&](TabType t) {
        return *std::find_if(written.begin(), written.end(), [t](const TabPlacement& p) { return p.type == t; });
    };
    EXPECT_EQ(entryOf(kFrameStackTab).nextTemplate, 16400);
    EXPECT_EQ(entryOf(kBevelTab).nextTemplate, 0);
    EXPECT_EQ(entryOf(kShapeTab).nextTemplate, 16550);
    EXPECT_EQ(entryOf(kBorderTab).top, 300);
    EXPECT_EQ(entryOf(kBorderTab).left, 420);
    EXPECT_TRUE(entryOf(kBorderTab).shown);
    EXPECT_FALSE(entryOf(kFrameStackTab).shown) << "the Bevel page took its place";

    for (const bool reversed : {false, true}) {
        SCOPED_TRACE(reversed ? "entries reversed" : "entries as written");
        TabPlacements entries = written;
        if (reversed) std::reverse(entries.begin(), entries.end());
        WriteTabPlacements(Preferences(), entries);
        tabs_.reset();
        PumpPending();
        BuildTabs();
        EXPECT_EQ(groups(), groupsBefore);
        EXPECT_EQ(origins(), originsBefore);
        EXPECT_EQ(Shown(), shownBefore);
    }
}

TEST_F(Tabs, EntriesWithoutAPlaceAreIgnoredAndWithNoneTheDefaultLayoutComes) {
    BuildTabs();
    Tab(kGlowTab).LeaveGroup();
    Tab(kGlowTab).MoveTo(Point16{250, 333});
    tabs_->SavePlacement();
    TabPlacements entries = ReadTabPlacements(Preferences());
    for (TabPlacement& p : entries) {
        if (p.type == kGlowTab) {
            p.shown = true;
        } else if (p.type == kShadowTab) {
            p.top = 0;  // no place: this entry is not used
            p.shown = true;
        } else {
            p.type = 40;  // no tab of that type
        }
    }
    WriteTabPlacements(Preferences(), entries);
    tabs_.reset();
    BuildTabs();
    EXPECT_EQ(ClientOrigin(Tab(kGlowTab)).v, 250);
    EXPECT_EQ(ClientOrigin(Tab(kGlowTab)).h, 333);
    EXPECT_EQ(Shown(), (std::vector<TabType>{kGlowTab}));

    for (TabPlacement& p : entries) p.top = 0;
    WriteTabPlacements(Preferences(), entries);
    tabs_.reset();
    BuildTabs();
    EXPECT_EQ(Shown(), (std::vector<TabType>{kFrameStackTab, kShapeTab, kBackgroundTab}));
    EXPECT_EQ(GroupOf(kShadowTab).size(), 4u);
}

TEST_F(Tabs, TheWindowMenuSaysShowOrHideAsThePagesChange) {
    BuildTabs();
    EXPECT_EQ(MenuText(18501), "Hide Frame Stack");
    EXPECT_EQ(MenuText(18502), "Hide Background");
    EXPECT_EQ(MenuText(18503), "Show Border");

    tabs_->ToggleTab(kBorderTab);
    EXPECT_TRUE(tabs_->IsTabShown(kBorderTab));
    EXPECT_FALSE(tabs_->IsTabShown(kBackgroundTab));
    EXPECT_EQ(MenuText(18503), "Hide Border");
    EXPECT_EQ(MenuText(18502), "Show Background") << "the page it replaced";

    tabs_->ToggleTab(kBorderTab);
    EXPECT_FALSE(tabs_->IsTabShown(kBorderTab));
    EXPECT_EQ(MenuText(18503), "Show Border");
    tabs_->ToggleTab(kFrameStackTab);
    EXPECT_EQ(MenuText(18501), "Show Frame Stack");

    // The test host offers no layered output: the Option tab's item keeps its text.
    SetMenuItemText(preview_->Port(), 18509, "Options (none)");
    tabs_->ShowTab(kOptionTab);
    Tab(kOptionTab).Hide();
    EXPECT_EQ(MenuText(18509), "Options (none)");
}

TEST_F(Tabs, TheTabKeyPutsTheShownTabsAwayAndTheyCountAsShownWhenSaved) {
    BuildTabs();
    editor_->Palettes().TogglePalettes();
    EXPECT_TRUE(Shown().empty());
    EXPECT_EQ(MenuText(18501), "Show Frame Stack");
    tabs_->SavePlacement();
    int shownEntries = 0;
    for (const TabPlacement& p : ReadTabPlacements(Preferences())) shownEntries += p.shown;
    EXPECT_EQ(shownEntries, 3);

    // Another page of a put-away group shown by the menu: the group's first page no longer counts.
    tabs_->ShowTab(kBorderTab);
    tabs_->SavePlacement();
    for (const TabPlacement& p : ReadTabPlacements(Preferences())) {
        if (p.type == kBackgroundTab) {
            EXPECT_FALSE(p.shown);
        }
    }

    editor_->Palettes().TogglePalettes();
    EXPECT_EQ(Shown(), (std::vector<TabType>{kFrameStackTab, kShapeTab, kBackgroundTab}));
}

TEST_F(Tabs, APickOwnedByATabEndsWhenItHidesOrAnotherTakesIt) {
    BuildTabs();
    tabs_->ShowTab(kShadowTab);
    QuorvelTab::SetActiveTab(&Tab(kShadowTab), PickKind::kShadowOffset);
    EXPECT_EQ(preview_->tool, QuorvelTab::kNoTool);
    EXPECT_EQ(QuorvelTab::ActivePickTab(), &Tab(kShadowTab));
    EXPECT_EQ(QuorvelTab::ActivePickKind(), PickKind::kShadowOffset);

    Tab(kShadowTab).Hide();
    EXPECT_EQ(QuorvelTab::ActivePickTab(), nullptr);
    EXPECT_EQ(QuorvelTab::ActivePickKind(), PickKind::kNone);
    EXPECT_EQ(preview_->tool, QuorvelTab::kMoveTool);

    QuorvelTab::SetActiveTab(&Tab(kGlowTab), PickKind::kEyedropper);
    tabs_->ClearPickModes();
    EXPECT_EQ(QuorvelTab::ActivePickTab(), nullptr);
}

TEST_F(Tabs, AChangeRefreshesThePreviewAndMakesAnUndoStepOutsideATrackingLoop) {
    BuildTabs();
    const int before = preview_->undoSteps;
    Tab(kBorderTab).NotifyChanged(false);
    EXPECT_EQ(preview_->undoSteps, before + 1) << "a step is offered even when nothing changed";
    Tab(kBorderTab).ItemHit(1);
    EXPECT_EQ(preview_->undoSteps, before + 2);
}

TEST_F(Tabs, WithNoEditableLayerTheSettingsAreDisabledButTheStackIsNot) {
    MakeStack(2);
    BuildTabs();
    Select(0);
    tabs_->UpdateAll();
    EXPECT_TRUE(IsWindowEnabled(Tab(kBorderTab).ItemWindow(1)));
    Layer(0).Set(LayerLayout::kEnabled, 0);
    tabs_->UpdateAll();
    EXPECT_FALSE(IsWindowEnabled(Tab(kBorderTab).ItemWindow(1)));
    // (The scroll bar, item 2, is the list's: it is off while every row shows.)
    for (int16_t item : {1, 3, 4, 5, 6, 7, 8}) EXPECT_TRUE(IsWindowEnabled(Tab(kFrameStackTab).ItemWindow(item))) << item;
}

}  // namespace
