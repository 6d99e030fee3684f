// The frame-stack model: stateless operations over the current parameter block.
#pragma once

#include <cstdint>

class QuorvelBase {
public:
    // The photo's position among the frame layers (0..N): layers below it lie under the photo.
    static int32_t TargetLayerPos();
    static void SetTargetLayerPos(int32_t position);

    // Resets one layer's settings (layer < max(N,1)); keepEdges leaves its four edge slots.
    static void InitLayerRecord(int32_t layer, bool keepEdges);
    // Resets the photo's placement and the global scale; true when anything changed.
    static bool ResetBackgroundPlacement();
};
