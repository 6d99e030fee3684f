// The sliders' geometry without windows: where a value's thumb stands, which value a position
// picks, the square-root spread of the non-linear sliders, the snap to 0, and the keys' steps.
#include <gtest/gtest.h>

#include "SliderGeometry.h"

namespace {

struct TrackCase {
    const char* name;
    int32_t left, top, right, bottom;
    bool vertical;
    int32_t thumbSize, start, length;
};

TEST(SliderGeometry, TrackFollowsTheRectanglesLongerSide) {
    const TrackCase cases[] = {
        // The popup's track: 100 pixels upward from its bottom with a thumb of 8.
        {"popup", 3, 4, 13, 119, true, 8, 111, -100},
        {"vertical", 0, 0, 20, 200, true, 18, 182, -165},
        {"horizontal", 1, 1, 121, 19, false, 16, 17, 89},
        {"square is horizontal", 0, 0, 30, 30, false, 28, 28, -25},
    };
    for (const TrackCase& c : cases) {
        const SliderGeometry g = MakeSliderGeometry(c.left, c.top, c.right, c.bottom, 0, 100, true, 0);
        EXPECT_EQ(g.vertical, c.vertical) << c.name;
        EXPECT_EQ(g.thumbSize, c.thumbSize) << c.name;
        EXPECT_EQ(g.trackStart, c.start) << c.name;
        EXPECT_EQ(g.trackLength, c.length) << c.name;
        EXPECT_EQ(g.thumbPosition, c.start) << c.name << ": value 0 stands at the start";
    }
}

struct ValueCase {
    const char* name;
    bool vertical;
    bool linear;
    int16_t minimum, maximum;
    int32_t value;
    int32_t position;  // from the track's start
};

TEST(SliderGeometry, ValuesAndPositionsMapBothWays) {
    // Both tracks are 100 pixels long: the horizontal one rightward, the vertical one upward.
    const ValueCase cases[] = {
        {"linear middle", false, true, 0, 100, 50, 50},
        {"linear end", false, true, 0, 100, 100, 100},
        {"non-linear quarter at half length", false, false, 0, 100, 25, 50},
        {"non-linear tenth", false, false, 0, 100, 9, 30},
        {"non-linear end", false, false, 0, 100, 100, 100},
        {"vertical linear middle", true, true, 0, 100, 50, -50},
        {"vertical non-linear quarter at half length", true, false, 0, 100, 25, -50},
        {"vertical negative range", true, true, -100, 100, 0, -50},
    };
    for (const ValueCase& c : cases) {
        const SliderGeometry g = c.vertical ? MakeSliderGeometry(3, 4, 13, 119, c.minimum, c.maximum, c.linear, 0)
                                            : MakeSliderGeometry(0, 0, 131, 18, c.minimum, c.maximum, c.linear, 0);
        EXPECT_EQ(SliderPositionOfValue(g, c.value) - g.trackStart, c.position) << c.name;
        EXPECT_EQ(SliderValueAtPosition(g, g.trackStart + c.position), c.value) << c.name;
    }
}

TEST(SliderGeometry, PositionsBeyondTheTrackGiveItsEnds) {
    for (bool linear : {true, false}) {
        const SliderGeometry h = MakeSliderGeometry(1, 1, 121, 19, -20, 80, linear, 0);
        EXPECT_EQ(SliderValueAtPosition(h, h.trackStart - 30), -20);
        EXPECT_EQ(SliderValueAtPosition(h, h.trackStart + h.trackLength + 30), 80);
        const SliderGeometry v = MakeSliderGeometry(3, 4, 13, 119, -20, 80, linear, 0);
        EXPECT_EQ(SliderValueAtPosition(v, v.trackStart + 30), -20) << "below a vertical track";
        EXPECT_EQ(SliderValueAtPosition(v, v.trackStart - 130), 80) << "above it";
        EXPECT_EQ(ClampToTrack(v, 0), v.trackStart + v.trackLength);
        EXPECT_EQ(ClampToTrack(v, 500), v.trackStart);
    }
    // Values outside the range stand at the ends.
    const SliderGeometry g = MakeSliderGeometry(1, 1, 121, 19, 0, 10, true, 0);
    EXPECT_EQ(SliderPositionOfValue(g, -5), g.trackStart);
    EXPECT_EQ(SliderPositionOfValue(g, 50), g.trackStart + g.trackLength);
}

TEST(SliderGeometry, ZeroOfARangeAcrossItIsExactlyFound) {
    // Track lengths whose middle falls between two values: without the snap the position of 0
    // would read back as 1.
    for (int32_t width = 100; width < 160; ++width) {
        for (bool linear : {true, false}) {
            const SliderGeometry g = MakeSliderGeometry(0, 0, width, 16, -100, 100, linear, 0);
            const int32_t zero = SliderPositionOfValue(g, 0);
            EXPECT_EQ(SliderValueAtPosition(g, zero), 0) << "width " << width << (linear ? " linear" : " non-linear");
            if (linear) {
                EXPECT_GT(SliderValueAtPosition(g, zero + 2), 0) << "width " << width;
                EXPECT_LT(SliderValueAtPosition(g, zero - 2), 0) << "width " << width;
            }
        }
    }
    // Without the snap, the same track reads its middle as 1.
    const SliderGeometry odd = MakeSliderGeometry(0, 0, 132, 16, -100, 100, true, 0);
    EXPECT_EQ(odd.trackLength, 105);
    EXPECT_EQ(SliderValueAtPosition(odd, SliderPositionOfValue(odd, 0) + 1), 3);
}

TEST(SliderGeometry, AnEmptyRangeOrTrackDividesByNothing) {
    const SliderGeometry flat = MakeSliderGeometry(0, 0, 100, 16, 5, 5, true, 5);
    EXPECT_EQ(flat.range, 1);
    EXPECT_EQ(SliderValueAtPosition(flat, flat.trackStart + 60), 5) << "no value beyond the range";
    // A control as small as its thumb has a track of no length: every position is the minimum.
    const SliderGeometry none = MakeSliderGeometry(0, 0, 5, 5, -10, 10, false, 3);
    ASSERT_EQ(none.trackLength, 0);
    EXPECT_EQ(none.thumbPosition, none.trackStart);
    EXPECT_EQ(SliderValueAtPosition(none, none.trackStart), -10);
}

struct KeyCase {
    const char* name;
    int32_t value;
    int16_t minimum, maximum;
    SliderKey key;
    bool shift;
    int32_t result;
};

TEST(SliderGeometry, KeysStepPageAndJumpToTheEnds) {
    const KeyCase cases[] = {
        {"page up is a fifth rounded up", 10, 0, 100, SliderKey::kPageUp, false, 30},
        {"page down", 50, 0, 101, SliderKey::kPageDown, false, 29},
        {"page stops at the minimum", 5, 0, 100, SliderKey::kPageDown, false, 0},
        {"Home is the maximum", 10, -50, 50, SliderKey::kHome, false, 50},
        {"End is the minimum", 10, -50, 50, SliderKey::kEnd, false, -50},
        {"step", 10, 0, 100, SliderKey::kStepUp, false, 11},
        {"shifted step", 10, 0, 100, SliderKey::kStepDown, true, 0},
        {"shifted step stops at the maximum", 95, 0, 100, SliderKey::kStepUp, true, 100},
        {"no key", 7, 0, 100, SliderKey::kNone, false, 7},
    };
    for (const KeyCase& c : cases)
        EXPECT_EQ(SliderValueAfterKey(c.value, c.minimum, c.maximum, c.key, c.shift), c.result) << c.name;
}

}  // namespace
