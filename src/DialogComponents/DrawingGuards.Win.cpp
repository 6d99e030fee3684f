// The region owner and the colour and clip guards.
#include "DrawingGuards.h"

#include <utility>

#include "DialogComponent.h"
#include "Errors.h"

namespace {

// The effective clip := the clip region within the update region of a paint, or the clip region
// alone. False when the region could not be combined; the port keeps its previous effective clip.
bool RecomputeEffectiveClip(DrawingPort& port) noexcept {
    if (!port.clipRgn) port.clipRgn.Reset(CreateRectRgn(0, 0, 0, 0));
    if (!port.clipRgn || !port.visibleRgn) return false;
    const int combined = port.extraClipRgn
                             ? CombineRgn(port.clipRgn.Get(), port.visibleRgn.Get(), port.extraClipRgn, RGN_AND)
                             : CombineRgn(port.clipRgn.Get(), port.visibleRgn.Get(), nullptr, RGN_COPY);
    return combined != ERROR;
}

}  // namespace

// ---- Colours

PortColorState::PortColorState(DrawingPort& port, COLORREF back, COLORREF fore)
    : port_(port),
      savedFore_(port.foreColor),
      savedBack_(port.backColor),
      savedPenWidth_(port.penWidth),
      savedPattern_(port.pattern),
      savedPen_(std::move(port.pen)),
      savedFill_(std::move(port.fillBrush)),
      savedBackBrush_(std::move(port.backBrush)) {
    port.foreColor = fore;
    port.backColor = back;
    try {
        UpdateBackBrush(port);
        UpdatePen(port);
        UpdateFillBrush(port);
    } catch (...) {
        // The destructor of a guard that was never made does not run: put the port back here.
        Restore();
        throw;
    }
}

PortColorState::~PortColorState() { Restore(); }

void PortColorState::Restore() noexcept {
    port_.foreColor = savedFore_;
    port_.backColor = savedBack_;
    port_.backBrush = std::move(savedBackBrush_);
    // The objects kept aside are the colours' exact objects as long as the drawing call left the
    // pen width and pattern alone; otherwise they are made again for the width and pattern the
    // port has now, and kept only when that fails, as a restoring end cannot raise.
    if (port_.penWidth == savedPenWidth_ && port_.pattern == savedPattern_) {
        port_.pen = std::move(savedPen_);
        port_.fillBrush = std::move(savedFill_);
        return;
    }
    try {
        UpdatePen(port_);
        UpdateFillBrush(port_);
    } catch (...) {
        port_.pen = std::move(savedPen_);
        port_.fillBrush = std::move(savedFill_);
    }
}

ColorState::ColorState(const DialogComponent& component)
    : PortColorState(component.Port(), component.BackColor(), component.ForeColor()) {}

// ---- Clip

ClipState::ClipState(const DialogComponent& component) : ClipState(component.Port(), component.ItemRect()) {}

ClipState::ClipState(DrawingPort& port, const Rect16& rect) : port_(port) {
    if (!port.visibleRgn) return;
    RectRegion copy(CreateRectRgn(0, 0, 0, 0));
    if (!copy || CombineRgn(copy.Get(), port.visibleRgn.Get(), nullptr, RGN_COPY) == ERROR) return;
    RectRegion clip(rect);
    SectRgn(clip.Get(), copy.Get(), clip.Get());
    port.visibleRgn.Reset(clip.Release());
    saved_ = std::move(copy);
    if (!RecomputeEffectiveClip(port)) {
        port.visibleRgn.Reset(saved_.Release());
        RecomputeEffectiveClip(port);
        THROW_IF_ERROR(Err::MemoryFull);
    }
}

ClipState::~ClipState() {
    if (!saved_) return;
    port_.visibleRgn.Reset(saved_.Release());
    RecomputeEffectiveClip(port_);
}
