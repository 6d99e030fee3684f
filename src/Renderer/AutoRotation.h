// The automatic quarter turn of a frame whose orientation differs from the photo's.
#pragma once

#include <cstdint>

#include "SettingsLayout.h"

// 1 landscape, -1 portrait, 0 near square (within a ratio of 1.1).
int32_t Orientation(double ratio);

// The turn to apply to a layer (+90, -90 or 0) for a frame of the given size over a photo of the
// given size, with the layer's auto-rotated byte. A turned frame is turned back only once the
// orientations no longer differ: its loaded image keeps its own size, so the mismatch persists
// while the turn is in place.
int32_t AutoRotationTurn(int32_t frameWidth, int32_t frameHeight, int32_t photoWidth, int32_t photoHeight, bool rotated);

// Applies the turn to the record: the angle and the auto-rotated byte.
void AutoRotateLayerRecord(RecordRef layer, int32_t frameWidth, int32_t frameHeight, int32_t photoWidth, int32_t photoHeight);
