// Floating tab groups on real windows: which page a group shows, joining and leaving, moving as
// one, the bar as the screen shows it, and a tab dragged by the mouse onto another group and off
// again.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "DesktopInput.h"
#include "FloatingTab.h"
#include "TabTemplates.h"
#include "WindowShot.h"

namespace {

// Runs the thread's messages until none is waiting (bounded).
Point16 ClientOrigin(const MorvaneDialog& dialog) {
    POINT origin{0, 0};
    ClientToScreen(dialog.Window(), &origin);
    return Point16{static_cast<int16_t>(origin.y), static_cast<int16_t>(origin.x)};
}

bool SameOrigin(const MorvaneDialog& a, const MorvaneDialog& b) {
    const Point16 p = ClientOrigin(a), q = ClientOrigin(b);
    return p.v == q.v && p.h == q.h;
}

bool Shown(const FloatingTab& tab) { return tab.IsVisible() && IsWindowVisible(tab.Window()); }

// The tabs of a group from its head.
std::vector<const FloatingTab*> Chain(const FloatingTab& member) {
    std::vector<const FloatingTab*> chain;
    for (const FloatingTab* t = member.GroupHead(); t && chain.size() < 16; t = t->NextInGroup()) chain.push_back(t);
    return chain;
}

// Three tabs, each alone and hidden as it opens.
class TabGroups : public testing::Test {
protected:
    void SetUp() override {
        for (int16_t id : {TEST_TAB_SHADOW, TEST_TAB_GLOW, TEST_TAB_BEVEL}) {
            tabs_.push_back(std::make_unique<FloatingTab>(id));
            ASSERT_TRUE(tabs_.back()->CreateModeless());
        }
        PumpPending();
    }
    void TearDown() override {
        tabs_.clear();
        PumpPending();
    }

    FloatingTab& Shadow() { return *tabs_[0]; }
    FloatingTab& Glow() { return *tabs_[1]; }
    FloatingTab& Bevel() { return *tabs_[2]; }
    // Shadow, Glow and Bevel in one group in that order, none shown.
    void GroupAll() {
        Shadow().AddToGroup(Glow());
        Shadow().AddToGroup(Bevel());
    }
    void ExpectActiveEverywhere(const FloatingTab* active, const char* when) {
        for (const auto& tab : tabs_) {
            if (tab->GroupHead() == Shadow().GroupHead()) {
                EXPECT_EQ(tab->ActiveTab(), active) << tab->Label() << ", " << when;
            }
        }
    }

    std::vector<std::unique_ptr<FloatingTab>> tabs_;
};

TEST_F(TabGroups, ATabOpensHiddenWithItsTitleInTheBarAndItsItemsBelowIt) {
    MorvaneDialog plain(TEST_TAB_SHADOW, DialogKind::Floating);
    ASSERT_TRUE(plain.CreateModeless());
    FloatingTab& tab = Shadow();
    EXPECT_EQ(tab.GetKind(), FloatingTab::kKind);
    EXPECT_EQ(tab.Label(), "Shadow");
    EXPECT_EQ(GetWindowTextLengthW(tab.Window()), 0);
    EXPECT_FALSE(tab.IsVisible());
    EXPECT_FALSE(IsWindowVisible(tab.Window()));
    EXPECT_EQ(tab.ActiveTab(), nullptr);
    EXPECT_EQ(tab.GroupHead(), &tab);
    EXPECT_FALSE(tab.HasCompany());

    const int16_t bar = tab.BarHeight();
    EXPECT_EQ(bar, tab.FontHeight() + 4);
    RECT tabClient{}, plainClient{};
    GetClientRect(tab.Window(), &tabClient);
    GetClientRect(plain.Window(), &plainClient);
    EXPECT_EQ(tabClient.right, plainClient.right);
    EXPECT_EQ(tabClient.bottom, plainClient.bottom + bar);
    ASSERT_EQ(tab.ItemCount(), 3);
    for (int16_t item = 1; item <= tab.ItemCount(); ++item) {
        const Rect16 moved = tab.GetItemRect(item), original = plain.GetItemRect(item);
        EXPECT_EQ(moved.top, original.top + bar) << item;
        EXPECT_EQ(moved.left, original.left) << item;
    }
    const auto width = static_cast<int16_t>(tabClient.right), height = static_cast<int16_t>(tabClient.bottom);
    EXPECT_TRUE(EqualRects(tab.BarRect(), Rect16{0, 0, bar, width}));
    EXPECT_TRUE(EqualRects(tab.PageRect(), Rect16{bar, 0, height, width}));
    EXPECT_GT(tab.TabWidth(), 6);
    // The slanted tab: its bottom is the bar height longer than its top.
    const Rect16 box = RegionBounds(tab.TabRegion());
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, 1);
    EXPECT_GE(RectWidth(box), tab.TabWidth() + bar - 2);
}

