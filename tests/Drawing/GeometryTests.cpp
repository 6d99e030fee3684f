// Numbers, rectangles, segments, regions and the screen.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "DrawingPort.h"
#include "Geometry.h"
#include "WindowServices.h"

// Beside Rect16 itself, where the comparisons of the test macros find them.
static bool operator==(const Rect16& a, const Rect16& b) {
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

static std::ostream& operator<<(std::ostream& out, const Rect16& r) {
    return out << "{" << r.top << ", " << r.left << ", " << r.bottom << ", " << r.right << "}";
}

namespace {

TEST(RoundToInt, RoundsHalfAwayFromZero) {
    const struct {
        double value;
        int32_t expected;
    } cases[] = {
        {-2.5, -3}, {2.5, 3}, {-2.49, -2}, {2.49, 2}, {0.0, 0}, {-0.5, -1},
        {1e20, std::numeric_limits<int32_t>::max()}, {-1e20, std::numeric_limits<int32_t>::min()},
        {std::nan(""), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(RoundToInt(c.value), c.expected) << c.value;
}

TEST(BlockMove, CopiesOverlappingRangesInEitherDirection) {
    char up[] = "abcdefgh";
    BlockMove(up, up + 1, 7);
    EXPECT_STREQ(up, "aabcdefg");
    char down[] = "abcdefgh";
    BlockMove(down + 1, down, 7);
    EXPECT_STREQ(down, "bcdefghh");
    char untouched[] = "abc";
    BlockMove("xyz", untouched, 0);
    BlockMove("xyz", untouched, -5);
    EXPECT_STREQ(untouched, "abc");
}

TEST(FitRectProportionally, ScalesToTheTighterSideAndCentres) {
    const struct {
        Rect16 rect, bounds, expected;
    } cases[] = {
        {{0, 0, 50, 100}, {0, 0, 200, 200}, {50, 0, 150, 200}},      // 100 x 50 grows to 200 x 100
        {{0, 0, 100, 50}, {10, 20, 110, 220}, {10, 95, 110, 145}},   // kept at scale 1, centred across
        {{5, 5, 305, 405}, {0, 0, 30, 40}, {0, 0, 30, 40}},          // shrinks
        {{0, 0, 2, 3}, {0, 0, 5, 5}, {1, 0, 4, 5}},                  // 0.83 and 4.17 round to 1 and 4
        {{0, 0, 0, 10}, {0, 0, 50, 50}, {0, 0, 0, 10}},              // no height: left alone
        {{0, 10, 10, 5}, {0, 0, 50, 50}, {0, 10, 10, 5}},            // negative width: left alone
    };
    for (const auto& c : cases) {
        Rect16 r = c.rect;
        FitRectProportionally(r, c.bounds);
        EXPECT_EQ(r, c.expected) << c.rect << " in " << c.bounds;
    }
}

TEST(PointNearSegment, MeasuresInMagnifiedScreenPixels) {
    const Point16 left{10, 0}, right{10, 100}, top{0, 50}, bottom{100, 50}, origin{0, 0}, corner{100, 100};
    const struct {
        Point16 p, a, b;
        int32_t scale;
        bool expected;
    } cases[] = {
        {{10, 50}, left, right, 1, true},
        {{2, 50}, left, right, 1, true},     // 8 above: the tolerance is inclusive above the line
        {{1, 50}, left, right, 1, false},
        {{17, 50}, left, right, 1, true},
        {{18, 50}, left, right, 1, false},   // 8 below: exclusive
        {{10, 105}, left, right, 1, true},   // beyond the end, within the tolerance
        {{10, 120}, left, right, 1, false},
        {{11, 50}, left, right, 4, true},    // 4 screen pixels
        {{12, 50}, left, right, 4, false},   // 8 screen pixels below
        {{50, 42}, top, bottom, 1, true},
        {{50, 41}, top, bottom, 1, false},
        {{50, 55}, origin, corner, 1, true},    // 5 across from a diagonal
        {{50, 58}, origin, corner, 1, true},    // 8 across: on the tolerance
        {{50, 60}, origin, corner, 1, false},
        {{50, 52}, origin, corner, 4, true},    // 2 x 4 = 8 screen pixels
        {{50, 53}, origin, corner, 4, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PointNearSegment(c.p, c.a, c.b, c.scale), c.expected)
            << "(" << c.p.v << ", " << c.p.h << ") to (" << c.a.v << ", " << c.a.h << ")-(" << c.b.v << ", "
            << c.b.h << ") scale " << c.scale;
}

TEST(Regions, CombineIntoAFreshRegionOrIntoEitherOperand) {
    const Rect16 aRect{0, 0, 10, 10}, bRect{5, 5, 15, 15};
    const struct {
        void (*operation)(HRGN, HRGN, HRGN);
        bool inAOnly, inBoth, inBOnly;
    } cases[] = {
        {UnionRgn, true, true, true},
        {SectRgn, false, true, false},
        {DiffRgn, true, false, false},
    };
    for (const auto& c : cases) {
        for (int target = 0; target < 3; ++target) {
            OwnedRgn a = NewRectRgn(aRect), b = NewRectRgn(bRect), fresh = NewRectRgn(Rect16{});
            HRGN result = target == 0 ? fresh.Get() : target == 1 ? a.Get() : b.Get();
            c.operation(a.Get(), b.Get(), result);
            EXPECT_EQ(PtInRegion(result, 2, 2) != 0, c.inAOnly) << target;
            EXPECT_EQ(PtInRegion(result, 7, 7) != 0, c.inBoth) << target;
            EXPECT_EQ(PtInRegion(result, 12, 12) != 0, c.inBOnly) << target;
            EXPECT_FALSE(PtInRegion(result, 12, 2)) << target;
        }
    }
}

TEST(Regions, EmptyResultsAndCopies) {
    OwnedRgn a = NewRectRgn(Rect16{0, 0, 10, 10}), apart = NewRectRgn(Rect16{20, 20, 30, 30});
    OwnedRgn result = NewRectRgn(Rect16{});
    EXPECT_TRUE(IsEmptyRgn(result.Get()));
    SectRgn(a.Get(), apart.Get(), result.Get());
    EXPECT_TRUE(IsEmptyRgn(result.Get()));
    DiffRgn(a.Get(), a.Get(), a.Get());
    EXPECT_TRUE(IsEmptyRgn(a.Get()));

    OwnedRgn copy = CopyRgn(apart.Get());
    OffsetRgn(apart.Get(), 100, 0);   // the copy is a region of its own
    EXPECT_TRUE(PtInRegion(copy.Get(), 25, 25));
    EXPECT_FALSE(PtInRegion(apart.Get(), 25, 25));
}

TEST(Screen, DesktopRegionCoversEveryMonitorAndTheWorkAreaLiesOnIt) {
    OwnedRgn desktop = NewRectRgn(Rect16{});
    GetDesktopRgn(desktop.Get());
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    EXPECT_TRUE(PtInRegion(desktop.Get(), left, top));
    EXPECT_TRUE(PtInRegion(desktop.Get(), left + width - 1, top + height - 1));
    EXPECT_FALSE(PtInRegion(desktop.Get(), left + width, top));

    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(GetMonitorWorkRect(), ToRect16(work));
    EXPECT_EQ(GetMonitorWorkRect(Point16{10, 10}), ToRect16(work));
    EXPECT_EQ(GetMonitorWorkRect(Point16{-30000, 30000}), ToRect16(work));   // the nearest monitor
}

TEST(Screen, PlacedRectanglesAreCentredAndKeptEightPixelsInside) {
    const Rect16 area = GetMonitorWorkRect();
    Rect16 centred{0, 0, 100, 200};
    PlaceRectOnScreen(centred, nullptr);
    EXPECT_EQ(centred.left - area.left, area.right - centred.right);
    EXPECT_EQ(centred.top - area.top, area.bottom - centred.bottom);

    Rect16 wide{0, 0, 100, static_cast<int16_t>(RectWidth(area) + 100)};
    PlaceRectOnScreen(wide, nullptr);
    EXPECT_EQ(wide.left, area.left + 8);
    EXPECT_EQ(RectWidth(wide), RectWidth(area) + 100);

    // On a window in the top-left corner: centred on its client area, then pushed inside.
    const HWND window = CreateWindowExW(0, L"Static", L"", WS_POPUP, area.left, area.top, 60, 40, nullptr,
                                        nullptr, nullptr, nullptr);
    ASSERT_TRUE(window);
    DrawingPort port;
    InitPort(port, window);
    Rect16 onWindow{0, 0, 20, 20};
    PlaceRectOnScreen(onWindow, &port);
    EXPECT_EQ(onWindow, (Rect16{static_cast<int16_t>(area.top + 10), static_cast<int16_t>(area.left + 20),
                                static_cast<int16_t>(area.top + 30), static_cast<int16_t>(area.left + 40)}));
    Rect16 large{0, 0, 200, 200};
    PlaceRectOnScreen(large, &port);
    EXPECT_EQ(large.left, area.left + 8);
    EXPECT_EQ(large.top, area.top + 8);
    DisposePort(port);

    DrawingPort desktop;   // the desktop port's client area is the screen
    InitPort(desktop, nullptr);
    EXPECT_EQ(GetClientScreenRect(desktop),
              (Rect16{0, 0, static_cast<int16_t>(GetSystemMetrics(SM_CYSCREEN)),
                      static_cast<int16_t>(GetSystemMetrics(SM_CXSCREEN))}));
    DestroyWindow(window);
}

}  // namespace
