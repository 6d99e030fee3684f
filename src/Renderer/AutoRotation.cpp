#include "AutoRotation.h"

#include "SettingsDefaults.h"

int32_t Orientation(double x) {
    if (!(x > 0)) return 0;
    return (x > 1.1 ? 1 : 0) - (1 / x > 1.1 ? 1 : 0);
}

int32_t AutoRotationTurn(int32_t frameWidth, int32_t frameHeight, int32_t photoWidth, int32_t photoHeight, bool rotated) {
    if (frameWidth <= 0 || frameHeight <= 0 || photoWidth <= 0 || photoHeight <= 0) return 0;
    const bool mismatch = Orientation(static_cast<double>(photoWidth) / photoHeight) *
                              Orientation(static_cast<double>(frameWidth) / frameHeight) == -1;
    if (mismatch) return rotated ? 0 : 90;
    return rotated ? -90 : 0;
}

void AutoRotateLayerRecord(RecordRef layer, int32_t frameWidth, int32_t frameHeight, int32_t photoWidth, int32_t photoHeight) {
    const bool rotated = layer.Get(LayerLayout::kAutoRotated) != 0;
    const int32_t turn = AutoRotationTurn(frameWidth, frameHeight, photoWidth, photoHeight, rotated);
    if (turn == 0) return;
    SettingsRotateAngle(layer, turn);
    layer.Set(LayerLayout::kAutoRotated, turn > 0 ? 1 : 0);
}
