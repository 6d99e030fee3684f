// Generated frame shapes ("Razezev Urude" layers): a stored ShapeRecord becomes an inside-test
// kept in the layer's LayerState, with a small preview mask for the frame-stack tab. The render
// passes rasterise the same test into each tile:
//     ImageRasterize(placementTransform, area, image, state.shapeTest, kShapeRenderSamples);
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "ErrorCodes.h"
#include "ImageShapes.h"
#include "PluginInterface.h"
#include "SettingsLayout.h"

struct LayerState;

// Sub-samples per axis of a mixed pixel: in the render passes and in the tab's preview.
inline constexpr int32_t kShapeRenderSamples = 16;
inline constexpr int32_t kShapePreviewSamples = 8;

// The stored shape's inside-test. A kind outside 1..6 is the empty shape; the rectangle takes its
// proportions from filterRect (the host's filter rectangle).
ShapeTest MakeShapeTest(RecordRef shape, const Rect16& filterRect);

// The frame-stack tab's preview item rectangle while the tab is open: the tab installs a source
// when it opens and removes it (an empty function) when it closes.
using ShapePreviewItemSource = std::function<std::optional<Rect16>()>;
void SetShapePreviewItemSource(ShapePreviewItemSource source);

// Builds the layer's inside-test from its shape record, keeps a copy of the record, and renders
// the preview mask (one byte per pixel, into image buffer 0, bounds 0, 0, h, w) sized to the tab's
// item less 2 pixels on each side; with the tab closed the bounds are empty. A preview that
// cannot be allocated is left out. Answers 0.
ErrorCode BuildShapeMask(LayerState& state, RecordRef layer, const Rect16& filterRect);

// Whether the layer's shape record differs from the one its inside-test was built from.
bool ShapeMaskStale(const LayerState& state, RecordRef layer);