TEST_F(TabGroups, ShowingAPageHidesTheOneShownAndHidingAPageNotShownDoesNothing) {
    GroupAll();
    Shadow().Show(kShowInFront);
    EXPECT_TRUE(Shown(Shadow()));
    ExpectActiveEverywhere(&Shadow(), "Shadow shown");

    Glow().Show(kShowInFront);
    EXPECT_TRUE(Shown(Glow()));
    EXPECT_FALSE(Shown(Shadow()));
    EXPECT_FALSE(Shown(Bevel()));
    ExpectActiveEverywhere(&Glow(), "Glow shown");

    Shadow().Hide();
    Bevel().Close();
    EXPECT_TRUE(Shown(Glow())) << "hiding pages that are not shown";
    ExpectActiveEverywhere(&Glow(), "after hiding pages not shown");

    EXPECT_EQ(Glow().Close(), 0);
    EXPECT_FALSE(Shown(Glow()));
    ExpectActiveEverywhere(nullptr, "the shown page closed");

    EXPECT_TRUE(Bevel().ToggleShown());
    EXPECT_TRUE(Shown(Bevel()));
    ExpectActiveEverywhere(&Bevel(), "toggled on");
    EXPECT_FALSE(Bevel().ToggleShown());
    EXPECT_FALSE(Shown(Bevel()));
    ExpectActiveEverywhere(nullptr, "toggled off");
}

TEST_F(TabGroups, APageShownAfterAModalDialogCameToTheFrontTakesInput) {
    // The modal dialog's coming to the front deactivates (disables) the floating windows behind it
    // in the list, hidden ones included.
    MorvaneDialog modal(TEST_TAB_BEVEL, DialogKind::Modal);
    ASSERT_TRUE(modal.CreateModeless());
    PumpPending();
    ASSERT_EQ(MorvaneDialog::FrontDialog(), &modal);
    ASSERT_FALSE(IsWindowEnabled(Shadow().Window()));

    Shadow().Show(kShowInFront);
    EXPECT_TRUE(Shown(Shadow()));
    EXPECT_TRUE(Shadow().IsActive());
    EXPECT_TRUE(IsWindowEnabled(Shadow().Window()));
    EXPECT_EQ(MorvaneDialog::FrontDialog(), &modal) << "a floating page never becomes the front dialog";
}

TEST_F(TabGroups, ATabAddedToAGroupTakesTheGroupsPlaceAndShownPage) {
    Shadow().MoveTo(Point16{120, 80});
    Glow().MoveTo(Point16{400, 520});
    ASSERT_FALSE(SameOrigin(Shadow(), Glow()));
    Shadow().Show(kShowInFront);

    Shadow().AddToGroup(Glow());
    EXPECT_TRUE(SameOrigin(Shadow(), Glow()));
    EXPECT_EQ(Chain(Glow()), (std::vector<const FloatingTab*>{&Shadow(), &Glow()}));
    EXPECT_EQ(Glow().ActiveTab(), &Shadow());
    EXPECT_FALSE(Shown(Glow()));

    // A tab of another group leaves it; a visible one becomes the shown page, so that the group
    // never shows two.
    Bevel().Show(kShowInFront);
    Glow().AddToGroup(Bevel());
    EXPECT_EQ(Chain(Bevel()), (std::vector<const FloatingTab*>{&Shadow(), &Glow(), &Bevel()}));
    EXPECT_TRUE(SameOrigin(Shadow(), Bevel()));
    EXPECT_TRUE(Shown(Bevel()));
    EXPECT_FALSE(Shown(Shadow()));
    ExpectActiveEverywhere(&Bevel(), "a visible tab joined");

    Shadow().AddToGroup(Shadow());
    Shadow().AddToGroup(Bevel());
    EXPECT_EQ(Chain(Shadow()).size(), 3u) << "a tab already in the group stays where it is";
}

