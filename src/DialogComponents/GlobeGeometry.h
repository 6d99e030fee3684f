// The light-direction globe's geometry: where the handle stands for an elevation and an angle, and
// what elevation and angle a pointer position means. Plain functions of the item's rectangle, so
// that the drawing and the drag share one answer and tests check it without a window.
#pragma once

#include <cstdint>

#include "PluginInterface.h"

namespace Globe {

// The control has no elevation: angle only, the handle on the rim.
inline constexpr int32_t kNoElevation = -1;
inline constexpr int32_t kMaxElevation = 90;   // the handle at the centre
inline constexpr int16_t kMargin = 7;          // between the item's edge and the globe's rim

struct Layout {
    int32_t radius = 0;   // below 1: the item holds no globe
    Point16 centre{};
    Rect16 globe{};       // the square the picture is stretched into (the rim plus the margin)
};

Layout LayoutOf(const Rect16& item, int16_t margin = kMargin);

// The handle's place for an elevation (negative: on the rim) and an angle in degrees clockwise
// from the top, each coordinate rounded half away from zero.
Point16 HandlePosition(const Layout& layout, int32_t elevation, int32_t angle);

// What a pointer at `point` means: the elevation (only when it is not kNoElevation; 0 on and beyond
// the rim) and the angle (kept as it was when the elevation is at the centre's 90, so a click at the
// centre turns nothing). The radius must be 1 or more.
struct Direction {
    int32_t elevation;
    int32_t angle;
};
Direction DirectionAt(const Layout& layout, Point16 point, Direction current);

}  // namespace Globe
