#include "PanelLayout.h"

#include <algorithm>
#include <cmath>

namespace SlideLayout {

int32_t ValueToPosition(int32_t start, int32_t span, int16_t minimum, int16_t maximum, int16_t value) {
    const int32_t range = int32_t{maximum} - minimum;
    if (range <= 0 || span <= 0) return start;
    const int32_t held = std::clamp<int32_t>(value, minimum, maximum);
    return start + static_cast<int32_t>(static_cast<int64_t>(held - minimum) * span / static_cast<double>(range) + 0.5);
}

int16_t PositionToValue(int32_t start, int32_t span, int16_t minimum, int16_t maximum, int32_t position) {
    const int32_t range = int32_t{maximum} - minimum;
    if (range <= 0 || span <= 0) return minimum;
    if (position <= start) return minimum;
    if (position >= start + span) return maximum;
    const double steps = static_cast<double>(position - start) * range / span;
    return static_cast<int16_t>(std::clamp<int32_t>(minimum + static_cast<int32_t>(steps + 0.5), minimum, maximum));
}

}  // namespace SlideLayout

namespace RatingLayout {

int16_t RatingAfterClick(int16_t rating, int16_t star) {
    if (star < 1 || star > kStars) return rating;
    return rating == star ? static_cast<int16_t>(star - 1) : star;
}

}  // namespace RatingLayout

namespace AddPanelLayout {

std::vector<Segment> Segments(const Rect16& item, uint16_t flags, const int16_t (&iconWidths)[2],
                              const int16_t (&textWidths)[2]) {
    const uint16_t bits[] = {kFirstIcon, kSecondIcon, kAddInstant, kAddRandom};
    const int32_t widths[] = {std::max<int32_t>(iconWidths[0], 0), std::max<int32_t>(iconWidths[1], 0),
                              std::max<int32_t>(textWidths[0], 0) + kTextPadding,
                              std::max<int32_t>(textWidths[1], 0) + kTextPadding};
    std::vector<Segment> segments;
    const int32_t top = int32_t{item.top} + 1;
    const int32_t bottom = int32_t{item.bottom} - 1;
    const int32_t right = int32_t{item.right} - 1;
    int32_t x = int32_t{item.left} + 1;
    for (int n = 0; n < 4; ++n) {
        if (!(flags & bits[n])) continue;
        // A segment that no longer fits the item is cut at its edge, and those after it are left
        // out, rather than drawn over the frame.
        if (x >= right) break;
        const int32_t end = std::min(x + widths[n], right);
        segments.push_back(Segment{static_cast<int16_t>(n + 1),
                                   Rect16{ClampToInt16(top), ClampToInt16(x), ClampToInt16(bottom), ClampToInt16(end)}});
        x = end + 1;
    }
    return segments;
}

Segment HitSegment(const std::vector<Segment>& segments, Point16 point) {
    for (const Segment& segment : segments) {
        const Rect16& r = segment.rect;
        if (point.h >= r.left && point.h < r.right && point.v >= r.top && point.v < r.bottom) return segment;
    }
    return Segment{};
}

}  // namespace AddPanelLayout
