#include "OnImageTools.h"

#include <optional>
#include <vector>

#include "ColorConversion.h"
#include "DrawingPort.h"
#include "HostCall.h"
#include "MorvaneDialog.h"
#include "PSDialog.h"
#include "PhotoshopFilter.h"
#include "PlacementEdits.h"
#include "Quorvel.h"
#include "RenderGeometry.h"
#include "RenderSession.h"

namespace {

// The preview dialog's tool that places frames on the preview.
constexpr int16_t kMoveTool = 3;

enum OverlayKind : int32_t { kNoOverlay = 0, kLayerOutline = 1, kShadowOutline = 2 };

bool SameOutline(const std::optional<PlacementOutline>& a, const std::optional<PlacementOutline>& b) {
    if (a.has_value() != b.has_value()) return false;
    if (!a) return true;
    const auto same = [](Point16 p, Point16 q) { return p.v == q.v && p.h == q.h; };
    for (int k = 0; k < 4; ++k) {
        if (!same(a->corners[k], b->corners[k]) || !same(a->midpoints[k], b->midpoints[k])) return false;
    }
    return a->mirrored == b->mirrored;
}

// The outlines the overlay draws: the placement's, and where the current layer's shadow falls.
struct Outlines {
    std::optional<PlacementOutline> placement;
    std::optional<PlacementOutline> shadow;

