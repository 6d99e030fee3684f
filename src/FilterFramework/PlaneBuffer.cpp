#include "PlaneBuffer.h"

#include <cstring>

#include "Errors.h"
#include "PixelSamples.h"

ErrorCode PlaneBuffer::Allocate(const Rect16& rect, int16_t planes, uint32_t bytesPerSample) {
    Free();
    if (IsEmptyRect(rect) || planes <= 0 || (bytesPerSample != 1 && bytesPerSample != 2)) return Err::MemoryFull;
    const int64_t stride = int64_t{planes} * bytesPerSample;
    const int64_t rowBytes = RectWidth(rect) * stride;
    if (const ErrorCode error = memory_.Allocate(RectHeight(rect) * rowBytes)) return error;
    validRegion_ = OwnedRgn(CreateRectRgn(0, 0, 0, 0));
    if (!validRegion_) {
        memory_.Free();
        return Err::MemoryFull;
    }
    rect_ = rect;
    planes_ = planes;
    bytesPerSample_ = bytesPerSample;
    pixelStride_ = static_cast<uint32_t>(stride);
    rowBytes_ = static_cast<uint32_t>(rowBytes);
    return 0;
}

void PlaneBuffer::Free() {
    memory_.Free();
    validRegion_.Reset();
    bytesPerSample_ = 0;
    planes_ = 0;
    pixelStride_ = 0;
    rowBytes_ = 0;
    rect_ = Rect16{};
}

char* PlaneBuffer::PointerForValidRect(const Rect16& rect, int32_t* rowBytes) {
    if (!IsAllocated() || IsEmptyRect(rect)) return nullptr;
    const OwnedRgn wanted = RegionOf(rect);
    const OwnedRgn covered = RegionOf(Rect16{});
    SectRgn(wanted.Get(), validRegion_.Get(), covered.Get());
    if (!EqualRgn(covered.Get(), wanted.Get())) return nullptr;
    char* base = Lock();
    if (!base) return nullptr;
    *rowBytes = static_cast<int32_t>(rowBytes_);
    return AddressOf(base, rect.top, rect.left);
}

char* PlaneBuffer::PointerForRect(const Rect16& rect, int32_t* rowBytes) {
    if (!IsAllocated() || RectWidth(rect) > RectWidth(rect_) || RectHeight(rect) > RectHeight(rect_)) return nullptr;
    // The smallest shift of the window that holds the rect.
    int32_t top = rect_.top, left = rect_.left;
    const int32_t height = RectHeight(rect_), width = RectWidth(rect_);
    if (rect.top < top) top = rect.top;
    if (rect.left < left) left = rect.left;
    if (rect.bottom > top + height) top = rect.bottom - height;
    if (rect.right > left + width) left = rect.right - width;
    MoveTo(static_cast<int16_t>(top), static_cast<int16_t>(left));

    char* base = Lock();
    if (!base) return nullptr;
    const OwnedRgn added = RegionOf(rect);
    UnionRgn(validRegion_.Get(), added.Get(), validRegion_.Get());
    *rowBytes = static_cast<int32_t>(rowBytes_);
    return AddressOf(base, rect.top, rect.left);
}

void PlaneBuffer::CopyIn(const Rect16& rect, int32_t sourceRowBytes, const void* source) {
    if (IsEmptyRect(rect)) return;
    int32_t rowBytes = 0;
    char* to = PointerForRect(rect, &rowBytes);
    if (!to) return;
    const auto* from = static_cast<const char*>(source);
    const size_t bytes = static_cast<size_t>(RectWidth(rect)) * pixelStride_;
    for (int32_t row = 0; row < RectHeight(rect); ++row)
        std::memcpy(to + int64_t{row} * rowBytes, from + int64_t{row} * sourceRowBytes, bytes);
}

void PlaneBuffer::FillOpaque(const Rect16& rect) {
    if (IsEmptyRect(rect)) return;
    int32_t rowBytes = 0;
    char* to = PointerForRect(rect, &rowBytes);
    if (!to) return;
    const int64_t samples = int64_t{RectWidth(rect)} * planes_;
    for (int32_t row = 0; row < RectHeight(rect); ++row)
        PlaneFill8(samples, 255, to + int64_t{row} * rowBytes, static_cast<int32_t>(bytesPerSample_), 1);
}

void PlaneBuffer::MoveTo(int16_t top, int16_t left) {
    const int32_t dv = int32_t{top} - rect_.top, dh = int32_t{left} - rect_.left;
    if (!IsAllocated() || (dv == 0 && dh == 0)) return;
    const Rect16 old = rect_;
    rect_ = Rect16{top, left, static_cast<int16_t>(old.bottom + dv), static_cast<int16_t>(old.right + dh)};

    const OwnedRgn window = RegionOf(rect_);
    SectRgn(validRegion_.Get(), window.Get(), validRegion_.Get());
    const Rect16 kept = IntersectRects(RegionBounds(validRegion_.Get()), rect_);
    if (IsEmptyRect(kept)) return;
    char* base = Lock();
    if (!base) return;
    const int64_t from = (int64_t{kept.top} - old.top) * rowBytes_ + (int64_t{kept.left} - old.left) * pixelStride_;
    const int64_t to = (int64_t{kept.top} - rect_.top) * rowBytes_ + (int64_t{kept.left} - rect_.left) * pixelStride_;
    const int64_t bytes = (int64_t{RectHeight(kept)} - 1) * rowBytes_ + int64_t{RectWidth(kept)} * pixelStride_;
    std::memmove(base + to, base + from, static_cast<size_t>(bytes));
}

void PlaneBuffer::InvalidateAll() {
    if (validRegion_) SetRectRgn(validRegion_.Get(), 0, 0, 0, 0);
}
