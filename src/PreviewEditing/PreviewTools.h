// The preview's on-image tools: with the move tool the user drags the current layer (and the
// layers linked to it) on the preview, or the photo's own placement when no layer is selected:
// inside its outline to move it, outside to turn it, on one of eight handles to scale it. While a
// settings tab owns the preview's pick, a press instead picks a colour or drags the shadow.
//
// The tools draw an XOR overlay (the outline with its handles, or the shadow's outline) through
// the preview dialog they are given, and every applied step of a drag redraws it and redoes the
// whole preview, so the preview follows the mouse. They edit only the parameter block, through the
// filter they are given; the tabs follow it when the caller brings them in step after a drag.
#pragma once

#include <cstdint>
#include <optional>

#include "PlacementEdits.h"
#include "PlacementTargets.h"
#include "PluginInterface.h"
#include "WindowServices.h"

class PSDialog;
class Quorvel;
struct ColorRecord;

// A settings tab that has taken the preview's pick: a press on the preview serves it instead of
// the move tool, while a layer can be edited.
class PreviewPickTarget {
public:
    enum Kind : int32_t { kPickColor = 1, kPickShadowOffset = 2 };

    virtual ~PreviewPickTarget() = default;
    virtual Kind PickKind() const = 0;
    // A colour read from the image under the mouse; true when the tab took it.
    virtual bool TakePickedColor(const ColorRecord& color) = 0;
    // Runs the drag of the shadow's offset on the preview, from the press to the release.
    virtual void TrackShadowOffset(PSDialog& dialog) = 0;
};

// Where a drag reads the modifier keys (ModifierKey bits): Alt keeps a turned frame's extent and
// scales about the centre.
using ModifierKeysReader = uint16_t (*)();

class PreviewTools {
public:
    PreviewTools(PSDialog& dialog, Quorvel& filter) : dialog_(dialog), filter_(filter) {}
    PreviewTools(const PreviewTools&) = delete;
    PreviewTools& operator=(const PreviewTools&) = delete;

    // The tab that owns the pick (null: none). The tab clears it when its pick ends or it goes.
    void SetPickTarget(PreviewPickTarget* target) { pickTarget_ = target; }
    PreviewPickTarget* PickTarget() const { return pickTarget_; }

    // The cursor for the mouse at `mouse` (preview units) over the preview, and the overlay that
    // goes with it, drawn or erased at once: a handle, move or rotate cursor with the move tool;
    // the pick's cursor with a pick; 0 when nothing under the mouse can be edited (a selected layer
    // that is disabled or failed to load, or a photo that could not be held in memory).
    int16_t ChooseCursor(Point16 mouse);
    // A press on the preview under `cursor` (as ChooseCursor chose it): runs its drag until the
    // button is released. True when the drag changed the parameter block.
    bool TrackDrag(int16_t cursor, ModifierKeysReader modifiers = &GetModifierKeys);
    // The arrow keys (DialogKeyCode 28 to 31) under the move cursor move what a drag would move by
    // one preview unit, then redraw the overlay and redo the preview. True when the key was
    // consumed.
    bool Nudge(int16_t cursor, int16_t key);

    // After the preview was painted: the outline computed again and the recorded overlay drawn.
    void DrawOverlay();
    // After the placement changed: the drawn overlay erased, the outline computed again, the
    // overlay drawn again.
    void RedrawOverlay();
    // The drawn overlay erased and none recorded (the mouse left the preview, a tab took the
    // cursor).
    void EraseOverlay();
    // Forgets the overlay without drawing (the preview dialog closed, or repaints without it).
    void ForgetOverlay();

private:
    enum OverlayKind : int32_t { kNoOverlay = 0, kLayerOutline = 1, kShadowOutline = 2 };
    // The outlines the overlay draws: the placement's, and where the current layer's shadow falls.
    struct Outlines {
        std::optional<PlacementOutline> placement;
        std::optional<PlacementOutline> shadow;
        bool operator==(const Outlines& other) const;
    };

    PreviewGeometry Geometry() const;
    Outlines ComputeOutlines(const PreviewGeometry& preview) const;
    void DrawOverlayKind(OverlayKind kind, const Outlines& outlines);
    void SettleOverlay(OverlayKind wanted, const Outlines& outlines);
    template <typename Step>
    bool RunDrag(bool constrain, Step step);
    bool TrackMove(const PlacementTarget& target);
    bool TrackRotate(const PlacementTarget& target, ModifierKeysReader modifiers);
    bool TrackScale(const PlacementTarget& target, int16_t handle, ModifierKeysReader modifiers);
    bool TrackEyedropper();

    PSDialog& dialog_;
    Quorvel& filter_;
    PreviewPickTarget* pickTarget_ = nullptr;
    // What is on the screen: XOR drawing removes itself only when drawn again from the same
    // corners, so the outline that was drawn is kept until it is erased.
    OverlayKind drawn_ = kNoOverlay;
    Outlines outlines_;
};
