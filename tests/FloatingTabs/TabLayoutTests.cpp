// The tab bar's layout as pure functions: the even overlap of a row too long for its bar, the
// offsets it gives, and the order tabs are drawn in.
#include <gtest/gtest.h>

#include <vector>

#include "TabLayout.h"

namespace {

struct OverlapCase {
    const char* name;
    std::vector<int16_t> widths;
    int16_t barHeight;
    int32_t barWidth;
    int32_t overlap;
    std::vector<int32_t> offsets;
};

TEST(TabLayout, RowsTooLongForTheBarOverlapEvenly) {
    // Each tab steps its width plus half the bar height; the row runs from 4 to where a next tab
    // would begin.
    const OverlapCase cases[] = {
        {"one tab, room to spare", {40}, 20, 300, 0, {4}},
        {"three tabs that fit", {40, 30, 50}, 20, 300, 0, {4, 54, 94}},
        // Row 4 + 50 + 40 + 60 = 154: exactly the bar.
        {"a row exactly as long as the bar", {40, 30, 50}, 20, 154, 0, {4, 54, 94}},
        // One pixel too long: every tab moves back one, rounded up from 1/3.
        {"one pixel too long", {40, 30, 50}, 20, 153, 1, {4, 53, 92}},
        // 154 - 100 = 54 too long over three tabs: 18 each.
        {"much too long", {40, 30, 50}, 20, 100, 18, {4, 36, 58}},
        // 55 too long: 18.33 rounds up to 19, so the row ends inside the bar.
        {"uneven excess rounds up", {40, 30, 50}, 20, 99, 19, {4, 35, 56}},
        // An odd bar height steps half of it, rounded down: 4 + 3 * (20 + 10) = 94 against 80.
        {"odd bar height", {20, 20, 20}, 21, 80, 5, {4, 29, 54}},
        // A bar shorter than its start: the overlap stops at the shortest step (10 + 10), so no
        // tab stands left of the one before it.
        {"a bar shorter than the row's start", {10, 40, 30}, 20, 2, 20, {4, 4, 34}},
        // 4 + 9 * 60 = 544 against 200: 344 over nine tabs, 38.2 rounded up.
        {"nine tabs in a narrow page", {50, 50, 50, 50, 50, 50, 50, 50, 50}, 20, 200, 39,
         {4, 25, 46, 67, 88, 109, 130, 151, 172}},
        {"no tab", {}, 20, 100, 0, {}},
        {"a failed measure counts as no width", {-1, 20}, 20, 100, 0, {4, 14}},
    };
    for (const OverlapCase& c : cases) {
        EXPECT_EQ(TabOverlap(c.widths, c.barHeight, c.barWidth), c.overlap) << c.name;
        EXPECT_EQ(TabOffsets(c.widths, c.barHeight, c.barWidth), c.offsets) << c.name;
    }
}

TEST(TabLayout, SqueezedRowsEndWithinTheBar) {
    const std::vector<int16_t> widths{37, 61, 44, 52, 29};
    const int16_t barHeight = 18;
    for (int32_t barWidth = 120; barWidth <= 320; barWidth += 7) {
        const std::vector<int32_t> offsets = TabOffsets(widths, barHeight, barWidth);
        const int32_t overlap = TabOverlap(widths, barHeight, barWidth);
        const int32_t rowEnd = offsets.back() + widths.back() + barHeight / 2 - overlap;
        EXPECT_LE(rowEnd, barWidth) << barWidth;
        for (size_t i = 1; i < offsets.size(); ++i) EXPECT_GT(offsets[i], offsets[i - 1]) << barWidth;
    }
}

TEST(TabLayout, TheActiveTabIsDrawnLastAndItsNeighboursJustBefore) {
    struct Case {
        size_t count, active;
        std::vector<size_t> order;
    };
    const Case cases[] = {
        {1, 0, {0}},
        {3, 0, {2, 1, 0}},
        {3, 1, {0, 2, 1}},
        {3, 2, {0, 1, 2}},
        {5, 2, {0, 1, 4, 3, 2}},
        {4, 4, {0, 1, 2, 3}},   // no active tab: left to right
        {0, 0, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TabDrawOrder(c.count, c.active), c.order) << c.count << " tabs, active " << c.active;
}

}  // namespace
