#include "PixelSamples.h"

#include <algorithm>
#include <cstring>

#include "ImageModes.h"

namespace {

template <typename Transform>
void ForEachSample16(const Rect32& bounds, int32_t planes, int32_t rowBytes, int32_t colBytes, int32_t planeBytes,
                     char* base, Transform transform) {
    for (int64_t row = 0; row < int64_t{bounds.bottom} - bounds.top; ++row) {
        char* rowStart = base + row * rowBytes;
        for (int64_t column = 0; column < int64_t{bounds.right} - bounds.left; ++column) {
            char* pixel = rowStart + column * colBytes;
            for (int32_t plane = 0; plane < planes; ++plane) {
                uint16_t sample;
                std::memcpy(&sample, pixel + int64_t{plane} * planeBytes, 2);
                sample = transform(sample);
                std::memcpy(pixel + int64_t{plane} * planeBytes, &sample, 2);
            }
        }
    }
}

}  // namespace

void PlaneFill16(int64_t count, uint16_t value, void* destination, int32_t bytesPerSample, int64_t stride) {
    if (count <= 0) return;
    if (stride == 1) {  // one plane: a block fill
        if (bytesPerSample == 2) std::fill_n(static_cast<uint16_t*>(destination), count, value);
        else std::memset(destination, static_cast<uint8_t>(value), static_cast<size_t>(count));
        return;
    }
    if (bytesPerSample == 2) {
        auto* to = static_cast<uint16_t*>(destination);
        for (int64_t i = 0; i < count; ++i) to[i * stride] = value;
    } else {
        auto* to = static_cast<uint8_t*>(destination);
        for (int64_t i = 0; i < count; ++i) to[i * stride] = static_cast<uint8_t>(value);
    }
}

void PlaneFill8(int64_t count, uint8_t value, void* destination, int32_t bytesPerSample, int64_t stride) {
    PlaneFill16(count, bytesPerSample == 2 ? Widen8To16(value) : value, destination, bytesPerSample, stride);
}

char* WidenSamples16(const Rect32& bounds, int32_t planes, int32_t rowBytes, int32_t colBytes, int32_t planeBytes,
                     char* base) {
    ForEachSample16(bounds, planes, rowBytes, colBytes, planeBytes, base, InternalToHost16);
    return base + 1;
}

char* NarrowSamples16(const Rect32& bounds, int32_t planes, int32_t rowBytes, int32_t colBytes, int32_t planeBytes,
                      char* widenedBase) {
    char* base = widenedBase - 1;
    ForEachSample16(bounds, planes, rowBytes, colBytes, planeBytes, base, HostToInternal16);
    return base;
}
