// The order in which a layer's effects are drawn: one render pass per visible effect, with the
// pass's signed kind (negative: on the inner side, or before the background), the pass that masks
// it and the placement it draws from.
#pragma once

#include <cstdint>

#include "SettingsLayout.h"

// A pass's kind: its effect signed by the side it is drawn on, so 0 the background, -1 and +1 the
// border, -2 and +2 the glow, -3 and +3 the shadow. The outer glow and shadow (+2, +3) are drawn
// from the frame's coverage turned over, outside the frame, and the layer's background pass masks
// them; every other pass but the background is knocked out by the background pass.
namespace PassKind {
inline constexpr int32_t kBackground = 0;
inline constexpr int32_t kOuterGlow = EffectLayout::kGlow;
inline constexpr int32_t kOuterShadow = EffectLayout::kShadow;
constexpr int32_t Of(int32_t effect, int32_t side) { return effect * side; }
constexpr bool IsOuterGlowOrShadow(int32_t kind) { return kind == kOuterGlow || kind == kOuterShadow; }
}  // namespace PassKind

struct PlannedPass {
    int32_t effect = 0;     // the EffectRecord drawn: 0 Background .. 3 Shadow
    int32_t kind = 0;       // PassKind: effect x side
    int32_t maskPass = -1;  // index (over the whole stack) of the layer's background pass, or -1
    int32_t placement = 0;  // 0 the main placement, 1 the second one
};

inline constexpr int32_t kMaxPassesPerLayer = 6;

struct LayerPassPlan {
    PlannedPass passes[kMaxPassesPerLayer];
    int32_t count = 0;
};

struct LayerPassInputs {
    int8_t on[LayerLayout::kEffectCount] = {};  // the effects' on bytes read as signed
    bool inverted = false;                       // the layer's invert byte
    bool threePart = false;                      // a frame with separate inner and outer masks
    int32_t placements = 1;                      // 1, or 2 with a border
};
LayerPassInputs ReadPassInputs(RecordRef layer, bool threePart, int32_t placements);

// The passes of one layer whose first pass gets index firstIndex in the stack's pass order.
LayerPassPlan PlanLayerPasses(const LayerPassInputs& inputs, int32_t firstIndex);

// The layer's placements: 2 when its border factor is not zero (to four decimals).
int32_t PlacementCount(RecordRef layer);
