// The bevel outline: a layer's bevel contour turned into a table of heights by the distance from
// the frame's edge, which the bevel passes look up for every pixel of the 16-bit distance buffer.
//
// Distances and heights are in 1/255 pixel. Across the bevel width w (Ws = 255 w) the contour's
// x runs 0..1 and its height y 0..1 becomes y x Ws, so a contour at 45 degrees rises one pixel a
// pixel. Distances past the bevel keep the contour's last height; distances before the edge
// continue its first segment linearly.
#pragma once

#include <cstdint>

#include "HostMemory.h"
#include "SettingsLayout.h"

// How far the table reaches on each side of 0..Ws: sqrt(2) pixels and one more step.
inline constexpr int32_t kOutlineReach = 362;

struct EffectOutline {
    EffectOutline() = default;
    EffectOutline(const EffectOutline&) = delete;
    EffectOutline& operator=(const EffectOutline&) = delete;

    int32_t kind = -1;         // the contour kind the table holds
    int32_t scaledWidth = -1;  // Ws
    // Heights (the low 16 bits hold 0..65535) for distances -kOutlineReach .. Ws + kOutlineReach.
    BufferRecord table;
};

// Builds the table for the bevel record at width w (pixels at the render scale), keeping it while
// the kind and width stay the same. Answers the pass cost w x 0.5 + 1.0, or 0.0 for a width
// below 1 (no bevel). An allocation failure is raised.
double BuildEffectOutline(RecordRef bevel, int32_t width, EffectOutline& outline);

// The outline's table, locked by the caller, positioned at distance 0: heights[d] for d in
// -kOutlineReach .. Ws + kOutlineReach.
const int32_t* OutlineHeights(const LockedBuffer& table);
