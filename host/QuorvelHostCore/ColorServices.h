// The host's colour services: conversions between RGB, HSB, CMYK, Lab, gray and HSL, the colour
// of a document pixel, and the foreground and background colours.
//
// Components are 0..255, hues 0..359 degrees; CMYK is inverted as the plug-in interface has it
// (255 is no ink); Lab holds L* scaled to 0..255 and a*, b* offset by 128 (sRGB, D65).
#pragma once

#include <cstdint>

namespace qvhost {

// Converts through RGB. False for a space the host does not know (XYZ included).
bool ConvertColor(int16_t fromSpace, int16_t toSpace, const int16_t in[4], int16_t out[4]);

}  // namespace qvhost
