#include "PreviewTools.h"

#include <vector>

#include "ColorConversion.h"
#include "DrawingPort.h"
#include "MorvaneDialog.h"
#include "PSDialog.h"
#include "PreviewIds.h"
#include "Quorvel.h"
#include "RenderGeometry.h"
#include "RenderSession.h"

namespace {

bool SameOutline(const std::optional<PlacementOutline>& a, const std::optional<PlacementOutline>& b) {
    if (a.has_value() != b.has_value()) return false;
    if (!a) return true;
    const auto same = [](Point16 p, Point16 q) { return p.v == q.v && p.h == q.h; };
    for (int k = 0; k < 4; ++k) {
        if (!same(a->corners[k], b->corners[k]) || !same(a->midpoints[k], b->midpoints[k])) return false;
    }
    return a->mirrored == b->mirrored;
}

// The port draws the overlay in black with the NOT-XOR raster operation, so that drawing it again
// removes it; the port's colours, pen and brush come back afterwards.
class OverlayPen {
public:
    explicit OverlayPen(DrawingPort& port)
        : port_(port), fore_(port.foreColor), back_(port.backColor), mode_(port.drawMode), pattern_(port.pattern) {
        port.foreColor = RGB(0, 0, 0);
        port.drawMode = R2_NOTXORPEN;
        port.pattern.reset();
        try {
            UpdatePen(port);
            UpdateFillBrush(port);
        } catch (...) {
            Restore();
            throw;
        }
    }
    OverlayPen(const OverlayPen&) = delete;
    OverlayPen& operator=(const OverlayPen&) = delete;
    ~OverlayPen() { Restore(); }

private:
    void Restore() noexcept {
        port_.foreColor = fore_;
        port_.backColor = back_;
        port_.drawMode = mode_;
        port_.pattern = pattern_;
        try {
            UpdatePen(port_);
            UpdateFillBrush(port_);
        } catch (...) {
            // Short of GDI objects the port keeps the overlay's pen; the next drawing makes its own.
        }
    }

    DrawingPort& port_;
    COLORREF fore_, back_;
    int mode_;
    std::optional<Pattern8x8> pattern_;
};

bool IsZero(Point16 p) { return p.v == 0 && p.h == 0; }

}  // namespace

bool PreviewTools::Outlines::operator==(const Outlines& other) const {
    return SameOutline(placement, other.placement) && SameOutline(shadow, other.shadow);
}

PreviewGeometry PreviewTools::Geometry() const {
    int32_t out = 1, in = 1;
    dialog_.GetZoom(out, in);
    const FilterRecord* record = filter_.Call().record;
    return MakePreviewGeometry(record ? record->filterRect : Rect16{}, out, in);
}

// The outline follows the current layer while it can be edited, else the photo's placement.
PreviewTools::Outlines PreviewTools::ComputeOutlines(const PreviewGeometry& preview) const {
    Outlines outlines;
    const bool editable = filter_.CurrentLayerEditable();
    const LockedParameters parameters = filter_.Stack().Lock();
    if (!parameters) return outlines;
    const ParameterBlockView view = parameters.View();
    std::optional<RecordRef> placement;
    if (editable) placement = filter_.Stack().SelectedLayerRecord();
    else if (HoldsBackground(view)) placement = view.Background();
    if (!placement) return outlines;
    outlines.placement = ComputePlacementOutline(Placement{*placement, !editable}, preview);
    if (editable && outlines.placement) {
        // Where the renderer draws the shadow at this preview's scale.
        const RecordRef shadow = EffectOf(*placement, EffectLayout::kShadow);
        outlines.shadow = OffsetOutline(*outlines.placement, ShadowOffset(shadow.Get(EffectLayout::kShadowRows), preview.outFactor),
                                        ShadowOffset(shadow.Get(EffectLayout::kShadowColumns), preview.outFactor));
    }
    return outlines;
}

void PreviewTools::DrawOverlayKind(OverlayKind kind, const Outlines& outlines) {
    const std::optional<PlacementOutline>& outline = kind == kShadowOutline ? outlines.shadow : outlines.placement;
    if (kind == kNoOverlay || !outline) return;
    OverlayPen pen(dialog_.Port());
    for (int k = 3; k >= 0; --k) {
        const Point16 from = outline->corners[k], to = outline->corners[(k + 1) % 4];
        if (kind == kLayerOutline) {
            dialog_.DrawOverlayHandle(from);
            dialog_.DrawOverlayHandle(outline->midpoints[k]);
        }
        dialog_.DrawOverlayLine(from, to);
    }
}

// Shows `wanted` over `outlines`: what is drawn and differs is erased first.
void PreviewTools::SettleOverlay(OverlayKind wanted, const Outlines& outlines) {
    if (drawn_ == wanted && (wanted == kNoOverlay || outlines_ == outlines)) {
        outlines_ = outlines;
        return;
    }
    DrawOverlayKind(drawn_, outlines_);
    outlines_ = outlines;
    drawn_ = wanted;
    DrawOverlayKind(wanted, outlines);
}

