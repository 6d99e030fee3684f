// The frame-stack model: stateless operations over the current parameter block.
#pragma once

#include <cstdint>

class QuorvelBase {
public:
    // The photo's position among the frame layers (0..N): layers below it lie under the photo.
    static int32_t TargetLayerPos();
    static void SetTargetLayerPos(int32_t position);
};
