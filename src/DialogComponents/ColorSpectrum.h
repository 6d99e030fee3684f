// The pictures of the colour well: a spectrum field (hue across, from white at the top through the
// full colours to black at the bottom) and a grey strip (white to black across). Each pixel's
// colour is a plain function of its place, so that the drawing loop only walks the rows and the
// colours can be checked without a window.
#pragma once

#include <cstdint>

struct SpectrumRgb {
    uint8_t red = 0, green = 0, blue = 0;
};

inline bool operator==(const SpectrumRgb& a, const SpectrumRgb& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

// Hue in degrees (any value: taken modulo 360), saturation and brightness 0..1 (held there; a value
// that is not a number counts as 0), rounded to 8 bits.
SpectrumRgb HsbToRgb8(double hue, double saturation, double brightness);

// The spectrum's pixel (x, y) of a field width x height: the hue runs 0..360 across the width; the
// upper half rises in saturation from white to the full colour at the middle row, the lower half
// falls in brightness to black at the last row. Places outside the field are held at its edges;
// an empty field is black.
SpectrumRgb SpectrumColorAt(int32_t x, int32_t y, int32_t width, int32_t height);

// The grey strip's pixel at x of a strip `width` wide: white at the left, black at the right.
SpectrumRgb GreyStripColorAt(int32_t x, int32_t width);
