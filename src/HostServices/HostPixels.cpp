#include "HostPixels.h"

#include <algorithm>
#include <cstring>

#include "Errors.h"
#include "Geometry.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "HostServices.h"
#include "ScaledCoordinates.h"

namespace {

constexpr Fixed16 kRateOne = 0x10000;

BufferRecord gInputScratch;
BufferRecord gMaskScratch;

Fixed16 RateOrOne(Fixed16 rate) { return rate ? rate : kRateOne; }
int32_t FactorOf(Fixed16 rate) { return std::max(rate >> 16, 1); }

Rect32 Widened(const Rect16& r) { return {r.top, r.left, r.bottom, r.right}; }

bool Inside(const Rect16& r, const Rect32& bounds) {
    return r.top >= bounds.top && r.left >= bounds.left && r.bottom <= bounds.bottom && r.right <= bounds.right;
}

Rect32 DocumentExtent(const FilterRecord& record) {
    const bool imageLarger = record.imageSize.v > record.wholeSize.v || record.imageSize.h > record.wholeSize.h;
    const Point16 extent = imageLarger ? record.imageSize : record.wholeSize;
    return {0, 0, extent.v, extent.h};
}

// The host's advanceState over the record as the host left it: its own pointers go back into the
// data fields first, and its answer is remembered as its own.
ErrorCode CallHostAdvance(FilterRecord& record, HostDelivery& delivered) {
    delivered.PutBack(record);
    const ErrorCode error = record.advanceState();
    delivered = HostDelivery::Of(record);
    return error;
}

// One field the host would subsample: what was asked, the bounds of what exists at that scale,
// and where the result goes.
struct SampledField {
    Rect16 request;
    Rect32 bounds;
    int32_t factor;
    int32_t planes;
    int32_t bytesPerSample;
    int16_t padding;
    bool isMask;
    BufferRecord* buffer;
};

// Fetches every factor-th pixel of every factor-th row of the request, one source row per
// destination row; the part of the request outside the bounds gets the padding byte.
ErrorCode Subsample(FilterRecord& record, HostDelivery& delivered, const SampledField& field, char** data, int32_t* rowBytes) {
    const int64_t width = int64_t{field.request.right} - field.request.left;
    const int64_t height = int64_t{field.request.bottom} - field.request.top;
    const int64_t pixelBytes = int64_t{field.planes} * field.bytesPerSample;
    const int64_t destinationRowBytes = width * pixelBytes;
    THROW_IF_ERROR(field.buffer->Allocate(height * destinationRowBytes));
    char* out = field.buffer->Lock();
    if (!out) THROW_IF_ERROR(Err::MemoryFull);
    *data = out;
    *rowBytes = static_cast<int32_t>(destinationRowBytes);

    const Rect32 clipped{std::max<int32_t>(field.request.top, field.bounds.top),
                         std::max<int32_t>(field.request.left, field.bounds.left),
                         std::min<int32_t>(field.request.bottom, field.bounds.bottom),
                         std::min<int32_t>(field.request.right, field.bounds.right)};
    const bool wholeRequest = clipped.top == field.request.top && clipped.left == field.request.left &&
                              clipped.bottom == field.request.bottom && clipped.right == field.request.right;
    if (!wholeRequest)
        std::memset(out, field.padding >= 0 ? field.padding & 0xFF : 0, static_cast<size_t>(height * destinationRowBytes));
    if (clipped.top >= clipped.bottom || clipped.left >= clipped.right) return 0;

    record.outRect = record.maskRect = record.inRect = Rect16{};
    Rect16& hostField = field.isMask ? record.maskRect : record.inRect;
    const int64_t f = field.factor;
    for (int32_t y = clipped.top; y < clipped.bottom; ++y) {
        hostField = Rect16{static_cast<int16_t>(y * f), static_cast<int16_t>(clipped.left * f),
                           static_cast<int16_t>(y * f + 1), static_cast<int16_t>((clipped.right - 1) * f + 1)};
        if (const ErrorCode error = CallHostAdvance(record, delivered)) {
            hostField = Rect16{};
            return error;
        }
        const char* from = static_cast<const char*>(field.isMask ? record.maskData : record.inData);
        if (!from) {
            hostField = Rect16{};
            return Err::HostUnsupported;  // the host answered without the pixels
        }
        char* to = out + (y - field.request.top) * destinationRowBytes + (clipped.left - field.request.left) * pixelBytes;
        for (int32_t x = clipped.left; x < clipped.right; ++x, to += pixelBytes)
            std::memcpy(to, from + (x - clipped.left) * f * pixelBytes, static_cast<size_t>(pixelBytes));
    }
    hostField = Rect16{};
    return 0;
}

// Our own subsampling of the input and the mask; the output area is asked for last and alone, so
// that the host's output buffer is the one the filter writes into.
ErrorCode SubsampleRequest(FilterRecord& record, HostDelivery& delivered, int32_t bytesPerSample, Fixed16 inputRate, Fixed16 maskRate) {
    const Rect16 inRect = record.inRect, maskRect = record.maskRect, outRect = record.outRect;
    record.inputRate = record.maskRate = kRateOne;
    char *inData = nullptr, *maskData = nullptr;
    int32_t inRowBytes = 0, maskRowBytes = 0;
    ErrorCode error = 0;
    if (!IsEmptyRect(inRect)) {
        const int32_t f = FactorOf(inputRate);
        const SampledField field{inRect, DividedUp(DocumentExtent(record), f), f,
                                 record.inHiPlane - record.inLoPlane + 1, bytesPerSample, record.inputPadding,
                                 false, &gInputScratch};
        error = Subsample(record, delivered, field, &inData, &inRowBytes);
    }
    if (!error && !IsEmptyRect(maskRect)) {
        const int32_t g = FactorOf(maskRate);
        const SampledField field{maskRect, DividedUp(Widened(record.filterRect), g), g, 1, bytesPerSample,
                                 record.maskPadding, true, &gMaskScratch};
        error = Subsample(record, delivered, field, &maskData, &maskRowBytes);
    }
    if (!error && !IsEmptyRect(outRect)) {
        record.inRect = record.maskRect = Rect16{};
        record.outRect = outRect;
        error = CallHostAdvance(record, delivered);
        if (!error && !record.outData) error = Err::HostUnsupported;
    }
    record.inRect = inRect;
    record.maskRect = maskRect;
    record.outRect = outRect;
    if (!IsEmptyRect(inRect)) {
        record.inData = inData;
        record.inRowBytes = inRowBytes;
    }
    if (!IsEmptyRect(maskRect)) {
        record.maskData = maskData;
        record.maskRowBytes = maskRowBytes;
    }
    record.inputRate = inputRate;
    record.maskRate = maskRate;
    return error;
}

// Whether the host, having answered success, handed over memory for every area asked for.
bool DeliveredAll(const FilterRecord& record) {
    return (IsEmptyRect(record.inRect) || record.inData) && (IsEmptyRect(record.outRect) || record.outData) &&
           (IsEmptyRect(record.maskRect) || record.maskData || !record.haveMask);
}

// A host that subsamples but cannot pad serves only requests inside what it has.
bool HostCanServe(const FilterRecord& record, Fixed16 inputRate, Fixed16 maskRate) {
    if (!record.samplingSupport && !(inputRate == kRateOne && maskRate == kRateOne)) return false;
    if (record.supportsPadding) return true;
    const int32_t f = FactorOf(inputRate), g = FactorOf(maskRate);
    if (!IsEmptyRect(record.inRect) && !Inside(record.inRect, DividedUp(DocumentExtent(record), f))) return false;
    if (!IsEmptyRect(record.maskRect) && !Inside(record.maskRect, DividedUp(Widened(record.filterRect), g))) return false;
    return true;
}

}  // namespace