TEST_F(TabGroups, ATabLeavingShowsItsNeighbourInItsPlace) {
    struct Case {
        const char* name;
        int leaver;
        int active;
        int shownAfter;               // the remaining group's page
        std::vector<int> remaining;   // the remaining group from its head
    };
    const Case cases[] = {
        {"the shown middle page: the one after it", 1, 1, 2, {0, 2}},
        {"the shown last page: the one before it", 2, 2, 1, {0, 1}},
        {"the shown head: the next, which becomes the head", 0, 0, 1, {1, 2}},
        {"a page not shown: the shown one stays", 1, 0, 0, {0, 2}},
    };
    for (const Case& c : cases) {
        SetUp();
        GroupAll();
        FloatingTab& leaver = *tabs_[c.leaver];
        tabs_[c.active]->Show(kShowInFront);
        const bool leaverShown = c.leaver == c.active;

        leaver.LeaveGroup();
        EXPECT_FALSE(leaver.HasCompany()) << c.name;
        EXPECT_EQ(leaver.ActiveTab(), leaverShown ? &leaver : nullptr) << c.name;
        EXPECT_EQ(Shown(leaver), leaverShown) << c.name;
        FloatingTab& shown = *tabs_[c.shownAfter];
        EXPECT_TRUE(Shown(shown)) << c.name;
        std::vector<const FloatingTab*> remaining;
        for (int i : c.remaining) {
            remaining.push_back(tabs_[i].get());
            EXPECT_EQ(tabs_[i]->ActiveTab(), &shown) << c.name << ": " << tabs_[i]->Label();
        }
        EXPECT_EQ(Chain(shown), remaining) << c.name;
        if (leaverShown) {
            EXPECT_EQ(GetWindow(leaver.Window(), GW_HWNDNEXT), shown.Window()) << c.name << ": right behind the leaver";
        }
        TearDown();
    }
}

TEST_F(TabGroups, DeletingTheShownTabShowsItsNeighbourAndKeepsTheGroup) {
    GroupAll();
    Glow().Show(kShowInFront);
    tabs_[1].reset();
    EXPECT_TRUE(Shown(Bevel()));
    EXPECT_EQ(Chain(Shadow()), (std::vector<const FloatingTab*>{&Shadow(), &Bevel()}));
    EXPECT_EQ(Shadow().ActiveTab(), &Bevel());
    tabs_.erase(tabs_.begin() + 1);
}

TEST_F(TabGroups, MovingOnePageMovesEveryPageOfTheGroup) {
    GroupAll();
    Shadow().Show(kShowInFront);
    PumpPending();

    // As the user's drag does: the window moves and the group hears of it.
    RECT frame{};
    GetWindowRect(Shadow().Window(), &frame);
    SetWindowPos(Shadow().Window(), nullptr, frame.left + 37, frame.top + 23, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    PumpPending();
    const Point16 moved = ClientOrigin(Shadow());
    EXPECT_TRUE(SameOrigin(Glow(), Shadow()));
    EXPECT_TRUE(SameOrigin(Bevel(), Shadow()));

    // A hidden page moved in code takes the shown one along.
    Bevel().MoveTo(Point16{static_cast<int16_t>(moved.v + 50), static_cast<int16_t>(moved.h - 30)});
    PumpPending();
    EXPECT_EQ(ClientOrigin(Shadow()).v, moved.v + 50);
    EXPECT_EQ(ClientOrigin(Shadow()).h, moved.h - 30);
    EXPECT_TRUE(SameOrigin(Glow(), Bevel()));

    // A tab alone moves alone.
    Glow().LeaveGroup();
    Glow().MoveTo(Point16{300, 300});
    PumpPending();
    EXPECT_FALSE(SameOrigin(Glow(), Shadow()));
    EXPECT_TRUE(SameOrigin(Bevel(), Shadow()));
}

// ---- The screen

// The window's client area as the screen shows it, 32-bit pixels top-down.
class ClientShot {
public:
    explicit ClientShot(HWND window) {
        RECT client{};
        GetClientRect(window, &client);
        POINT origin{0, 0};
        ClientToScreen(window, &origin);
        width_ = client.right;
        height_ = client.bottom;
        pixels_.assign(static_cast<size_t>(width_) * height_, 0);
        const DrawingPort desktop{};
        const PortDC screen(desktop);
        const OwnedMemoryDC memory(CreateCompatibleDC(screen.Get()));
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width_, -height_, 1, 32, BI_RGB};
        void* bits = nullptr;
        const OwnedBitmap bitmap(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!screen || !memory || !bitmap || !bits) return;
        const HGDIOBJ old = SelectObject(memory.Get(), bitmap.Get());
        BitBlt(memory.Get(), 0, 0, width_, height_, screen.Get(), origin.x, origin.y, SRCCOPY);
        GdiFlush();
        std::memcpy(pixels_.data(), bits, pixels_.size() * 4);
        SelectObject(memory.Get(), old);
    }

    // As a Windows colour value.
    COLORREF At(int x, int y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
        const uint32_t bgra = pixels_[static_cast<size_t>(y) * width_ + x];
        return RGB((bgra >> 16) & 0xFF, (bgra >> 8) & 0xFF, bgra & 0xFF);
    }
    bool Holds(COLORREF color, const Rect16& r) const {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (At(x, y) == color) return true;
        return false;
    }

private:
    int width_ = 0, height_ = 0;
    std::vector<uint32_t> pixels_;
};

