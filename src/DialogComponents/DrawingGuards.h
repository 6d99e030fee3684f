// The owner of one region and the guards a drawing call holds while it changes a port: the
// colours (ColorState, PortColorState) and the clip (ClipState). A guard's end puts back what it
// found, also when the drawing call is left by an exception, and never throws itself: what it
// restores it kept aside rather than makes again.
#pragma once

#include <windows.h>

#include <optional>

#include "DrawingPort.h"
#include "GdiOwner.h"
#include "Geometry.h"

class DialogComponent;

// Owns one region handle, or none. Used for temporary item regions, the clip guard's saved copy
// and the tabs' regions.
class RectRegion {
public:
    RectRegion() noexcept = default;
    // Takes over a region made elsewhere (null allowed).
    explicit RectRegion(HRGN region) noexcept : region_(region) {}
    // A new region of the rectangle (empty for an empty rectangle); -108 when it cannot be made.
    explicit RectRegion(const Rect16& rect) : region_(RegionOf(rect)) {}
    RectRegion(RectRegion&&) noexcept = default;
    RectRegion& operator=(RectRegion&&) noexcept = default;

    HRGN Get() const noexcept { return region_.Get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(region_); }
    HRGN Release() noexcept { return region_.Release(); }
    void Reset(HRGN region = nullptr) noexcept { region_.Reset(region); }

private:
    OwnedRgn region_;
};

// Sets a port's back and fore colours for the guard's life: the back brush, the pen (in the
// port's pen width, dashed while a pattern is set) and the fill brush are made in the new colours.
// A pen or brush that cannot be made raises -108 with the port as it was.
class PortColorState {
public:
    PortColorState(DrawingPort& port, COLORREF back, COLORREF fore);
    PortColorState(const PortColorState&) = delete;
    PortColorState& operator=(const PortColorState&) = delete;
    ~PortColorState();

private:
    void Restore() noexcept;

    DrawingPort& port_;
    COLORREF savedFore_;
    COLORREF savedBack_;
    int savedPenWidth_;
    std::optional<Pattern8x8> savedPattern_;
    OwnedPen savedPen_;
    OwnedBrush savedFill_;
    OwnedBrush savedBackBrush_;
};

// A component's colours on its owner dialog's port.
class ColorState : public PortColorState {
public:
    explicit ColorState(const DialogComponent& component);
};

// Clips a port to a rectangle for the guard's life: the port's clip region becomes the rectangle
// within the clip region it had, and the effective clip that region within the update region of a
// paint going on (the region alone outside a paint). When the clip region cannot even be copied
// the guard changes nothing; a region that cannot be made otherwise raises -108.
class ClipState {
public:
    // The component's item rectangle on its owner's port.
    explicit ClipState(const DialogComponent& component);
    ClipState(DrawingPort& port, const Rect16& rect);
    ClipState(const ClipState&) = delete;
    ClipState& operator=(const ClipState&) = delete;
    ~ClipState();

private:
    DrawingPort& port_;
    RectRegion saved_;   // the clip region the guard found; none when it changed nothing
};
