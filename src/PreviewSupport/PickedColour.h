// The colour the eyedropper reads from one pixel of the document as the host delivers it: the
// layer's colour planes, and its opacity from the transparency plane, the layer mask and the
// selection. Pure arithmetic over the delivered bytes; the dialog asks the host for them.
#pragma once

#include <cstdint>

struct ColorRecord;

// Where the planes of one delivered pixel lie. The host orders a layer's planes as: its colour
// planes, its transparency, its layer masks, its inverted layer masks, then the document's other
// planes.
struct DeliveredPixelPlanes {
    int32_t imageMode = 0;
    int32_t bytesPerSample = 1;      // 1, or 2 for the 16-bit modes (the system's range 0..32768)
    int32_t colourPlanes = 0;
    int32_t transparencyPlane = -1;  // -1: the layer is opaque
    int32_t layerMaskPlane = -1;     // -1: no layer mask
    bool layerMaskInverted = false;

    // From the filter record's counts. A host that counts no layer planes delivers the mode's
    // colour planes and nothing else of the layer.
    static DeliveredPixelPlanes Of(int32_t imageMode, int32_t bytesPerSample, int32_t layerPlanes,
                                   int32_t transparency, int32_t layerMasks, int32_t invertedLayerMasks);

    // The planes to ask for, from plane 0: the colour, and the transparency and mask when present.
    int32_t PlanesAsked() const;
};

// The 8-bit value of one delivered sample.
uint8_t EightBitsOfSample(const uint8_t* sample, int32_t bytesPerSample);

// Fills color from one pixel (PlanesAsked() samples, one after the other) and the selection's
// coverage at it (null: no selection). The record: tag -1, the colour space of the document's
// mode (-1 for a mode without one), each colour plane's 8-bit value (0 for components the mode
// lacks), and the opacity: the transparency (255 without), times the layer mask (or its inverse)
// and the selection, each product over 255 to the nearest. False for a fully transparent pixel,
// or a mode with no colour planes.
bool ColorOfDeliveredPixel(const DeliveredPixelPlanes& planes, const uint8_t* pixel, const uint8_t* selection,
                           ColorRecord& color);
