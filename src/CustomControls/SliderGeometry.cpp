#include "SliderGeometry.h"

#include <algorithm>
#include <cmath>

namespace {

// The share of the track a value takes: 0..1, its square root on a non-linear track.
double TrackShare(const SliderGeometry& g, int32_t value) {
    double t = static_cast<double>(value - g.minimum) / g.range;
    t = std::clamp(t, 0.0, 1.0);
    return g.linear ? t : std::sqrt(t);
}

}  // namespace

SliderGeometry MakeSliderGeometry(int32_t left, int32_t top, int32_t right, int32_t bottom, int16_t minimum,
                                  int16_t maximum, bool linear, int32_t value) {
    SliderGeometry g;
    g.minimum = minimum;
    g.maximum = maximum;
    g.range = std::max<int32_t>(int32_t{maximum} - minimum, 1);
    g.linear = linear;
    g.trackLeft = left;
    g.trackTop = top;
    g.trackRight = right;
    g.trackBottom = bottom;
    const int32_t width = right - left, height = bottom - top;
    g.vertical = height > width;
    if (g.vertical) {
        // The thumb is as tall as the track is wide; the track's left edge keeps 2 pixels clear.
        g.trackLeft += 2;
        g.thumbSize = std::max(g.trackRight - g.trackLeft, 0);
        g.trackStart = bottom - g.thumbSize;
        g.trackLength = 2 * g.thumbSize - height - 1;
    } else {
        g.trackTop += 2;
        g.thumbSize = std::max(g.trackBottom - g.trackTop, 0);
        g.trackStart = left + g.thumbSize;
        g.trackLength = width - 2 * g.thumbSize + 1;
    }
    g.thumbPosition = SliderPositionOfValue(g, value);
    return g;
}

int32_t SliderPositionOfValue(const SliderGeometry& g, int32_t value) {
    return g.trackStart + static_cast<int32_t>(std::floor(g.trackLength * TrackShare(g, value) + 0.5));
}

int32_t SliderValueAtPosition(const SliderGeometry& g, int32_t position) {
    if (g.trackLength == 0) return g.minimum;
    double u = static_cast<double>(position - g.trackStart) / g.trackLength * g.range;
    if (u <= 0) return g.minimum;
    if (u >= g.range) return g.maximum;
    if (int32_t{g.minimum} * g.maximum < 1 && position == SliderPositionOfValue(g, 0)) return 0;
    if (!g.linear) u = u * u / g.range;
    // A range stored empty or inverted still answers a value inside it.
    return std::min<int32_t>(g.minimum + static_cast<int32_t>(u + 0.5), std::max(g.minimum, g.maximum));
}

int32_t ClampToTrack(const SliderGeometry& g, int32_t position) {
    const int32_t end = g.trackStart + g.trackLength;
    return std::clamp(position, std::min(g.trackStart, end), std::max(g.trackStart, end));
}

int32_t SliderValueAfterKey(int32_t value, int16_t minimum, int16_t maximum, SliderKey key, bool shift) {
    const int32_t range = int32_t{maximum} - minimum;
    const int32_t page = (range + 4) / 5;
    const int32_t step = shift ? 10 : 1;
    switch (key) {
        case SliderKey::kPageUp: value += page; break;
        case SliderKey::kPageDown: value -= page; break;
        case SliderKey::kHome: value = maximum; break;
        case SliderKey::kEnd: value = minimum; break;
        case SliderKey::kStepUp: value += step; break;
        case SliderKey::kStepDown: value -= step; break;
        case SliderKey::kNone: break;
    }
    return std::clamp<int32_t>(value, minimum, std::max(minimum, maximum));
}
