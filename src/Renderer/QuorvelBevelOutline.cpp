#include "QuorvelBevelOutline.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "Errors.h"
#include "Kernels.h"

namespace {

constexpr double kContourUnit = 6.103888176768602e-5;  // 1 / 16383
constexpr uint16_t kCoordinateBits = 0x3FFF;
constexpr uint16_t kKindBits = 0xC000;
constexpr uint16_t kCornerPoint = 0x4000;
constexpr uint16_t kSegmentEnd = 0xC000;
constexpr double kCornerGap = 0.001;  // a corner's copy: the curve bends sharply between them

struct ContourPoint {
    double x, y;
};

// One piece of the contour, fitted on its own with x taken from its first point.
class ContourSegment {
public:
    explicit ContourSegment(std::vector<ContourPoint> points) : points_(std::move(points)) {
        if (points_.size() < 4) return;
        std::vector<double> xs, ys;
        for (const ContourPoint& p : points_) {
            xs.push_back(p.x - Start());
            ys.push_back(p.y);
        }
        ImageMakeSplinePath(spline_, static_cast<int32_t>(points_.size()), xs.data(), ys.data());
    }

    double Start() const { return points_.front().x; }
    double End() const { return points_.back().x; }
    double EndValue() const { return points_.back().y; }

    // The curve at t, for t within Start()..End().
    double Value(double t) const {
        const size_t n = points_.size();
        if (n >= 4 && spline_.status == 0) return ImageSplineValue(spline_, t - Start());
        if (n == 3) return Parabola(t);
        if (n == 1) return points_[0].y;
        return Polyline(t);  // two points, or a spline that could not be made
    }

private:
    double Parabola(double t) const {
        const ContourPoint &a = points_[0], &b = points_[1], &c = points_[2];
        return a.y * (t - b.x) * (t - c.x) / ((a.x - b.x) * (a.x - c.x)) +
               b.y * (t - a.x) * (t - c.x) / ((b.x - a.x) * (b.x - c.x)) +
               c.y * (t - a.x) * (t - b.x) / ((c.x - a.x) * (c.x - b.x));
    }
    double Polyline(double t) const {
        size_t i = 1;
        while (i + 1 < points_.size() && t > points_[i].x) ++i;
        const ContourPoint &a = points_[i - 1], &b = points_[i];
        return a.y + (b.y - a.y) * (t - a.x) / (b.x - a.x);
    }

    std::vector<ContourPoint> points_;
    SplinePath spline_;
};

// Keeps the points whose x rises strictly, so that every fit is well defined.
std::vector<ContourPoint> Rising(const std::vector<ContourPoint>& points) {
    std::vector<ContourPoint> kept;
    for (const ContourPoint& p : points)
        if (kept.empty() || p.x > kept.back().x) kept.push_back(p);
    return kept;
}

// The segments of the stored contour. A corner is doubled (its copy after it, or before it when
// it closes its segment); a point marked as a segment end closes its segment.
std::vector<ContourSegment> ReadContour(RecordRef bevel) {
    using namespace BevelLayout;
    const int32_t count = std::min<int32_t>(bevel.Get(kPointCount), kMaxPoints);
    std::vector<ContourSegment> segments;
    std::vector<ContourPoint> current;
    std::vector<bool> corners;
    auto close = [&] {
        std::vector<ContourPoint> points;
        for (size_t i = 0; i < current.size(); ++i) {
            const ContourPoint p = current[i];
            const bool last = i + 1 == current.size();
            if (corners[i] && last && current.size() > 1) points.push_back({p.x - kCornerGap, p.y});
            points.push_back(p);
            if (corners[i] && !last) points.push_back({p.x + kCornerGap, p.y});
        }
        std::vector<ContourPoint> rising = Rising(points);
        if (!rising.empty()) segments.emplace_back(std::move(rising));
        current.clear();
        corners.clear();
    };
    for (int32_t i = 0; i < count; ++i) {
        const uint16_t xWord = BigEndian::Read16(bevel.At(kPoints + 4 * i));
        const uint16_t yWord = BigEndian::Read16(bevel.At(kPoints + 4 * i + 2));
        current.push_back({(xWord & kCoordinateBits) * kContourUnit, (yWord & kCoordinateBits) * kContourUnit});
        corners.push_back((xWord & kKindBits) == kCornerPoint);
        if ((xWord & kKindBits) == kSegmentEnd) close();
    }
    if (!current.empty()) close();
    return segments;
}

// The contour's height at t: inside a segment its curve; in a gap or past the end the height
// where the contour last stopped; before the first segment its first height.
double ContourValue(const std::vector<ContourSegment>& segments, double t) {
    double value = segments.front().Value(segments.front().Start());
    for (const ContourSegment& s : segments) {
        if (t < s.Start()) break;
        if (t <= s.End()) return s.Value(t);
        value = s.EndValue();
    }
    return value;
}

int32_t RoundHalfAway(double v) { return static_cast<int32_t>(std::round(v)); }

// The straight ramp, for contour kinds without a curve of their own.
std::vector<ContourSegment> Ramp() {
    std::vector<ContourSegment> segments;
    segments.emplace_back(std::vector<ContourPoint>{{0.0, 0.0}, {1.0, 1.0}});
    return segments;
}

}  // namespace

double BuildEffectOutline(RecordRef bevel, int32_t width, EffectOutline& outline) {
    if (width < 1) return 0.0;
    const double cost = width * 0.5 + 1.0;
    const int32_t scaledWidth = RoundHalfAway(width * 255.0);
    const int32_t kind = bevel.Get(BevelLayout::kContourKind);
    if (outline.table.id && outline.kind == kind && outline.scaledWidth == scaledWidth) return cost;

    const int64_t entries = int64_t{scaledWidth} + 2 * kOutlineReach + 1;
    outline.kind = -1;
    THROW_IF_ERROR(outline.table.Allocate(entries * 4));
    const LockedBuffer table(outline.table);
    auto* heights = table.As<int32_t>();
    if (!heights) THROW_IF_ERROR(Err::MemoryFull);

    const bool curved = kind >= BevelLayout::kFlat && kind <= BevelLayout::kLastContour;
    const std::vector<ContourSegment> segments = curved ? ReadContour(bevel) : Ramp();
    int32_t* atZero = heights + kOutlineReach;
    if (segments.empty()) {
        std::fill_n(heights, entries, 0);
    } else {
        const double ws = scaledWidth;
        // Before the edge: the first segment's line, with its slope taken just inside the edge.
        const double start = ContourValue(segments, 0.0);
        const double slope = (ContourValue(segments, 0.001) - ContourValue(segments, 0.0005)) * 2000.0;
        for (int32_t d = -kOutlineReach; d < 0; ++d) atZero[d] = RoundHalfAway((start + slope * (d / ws)) * ws);
        for (int32_t d = 0; d <= scaledWidth + kOutlineReach; ++d) {
            const double height = ContourValue(segments, d / ws) * ws;
            atZero[d] = std::clamp(RoundHalfAway(height), 0, 65535);
        }
    }
    outline.kind = kind;
    outline.scaledWidth = scaledWidth;
    return cost;
}

const int32_t* OutlineHeights(const LockedBuffer& table) {
    const auto* heights = table.As<const int32_t>();
    return heights ? heights + kOutlineReach : nullptr;
}
