// The geometry of a slider's track, free of any window: where a value's thumb stands and which
// value a pointer position picks. A linear slider spreads its range evenly; a non-linear one
// spreads the square root of it, so that small values get more of the track.
#pragma once

#include <cstdint>

struct SliderGeometry {
    int16_t minimum = 0;
    int16_t maximum = 1;
    int32_t range = 1;          // maximum - minimum, at least 1
    bool vertical = false;
    bool linear = true;
    int32_t thumbSize = 0;      // the track's breadth
    int32_t trackStart = 0;     // the position of the minimum (a vertical track starts at its bottom)
    int32_t trackLength = 0;    // from the minimum's position to the maximum's; negative for a vertical
                                // track, whose values grow upward
    int32_t thumbPosition = 0;
    // The track rectangle (left, top, right, bottom).
    int32_t trackLeft = 0, trackTop = 0, trackRight = 0, trackBottom = 0;
};

// The geometry of a track laid in the rectangle (left, top, right, bottom), usually the control's
// client rectangle inset by one pixel: vertical when it is taller than wide. The thumb stands at
// value's position. A range that is not positive is taken as 1.
SliderGeometry MakeSliderGeometry(int32_t left, int32_t top, int32_t right, int32_t bottom, int16_t minimum,
                                  int16_t maximum, bool linear, int32_t value);

// The position of a value (clamped into the range), rounded half up.
int32_t SliderPositionOfValue(const SliderGeometry& geometry, int32_t value);

// The value at a position: the ends of the track and beyond give the minimum and maximum; on a
// range that holds 0, the position of 0 gives exactly 0, so that a drag can always find it.
int32_t SliderValueAtPosition(const SliderGeometry& geometry, int32_t position);

// The position clamped to the track, whichever way the track runs.
int32_t ClampToTrack(const SliderGeometry& geometry, int32_t position);

// The value a key moves a slider's value to, or the value itself for a key that moves nothing:
// page keys move a fifth of the range (rounded up), Home and End go to the maximum and minimum,
// arrows move one step (ten with Shift). The result lies in the range.
enum class SliderKey { kNone, kPageUp, kPageDown, kHome, kEnd, kStepUp, kStepDown };
int32_t SliderValueAfterKey(int32_t value, int16_t minimum, int16_t maximum, SliderKey key, bool shift);
