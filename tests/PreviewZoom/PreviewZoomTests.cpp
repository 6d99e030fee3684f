#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

#include "PreviewZoom.h"

namespace {

constexpr int32_t kMax32 = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin32 = std::numeric_limits<int32_t>::min();

ZoomRatio In(int32_t in) { return ZoomRatio{1, in}; }
ZoomRatio Out(int32_t out) { return ZoomRatio{out, 1}; }

TEST(ZoomRatio, NormalizesToOneFactorAndCapsEachEnd) {
    struct Case { int64_t out, in; ZoomRatio expected; };
    const Case cases[] = {
        {1, 1, In(1)},       {2, 6, In(3)},      {3, 8, In(2)},        {1, 17, In(16)},
        {1, 1000, In(16)},   {6, 2, Out(3)},     {8, 3, Out(2)},       {101, 1, Out(100)},
        {9999, 1, Out(100)}, {0, 0, In(1)},      {-5, 4, In(4)},       {7, -3, Out(7)},
        {INT64_MAX, 1, Out(100)}, {1, INT64_MAX, In(16)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NormalizeZoom(c.out, c.in), c.expected) << c.out << ":" << c.in;
}

TEST(ZoomRatio, StepsInwardFromTheStrongestReductionToTheLargestEnlargement) {
    std::vector<ZoomRatio> seen;
    for (ZoomRatio r = Out(100);;) {
        seen.push_back(r);
        const ZoomRatio next = ZoomStepIn(r);
        if (next == r) break;
        r = next;
    }
    const std::vector<ZoomRatio> expected = {
        Out(100), Out(67), Out(50), Out(33), Out(25), Out(20), Out(16), Out(12), Out(8), Out(6), Out(5),
        Out(4), Out(3), Out(2), In(1), In(2), In(3), In(4), In(5), In(6), In(8), In(12), In(16)};
    EXPECT_EQ(seen, expected);
    EXPECT_FALSE(seen.back().CanZoomIn());
}

TEST(ZoomRatio, StepsOutwardFromTheLargestEnlargementToTheStrongestReduction) {
    std::vector<ZoomRatio> seen;
    for (ZoomRatio r = In(16);;) {
        seen.push_back(r);
        const ZoomRatio next = ZoomStepOut(r);
        if (next == r) break;
        r = next;
    }
    const std::vector<ZoomRatio> expected = {
        In(16), In(12), In(8), In(6), In(5), In(4), In(3), In(2), In(1), Out(2), Out(3), Out(4), Out(5),
        Out(6), Out(8), Out(12), Out(16), Out(20), Out(25), Out(33), Out(50), Out(67), Out(100)};
    EXPECT_EQ(seen, expected);
    EXPECT_FALSE(seen.back().CanZoomOut());
}

TEST(ZoomRatio, StepsFromRatiosBetweenTheStepsToTheNearestStepOnward) {
    struct Case { ZoomRatio from, in, out; };
    const Case cases[] = {
        {Out(7), Out(6), Out(8)},     {Out(99), Out(67), Out(100)}, {In(7), In(8), In(6)},
        {In(13), In(16), In(12)},     {Out(9999), Out(67), Out(100)},  // unset counts as the strongest
        {ZoomRatio{0, 0}, In(2), Out(2)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ZoomStepIn(c.from), c.in) << c.from.out << ":" << c.from.in;
        EXPECT_EQ(ZoomStepOut(c.from), c.out) << c.from.out << ":" << c.from.in;
    }
    EXPECT_TRUE(In(1).IsActualPixels());
    EXPECT_FALSE(Out(2).IsActualPixels());
}

TEST(ZoomRatio, PercentIsWholeOrHasOneRoundedDecimal) {
    struct Case { ZoomRatio ratio; const char* text; };
    const Case cases[] = {
        {In(1), "100"},   {Out(3), "33.3"}, {In(12), "1200"}, {Out(2), "50"},  {Out(67), "1.5"},
        {Out(6), "16.7"}, {Out(33), "3.0"}, {Out(100), "1"},  {In(16), "1600"}, {ZoomRatio{0, -1}, "100"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ZoomPercentText(c.ratio), c.text);
    EXPECT_EQ(ZoomedTitle("Frames - photo.psd", Out(3)), "Frames - photo.psd (33.3%)");
    EXPECT_EQ(ZoomedTitle("Frames", In(1)), "Frames (100%)");
}

TEST(PreviewDivision, RoundsTowardsMinusInfinityOrUpAndNeverDividesByZero) {
    EXPECT_EQ(FloorDivide(7, 2), 3);
    EXPECT_EQ(FloorDivide(-7, 2), -4);
    EXPECT_EQ(FloorDivide(-8, 2), -4);
    EXPECT_EQ(CeilDivide(7, 2), 4);
    EXPECT_EQ(CeilDivide(-7, 2), -3);
    EXPECT_EQ(FloorDivide(5, 0), 0);
    EXPECT_EQ(CeilDivide(5, -3), 0);
    EXPECT_EQ(ClampCoordinate(int64_t{kMax32} + 1), kMax32);
    EXPECT_EQ(ClampCoordinate(int64_t{kMin32} - 1), kMin32);
}

TEST(FitZoom, ShowsTheWholeTargetCentred) {
    struct Case { PreviewRect target; int64_t vh, vw; bool enlarge; ZoomRatio ratio; PreviewPoint origin; };
    const Case cases[] = {
        // wide: the width decides, 4000 / 500 = 8; centre (75, 250) less half the view
        {{0, 0, 1200, 4000}, 400, 500, true, Out(8), {75 - 200, 250 - 250}},
        // tall: the height decides, ceil(5000 / 400) = 13; centre (5000 / 26, 800 / 26)
        {{0, 0, 5000, 800}, 400, 500, true, Out(13), {192 - 200, 30 - 250}},
        // tiny: enlarged by the smaller quotient, 400 / 30 = 13
        {{0, 0, 30, 20}, 400, 500, true, In(13), {15 - 15, 10 - 19}},
        // tiny without enlargement stays at actual pixels
        {{0, 0, 30, 20}, 400, 500, false, In(1), {15 - 200, 10 - 250}},
        // a 1 x 1 target enlarges only to the limit
        {{10, 10, 11, 11}, 400, 500, true, In(16), {10 - 12, 10 - 15}},
        // huge: beyond the strongest reduction the ratio holds at 1:100 and the target stays centred
        {{0, 0, 300000, 300000}, 400, 500, true, Out(100), {1500 - 200, 1500 - 250}},
        // exactly the view's size: actual pixels, origin at the corner
        {{0, 0, 400, 500}, 400, 500, true, In(1), {0, 0}},
        // offset target (a marquee): its centre is what is centred
        {{1000, 2000, 1100, 2100}, 400, 500, false, In(1), {1050 - 200, 2050 - 250}},
    };
    for (const Case& c : cases) {
        const auto fit = FitZoom(c.target, c.vh, c.vw, c.enlarge);
        ASSERT_TRUE(fit.has_value());
        EXPECT_EQ(fit->ratio, c.ratio) << c.target.bottom << "x" << c.target.right;
        EXPECT_EQ(fit->origin, c.origin) << c.target.bottom << "x" << c.target.right;
    }
}

TEST(FitZoom, GivesNothingForAnEmptyTargetOrView) {
    EXPECT_FALSE(FitZoom({0, 0, 0, 100}, 400, 500, true));
    EXPECT_FALSE(FitZoom({0, 0, 100, 0}, 400, 500, true));
    EXPECT_FALSE(FitZoom({50, 50, 10, 100}, 400, 500, true));
    EXPECT_FALSE(FitZoom({0, 0, 100, 100}, 0, 500, true));
    EXPECT_FALSE(FitZoom({0, 0, 100, 100}, 400, -1, true));
    // the extreme rectangle fits without overflowing
    const auto fit = FitZoom({kMin32, kMin32, kMax32, kMax32}, 1, 1, true);
    ASSERT_TRUE(fit);
    EXPECT_EQ(fit->ratio, Out(100));
}

TEST(OriginAfterZoom, KeepsTheUnitUnderTheFixedPoint) {
    struct Case { ZoomRatio from, to; };
    const Case cases[] = {
        {In(1), In(2)}, {In(2), In(16)}, {In(16), In(1)}, {Out(4), In(3)}, {In(3), Out(4)}, {Out(100), Out(67)},
    };
    const PreviewRect view{20, 30, 420, 530};
    for (const Case& c : cases) {
        for (int32_t offset : {0, 1, 199, 399}) {
            const PreviewPoint origin{40, 120};
            const PreviewPoint client{view.top + offset, view.left + offset};
            const PreviewPoint before = ClientToPreview(client, view, origin, c.from);
            const PreviewPoint after{OriginAfterZoom(origin.v, offset, c.from, c.to),
                                     OriginAfterZoom(origin.h, offset, c.from, c.to)};
            const PreviewPoint under = ClientToPreview(client, view, after, c.to);
            // the same document pixel, to the precision of the coarser of the two reductions
            const int64_t tolerance = std::max(c.from.out, c.to.out);
            EXPECT_LE(std::abs(int64_t{under.v} * c.to.out - int64_t{before.v} * c.from.out), tolerance)
                << c.from.out << ":" << c.from.in << " -> " << c.to.out << ":" << c.to.in << " at " << offset;
        }
    }
    // a reduction to 1:2 at the view's corner halves the origin
    EXPECT_EQ(OriginAfterZoom(100, 0, In(1), Out(2)), 50);
    // an unset or broken ratio divides by nothing
    EXPECT_EQ(OriginAfterZoom(kMax32, kMax32, ZoomRatio{0, 0}, ZoomRatio{-1, 0}), ClampCoordinate(int64_t{kMax32}));
}

TEST(OriginLimits, RunOverTheImageOrHoldASmallImageCentred) {
    struct Case { int32_t start, end, view; OriginLimits limits; };
    const Case cases[] = {
        {0, 1000, 400, {0, 600}},   {-50, 1000, 400, {-50, 600}}, {0, 400, 400, {0, 0}},
        {0, 100, 400, {-150, -150}}, {0, 101, 400, {-150, -150}}, {10, 11, 400, {-190, -190}},
        {0, 1000, -5, {0, 1000}},    {kMin32, kMax32, 0, {kMin32, kMax32}},
        // near the top of the range the centre is formed without overflow
        {kMax32 - 1, kMax32, kMax32, {(kMax32 - 1) / 2, (kMax32 - 1) / 2}},
    };
    for (const Case& c : cases) {
        const OriginLimits limits = AxisOriginLimits(c.start, c.end, c.view);
        EXPECT_EQ(limits.min, c.limits.min) << c.start << ".." << c.end << " in " << c.view;
        EXPECT_EQ(limits.max, c.limits.max) << c.start << ".." << c.end << " in " << c.view;
    }
}

TEST(OriginLimits, ClampTheOriginAndTheScrollAtTheEdges) {
    const OriginLimits limits{0, 600};
    struct Case { int32_t origin; int64_t delta; int32_t moved; };
    const Case cases[] = {
        {100, 50, 50},  {100, -50, -50}, {100, -500, -100}, {550, 200, 50}, {600, 1, 0},
        {0, -1, 0},     {700, 0, -100},  {-20, 0, 20},      {0, INT64_MAX, 600}, {600, INT64_MIN, -600},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClampScroll(c.origin, c.delta, limits), c.moved) << c.origin << " + " << c.delta;
    EXPECT_EQ(ClampOrigin(-5, limits), 0);
    EXPECT_EQ(ClampOrigin(601, limits), 600);
    EXPECT_EQ(ClampOrigin(300, limits), 300);
    // a centred image cannot move at all
    EXPECT_EQ(ClampScroll(-150, 40, {-150, -150}), 0);
    EXPECT_EQ(ClampScroll(kMin32, kMin32, {kMin32, kMax32}), 0);
    // a movement wider than 32 bits saturates
    EXPECT_EQ(ClampScroll(kMin32, INT64_MAX, {kMin32, kMax32}), kMax32);
}

TEST(PreviewMapping, ClientToPreviewAndBackLandsOnTheUnitsCorner) {
    const PreviewRect view{15, 15, 415, 515};
    const PreviewPoint origin{-30, 200};
    for (ZoomRatio ratio : {In(1), In(3), In(16), Out(8)}) {
        for (int32_t dv : {-17, -1, 0, 1, 2, 47, 399}) {
            const PreviewPoint client{view.top + dv, view.left + dv};
            const PreviewPoint unit = ClientToPreview(client, view, origin, ratio);
            const PreviewPoint corner = PreviewToClient(unit, view, origin, ratio);
            // the corner of the enlarged unit holding the point: at most in - 1 pixels before it
            EXPECT_LE(corner.v, client.v);
            EXPECT_GT(corner.v + ratio.in, client.v) << ratio.in << " at " << dv;
            EXPECT_EQ(corner.v - view.top, (unit.v - origin.v) * ratio.in);
            // and a unit maps back to itself exactly
            EXPECT_EQ(ClientToPreview(corner, view, origin, ratio), unit);
        }
    }
    // a point one pixel above the rectangle lies in the unit above the origin, not in it
    EXPECT_EQ(ClientToPreview({14, 14}, view, origin, In(4)), (PreviewPoint{-31, 199}));
    EXPECT_EQ(ClientToPreview({kMax32, kMin32}, {kMin32, kMax32, 0, 0}, {kMax32, kMin32}, In(1)),
              (PreviewPoint{kMax32, kMin32}));
}

TEST(PreviewMapping, VisibleRectIsTheViewClippedToTheImage) {
    const PreviewRect image{0, 0, 300, 500};
    EXPECT_EQ(VisibleImageRect({0, 0}, 100, 200, image), (PreviewRect{0, 0, 100, 200}));
    EXPECT_EQ(VisibleImageRect({250, 400}, 100, 200, image), (PreviewRect{250, 400, 300, 500}));
    EXPECT_EQ(VisibleImageRect({-50, -50}, 1000, 1000, image), image);
    EXPECT_EQ(VisibleImageRect({300, 0}, 100, 200, image), PreviewRect{});
    EXPECT_EQ(VisibleImageRect({0, 0}, -5, 200, image), PreviewRect{});
    EXPECT_EQ(VisibleImageRect({kMax32, kMax32}, kMax32, kMax32, {0, 0, kMax32, kMax32}), PreviewRect{});
}

TEST(PreviewMapping, ScalesDocumentsAndViewsToWholeUnits) {
    EXPECT_EQ(ScaleToPreview({0, 0, 1001, 999}, Out(10)), (PreviewRect{0, 0, 101, 100}));
    EXPECT_EQ(ScaleToPreview({-5, 5, 15, 25}, Out(10)), (PreviewRect{-1, 0, 2, 3}));
    EXPECT_EQ(ScaleToPreview({0, 0, 640, 480}, In(4)), (PreviewRect{0, 0, 640, 480}));
    EXPECT_EQ(ViewUnits(401, In(4)), 101);
    EXPECT_EQ(ViewUnits(400, Out(4)), 400);
    EXPECT_EQ(ViewUnits(-3, In(2)), 0);
    EXPECT_EQ(ViewUnits(INT64_MAX, In(1)), kMax32);
    EXPECT_EQ(AutoScrollStep(16, In(1)), 16);
    EXPECT_EQ(AutoScrollStep(16, In(3)), 6);
    EXPECT_EQ(AutoScrollStep(16, In(16)), 1);
    EXPECT_EQ(AutoScrollStep(0, In(4)), 1);
    EXPECT_EQ(AutoScrollStep(-8, In(4)), 1);
}

TEST(PreviewMapping, RulersCountFromTheImageCornerOrCentreOnScreen) {
    const PreviewRect image{0, 0, 300, 501};
    EXPECT_EQ(RulerZeroOffset(image, {0, 0}, In(1), false), (PreviewPoint{0, 0}));
    EXPECT_EQ(RulerZeroOffset(image, {10, -20}, In(3), false), (PreviewPoint{-30, 60}));
    EXPECT_EQ(RulerZeroOffset(image, {10, -20}, In(3), true), (PreviewPoint{-30 + 450, 60 + 751}));
    EXPECT_EQ(RulerZeroOffset({5, 5, 0, 0}, {0, 0}, Out(2), true), (PreviewPoint{5, 5}));
    EXPECT_EQ(RulerZeroOffset({kMin32, kMin32, kMax32, kMax32}, {kMax32, kMax32}, In(16), true),
              (PreviewPoint{kMin32, kMin32}));
}

}  // namespace
