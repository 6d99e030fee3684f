// The stack's limits, the one rule that every check of a stack's size asks: at most 32 layers, and
// every stored record (the empty stack's placeholder layer included) takes one of the 32 entries
// of the run-time table.
#pragma once

#include <algorithm>
#include <cstdint>

#include "SettingsLayout.h"

namespace StackLimits {

// Whether a stack of `layers` layers and `paths` path records can be stored.
constexpr bool Holds(int64_t layers, int64_t paths) {
    return layers >= 0 && layers <= BlockLayout::kMaxLayers && paths >= 0 &&
           std::max<int64_t>(layers, 1) + paths <= BlockLayout::kMaxStackEntries;
}

// Whether one more layer (or, with pathRecord, one more path record) still fits.
constexpr bool HasRoomFor(int64_t layers, int64_t paths, bool pathRecord) {
    return Holds(layers + (pathRecord ? 0 : 1), paths + (pathRecord ? 1 : 0));
}

// Whether the stack holds as many layers as the user may use. A frame chosen for a full stack is
// refused with the limit named; a stack with fewer layers whose records fill the run-time table
// (textures take entries too) has no room for the new record, which is told as such.
constexpr bool AtLayerLimit(int64_t layers) { return layers >= BlockLayout::kMaxLayers; }

static_assert(Holds(BlockLayout::kMaxLayers, 0) && !Holds(BlockLayout::kMaxLayers + 1, 0));
static_assert(Holds(0, BlockLayout::kMaxStackEntries - 1) && !Holds(0, BlockLayout::kMaxStackEntries));
static_assert(!HasRoomFor(20, 12, false) && !HasRoomFor(20, 12, true) && HasRoomFor(31, 0, false));
static_assert(AtLayerLimit(BlockLayout::kMaxLayers) && !AtLayerLimit(30));

}  // namespace StackLimits
