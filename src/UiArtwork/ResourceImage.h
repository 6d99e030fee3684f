// One interface picture of a control: a PNG resource of the module (base + offset) decoded once,
// when the control is initialised, and drawn into the control's window through its drawing port.
#pragma once

#include <cstdint>
#include <memory>

#include "CxImage.h"
#include "DrawingPort.h"

// Every control names its pictures from this base: offset n is resource 16909 + n.
inline constexpr uint16_t kInterfaceArtworkBase = 16909;

class ResourceImage {
public:
    // Replaces what is held by the picture of resource (base + offset) of type "PNG" of this
    // module. False when it is missing or cannot be decoded: the image is then empty, draws
    // nothing, and its LastError() says why.
    bool LoadPNG(uint16_t base, int16_t offset);
    // Draws the picture centred in `rect`, clipped to the port's clip region and to `clip`
    // (else to `rect`), into the given context or else the port window's. Nothing without a
    // picture.
    void Draw(const DrawingPort* port, const Rect16* rect, const Rect16* clip = nullptr, HDC dc = nullptr) const;
    // Draws the picture scaled to fill `rect`.
    void DrawRect(const DrawingPort* port, const Rect16* rect, const Rect16* clip = nullptr, HDC dc = nullptr) const;
    void Release() { image_.reset(); }

    const CxImage* Image() const { return image_.get(); }

private:
    void DrawInto(const DrawingPort& port, const RECT& target, const Rect16& rect, const Rect16* clip, HDC dc) const;

    std::unique_ptr<CxImage> image_;
};