TEST_F(TabGroups, TheBarShowsTheGroupsTabsWithTheShownOneMergingIntoItsPage) {
    GroupAll();
    Glow().Show(kShowInFront);
    const HWND window = Glow().Window();
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpPending();
    Sleep(100);
    PumpPending();
    if (!ShotFolder().empty()) SaveWindowShot(window, ShotFolder() + "/floating-tab-bar.bmp");
    const ClientShot shot(window);

    const int h = Glow().BarHeight(), barWidth = RectWidth(Glow().BarRect());
    const int shadow = Shadow().TabOffset(), glow = Glow().TabOffset(), bevel = Bevel().TabOffset();
    EXPECT_EQ(shadow, 4);
    EXPECT_EQ(glow, 4 + Shadow().TabWidth() + h / 2);
    EXPECT_EQ(bevel, glow + Glow().TabWidth() + h / 2);
    ASSERT_LT(bevel + Bevel().TabWidth() + h, barWidth - 3) << "the template leaves bar to the right of the tabs";

    EXPECT_EQ(shot.At(barWidth - 3, h / 2), TabColors::kBar);
    EXPECT_EQ(shot.At(barWidth - 3, 0), TabColors::kOutline);
    EXPECT_EQ(shot.At(shadow + 1, 2), TabColors::kInactiveTab);
    EXPECT_EQ(shot.At(glow + 1, 2), TabColors::kActiveTab);
    EXPECT_EQ(shot.At(bevel + 1, 2), TabColors::kInactiveTab);
    // Framed, but open towards the page under the shown tab.
    EXPECT_EQ(shot.At(shadow + 3, h - 1), TabColors::kOutline);
    EXPECT_EQ(shot.At(glow + 3, h - 1), TabColors::kPage);
    EXPECT_EQ(shot.At(glow, h / 2), TabColors::kOutline);
    // The labels.
    const auto tabBox = [&](const FloatingTab& tab) {
        return Rect16{2, static_cast<int16_t>(tab.TabOffset() + 2), static_cast<int16_t>(h - 1),
                      static_cast<int16_t>(tab.TabOffset() + tab.TabWidth())};
    };
    EXPECT_TRUE(shot.Holds(TabColors::kLabel, tabBox(Glow())));
    EXPECT_TRUE(shot.Holds(TabColors::kLabel, tabBox(Bevel())));
    // The page's own area.
    const Rect16 page = Glow().PageRect();
    EXPECT_EQ(shot.At(page.right - 4, page.bottom - 4), TabColors::kPage);
}

// ---- Dragging a tab

