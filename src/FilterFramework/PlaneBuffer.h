// A rectangle of interleaved image planes positioned in document coordinates, with the region of
// its pixels that hold valid data. Writing outside the window slides it over the document and
// keeps the valid pixels that still fall inside.
#pragma once

#include <cstdint>

#include "DrawingPort.h"
#include "ErrorCodes.h"
#include "HostMemory.h"
#include "PluginInterface.h"

class PlaneBuffer {
public:
    PlaneBuffer() = default;
    PlaneBuffer(const PlaneBuffer&) = delete;
    PlaneBuffer& operator=(const PlaneBuffer&) = delete;
    ~PlaneBuffer() { Free(); }

    // Takes memory for rect with planes interleaved samples of bytesPerSample (1 or 2) each, and an
    // empty valid region. The allocation's error, or -108 when no region can be made (the memory is
    // then given back and the buffer is empty again).
    ErrorCode Allocate(const Rect16& rect, int16_t planes, uint32_t bytesPerSample);
    // Gives the memory and the region back; the buffer is empty.
    void Free();
    bool IsAllocated() const { return memory_.id != nullptr; }

    // The address of the rect's top-left pixel when every pixel of the rect is valid, else null.
    char* PointerForValidRect(const Rect16& rect, int32_t* rowBytes);
    // Slides the window to hold rect, marks rect valid and answers its address for the caller to
    // fill; null when rect is larger than the buffer or the memory cannot be locked.
    char* PointerForRect(const Rect16& rect, int32_t* rowBytes);
    // Copies rows of width x pixel stride bytes from source into rect; an empty rect does nothing.
    void CopyIn(const Rect16& rect, int32_t sourceRowBytes, const void* source);
    // Sets every sample of rect to 255 (8-bit) or 32768 (16-bit).
    void FillOpaque(const Rect16& rect);
    // Slides the window to a new top-left corner, keeping what stays valid.
    void MoveTo(int16_t top, int16_t left);
    // Forgets every valid pixel; the memory stays.
    void InvalidateAll();
    void Unlock() { memory_.Unlock(); }

    const Rect16& Bounds() const { return rect_; }
    int16_t Planes() const { return planes_; }
    uint32_t BytesPerSample() const { return bytesPerSample_; }
    uint32_t PixelStride() const { return pixelStride_; }
    uint32_t RowBytes() const { return rowBytes_; }
    HRGN ValidRegion() const { return validRegion_.Get(); }

private:
    char* Lock() { return memory_.Lock(); }
    char* AddressOf(char* base, int32_t row, int32_t column) const {
        return base + (int64_t{row} - rect_.top) * rowBytes_ + (int64_t{column} - rect_.left) * pixelStride_;
    }

    BufferRecord memory_;
    uint32_t bytesPerSample_ = 0;
    int16_t planes_ = 0;
    uint32_t pixelStride_ = 0;
    uint32_t rowBytes_ = 0;
    Rect16 rect_{};
    OwnedRgn validRegion_;
};

// The kit's policy for the lock that PointerForRect and PointerForValidRect take: an owner of the
// buffer gives it back with Unlock, however the scope that used the pointer ends.
struct PlaneBufferLockPolicy {
    using Handle = PlaneBuffer*;
    static constexpr Handle Empty() noexcept { return nullptr; }
    static void Close(Handle buffer) noexcept { buffer->Unlock(); }
};