// Runs a drag: `step` sees each answer of the dialog (the point and its movement since the last
// answer; the first movement counts from the press) up to and including the one at the release,
// and says whether it changed the block; each change is shown at once.
template <typename Step>
bool PreviewTools::RunDrag(bool constrain, Step step) {
    Point16 point{}, delta{};
    bool changed = false;
    for (bool down = true; down;) {
        down = dialog_.TrackMouse(point, delta, constrain);
        if (!step(point, delta)) continue;
        changed = true;
        RedrawOverlay();
        filter_.RedoPreview();
    }
    return changed;
}

bool PreviewTools::TrackMove(const PlacementTarget& target) {
    const PreviewGeometry preview = Geometry();
    if (!preview.IsUsable()) return false;
    return RunDrag(true, [&](Point16, Point16 delta) {
        if (IsZero(delta)) return false;
        const TargetRecords records(filter_, target);
        for (size_t i = 0; i < records.Count(); ++i) MovePlacement(records[i], delta.h, delta.v, preview);
        return records.Count() > 0;
    });
}

bool PreviewTools::TrackRotate(const PlacementTarget& target, ModifierKeysReader modifiers) {
    const PreviewGeometry preview = Geometry();
    if (!preview.IsUsable()) return false;
    struct Turn {
        bool valid = false;
        PlacementHead head{};  // the record as the drag found it: every step turns it afresh
        Point16 centre{};
        int32_t startAngle = 0;
        int32_t startBearing = 0;
        int16_t lastAngle = 0;
        bool lastKeep = false;
    };
    std::vector<Turn> turns;
    bool started = false;
    return RunDrag(false, [&](Point16 point, Point16 delta) {
        const TargetRecords records(filter_, target);
        if (!started) {
            started = true;
            const Point16 press{static_cast<int16_t>(point.v - delta.v), static_cast<int16_t>(point.h - delta.h)};
            for (size_t i = 0; i < records.Count(); ++i) {
                Turn turn;
                if (const std::optional<Point16> centre = PlacementCentre(records.PlacementAt(i), preview)) {
                    turn.valid = true;
                    turn.head = CopyPlacementHead(records[i]);
                    turn.centre = *centre;
                    turn.startAngle = records[i].Get(LayerLayout::kAngle);
                    turn.startBearing = BearingDegrees(*centre, press);
                    turn.lastAngle = static_cast<int16_t>(turn.startAngle);
                }
                turns.push_back(turn);
            }
        }
        if (records.Count() != turns.size()) return false;
        const bool keep = (modifiers() & kModifierAlt) != 0;
        bool applied = false;
        for (size_t i = 0; i < turns.size(); ++i) {
            Turn& turn = turns[i];
            if (!turn.valid) continue;
            const int16_t angle =
                WrapAngle(int64_t{turn.startAngle} - turn.startBearing + BearingDegrees(turn.centre, point));
            if (angle == turn.lastAngle && keep == turn.lastKeep) continue;
            RotateLayerCopy(turn.head, records[i], angle, keep, preview);
            turn.lastAngle = angle;
            turn.lastKeep = keep;
            applied = true;
        }
        return applied;
    });
}

bool PreviewTools::TrackScale(const PlacementTarget& target, int16_t handle, ModifierKeysReader modifiers) {
    const PreviewGeometry preview = Geometry();
    if (!preview.IsUsable()) return false;
    struct Stretch {
        std::optional<ScaleStart> start;
        double du = 0, dv = 0;  // the handle's motion since the press, in the start's unit coordinates
    };
    std::vector<Stretch> stretches;
    bool started = false;
    bool lastAlt = false;
    return RunDrag(false, [&](Point16, Point16 delta) {
        const TargetRecords records(filter_, target);
        if (!started) {
            started = true;
            for (size_t i = 0; i < records.Count(); ++i) stretches.push_back(Stretch{BeginScale(records.PlacementAt(i), preview)});
        }
        if (records.Count() != stretches.size()) return false;
        const bool alt = (modifiers() & kModifierAlt) != 0;
        if (IsZero(delta) && alt == lastAlt) return false;
        lastAlt = alt;
        bool applied = false;
        for (size_t i = 0; i < stretches.size(); ++i) {
            Stretch& stretch = stretches[i];
            if (!stretch.start) continue;
            AddUnitMotion(*stretch.start, delta.h, delta.v, stretch.du, stretch.dv);
            const PlacementValues values = ScaleCandidate(handle, *stretch.start, stretch.du, stretch.dv, alt, preview);
            // A step that would shrink the frame to nothing is refused; the next may be taken.
            if (!ScaleStaysVisible(values) || values == ReadPlacementValues(records[i])) continue;
            WritePlacementValues(records[i], values);
            applied = true;
        }
        return applied;
    });
}

