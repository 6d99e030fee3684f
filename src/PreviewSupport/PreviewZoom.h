// The preview's zoom and scroll arithmetic: the ratio the preview is shown at, its steps, fitting a
// rectangle into the view, the scroll limits of the image origin and the mapping between client
// points and preview units. None of it knows a window, so the dialog and its tools share one set
// of rules and every size the host or the user hands in is checked here, once.
//
// Preview units are document pixels reduced by the out-factor; one preview unit is drawn as
// in-factor x in-factor screen pixels. Coordinates are 32-bit (a document side can pass 32767
// pixels) and every product is formed in 64 bits and saturated back.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// The ratio the preview is shown at: either enlarged in:1 (out = 1) or reduced 1:out (in = 1).
struct ZoomRatio {
    static constexpr int32_t kMaxIn = 16;     // the largest enlargement, 16:1
    static constexpr int32_t kMaxOut = 100;   // the strongest reduction, 1:100
    static constexpr int32_t kUnsetOut = 9999; // before the first fit of a dialog run

    int32_t out = kUnsetOut;
    int32_t in = 1;

    bool IsActualPixels() const { return out == 1 && in == 1; }
    bool CanZoomIn() const { return in < kMaxIn; }
    bool CanZoomOut() const { return out < kMaxOut; }
    friend bool operator==(const ZoomRatio&, const ZoomRatio&) = default;
};

// The steps of Zoom In and Zoom Out, used for both factors.
inline constexpr std::array<int32_t, 15> kZoomSteps = {1, 2, 3, 4, 5, 6, 8, 12, 16, 20, 25, 33, 50, 67, 100};

// Reduces any out:in pair to the ratio the preview can show: the smaller factor becomes 1, the
// other the whole quotient, capped at its limit. A factor below 1 counts as 1.
ZoomRatio NormalizeZoom(int64_t out, int64_t in);

// The next step in or out from `ratio`; the ratio unchanged at the end of the steps.
ZoomRatio ZoomStepIn(ZoomRatio ratio);
ZoomRatio ZoomStepOut(ZoomRatio ratio);

// The zoom as a percentage for the window title: in x 100 / out, with one decimal (rounded to the
// nearest tenth) unless it is whole: "100", "33.3", "1200".
std::string ZoomPercentText(ZoomRatio ratio);
// The title at a zoom: base + " (" + percent + "%)".
std::string ZoomedTitle(const std::string& base, ZoomRatio ratio);

// A rectangle, top and left inside, bottom and right outside.
struct PreviewRect {
    int32_t top = 0;
    int32_t left = 0;
    int32_t bottom = 0;
    int32_t right = 0;

    int64_t Height() const { return int64_t{bottom} - top; }
    int64_t Width() const { return int64_t{right} - left; }
    bool IsEmpty() const { return Height() <= 0 || Width() <= 0; }
    friend bool operator==(const PreviewRect&, const PreviewRect&) = default;
};

struct PreviewPoint {
    int32_t v = 0;
    int32_t h = 0;
    friend bool operator==(const PreviewPoint&, const PreviewPoint&) = default;
};

// Saturates a 64-bit coordinate into the 32-bit range.
int32_t ClampCoordinate(int64_t value);

// Division rounding towards minus infinity, so that points left of or above the preview
// rectangle map to the unit they really lie in; 0 for a divisor below 1.
int64_t FloorDivide(int64_t value, int64_t divisor);
// Division rounding up, for counting whole units that cover a length; 0 for a divisor below 1.
int64_t CeilDivide(int64_t value, int64_t divisor);

// A document rectangle in preview units at reduction `out`: the edges widen to whole units so
// that every document pixel is covered.
PreviewRect ScaleToPreview(const PreviewRect& document, ZoomRatio ratio);

// How many preview units a span of screen pixels shows: whole units covering it, 0 for none.
int32_t ViewUnits(int64_t screenPixels, ZoomRatio ratio);

// The ratio and origin that show `target` (document pixels) whole in a view of `view` screen
// pixels, centred. Enlarges only when `allowEnlarge` and the fit needs no reduction. Nothing for
// an empty target or an empty view.
struct ZoomFit {
    ZoomRatio ratio;
    PreviewPoint origin;  // in preview units at `ratio`
};
std::optional<ZoomFit> FitZoom(const PreviewRect& target, int64_t viewHeight, int64_t viewWidth,
                               bool allowEnlarge);

// The origin on one axis after a change of ratio that keeps the preview unit under the screen
// offset `offset` (from the preview rectangle's edge) under it.
int32_t OriginAfterZoom(int32_t origin, int64_t offset, ZoomRatio from, ZoomRatio to);

// The range the origin may take on one axis.
struct OriginLimits {
    int32_t min = 0;
    int32_t max = 0;
};
// With the image spanning [start, end) preview units and `viewUnits` visible: the origin runs
// from the image's start to where its end meets the view's; an image narrower than the view is
// held centred and cannot move.
OriginLimits AxisOriginLimits(int32_t start, int32_t end, int32_t viewUnits);
int32_t ClampOrigin(int32_t origin, OriginLimits limits);
// The part of a scroll by `delta` that keeps the origin within its limits.
int32_t ClampScroll(int32_t origin, int64_t delta, OriginLimits limits);

// The part of the scaled image the view shows: origin to origin + view, intersected with the
// image; the zero rectangle when they do not meet.
PreviewRect VisibleImageRect(PreviewPoint origin, int32_t viewHeight, int32_t viewWidth,
                             const PreviewRect& scaledImage);

// A client point to preview units: the offset from the preview rectangle's corner, divided by
// the in-factor, plus the origin.
PreviewPoint ClientToPreview(PreviewPoint client, const PreviewRect& previewRect, PreviewPoint origin,
                             ZoomRatio ratio);
// The client point of a preview unit's top-left screen pixel.
PreviewPoint PreviewToClient(PreviewPoint unit, const PreviewRect& previewRect, PreviewPoint origin,
                             ZoomRatio ratio);

// The auto-scroll step in preview units for a scroll margin in screen pixels: the margin in
// whole units, at least one unit so a drag beyond the edge always moves.
int32_t AutoScrollStep(int32_t marginPixels, ZoomRatio ratio);

// Where the rulers and guides count from: the screen offset, from the preview rectangle's corner,
// of the scaled image's top-left unit, or of its centre when the rulers are centred.
PreviewPoint RulerZeroOffset(const PreviewRect& scaledImage, PreviewPoint origin, ZoomRatio ratio, bool centred);