// Presses at from, moves to `to` in steps and releases there, from a second thread as the user's
// hand would, while this thread runs its messages (the drag's loop among them).
void Drag(POINT from, POINT to) {
    std::atomic<bool> released{false};
    std::thread hand([&] {
        SendPointerAt(from, 0);
        Sleep(60);
        SendPointerAt(from, MOUSEEVENTF_LEFTDOWN);
        constexpr int kSteps = 12;
        for (int i = 1; i <= kSteps; ++i) {
            Sleep(40);
            SendPointerAt({from.x + (to.x - from.x) * i / kSteps, from.y + (to.y - from.y) * i / kSteps}, 0);
        }
        Sleep(100);
        SendPointerAt(to, MOUSEEVENTF_LEFTUP);
        released = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!released && std::chrono::steady_clock::now() < deadline) {
        PumpPending();
        Sleep(5);
    }
    hand.join();
    for (int n = 0; n < 20; ++n) {
        PumpPending();
        Sleep(10);
    }
}

// The screen point of a client point of the tab's window.
POINT OnScreen(const FloatingTab& tab, int x, int y) {
    POINT p{x, y};
    ClientToScreen(tab.Window(), &p);
    return p;
}

POINT MiddleOfTab(const FloatingTab& page, const FloatingTab& tab) {
    return OnScreen(page, tab.TabOffset() + tab.TabWidth() / 2, page.BarHeight() / 2);
}

TEST_F(TabGroups, DraggingATabOntoAnotherPageJoinsItsGroupAndDraggingItOffTearsItAway) {
    Shadow().MoveTo(Point16{150, 100});
    Glow().MoveTo(Point16{150, 620});
    Shadow().Show(kShowInFront);
    Glow().Show(kShowInFront);
    for (FloatingTab* tab : {&Shadow(), &Glow()}) UpdateWindow(tab->Window());
    PumpPending();
    ASSERT_TRUE(Shown(Shadow()) && Shown(Glow()));

    // Onto Glow's page: Shadow joins Glow's group as its shown page, at Glow's place.
    const Rect16 glowPage = Glow().PageRect();
    Drag(MiddleOfTab(Shadow(), Shadow()),
         OnScreen(Glow(), (glowPage.left + glowPage.right) / 2, (glowPage.top + glowPage.bottom) / 2));
    EXPECT_EQ(Chain(Shadow()), (std::vector<const FloatingTab*>{&Glow(), &Shadow()}));
    EXPECT_TRUE(Shown(Shadow()));
    EXPECT_FALSE(Shown(Glow()));
    EXPECT_EQ(Glow().ActiveTab(), &Shadow());
    EXPECT_TRUE(SameOrigin(Shadow(), Glow()));

    // A click on a tab of the bar shows that tab's page in the same place; nothing moves.
    for (FloatingTab* clicked : {&Glow(), &Shadow()}) {
        FloatingTab* shown = Shadow().ActiveTab();
        UpdateWindow(shown->Window());
        PumpPending();
        const POINT tab = MiddleOfTab(*shown, *clicked);
        Drag(tab, tab);
        EXPECT_TRUE(Shown(*clicked)) << clicked->Label();
        EXPECT_FALSE(Shown(*shown)) << clicked->Label();
        EXPECT_EQ(Glow().ActiveTab(), clicked);
        EXPECT_EQ(Chain(Shadow()), (std::vector<const FloatingTab*>{&Glow(), &Shadow()}));
        EXPECT_TRUE(SameOrigin(Shadow(), Glow()));
    }

    // Off into empty screen: Shadow leaves with its page, Glow is shown again where it was. (The
    // drag starts on the page already shown: hiding the other page first would take Wine two
    // seconds without a window manager, longer than the hand holds the button.)
    UpdateWindow(Shadow().Window());
    PumpPending();
    const Point16 groupPlace = ClientOrigin(Glow());
    const POINT grip = MiddleOfTab(Shadow(), Shadow());
    Drag(grip, POINT{grip.x, grip.y + 420});
    EXPECT_FALSE(Shadow().HasCompany());
    EXPECT_FALSE(Glow().HasCompany());
    EXPECT_TRUE(Shown(Shadow()));
    EXPECT_TRUE(Shown(Glow()));
    EXPECT_EQ(Shadow().ActiveTab(), &Shadow());
    EXPECT_EQ(Glow().ActiveTab(), &Glow());
    EXPECT_EQ(ClientOrigin(Glow()).v, groupPlace.v);
    EXPECT_EQ(ClientOrigin(Shadow()).v, groupPlace.v + 420);
    EXPECT_EQ(ClientOrigin(Shadow()).h, groupPlace.h);

    // A tab alone dragged into empty screen only moves.
    UpdateWindow(Shadow().Window());
    PumpPending();
    const Point16 before = ClientOrigin(Shadow());
    const POINT again = MiddleOfTab(Shadow(), Shadow());
    Drag(again, POINT{again.x - 60, again.y - 100});
    EXPECT_FALSE(Shadow().HasCompany());
    EXPECT_TRUE(Shown(Shadow()));
    EXPECT_EQ(ClientOrigin(Shadow()).v, before.v - 100);
    EXPECT_EQ(ClientOrigin(Shadow()).h, before.h - 60);
}

}  // namespace
