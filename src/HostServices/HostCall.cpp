#include "HostCall.h"

#include "ImageModes.h"

HostCall HostCall::current_;

HostCall HostCall::OfFilterRecord(int16_t selector, FilterRecord* record, intptr_t* data) {
    HostCall call;
    call.record = record;
    call.selector = selector;
    call.data = data;
    call.bytesPerSample = record ? BytesPerSampleForMode(record->imageMode) : 0;
    call.basicSuite = record ? record->sSPBasic : nullptr;
    call.parentWindow = record && record->platformData ? reinterpret_cast<HWND>(record->platformData->hwnd) : nullptr;
    return call;
}

HostDelivery HostDelivery::Of(const FilterRecord& record) {
    return {record.inData, record.outData, record.maskData, record.inRowBytes, record.outRowBytes, record.maskRowBytes};
}

void HostDelivery::PutBack(FilterRecord& record) const {
    record.inData = inData;
    record.outData = outData;
    record.maskData = maskData;
    record.inRowBytes = inRowBytes;
    record.outRowBytes = outRowBytes;
    record.maskRowBytes = maskRowBytes;
}

HostCallScope::HostCallScope(const HostCall& call) : previous_(HostCall::current_), window_(call.parentWindow) {
    static uint32_t calls = 0;
    HostCall::current_ = call;
    HostCall::current_.number = ++calls;
    HostCall::current_.delivered = call.record ? HostDelivery::Of(*call.record) : HostDelivery{};
}

HostCallScope::~HostCallScope() {
    // A call inside another on the same record leaves the host's latest answer to the outer one.
    if (previous_.record == HostCall::current_.record) previous_.delivered = HostCall::current_.delivered;
    HostCall::current_ = previous_;
}
