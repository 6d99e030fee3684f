#include "PassPlan.h"

#include <cmath>

namespace {

using EffectLayout::kBackground;
using EffectLayout::kBorder;
using EffectLayout::kGlow;
using EffectLayout::kShadow;

int32_t Sign(int32_t v) { return (v > 0) - (v < 0); }

// Frames and shapes drawn from one coverage: shadow, glow and border before the background on
// the side the layer draws out to, shadow and glow after it when they fall on the frame.
void PlanSingleCoverage(const LayerPassInputs& in, int32_t firstIndex, LayerPassPlan& plan) {
    struct Candidate {
        int32_t effect, sign;
    };
    static constexpr Candidate kCandidates[] = {{kShadow, -1}, {kGlow, -1},   {kBorder, -1},
                                                {kBackground, -1}, {kShadow, +1}, {kGlow, +1}};
    const int32_t s = in.inverted ? -1 : 1;
    int32_t background = -1;
    for (const Candidate& candidate : kCandidates) {
        const int32_t k = candidate.effect;
        const bool included = k == kBackground || (k == kBorder ? in.on[k] != 0 : s * Sign(in.on[k]) * candidate.sign > 0);
        if (!included) continue;
        PlannedPass& pass = plan.passes[plan.count];
        pass.effect = k;
        pass.kind = PassKind::Of(k, candidate.sign);
        const bool beforeBackground = background < 0;
        if (k == kBackground) background = firstIndex + plan.count;
        pass.placement = beforeBackground && k != kBackground ? in.placements - 1 : 0;
        pass.maskPass = PassKind::IsOuterGlowOrShadow(pass.kind) ? background : -1;
        ++plan.count;
    }
}

// Three-part frames: each effect on the side its on byte names, then the background.
void PlanThreePart(const LayerPassInputs& in, LayerPassPlan& plan) {
    for (const int32_t k : {kShadow, kGlow, kBorder, kBackground}) {
        if (k != kBackground && in.on[k] == 0) continue;
        PlannedPass& pass = plan.passes[plan.count++];
        pass.effect = k;
        pass.kind = PassKind::Of(k, Sign(in.on[k]));
        pass.placement = k == kBackground ? 0 : in.placements - 1;
        pass.maskPass = -1;
    }
}

}  // namespace

LayerPassInputs ReadPassInputs(RecordRef layer, bool threePart, int32_t placements) {
    LayerPassInputs in;
    for (int32_t k = 0; k < LayerLayout::kEffectCount; ++k)
        in.on[k] = static_cast<int8_t>(EffectOf(layer, k).Get(EffectLayout::kOn));
    in.inverted = layer.Get(LayerLayout::kInvert) != 0;
    in.threePart = threePart;
    in.placements = placements;
    return in;
}

LayerPassPlan PlanLayerPasses(const LayerPassInputs& inputs, int32_t firstIndex) {
    LayerPassPlan plan;
    if (inputs.threePart) PlanThreePart(inputs, plan);
    else PlanSingleCoverage(inputs, firstIndex, plan);
    return plan;
}

int32_t PlacementCount(RecordRef layer) {
    const double b = static_cast<int8_t>(EffectOf(layer, kBorder).Get(EffectLayout::kOn)) *
                     static_cast<double>(EffectOf(layer, kBorder).Get(EffectLayout::kSize));
    return std::abs(b * 10000) >= 0.5 ? 2 : 1;  // b x 10000 rounded half away from zero is not 0
}
