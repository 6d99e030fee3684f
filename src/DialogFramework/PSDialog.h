// The layer between the dialog base and the dialogs that live inside a host call (the preview
// dialog, the library browser and the modal secondary dialogs). Its operations reach the
// preview's services through any dialog pointer: every dialog that is not the preview answers
// them with null, false or nothing, so tabs, tools and the filter object may call them on
// whichever dialog they hold. Its idle tick runs the tile scheduler over the preview instances.
// Its faces are the interface's dark ones: the dialog, its texts and buttons on 0x3F3F3F, its edits
// on 0x2F2F2F, both written in 0xBABABA.
#pragma once

#include <cstdint>

#include "GdiOwner.h"
#include "Geometry.h"
#include "MorvaneDialog.h"

class File;
class PhotoshopFilter;
class PopupWindow;
struct ColorRecord;
struct Guide;

class PSDialog : public MorvaneDialog {
public:
    using MorvaneDialog::MorvaneDialog;

    // While the host call is Start, renders the preview instances a slice at a time.
    void Idle() override;

    virtual PopupWindow* GetPopupWindow() { return nullptr; }
    virtual void DrawPreview() {}
    virtual void RenderPreview() {}
    // The mouse in preview units while a button is down: the point, its movement since the last
    // call, and whether the button is still down (false ends the drag). With constrain, Shift keeps
    // the drag on the axis of the larger movement.
    virtual bool TrackMouse(Point16& /*point*/, Point16& /*delta*/, bool /*constrain*/) { return false; }
    virtual bool PreviewToImage(Point16& /*point*/) { return false; }
    virtual bool GetImageColor(Point16 /*imagePoint*/, ColorRecord& /*color*/) { return false; }
    virtual void DisableCompositeView() {}
    virtual void SetToggleText(int16_t /*menuItem*/, int16_t /*stringBase*/, bool /*state*/) {}
    // The preview's reduction (out) and enlargement (in); one of them is 1.
    virtual void GetZoom(int32_t& out, int32_t& in) { out = in = 1; }
    virtual bool PushUndoState() { return false; }
    virtual bool Undo() { return false; }
    virtual void ReleaseSavedState() {}
    virtual PhotoshopFilter* GetFilter() { return nullptr; }
    virtual File* GetFile() { return nullptr; }
    virtual void Reserved() {}
    virtual void SetTool(int16_t /*tool*/) {}
    virtual int16_t GetTool() { return 0; }
    virtual void InvalidatePreview() {}
    virtual void DrawOverlayLine(Point16 /*from*/, Point16 /*to*/) {}
    virtual void DrawOverlayRect(Point16 /*from*/, Point16 /*to*/) {}
    virtual void DrawOverlayHandle(Point16 /*point*/) {}
    // Fills the rectangle with the port's fill brush.
    virtual void PaintRect(const Rect16& rect);
    virtual void FillOutlineRegion(HRGN /*region*/, bool /*fill*/) {}
    virtual void SetRulerMarks(Point16 /*point*/) {}
    virtual void LoadPreferences() {}
    virtual void SavePreferences() {}
    virtual void* CreateToolTips() { return nullptr; }
    virtual bool SetHotHelp(int16_t /*on*/) { return false; }
    virtual void SetFavorite(bool /*on*/) {}
    virtual void SetRating(int16_t /*rating*/) {}
    virtual void HideSelected() {}
    virtual Guide* GetGuides() { return nullptr; }

protected:
    // The dark faces (WM_CTLCOLOR*), then the base's handling.
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, int16_t& item) override;

private:
    OwnedBrush face_;   // made when first asked for
    OwnedBrush well_;
};

// The preview dialog of the host call while it is open (null otherwise). The renderer tells a
// preview from the final pass by it, and the filter's tools and tabs reach the preview through it.
PSDialog* MainDialog();
void SetMainDialog(PSDialog* dialog);
