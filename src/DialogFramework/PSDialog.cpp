#include "PSDialog.h"

#include "ControlDrawing.h"
#include "Errors.h"
#include "HostCall.h"
#include "PhotoshopFilter.h"

void PSDialog::Idle() {
    // Outside Start there are no preview instances to feed; the instances serve the call.
    const PhotoshopFilter* first = PhotoshopFilter::FirstInstance();
    if (!first || first->Call().selector != kSelectorStart) return;
    PhotoshopFilter::RunInstances(MorvaneDialog::TrackingDepth());
}

LRESULT PSDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, int16_t& item) {
    const auto paint = [wParam](OwnedBrush& brush, COLORREF back) -> LRESULT {
        if (!brush) brush.Reset(CreateSolidBrush(back));
        if (!brush) THROW_IF_ERROR(Err::MemoryFull);
        const auto dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, ControlLook::kText);
        SetBkColor(dc, back);
        return reinterpret_cast<LRESULT>(brush.Get());
    };
    switch (message) {
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORSCROLLBAR:
            return paint(face_, ControlLook::kBackground);
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
            return paint(well_, ControlLook::kSurface);
        default:
            return MorvaneDialog::HandleMessage(message, wParam, lParam, item);
    }
}
