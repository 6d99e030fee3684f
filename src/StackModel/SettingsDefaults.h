// Defaults and resets of the stored records. A reset answers whether any byte changed, so that a
// Reset button redraws only when needed.
#pragma once

#include <cstdint>

#include "SettingsLayout.h"

// The frame library's background choice picks the default colour of a layer's background effect.
void SetDefaultBackgroundBlack(bool black);
bool DefaultBackgroundBlack();

// A shape record of the kind with the default settings (five sides, a 39% inset, a centred head), as
// a new shape layer or a reset has it.
void SettingsDefaultShape(RecordRef shape, uint16_t kind);
// Shape record defaults that keep the shape's kind.
bool SettingsResetShape(RecordRef shape);
// The head of a layer (up to its effects) as for a new ellipse layer; +0..+7 stay as they are.
RecordRef SettingsDefaultLayerHead(RecordRef layer);
// Angle 0, no flips, scales 1.0, offsets 0.0.
bool SettingsResetPlacement(RecordRef layer);
// Turns the layer by delta degrees, folded once into -180..180.
void SettingsRotateAngle(RecordRef layer, int32_t delta);
void SettingsDefaultEffect(RecordRef effect, int32_t kind);
// The kind's defaults; the effect's on byte is never changed by a reset.
bool SettingsResetEffectRecord(RecordRef effect, int32_t kind);
void SettingsDefaultBevel(RecordRef bevel);
// The defaults, keeping the texture choice, the texture blur and height, and the on byte.
bool SettingsResetBevel(RecordRef bevel);
// Kind and contour points of one of the built-in contours; kind 1 and unknown kinds get the line.
void SettingsSetBevelContour(RecordRef bevel, uint16_t kind);
void SettingsDefaultEdge(RecordRef edge);

// Resets one layer's settings (not its record id or frame source); keepEdges leaves its edge slots.
void SettingsInitLayerRecord(RecordRef layer, bool keepEdges);
// The layer record an empty stack still stores: default settings, disabled.
void SettingsInitPlaceholder(const ParameterBlockView& block);
// The background record's placement and the global scale 1.0; true when anything changed.
bool SettingsResetBackgroundPlacement(const ParameterBlockView& block);
