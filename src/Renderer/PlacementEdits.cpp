#include "PlacementEdits.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Geometry.h"
#include "QuorvelBase.h"
#include "RenderGeometry.h"

namespace {

// The renderer's degrees-to-radians constant: the tools turn placements as it draws them.
constexpr double kPi = 3.141592654;
constexpr Rect16 kUnitSquare{-1, -1, 1, 1};
// The corners of the unit square in order, as (u, v).
constexpr std::array<std::array<int32_t, 2>, 4> kCornerSigns{{{-1, -1}, {-1, 1}, {1, 1}, {1, -1}}};
// Below this effective scale a placement would collapse or turn inside out under a handle.
constexpr double kSmallestEffectiveScale = 0.1;

bool IsFinite(const AffineTransform& t) {
    return std::isfinite(t.a) && std::isfinite(t.b) && std::isfinite(t.c) && std::isfinite(t.d) &&
           std::isfinite(t.e) && std::isfinite(t.f);
}

Point16 ToPoint(double x, double y) {
    return Point16{ClampToInt16(RoundToInt(y)), ClampToInt16(RoundToInt(x))};
}

int16_t TruncateToInt16(double v) {
    return ClampToInt16(static_cast<int64_t>(std::clamp(std::trunc(v), -32768.0, 32767.0)));
}

// The cross product of edge k with the way from its start to the point: its sign tells the side.
int64_t EdgeSide(const PlacementOutline& outline, int k, Point16 p) {
    const Point16 a = outline.corners[k];
    const Point16 b = outline.corners[(k + 1) % 4];
    const int64_t ex = int64_t{b.h} - a.h, ey = int64_t{b.v} - a.v;
    const int64_t wx = int64_t{p.h} - a.h, wy = int64_t{p.v} - a.v;
    return ex * wy - ey * wx;
}

// The placement's extent along its own axes shrinks as the renderer fits a turned placement to
// the preview: these are the fitting factors of the x and the y axis at an angle.
double FitX(double radians, double w, double h) {
    const double c = std::cos(radians), s = std::sin(radians);
    return c * c / (w * w) + s * s / (h * h);
}
double FitY(double radians, double w, double h) {
    const double c = std::cos(radians), s = std::sin(radians);
    return s * s / (w * w) + c * c / (h * h);
}

}  // namespace

PreviewGeometry MakePreviewGeometry(const Rect16& filterRect, int32_t outFactor, int32_t inFactor) {
    PreviewGeometry preview;
    preview.outFactor = std::max(outFactor, 1);
    preview.scaled = ScaledFilterRect(filterRect, preview.outFactor);
    preview.magnification = std::max(inFactor, 1);
    return preview;
}

std::optional<AffineTransform> PlacementToUnits(const Placement& placement, const PreviewGeometry& preview) {
    if (!preview.IsUsable()) return std::nullopt;
    const RecordRef record = placement.record;
    const double size = record.Get(kPlacementSize);
    if (!std::isfinite(size)) return std::nullopt;
    // A shape that keeps its proportions is drawn into the preview narrowed to a square.
    Enlargement aspect;
    const double w = preview.Width(), h = preview.Height();
    const bool square = !placement.photo && HoldsShape(record) && ShapeOf(record).Get(ShapeLayout::kOption) != 0;
    if (square) {
        if (w > h) aspect.x = h / w;
        else aspect.y = w / h;
    }
    const AffineTransform t =
        ComputeLayerTransform(record, size, square ? &aspect : nullptr, kUnitSquare, preview.scaled);
    const double determinant = t.a * t.e - t.b * t.d;
    if (!IsFinite(t) || !std::isfinite(determinant) || determinant == 0) return std::nullopt;
    return t;
}

namespace {

std::optional<AffineTransform> PlacementToPreview(const Placement& placement, const PreviewGeometry& preview) {
    std::optional<AffineTransform> t = PlacementToUnits(placement, preview);
    if (!t) return std::nullopt;
    ImageInvertTransform(*t);
    if (!IsFinite(*t)) return std::nullopt;
    return t;
}

}  // namespace

// ---- The outline and what lies under the mouse

std::optional<PlacementOutline> ComputePlacementOutline(const Placement& placement, const PreviewGeometry& preview) {
    const std::optional<AffineTransform> t = PlacementToPreview(placement, preview);
    if (!t) return std::nullopt;
    std::array<double, 4> x{}, y{};
    for (int k = 0; k < 4; ++k) {
        const double u = kCornerSigns[k][0], v = kCornerSigns[k][1];
        x[k] = t->a * u + t->b * v + t->c;
        y[k] = t->d * u + t->e * v + t->f;
    }
    PlacementOutline outline;
    outline.mirrored = t->mirror;
    for (int k = 0; k < 4; ++k) {
        const int next = (k + 1) % 4;
        outline.corners[k] = ToPoint(x[k], y[k]);
        outline.midpoints[k] = ToPoint((x[k] + x[next]) / 2, (y[k] + y[next]) / 2);
    }
    return outline;
}

