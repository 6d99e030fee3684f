#include "ResourceImage.h"

#include <new>

#include "ThisModule.h"

namespace {
const wchar_t kPngResourceType[] = L"PNG";
}

bool ResourceImage::LoadPNG(uint16_t base, int16_t offset) {
    image_.reset(new (std::nothrow) CxImage());
    if (!image_) return false;
    const auto id = static_cast<uint16_t>(base + offset);
    HMODULE module = ThisModule();
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), kPngResourceType);
    return image_->LoadResource(resource, kCxFormatPNG, module);
}

void ResourceImage::DrawInto(const DrawingPort& port, const RECT& target, const Rect16& rect,
                             const Rect16* clip, HDC dc) const {
    PortDC context(port, dc);
    if (!context) return;
    const Rect16& bounds = clip ? *clip : rect;
    const RECT clipRect{bounds.left, bounds.top, bounds.right, bounds.bottom};
    image_->Draw(context.Get(), target.left, target.top, target.right - target.left, target.bottom - target.top,
                 &clipRect, false);
}

void ResourceImage::Draw(const DrawingPort* port, const Rect16* rect, const Rect16* clip, HDC dc) const {
    if (!image_ || !image_->IsValid() || !port || !rect) return;
    // Truncated toward zero on both sides: an odd margin draws the picture one pixel larger or
    // smaller rather than off centre.
    const int32_t dx = (rect->right - rect->left - static_cast<int32_t>(image_->Width())) / 2;
    const int32_t dy = (rect->bottom - rect->top - static_cast<int32_t>(image_->Height())) / 2;
    const RECT target{rect->left + dx, rect->top + dy, rect->right - dx, rect->bottom - dy};
    DrawInto(*port, target, *rect, clip, dc);
}

void ResourceImage::DrawRect(const DrawingPort* port, const Rect16* rect, const Rect16* clip, HDC dc) const {
    if (!image_ || !image_->IsValid() || !port || !rect) return;
    DrawInto(*port, RECT{rect->left, rect->top, rect->right, rect->bottom}, *rect, clip, dc);
}
