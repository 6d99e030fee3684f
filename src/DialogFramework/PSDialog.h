// The layer between the dialog base and the dialogs that live inside a host call (the preview
// dialog, the library browser and the modal secondary dialogs). It carries the few preview
// services the on-image tools and the settings tabs reach through the preview dialog they are
// given: every dialog that is not the preview answers them with false or nothing. Its idle tick
// runs the tile scheduler over the preview instances.
// Its faces are the interface's dark ones: the dialog, its texts and buttons on 0x3F3F3F, its edits
// on 0x2F2F2F, both written in 0xBABABA.
#pragma once

#include <cstdint>

#include "GdiOwner.h"
#include "Geometry.h"
#include "MorvaneDialog.h"

struct ColorRecord;

class PSDialog : public MorvaneDialog {
public:
    using MorvaneDialog::MorvaneDialog;

    // While the host call is Start, renders the preview instances a slice at a time.
    void Idle() override;

    // The mouse in preview units while a button is down: the point, its movement since the last
    // call, and whether the button is still down (false ends the drag). With constrain, Shift keeps
    // the drag on the axis of the larger movement.
    virtual bool TrackMouse(Point16& /*point*/, Point16& /*delta*/, bool /*constrain*/) { return false; }
    // A client point to preview units: true when it lay inside the preview.
    virtual bool PreviewToImage(Point16& /*point*/) { return false; }
    virtual bool GetImageColor(Point16 /*imagePoint*/, ColorRecord& /*color*/) { return false; }
    // The preview's reduction (out) and enlargement (in); one of them is 1.
    virtual void GetZoom(int32_t& out, int32_t& in) { out = in = 1; }
    // Makes the parameter block as it is now an undo step; false when it was not kept.
    virtual bool PushUndoState() { return false; }
    virtual void SetTool(int16_t /*tool*/) {}
    virtual int16_t GetTool() { return 0; }
    // XOR drawing over the preview, in preview units: drawn again, it goes.
    virtual void DrawOverlayLine(Point16 /*from*/, Point16 /*to*/) {}
    virtual void DrawOverlayHandle(Point16 /*point*/) {}

protected:
    // The dark faces (WM_CTLCOLOR*), then the base's handling.
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, int16_t& item) override;

private:
    OwnedBrush face_;   // made when first asked for
    OwnedBrush well_;
};
