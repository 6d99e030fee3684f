// Coordinates at a reduced scale: divisions that round towards minus or plus infinity, so that
// negative coordinates scale like positive ones.
#pragma once

#include <cstdint>

#include "PluginInterface.h"

inline int32_t FloorDiv(int32_t a, int32_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
inline int32_t CeilDiv(int32_t a, int32_t b) { return a >= 0 ? (a + b - 1) / b : -((-a) / b); }

// Every edge divided by s, rounded up.
inline Rect32 DividedUp(const Rect32& r, int32_t s) {
    return {CeilDiv(r.top, s), CeilDiv(r.left, s), CeilDiv(r.bottom, s), CeilDiv(r.right, s)};
}
inline Rect16 DividedUp(const Rect16& r, int32_t s) {
    return {static_cast<int16_t>(CeilDiv(r.top, s)), static_cast<int16_t>(CeilDiv(r.left, s)),
            static_cast<int16_t>(CeilDiv(r.bottom, s)), static_cast<int16_t>(CeilDiv(r.right, s))};
}
