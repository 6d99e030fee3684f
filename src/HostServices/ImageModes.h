// What each of the host's image modes holds: colour planes, bytes per sample, its colour space
// and its 8-bit equivalent. A mode outside the host's sixteen is never looked up: callers ask
// FindImageMode first and refuse what it does not know.
#pragma once

#include <cstdint>

struct ImageModeInfo {
    int16_t colourPlanes;
    int16_t bytesPerSample;  // 0 for bitmap
    int16_t colourSpace;     // negative: the mode has none
    int16_t eightBitMode;
};

// Null for a mode the tables do not hold.
const ImageModeInfo* FindImageMode(int32_t imageMode);
// 0 for an unknown mode.
int16_t ColourPlanesOfMode(int32_t imageMode);
// The colour space of a mode, negative for an unknown mode or one without a space.
int16_t ColourSpaceOfMode(int32_t imageMode);

// Bytes per channel sample as the host delivers them: 0 for bitmap, 2 for the 16-bit modes, 1 for
// every other mode (an unknown mode included).
int32_t BytesPerSampleForMode(int16_t imageMode);

// Components of a colour space (0 for a space outside the host's seven).
int16_t ComponentsOfSpace(int32_t colourSpace);

// 16-bit samples run 0..32768 inside the system and 0..65535 at the host.
inline constexpr uint16_t kSample16Max = 32768;
inline uint16_t Widen8To16(uint8_t v) { return static_cast<uint16_t>((uint32_t{v} * 32897) >> 8); }
inline uint16_t HostToInternal16(uint16_t v) { return static_cast<uint16_t>((uint32_t{v} + 1) >> 1); }
inline uint16_t InternalToHost16(uint16_t v) { return static_cast<uint16_t>((uint32_t{v} * 65535) >> 15); }
// The nearest 8-bit value of a sample of the system's 16-bit range.
inline uint8_t Narrow16To8(uint16_t v) { return static_cast<uint8_t>((uint32_t{v} * 255 + 16384) >> 15); }