PlacementOutline OffsetOutline(const PlacementOutline& outline, int32_t dv, int32_t dh) {
    PlacementOutline moved = outline;
    for (Point16& p : moved.corners) p = Point16{ClampToInt16(int64_t{p.v} + dv), ClampToInt16(int64_t{p.h} + dh)};
    for (Point16& p : moved.midpoints) p = Point16{ClampToInt16(int64_t{p.v} + dv), ClampToInt16(int64_t{p.h} + dh)};
    return moved;
}

bool PointInOutline(Point16 point, const PlacementOutline& outline) {
    // The corners run against the screen's turning sense unless the placement is mirrored.
    for (int k = 0; k < 4; ++k) {
        const int64_t side = EdgeSide(outline, k, point);
        if (outline.mirrored ? side <= 0 : side >= 0) return false;
    }
    return true;
}

int16_t OutlineCursorAt(const PlacementOutline& outline, Point16 mouse, int32_t magnification) {
    const int64_t f = std::max(magnification, 1);
    const int64_t t = std::max<int64_t>(8, f);
    const auto within = [t](int64_t d) { return d > -t && d <= t; };
    for (int k = 0; k < 4; ++k) {
        const Point16 c = outline.corners[k];
        if (within((int64_t{c.h} - mouse.h) * f) && within((int64_t{c.v} - mouse.v) * f))
            return static_cast<int16_t>(PreviewCursor::kFirstCorner + k);
    }
    for (int k = 0; k < 4; ++k) {
        if (PointNearSegment(mouse, outline.corners[k], outline.corners[(k + 1) % 4], static_cast<int32_t>(f)))
            return static_cast<int16_t>(PreviewCursor::kFirstEdge + k);
    }
    return PointInOutline(mouse, outline) ? PreviewCursor::kMove : PreviewCursor::kRotate;
}

// ---- Move

void MovePlacement(RecordRef placement, int32_t dh, int32_t dv, const PreviewGeometry& preview) {
    if (!preview.IsUsable()) return;
    const float x = placement.Get(LayerLayout::kOffsetX) + static_cast<float>(dh * 2.0 / preview.Width());
    const float y = placement.Get(LayerLayout::kOffsetY) + static_cast<float>(dv * 2.0 / preview.Height());
    if (std::isfinite(x)) placement.Set(LayerLayout::kOffsetX, x);
    if (std::isfinite(y)) placement.Set(LayerLayout::kOffsetY, y);
}

// ---- Rotate

int16_t WrapAngle(int64_t degrees) {
    // Integer division floors here: both numerators are not negative.
    if (degrees < -180) degrees += 360 * ((-181 - degrees) / 360 + 1);
    else if (degrees > 180) degrees -= 360 * ((degrees - 181) / 360 + 1);
    return static_cast<int16_t>(degrees);
}

int32_t BearingDegrees(Point16 centre, Point16 point) {
    const double dy = int32_t{point.v} - centre.v, dx = int32_t{point.h} - centre.h;
    return RoundToInt(std::atan2(dy, dx) * 180 / kPi);
}

std::optional<Point16> PlacementCentre(const Placement& placement, const PreviewGeometry& preview) {
    const std::optional<AffineTransform> t = PlacementToPreview(placement, preview);
    if (!t) return std::nullopt;
    return Point16{TruncateToInt16(t->f), TruncateToInt16(t->c)};
}

PlacementHead CopyPlacementHead(RecordRef placement) {
    PlacementHead head{};
    std::memcpy(head.data(), placement.Bytes(), head.size());
    return head;
}

void RotateLayerCopy(const PlacementHead& source, RecordRef destination, int16_t angle, bool keepExtent,
                     const PreviewGeometry& preview) {
    PlacementHead head = source;
    const RecordRef record(head.data());
    const int16_t oldAngle = record.Get(LayerLayout::kAngle);
    record.Set(LayerLayout::kAngle, angle);
    if (keepExtent && preview.IsUsable()) {
        const double w = preview.Width(), h = preview.Height();
        const double a1 = oldAngle * kPi / 180, a2 = angle * kPi / 180;
        const float sx = static_cast<float>(record.Get(LayerLayout::kScaleX) * std::sqrt(FitX(a2, w, h) / FitX(a1, w, h)));
        const float sy = static_cast<float>(record.Get(LayerLayout::kScaleY) * std::sqrt(FitY(a2, w, h) / FitY(a1, w, h)));
        if (std::isfinite(sx) && std::isfinite(sy)) {
            record.Set(LayerLayout::kScaleX, sx);
            record.Set(LayerLayout::kScaleY, sy);
        }
    }
    std::memcpy(destination.Bytes(), head.data(), head.size());
}

// ---- Scale

