// Where the tabs of a group stand in the bar across the top of its pages, and in which order they
// are drawn: pure functions of the tabs' widths, free of any window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The first tab starts this far into the bar.
inline constexpr int32_t kTabRowStart = 4;

// How far each tab moves back onto the one before it so that the row fits the bar. A tab takes
// its width plus half the bar height before the next begins (their slanted edges overlap); when
// the row so laid out (from its start to where a next tab would begin) is longer than the bar,
// the excess is shared evenly, rounded up, among the tabs. Never more than the shortest tab's
// step, so that no tab stands left of the one before it however short the bar.
int32_t TabOverlap(std::span<const int16_t> widths, int16_t barHeight, int32_t barWidth);

// The left edge of each tab in the bar.
std::vector<int32_t> TabOffsets(std::span<const int16_t> widths, int16_t barHeight, int32_t barWidth);

// The order to draw count tabs in so that the active one is wholly on top and each other tab lies
// under its neighbour nearer the active one: those before it from left to right, those after it
// from right to left, the active one last. Without an active tab (active >= count), left to right.
std::vector<size_t> TabDrawOrder(size_t count, size_t active);
