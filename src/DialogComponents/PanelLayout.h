// The geometry of the panel controls, free of any window: where an image slider's thumb lies for a
// value and which value a position means, what a click on the rating stars makes of the rating,
// and where the add panel's segments lie.
#pragma once

#include <cstdint>
#include <vector>

#include "Geometry.h"

namespace SlideLayout {

// The thumb's position (its left or top edge) for a value: start + (value - minimum) x span /
// (maximum - minimum), rounded. The start for a slider of a single value, and a value outside
// the range is held at its end.
int32_t ValueToPosition(int32_t start, int32_t span, int16_t minimum, int16_t maximum, int16_t value);

// The value whose position lies nearest: the minimum before the start, the maximum beyond the end
// (start + span); the minimum for a slider without span or range.
int16_t PositionToValue(int32_t start, int32_t span, int16_t minimum, int16_t maximum, int32_t position);

}  // namespace SlideLayout

namespace RatingLayout {

inline constexpr int16_t kStars = 5;

// The rating after a click on star 1..5: that star's rating, or one less when the rating already
// is that star's, so that clicking the one lit star clears it. Other stars change nothing.
int16_t RatingAfterClick(int16_t rating, int16_t star);

}  // namespace RatingLayout

namespace AddPanelLayout {

// The flag bits that show a segment, and the segment numbers that clicks report.
inline constexpr uint16_t kFirstIcon = 0x01;
inline constexpr uint16_t kSecondIcon = 0x02;
inline constexpr uint16_t kAddInstant = 0x04;
inline constexpr uint16_t kAddRandom = 0x08;
inline constexpr uint16_t kItemCount = 0x10;

inline constexpr int16_t kIconWidth = 16;   // an icon segment without its picture
inline constexpr int16_t kTextPadding = 4;  // around a text segment's text

struct Segment {
    int16_t number = 0;   // 1..4 from left to right as the flags could show them
    Rect16 rect{};        // without the 1-pixel separator that follows it
};

// The segments the flags show, left to right inside the item inset by 1 pixel, each followed by
// a 1-pixel separator. iconWidths are the two icons' widths, textWidths the two texts' widths.
std::vector<Segment> Segments(const Rect16& item, uint16_t flags, const int16_t (&iconWidths)[2],
                              const int16_t (&textWidths)[2]);

// The segment holding the point, or a segment numbered 0.
Segment HitSegment(const std::vector<Segment>& segments, Point16 point);

}  // namespace AddPanelLayout