    bool operator==(const Outlines& other) const {
        return SameOutline(placement, other.placement) && SameOutline(shadow, other.shadow);
    }
};

// What is on the screen: XOR drawing removes itself only when drawn again from the same corners,
// so the outline that was drawn is kept until it is erased.
struct OverlayState {
    OverlayKind drawn = kNoOverlay;
    Outlines outlines;
};
OverlayState& Overlay() {
    static OverlayState state;
    return state;
}

PreviewPickTarget* gPickTarget = nullptr;

PreviewGeometry GeometryOf(PSDialog& dialog) {
    int32_t out = 1, in = 1;
    dialog.GetZoom(out, in);
    const FilterRecord* record = HostCall::Current().record;
    return MakePreviewGeometry(record ? record->filterRect : Rect16{}, out, in);
}

// Whether the block selects a layer (rather than the photo's row).
bool LayerSelected(const ParameterBlockView& view) {
    const int32_t selected = view.Block().Get(BlockLayout::kSelectedLayer);
    return selected >= 0 && selected < view.LayerCount() && view.HoldsLayer(selected);
}

bool HoldsBackground(const ParameterBlockView& view) {
    return view.Length() >= int64_t{BlockLayout::kBackground} + BlockLayout::kBackgroundLength;
}

// What a drag edits: the current layer's linked group while that layer can be edited, else the
// photo's placement when no layer is selected. A selected layer that cannot be edited (disabled,
// or its image failed to load) leaves nothing to edit.
struct ToolTarget {
    bool photo = false;
    LayerRange group;
};
std::optional<ToolTarget> ResolveTarget(const Quorvel& filter) {
    const QuorvelBase& stack = filter.Stack();
    if (filter.CurrentLayerEditable()) {
        const std::optional<LayerRange> group = LinkedGroupOf(stack, stack.CurrentLayerIndex());
        if (!group) return std::nullopt;
        return ToolTarget{false, *group};
    }
    const LockedParameters parameters = stack.Lock();
    if (!parameters || LayerSelected(parameters.View())) return std::nullopt;
    return ToolTarget{true, {}};
}

// The target's records in the block as it is now, locked while this lives. Empty when the block
// no longer holds every one of them.
class TargetRecords {
public:
    TargetRecords(const Quorvel& filter, const ToolTarget& target) : parameters_(filter.Stack().Lock()) {
        if (!parameters_) return;
        const ParameterBlockView view = parameters_.View();
        photo_ = target.photo;
        if (target.photo) {
            if (HoldsBackground(view)) records_.push_back(view.Background());
            return;
        }
        for (int32_t i = target.group.first; i <= target.group.last; ++i) {
            if (i >= view.LayerCount() || !view.HoldsLayer(i)) {
                records_.clear();
                return;
            }
            records_.push_back(view.Layer(i));
        }
    }
    size_t Count() const { return records_.size(); }
    RecordRef operator[](size_t i) const { return records_[i]; }
    Placement PlacementAt(size_t i) const { return Placement{records_[i], photo_}; }

private:
    LockedParameters parameters_;
    std::vector<RecordRef> records_;
    bool photo_ = false;
};

// The outline follows the current layer while it can be edited, else the photo's placement.
Outlines ComputeOutlines(const Quorvel& filter, const PreviewGeometry& preview) {
    Outlines outlines;
    const bool editable = filter.CurrentLayerEditable();
    const LockedParameters parameters = filter.Stack().Lock();
    if (!parameters) return outlines;
    const ParameterBlockView view = parameters.View();
    std::optional<RecordRef> placement;
    if (editable) placement = filter.Stack().SelectedLayerRecord();
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

void DrawOverlayKind(PSDialog& dialog, OverlayKind kind, const Outlines& outlines) {
    const std::optional<PlacementOutline>& outline = kind == kShadowOutline ? outlines.shadow : outlines.placement;
    if (kind == kNoOverlay || !outline) return;
    OverlayPen pen(dialog.Port());
    for (int k = 3; k >= 0; --k) {
        const Point16 from = outline->corners[k], to = outline->corners[(k + 1) % 4];
        if (kind == kLayerOutline) {
            dialog.DrawOverlayHandle(from);
            dialog.DrawOverlayHandle(outline->midpoints[k]);
        }
        dialog.DrawOverlayLine(from, to);
    }
}

// Shows `wanted` over `outlines`: what is drawn and differs is erased first.
void SettleOverlay(PSDialog& dialog, OverlayKind wanted, const Outlines& outlines) {
    OverlayState& overlay = Overlay();
    if (overlay.drawn == wanted && (wanted == kNoOverlay || overlay.outlines == outlines)) {
        overlay.outlines = outlines;
        return;
    }
    DrawOverlayKind(dialog, overlay.drawn, overlay.outlines);
    overlay.outlines = outlines;
    overlay.drawn = wanted;
    DrawOverlayKind(dialog, wanted, outlines);
}

// The whole preview is composed again: every preview instance restarts over its whole area.
void RedoPreview() {
    const FilterRecord* record = HostCall::Current().record;
    if (const OwnedRgn& region = Session().updateRegion; region && record) {
        const Rect16& r = record->filterRect;
        SetRectRgn(region.Get(), r.left, r.top, r.right, r.bottom);
    }
    PhotoshopFilter::InvalidateAllInstances();
}

bool IsZero(Point16 p) { return p.v == 0 && p.h == 0; }

// Runs a drag: `step` sees each answer of the dialog (the point and its movement since the last
// answer; the first movement counts from the press) up to and including the one at the release,
// and says whether it changed the block; each change is shown at once.
template <typename Step>
bool RunDrag(Quorvel& filter, PSDialog& dialog, bool constrain, Step step) {
    Point16 point{}, delta{};
    bool changed = false;
    for (bool down = true; down;) {
        down = dialog.TrackMouse(point, delta, constrain);
        if (!step(point, delta)) continue;
        changed = true;
        RedrawPreviewOverlay(filter, dialog);
        RedoPreview();
    }
    return changed;
}

bool TrackMove(Quorvel& filter, PSDialog& dialog, const ToolTarget& target) {
    const PreviewGeometry preview = GeometryOf(dialog);
    if (!preview.IsUsable()) return false;
    return RunDrag(filter, dialog, true, [&](Point16, Point16 delta) {
        if (IsZero(delta)) return false;
        const TargetRecords records(filter, target);
        for (size_t i = 0; i < records.Count(); ++i) MovePlacement(records[i], delta.h, delta.v, preview);
        return records.Count() > 0;
    });
}

bool TrackRotate(Quorvel& filter, PSDialog& dialog, const ToolTarget& target, ModifierKeysReader modifiers) {
    const PreviewGeometry preview = GeometryOf(dialog);
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
    return RunDrag(filter, dialog, false, [&](Point16 point, Point16 delta) {
        const TargetRecords records(filter, target);
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

bool TrackScale(Quorvel& filter, PSDialog& dialog, const ToolTarget& target, int16_t handle, ModifierKeysReader modifiers) {
    const PreviewGeometry preview = GeometryOf(dialog);
    if (!preview.IsUsable()) return false;
    struct Stretch {
        std::optional<ScaleStart> start;
        double du = 0, dv = 0;  // the handle's motion since the press, in the start's unit coordinates
    };
    std::vector<Stretch> stretches;
    bool started = false;
    bool lastAlt = false;
    return RunDrag(filter, dialog, false, [&](Point16, Point16 delta) {
        const TargetRecords records(filter, target);
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

bool TrackEyedropper(Quorvel& filter, PSDialog& dialog) {
    bool first = true;
    return RunDrag(filter, dialog, false, [&](Point16 point, Point16 delta) {
        // At the press and at every move: the tab may have let go of the pick meanwhile.
        const bool moved = first || !IsZero(delta);
        first = false;
        PreviewPickTarget* target = gPickTarget;
        if (!moved || !target || target->PickKind() != PreviewPickTarget::kPickColor) return false;
        ColorRecord color;
        if (!dialog.GetImageColor(point, color)) return false;  // outside the image
        return target->TakePickedColor(color);
    });
}

}  // namespace

void SetPreviewPickTarget(PreviewPickTarget* target) { gPickTarget = target; }
PreviewPickTarget* CurrentPreviewPickTarget() { return gPickTarget; }

int16_t ChoosePreviewCursor(Quorvel& filter, PSDialog& dialog, Point16 mouse) {
    const PreviewGeometry preview = GeometryOf(dialog);
    const Outlines outlines = ComputeOutlines(filter, preview);
    const bool editable = filter.CurrentLayerEditable();
    int16_t cursor = PreviewCursor::kNone;
    OverlayKind wanted = kNoOverlay;

    // Not editable: the photo's placement is the target when no layer is selected, unless the
    // photo could not be held in memory; a selected layer that is disabled or failed to load
    // offers no tool.
    bool anyTarget = editable;
    if (!editable) {
        const LockedParameters parameters = filter.Stack().Lock();
        anyTarget = parameters && !LayerSelected(parameters.View()) && !Session().sourceOutOfMemory;
    }
    if (!anyTarget) {
        cursor = PreviewCursor::kNone;
    } else if (dialog.GetTool() == kMoveTool) {
        wanted = kLayerOutline;
        if (outlines.placement) cursor = OutlineCursorAt(*outlines.placement, mouse, preview.magnification);
    } else if (editable && gPickTarget) {
        if (gPickTarget->PickKind() == PreviewPickTarget::kPickColor) {
            cursor = PreviewCursor::kEyedropper;
        } else if (gPickTarget->PickKind() == PreviewPickTarget::kPickShadowOffset) {
            cursor = PreviewCursor::kShadowOffset;
            wanted = kShadowOutline;
        }
    }
    SettleOverlay(dialog, wanted, outlines);
    return cursor;
}

bool TrackPreviewDrag(Quorvel& filter, PSDialog& dialog, int16_t cursor, ModifierKeysReader modifiers) {
    if (!modifiers) modifiers = &GetModifierKeys;
    if (cursor == PreviewCursor::kEyedropper) return TrackEyedropper(filter, dialog);
    if (cursor == PreviewCursor::kShadowOffset) {
        PreviewPickTarget* target = gPickTarget;
        if (!target || target->PickKind() != PreviewPickTarget::kPickShadowOffset) return false;
        target->TrackShadowOffset(dialog);
        return true;
    }
    const std::optional<ToolTarget> target = ResolveTarget(filter);
    if (!target) return false;
    if (cursor == PreviewCursor::kMove) return TrackMove(filter, dialog, *target);
    if (cursor == PreviewCursor::kRotate) return TrackRotate(filter, dialog, *target, modifiers);
    if (PreviewCursor::IsScaleHandle(cursor)) return TrackScale(filter, dialog, *target, cursor, modifiers);
    return false;
}

void DrawPreviewOverlay(Quorvel& filter, PSDialog& dialog) {
    // The preview was painted over whatever was drawn: only the recorded kind is drawn afresh.
    OverlayState& overlay = Overlay();
    overlay.outlines = ComputeOutlines(filter, GeometryOf(dialog));
    DrawOverlayKind(dialog, overlay.drawn, overlay.outlines);
}

void RedrawPreviewOverlay(Quorvel& filter, PSDialog& dialog) {
    OverlayState& overlay = Overlay();
    const Outlines outlines = ComputeOutlines(filter, GeometryOf(dialog));
    if (overlay.drawn != kNoOverlay && overlay.outlines == outlines) return;
    DrawOverlayKind(dialog, overlay.drawn, overlay.outlines);
    overlay.outlines = outlines;
    DrawOverlayKind(dialog, overlay.drawn, overlay.outlines);
}

void ErasePreviewOverlay(PSDialog& dialog) { SettleOverlay(dialog, kNoOverlay, Overlay().outlines); }

void ForgetPreviewOverlay() { Overlay() = OverlayState{}; }

bool NudgeSelectedLayer(Quorvel& filter, PSDialog& dialog, int16_t cursor, int16_t key) {
    if (cursor != PreviewCursor::kMove) return false;
    int32_t dh = 0, dv = 0;
    switch (key) {
        case DialogKeyCode::kLeft: dh = -1; break;
        case DialogKeyCode::kRight: dh = 1; break;
        case DialogKeyCode::kUp: dv = -1; break;
        case DialogKeyCode::kDown: dv = 1; break;
        default: return false;
    }
    const PreviewGeometry preview = GeometryOf(dialog);
    if (const std::optional<ToolTarget> target = ResolveTarget(filter); target && preview.IsUsable()) {
        const TargetRecords records(filter, *target);
        for (size_t i = 0; i < records.Count(); ++i) MovePlacement(records[i], dh, dv, preview);
        if (records.Count() > 0) {
            RedrawPreviewOverlay(filter, dialog);
            RedoPreview();
        }
    }
    return true;
}

namespace {

// The Frames menu's edits act on the selected layer's group whether or not its image loaded (the
// menu itself is greyed for such a layer), and on the photo with no layer selected.
std::optional<ToolTarget> MenuTarget(const Quorvel& filter) {
    const QuorvelBase& stack = filter.Stack();
    {
        const LockedParameters parameters = stack.Lock();
        if (!parameters) return std::nullopt;
        if (!LayerSelected(parameters.View())) return ToolTarget{true, {}};
    }
    const std::optional<LayerRange> group = LinkedGroupOf(stack, stack.CurrentLayerIndex());
    if (!group) return std::nullopt;
    return ToolTarget{false, *group};
}

template <typename Edit>
void EditMenuTarget(Quorvel& filter, PSDialog* dialog, Edit edit) {
    const std::optional<ToolTarget> target = MenuTarget(filter);
    if (!target) return;
    {
        const TargetRecords records(filter, *target);
        for (size_t i = 0; i < records.Count(); ++i) edit(records[i]);
    }
    if (dialog) RedrawPreviewOverlay(filter, *dialog);
}

}  // namespace

void RotateCurrentGroup(Quorvel& filter, PSDialog* dialog, int16_t degrees) {
    EditMenuTarget(filter, dialog, [degrees](RecordRef placement) {
        placement.Set(LayerLayout::kAngle, WrapAngle(int64_t{placement.Get(LayerLayout::kAngle)} + degrees));
    });
}

void FlipCurrentGroup(Quorvel& filter, PSDialog* dialog, bool horizontal) {
    EditMenuTarget(filter, dialog, [horizontal](RecordRef placement) { FlipPlacement(placement, horizontal); });
}
