// The panels' geometry without windows: the image slider's values and positions, the rating a
// star click makes, and the add panel's segments.
#include <gtest/gtest.h>

#include <vector>

#include "PanelLayout.h"

namespace {

TEST(SlideLayout, ValuesAndPositionsMapBothWaysAndHoldAtTheEnds) {
    struct Case {
        int16_t minimum, maximum;
        int32_t position;
        int16_t value;
    };
    // A groove from 10, 100 pixels long.
    const Case toValue[] = {
        {0, 10, 5, 0},      {0, 10, 10, 0},   {0, 10, 14, 0},   {0, 10, 15, 1},    // before, at and near the start
        {0, 10, 60, 5},     {0, 10, 110, 10}, {0, 10, 500, 10},                    // the end and beyond
        {-100, 100, 10, -100}, {-100, 100, 60, 0}, {-100, 100, 110, 100},          // a range below zero
        {5, 5, 60, 5},      {10, 0, 60, 10},                                       // no range: the minimum
    };
    for (const Case& c : toValue)
        EXPECT_EQ(SlideLayout::PositionToValue(10, 100, c.minimum, c.maximum, c.position), c.value)
            << c.minimum << ".." << c.maximum << " at " << c.position;

    const Case toPosition[] = {
        {0, 10, 10, 0},   {0, 10, 60, 5},   {0, 10, 110, 10}, {0, 3, 43, 1},   // 33.3 rounds down
        {0, 3, 77, 2},    {-100, 100, 60, 0}, {-100, 100, 10, -100},
        {0, 10, 110, 50}, {0, 10, 10, -3},                                   // values outside are held
        {5, 5, 10, 5},
    };
    for (const Case& c : toPosition)
        EXPECT_EQ(SlideLayout::ValueToPosition(10, 100, c.minimum, c.maximum, c.value), c.position)
            << c.minimum << ".." << c.maximum << " value " << c.value;

    EXPECT_EQ(SlideLayout::PositionToValue(10, 0, 0, 10, 10), 0) << "no span";
    EXPECT_EQ(SlideLayout::ValueToPosition(10, 0, 0, 10, 7), 10);
    // Every value comes back from its own position.
    for (int16_t v = -7; v <= 13; ++v)
        EXPECT_EQ(SlideLayout::PositionToValue(3, 77, -7, 13, SlideLayout::ValueToPosition(3, 77, -7, 13, v)), v);
}

TEST(RatingLayout, AStarClickSetsItsRatingOrClearsTheLitTopStar) {
    struct Case {
        int16_t rating, star, after;
    };
    const Case cases[] = {{3, 3, 2}, {0, 1, 1}, {1, 1, 0}, {5, 5, 4}, {2, 4, 4}, {4, 2, 2},
                          {3, 0, 3}, {3, 6, 3}};   // no star: no change
    for (const Case& c : cases)
        EXPECT_EQ(RatingLayout::RatingAfterClick(c.rating, c.star), c.after) << c.rating << " then " << c.star;
}

TEST(AddPanelLayout, SegmentsFollowTheirFlagsLeftToRightWithSeparators) {
    using namespace AddPanelLayout;
    const Rect16 item{100, 10, 120, 400};
    const int16_t icons[2] = {18, 16};
    const int16_t texts[2] = {60, 70};

    const std::vector<Segment> all = Segments(item, kFirstIcon | kSecondIcon | kAddInstant | kAddRandom | kItemCount, icons, texts);
    ASSERT_EQ(all.size(), 4u);
    const int16_t lefts[] = {11, 30, 47, 112};
    const int16_t rights[] = {29, 46, 111, 186};
    for (size_t n = 0; n < 4; ++n) {
        EXPECT_EQ(all[n].number, static_cast<int16_t>(n + 1));
        EXPECT_EQ(all[n].rect.left, lefts[n]) << n;
        EXPECT_EQ(all[n].rect.right, rights[n]) << n;
        EXPECT_EQ(all[n].rect.top, 101);
        EXPECT_EQ(all[n].rect.bottom, 119);
    }

    const std::vector<Segment> texts_only = Segments(item, kAddInstant | kAddRandom, icons, texts);
    ASSERT_EQ(texts_only.size(), 2u);
    EXPECT_EQ(texts_only[0].number, 3);
    EXPECT_EQ(texts_only[0].rect.left, 11);
    EXPECT_EQ(HitSegment(texts_only, Point16{110, 12}).number, 3);
    EXPECT_EQ(HitSegment(texts_only, Point16{110, 75}).number, 0) << "the separator";
    EXPECT_EQ(HitSegment(texts_only, Point16{110, 76}).number, 4);
    EXPECT_EQ(HitSegment(texts_only, Point16{110, 300}).number, 0);
    EXPECT_EQ(HitSegment(texts_only, Point16{100, 12}).number, 0) << "the frame";

    EXPECT_TRUE(Segments(item, kItemCount, icons, texts).empty());
    // A narrow item cuts the segment that reaches its edge and leaves out the rest.
    const std::vector<Segment> narrow = Segments(Rect16{0, 0, 20, 50}, kFirstIcon | kAddInstant | kAddRandom, icons, texts);
    ASSERT_EQ(narrow.size(), 2u);
    EXPECT_EQ(narrow[1].rect.right, 49);
}

}  // namespace
