// The per-run records of the renderer: the placements of every layer, one record per render pass
// and the bevel light of every layer. Each render (FrameRender) keeps its own tables of them,
// sized to the stack by the stack storage resize and emptied when the run ends. Their render
// fields are filled by the render setup; here they hold the memory they own, so that releasing a
// record frees everything it took.
#pragma once

#include <array>

#include "HostMemory.h"
#include "QuorvelBevelOutline.h"
#include "QuorvelEdges.h"
#include "RecordTable.h"

// Where one layer lies on the output: two per layer (the main placement, and the enlarged one of
// the border).
struct LayerPlacement {
    static constexpr int kEdgeCacheCount = 4;

    // Declared before the buffers, so a record frees its buffers first, then its edge caches.
    std::array<EdgeCache, kEdgeCacheCount> edgeCaches;
    BufferRecord placementImage;  // coverage of the frame
    BufferRecord colour;          // three-part frames: frame colour, inner and outer coverage
    BufferRecord inner;
    BufferRecord outer;
};

// One render pass of one effect of one layer.
struct RenderPassRecord {
    std::array<BufferRecord, 3> companionPlanes;  // three-part frames: colour, inner, outer per tile
    BufferRecord coverage;                        // the pass's coverage for the tile
    BufferRecord blurKernel;
    BufferRecord spreadKernel;                    // Glow only
};

// The bevel light of one layer.
struct BevelLightRecord {
    EffectOutline outline;        // heights by the distance from the frame's edge
    BufferRecord coverage;        // 8-bit bevel coverage
    BufferRecord height;          // 16-bit heights
    BufferRecord softnessKernel;
};

// Table capacities: two placements, four passes and one bevel per layer of a full stack.
using PlacementTable = RecordTable<LayerPlacement, 64>;
using PassTable = RecordTable<RenderPassRecord, 128>;
using BevelTable = RecordTable<BevelLightRecord, 32>;
