// Edges: each of a layer's four edge slots roughens the placement image. GenerateEdge builds the
// slot's table once per render start (and only when the slot or its scaled sizes changed) into an
// EdgeCache; on every tile ApplyEdge runs it over the freshly drawn placement image.
//
// Use from the render passes, per placement:
//     at render start:  GenerateEdge(slot, renderScale, noiseSeed, cache)   for each of the 4 slots
//     drawn area:       tile + bounds widened by EdgeMarginY/X(cache) of every slot
//     per tile:         ApplyEdge(cache, area, image, planes)   for each slot in turn
// The image handed to ApplyEdge holds `area` widened by that cache's margins; the edge leaves its
// result packed at the area's width at the start of the same buffer, so with several edges the
// area of each is the previous one's shrunk by its margins.
#pragma once

#include <cstdint>

#include "HostMemory.h"
#include "PluginInterface.h"
#include "SettingsLayout.h"

// Edge types of a slot.
enum EdgeType : uint16_t {
    kEdgeWave = 1,
    kEdgeTriangle = 2,
    kEdgeSawTeeth = 3,
    kEdgeSawTeethReversed = 4,
    kEdgeBrushStrokes = 5,
    kEdgeRandom = 6,
    kEdgeDiffuse = 7,
    kEdgeClean = 8,
};

// One entry of a wave or noise table: the whole-pixel displacement and the bilinear weights of
// the four pixels it reads. While the table is built, the first two fields hold the raw
// displacement (column, row) as floats.
struct DisplacementEntry {
    int32_t column;
    int32_t row;
    float w00, w01, w10, w11;
};

// One entry of a scatter table: where in the (2R + 1)-square round a pixel takes its value from.
// Each offset runs 0..2R, which does not fit a byte for deep edges.
struct ScatterEntry {
    uint16_t column;
    uint16_t row;
};

struct EdgeCache {
    EdgeCache() = default;
    EdgeCache(const EdgeCache&) = delete;
    EdgeCache& operator=(const EdgeCache&) = delete;

    bool on = false;        // the slot is on and has a type
    uint16_t type = 0;
    int32_t width = 0;      // the pattern length at the render scale; 2 for types 7 and 8
    int32_t height = 0;     // the depth at the render scale; 0 when the edge draws nothing
    uint16_t angle = 0;     // degrees
    int32_t marginY = 0;    // how far the edge reads beyond the area
    int32_t marginX = 0;
    double m00 = 0, m01 = 0, m10 = 0, m11 = 0;  // pixel (c, r) -> table (m00 c + m01 r, m10 c + m11 r)
    int32_t tableWidth = 0;   // scatter: the tile side, a power of two
    int32_t tableHeight = 0;
    bool built = false;       // the table (or kernel) for these settings is in place
    BufferRecord table;       // displacement or scatter entries, or the Gauss kernel
};

// Builds or keeps the slot's cache at the render scale. seed is the renderer's noise state:
// generators that run restart it at 987654321 and leave their final state in it. Allocation
// failures are raised.
void GenerateEdge(RecordRef slot, double renderScale, uint32_t& seed, EdgeCache& cache);

// Whether the cache changes the image: on, with a depth, and with what its type applies built.
bool EdgeActive(const EdgeCache& cache);
// The margins the edge reads beyond its area; 0 when it is not active.
int32_t EdgeMarginY(const EdgeCache& cache);
int32_t EdgeMarginX(const EdgeCache& cache);

// Applies an active edge to an image of `samples` bytes per pixel (see the file comment); an
// inactive one leaves the image as it is. Area coordinates are image coordinates, so the pattern
// is the same in every tile.
void ApplyEdge(EdgeCache& cache, const Rect16& area, uint8_t* image, int32_t samples);

// ---- The generators and appliers themselves

// Types 1..5: a wave profile across direction `angle`, one table row of 16 entries a pixel.
void EdgeWave(EdgeCache& cache, uint32_t& seed);
// Type 6: two closed random walks tiling the image every `width` pixels.
void EdgeNoise(EdgeCache& cache, uint32_t& seed);
// Type 7: a tile of random offsets within the round of radius `height`.
void EdgeScatter(EdgeCache& cache, double renderScale, uint32_t& seed);
// The random profile of type 5: n values spanning -amplitude..amplitude.
void MakeRandomWave(int32_t n, double amplitude, uint32_t& seed, double* values);
// Turns raw float offsets into whole-pixel offsets (floored, held within +-limit) and weights.
void SplitEdgeOffsets(int32_t n, int32_t limit, DisplacementEntry* entries);

void ApplyEdgeScatter(EdgeCache& cache, const Rect16& area, uint8_t* image, int32_t samples);
void ApplyEdgeGauss(EdgeCache& cache, const Rect16& area, uint8_t* image, int32_t samples);
void ApplyEdgeDisplacement(EdgeCache& cache, const Rect16& area, uint8_t* image, int32_t samples);

// The largest side of a noise table: a pattern longer than this repeats at this length.
inline constexpr int32_t kMaxNoiseTableSide = 1024;