bool PreviewTools::TrackEyedropper() {
    bool first = true;
    return RunDrag(false, [&](Point16 point, Point16 delta) {
        // At the press and at every move: the tab may have let go of the pick meanwhile.
        const bool moved = first || !IsZero(delta);
        first = false;
        PreviewPickTarget* target = pickTarget_;
        if (!moved || !target || target->PickKind() != PreviewPickTarget::kPickColor) return false;
        ColorRecord color;
        if (!dialog_.GetImageColor(point, color)) return false;  // outside the image
        return target->TakePickedColor(color);
    });
}

int16_t PreviewTools::ChooseCursor(Point16 mouse) {
    const PreviewGeometry preview = Geometry();
    const Outlines outlines = ComputeOutlines(preview);
    const bool editable = filter_.CurrentLayerEditable();
    int16_t cursor = PreviewCursor::kNone;
    OverlayKind wanted = kNoOverlay;

    // Not editable: the photo's placement is the target when no layer is selected, unless the
    // photo could not be held in memory; a selected layer that is disabled or failed to load
    // offers no tool.
    bool anyTarget = editable;
    if (!editable) {
        const LockedParameters parameters = filter_.Stack().Lock();
        anyTarget = parameters && !LayerSelected(parameters.View()) && !Session().sourceOutOfMemory;
    }
    if (!anyTarget) {
        cursor = PreviewCursor::kNone;
    } else if (dialog_.GetTool() == PreviewIds::kMove) {
        wanted = kLayerOutline;
        if (outlines.placement) cursor = OutlineCursorAt(*outlines.placement, mouse, preview.magnification);
    } else if (editable && pickTarget_) {
        if (pickTarget_->PickKind() == PreviewPickTarget::kPickColor) {
            cursor = PreviewCursor::kEyedropper;
        } else if (pickTarget_->PickKind() == PreviewPickTarget::kPickShadowOffset) {
            cursor = PreviewCursor::kShadowOffset;
            wanted = kShadowOutline;
        }
    }
    SettleOverlay(wanted, outlines);
    return cursor;
}

bool PreviewTools::TrackDrag(int16_t cursor, ModifierKeysReader modifiers) {
    if (!modifiers) modifiers = &GetModifierKeys;
    if (cursor == PreviewCursor::kEyedropper) return TrackEyedropper();
    if (cursor == PreviewCursor::kShadowOffset) {
        PreviewPickTarget* target = pickTarget_;
        if (!target || target->PickKind() != PreviewPickTarget::kPickShadowOffset) return false;
        target->TrackShadowOffset(dialog_);
        return true;
    }
    const std::optional<PlacementTarget> target = ToolTarget(filter_);
    if (!target) return false;
    if (cursor == PreviewCursor::kMove) return TrackMove(*target);
    if (cursor == PreviewCursor::kRotate) return TrackRotate(*target, modifiers);
    if (PreviewCursor::IsScaleHandle(cursor)) return TrackScale(*target, cursor, modifiers);
    return false;
}

void PreviewTools::DrawOverlay() {
    // The preview was painted over whatever was drawn: only the recorded kind is drawn afresh.
    outlines_ = ComputeOutlines(Geometry());
    DrawOverlayKind(drawn_, outlines_);
}

void PreviewTools::RedrawOverlay() {
    const Outlines outlines = ComputeOutlines(Geometry());
    if (drawn_ != kNoOverlay && outlines_ == outlines) return;
    DrawOverlayKind(drawn_, outlines_);
    outlines_ = outlines;
    DrawOverlayKind(drawn_, outlines_);
}

void PreviewTools::EraseOverlay() { SettleOverlay(kNoOverlay, outlines_); }

void PreviewTools::ForgetOverlay() {
    drawn_ = kNoOverlay;
    outlines_ = Outlines{};
}

bool PreviewTools::Nudge(int16_t cursor, int16_t key) {
    if (cursor != PreviewCursor::kMove) return false;
    int32_t dh = 0, dv = 0;
    switch (key) {
        case DialogKeyCode::kLeft: dh = -1; break;
        case DialogKeyCode::kRight: dh = 1; break;
        case DialogKeyCode::kUp: dv = -1; break;
        case DialogKeyCode::kDown: dv = 1; break;
        default: return false;
    }
    const PreviewGeometry preview = Geometry();
    if (const std::optional<PlacementTarget> target = ToolTarget(filter_); target && preview.IsUsable()) {
        const TargetRecords records(filter_, *target);
        for (size_t i = 0; i < records.Count(); ++i) MovePlacement(records[i], dh, dv, preview);
        if (records.Count() > 0) {
            RedrawOverlay();
            filter_.RedoPreview();
        }
    }
    return true;
}
