#include "LayerState.h"

void LayerState::Reset() {
    lastBuffer.Free();
    textureBuffer.Free();
    for (auto buffer = imageBuffers.rbegin(); buffer != imageBuffers.rend(); ++buffer) buffer->Free();
    sourceKind = kSingleImage;
    imageMissing = false;
    imagePolarity = 0;
    imagePlanes = 0;
    imageBounds = {};
    ForgetFrame();
    texturePresent = false;
    cacheValid = false;
    textureBounds = {};
    shapeTest = {};
    shapeRecord = {};
}

void LayerState::ForgetFrame() {
    loadFailed = false;
    framePath.Clear();
    frameInfo = {};
    partInfo = {};
    colourPlanes = 0;
    colourFill = {};
    innerFill = kNoBorderValue;
    outerFill = 0;
}
