// The preview's on-image tools: with the move tool the user drags the current layer (and the
// layers linked to it) on the preview, or the photo's own placement when no layer is selected:
// inside its outline to move it, outside to turn it, on one of eight handles to scale it. While a
// settings tab owns the preview's pick, a press instead picks a colour or drags the shadow.
//
// The tools draw an XOR overlay (the outline with its handles, or the shadow's outline) through
// the preview dialog, and every applied step of a drag redraws it and redoes the whole preview,
// so the preview follows the mouse. They edit only the parameter block of the filter they are
// handed, through its stack model; the tabs follow it when the caller brings them in step after a
// drag.
#pragma once

#include <cstdint>

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
// The tab that owns the pick (null: none). The tab clears it when its pick ends or it goes.
void SetPreviewPickTarget(PreviewPickTarget* target);
PreviewPickTarget* CurrentPreviewPickTarget();

// Where a drag reads the modifier keys (ModifierKey bits): Alt keeps a turned frame's extent and
// scales about the centre.
using ModifierKeysReader = uint16_t (*)();

// The cursor for the mouse at `mouse` (preview units) over the preview, and the overlay that goes
// with it, drawn or erased at once: a handle, move or rotate cursor with the move tool; the pick's
// cursor with a pick; 0 when nothing under the mouse can be edited (a selected layer that is
// disabled or failed to load, or a photo that could not be held in memory).
int16_t ChoosePreviewCursor(Quorvel& filter, PSDialog& dialog, Point16 mouse);

// A press on the preview under `cursor` (as ChoosePreviewCursor chose it): runs its drag until the
// button is released. True when the drag changed the parameter block.
bool TrackPreviewDrag(Quorvel& filter, PSDialog& dialog, int16_t cursor, ModifierKeysReader modifiers = &GetModifierKeys);

// After the preview was painted: the outline computed again and the recorded overlay drawn.
void DrawPreviewOverlay(Quorvel& filter, PSDialog& dialog);
// After the placement changed: the drawn overlay erased, the outline computed again, the overlay
// drawn again.
void RedrawPreviewOverlay(Quorvel& filter, PSDialog& dialog);
// The drawn overlay erased and none recorded (the mouse left the preview, a tab took the cursor).
void ErasePreviewOverlay(PSDialog& dialog);
// Forgets the overlay without drawing (the preview dialog closed, or repaints without it).
void ForgetPreviewOverlay();

// The arrow keys (DialogKeyCode 28 to 31) under the move cursor move what a drag would move by
// one preview unit, then redraw the overlay and redo the preview. True when the key was consumed.
bool NudgeSelectedLayer(Quorvel& filter, PSDialog& dialog, int16_t cursor, int16_t key);

// The Frames menu's turns and flips: every layer of the selected layer's linked group, or the
// photo's placement when no layer is selected. The overlay is redrawn; the caller redoes the
// preview (its common refresh).
void RotateCurrentGroup(Quorvel& filter, PSDialog* dialog, int16_t degrees);
void FlipCurrentGroup(Quorvel& filter, PSDialog* dialog, bool horizontal);