PlacementValues ReadPlacementValues(RecordRef placement) {
    return PlacementValues{placement.Get(LayerLayout::kScaleX), placement.Get(LayerLayout::kScaleY),
                           placement.Get(LayerLayout::kOffsetX), placement.Get(LayerLayout::kOffsetY),
                           placement.Get(kPlacementSize)};
}

void WritePlacementValues(RecordRef placement, const PlacementValues& values) {
    placement.Set(LayerLayout::kScaleX, values.scaleX);
    placement.Set(LayerLayout::kScaleY, values.scaleY);
    placement.Set(LayerLayout::kOffsetX, values.offsetX);
    placement.Set(LayerLayout::kOffsetY, values.offsetY);
    placement.Set(kPlacementSize, values.size);
}

std::optional<ScaleStart> BeginScale(const Placement& placement, const PreviewGeometry& preview) {
    const std::optional<AffineTransform> toUnits = PlacementToUnits(placement, preview);
    const std::optional<AffineTransform> toPreview = PlacementToPreview(placement, preview);
    if (!toUnits || !toPreview) return std::nullopt;
    return ScaleStart{ReadPlacementValues(placement.record), *toUnits, *toPreview};
}

void AddUnitMotion(const ScaleStart& start, int32_t dh, int32_t dv, double& du, double& dvUnits) {
    du += start.toUnits.a * dh + start.toUnits.b * dv;
    dvUnits += start.toUnits.d * dh + start.toUnits.e * dv;
}

PlacementValues ScaleCandidate(int16_t handle, const ScaleStart& start, double du, double dv, bool aboutCentre,
                               const PreviewGeometry& preview) {
    PlacementValues values = start.values;
    if (!PreviewCursor::IsScaleHandle(handle) || !preview.IsUsable()) return values;

    // The handle's direction in unit coordinates: an edge moves along one axis, a corner along
    // its diagonal. growth is how far the handle moved outward, in units of the half extent.
    double su = 0, sv = 0;
    if (PreviewCursor::IsCorner(handle)) {
        const auto& sign = kCornerSigns[handle - PreviewCursor::kFirstCorner];
        su = sign[0];
        sv = sign[1];
    } else {
        const int edge = handle - PreviewCursor::kFirstEdge;  // u = -1, v = +1, u = +1, v = -1
        if (edge % 2 == 0) su = edge == 0 ? -1 : 1;
        else sv = edge == 1 ? 1 : -1;
    }
    const double growth = PreviewCursor::IsCorner(handle) ? (su * du + sv * dv) / 2 : su * du + sv * dv;
    const double factor = aboutCentre ? 1 + growth : 1 + growth / 2;

    if (PreviewCursor::IsCorner(handle)) values.size = static_cast<float>(start.values.size * factor);
    else if (su != 0) values.scaleX = static_cast<float>(start.values.scaleX * factor);
    else values.scaleY = static_cast<float>(start.values.scaleY * factor);

    if (!aboutCentre) {
        // The opposite side stays: the centre moves by half the handle's motion.
        const double cu = su * growth / 2, cv = sv * growth / 2;
        const AffineTransform& p = start.toPreview;
        values.offsetX = static_cast<float>(start.values.offsetX + 2 * (p.a * cu + p.b * cv) / preview.Width());
        values.offsetY = static_cast<float>(start.values.offsetY + 2 * (p.d * cu + p.e * cv) / preview.Height());
    }
    return values;
}

bool ScaleStaysVisible(const PlacementValues& v) {
    if (!std::isfinite(v.scaleX) || !std::isfinite(v.scaleY) || !std::isfinite(v.offsetX) ||
        !std::isfinite(v.offsetY) || !std::isfinite(v.size))
        return false;
    return double{v.scaleX} * v.size >= kSmallestEffectiveScale && double{v.scaleY} * v.size >= kSmallestEffectiveScale;
}

// ---- Groups and flips

std::optional<LayerRange> LinkedGroupOf(const QuorvelBase& stack, int32_t layer) {
    const int32_t first = stack.FirstLinkedLayer(layer);
    const int32_t last = stack.LastLinkedLayer(layer);
    if (first < 0 || last < first) return std::nullopt;
    return LayerRange{first, last};
}

void FlipPlacement(RecordRef placement, bool horizontal) {
    const int32_t angle = placement.Get(LayerLayout::kAngle);
    if (horizontal) {
        placement.Set(LayerLayout::kFlipHorizontal, placement.Get(LayerLayout::kFlipHorizontal) != 0 ? 0 : 1);
        placement.Set(LayerLayout::kAngle, WrapAngle(-int64_t{angle}));
    } else {
        placement.Set(LayerLayout::kFlipVertical, placement.Get(LayerLayout::kFlipVertical) != 0 ? 0 : 1);
        placement.Set(LayerLayout::kAngle, WrapAngle(angle < 0 ? -180 - int64_t{angle} : 180 - int64_t{angle}));
    }
}
