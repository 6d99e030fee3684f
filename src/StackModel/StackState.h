// What one host call keeps beside its parameter block for the frame-stack model: the photo's row
// among the layers, which the block does not store, and the run-time LayerState table. Whoever
// serves the call owns one and hands it to the call's filter objects and to every model it builds
// over the block, so they all see one photo row and one table. A new call's state starts with the
// photo at row 0 and an empty table; the table's buffers are that call's host's, and are given back
// before the call returns.
#pragma once

#include <cstdint>

#include "LayerState.h"

struct StackState {
    StackState() = default;
    StackState(const StackState&) = delete;
    StackState& operator=(const StackState&) = delete;

    // P, 0..N: the model (QuorvelBase::SetTargetLayerPos) keeps it within the stack.
    int32_t photoPosition = 0;
    LayerStateTable layerStates;
};