ErrorCode AdvanceState(HostCall& call) {
    FilterRecord* record = call.record;
    if (!record || !record->advanceState) return Err::HostUnsupported;
    const Fixed16 inputRate = RateOrOne(record->inputRate), maskRate = RateOrOne(record->maskRate);
    try {
        if (HostCanServe(*record, inputRate, maskRate)) {
            const ErrorCode error = CallHostAdvance(*record, call.delivered);
            record->inputRate = inputRate;
            record->maskRate = maskRate;
            return error ? error : DeliveredAll(*record) ? Err::None : Err::HostUnsupported;
        }
        return SubsampleRequest(*record, call.delivered, call.bytesPerSample, inputRate, maskRate);
    } catch (const ErrorCodeException& e) {
        record->inputRate = inputRate;
        record->maskRate = maskRate;
        return e.code;
    }
}

void ReleaseSubsampleBuffers() {
    gInputScratch.Free();
    gMaskScratch.Free();
}

void GetDocumentTitle(const BasicSuite* basic, char* buffer, size_t bufferSize) {
    if (!buffer || bufferSize == 0) return;
    const PropertySuite* properties = nullptr;
    const HandleSuite* handles = nullptr;
    try {
        properties = GetPropertySuite(basic);
        handles = GetHandleSuite(basic);
    } catch (const SuiteAccessException&) {
        return;
    }
    if (!HasProc(properties, &PropertySuite::getProperty) || !handles || !handles->GetSize || !handles->SetLock ||
        !handles->Dispose)
        return;
    Handle title = nullptr;
    intptr_t simple = 0;
    if (properties->getProperty('8BIM', 'titl', 0, &simple, &title) != 0 || !title) return;

    const int32_t size = handles->GetSize(title);
    char* text = nullptr;
    Boolean8 wasLocked = 0;
    handles->SetLock(title, true, &text, &wasLocked);
    if (text && size > 0) {
        // The title need not be terminated inside its handle: read only its bytes.
        const size_t length = strnlen(text, static_cast<size_t>(size));
        const char* start = text;
        for (size_t i = 0; i < length; ++i)
            if (text[i] == '\\') start = text + i + 1;
        const size_t tail = std::min(length - static_cast<size_t>(start - text), bufferSize - 1);
        std::memcpy(buffer, start, tail);
        buffer[tail] = '\0';
    }
    handles->SetLock(title, false, &text, &wasLocked);
    handles->Dispose(title);
}
