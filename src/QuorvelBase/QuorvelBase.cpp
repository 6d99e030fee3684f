#include "QuorvelBase.h"

#include "CurrentParameters.h"
#include "SettingsDefaults.h"

namespace {
int32_t gTargetLayerPos = 0;
}

int32_t QuorvelBase::TargetLayerPos() { return gTargetLayerPos; }
void QuorvelBase::SetTargetLayerPos(int32_t position) { gTargetLayerPos = position; }

void QuorvelBase::InitLayerRecord(int32_t layer, bool keepEdges) {
    const LockedParameters parameters;
    if (!parameters) return;
    const ParameterBlockView block = parameters.View();
    if (layer >= block.LayerSlots() || !block.HoldsLayer(layer)) return;
    SettingsInitLayerRecord(block.Layer(layer), keepEdges);
}

bool QuorvelBase::ResetBackgroundPlacement() {
    const LockedParameters parameters;
    return parameters && SettingsResetBackgroundPlacement(parameters.View());
}
