// The loop a drawn control runs while the mouse button that pressed it is down: where the mouse is
// in the owner dialog, and the front dialog's idle work kept going meanwhile.
#pragma once

#include "Geometry.h"

class DialogComponent;

namespace ComponentTracking {

// The cursor in the component's owner dialog's client coordinates, and whether the left, right or
// middle button is down. While one is, the front dialog's Idle runs once under a raised tracking
// depth (and the thread yields a moment, as the loop calling this spins until the release).
bool FollowMouse(const DialogComponent& component, Point16& point);

// Whether the point lies inside the rectangle (its right and bottom edges outside).
inline bool Inside(const Rect16& rect, Point16 point) {
    return point.h >= rect.left && point.h < rect.right && point.v >= rect.top && point.v < rect.bottom;
}

}  // namespace ComponentTracking
