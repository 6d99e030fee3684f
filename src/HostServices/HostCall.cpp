#include "HostCall.h"

#include "ImageModes.h"

namespace {

// The innermost open call, or none between calls.
HostCall* gOpenCall = nullptr;

// Numbers the calls of the process.
uint32_t NextCallNumber() {
    static uint32_t calls = 0;
    return ++calls;
}

HostCall& Opened(HostCall& call) {
    call.number = NextCallNumber();
    call.delivered = call.record ? HostDelivery::Of(*call.record) : HostDelivery{};
    return call;
}

}  // namespace

HostCall& HostCall::Current() {
    static HostCall none;
    return gOpenCall ? *gOpenCall : none;
}

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

HostCallScope::HostCallScope(HostCall& call)
    : call_(&Opened(call)), previous_(gOpenCall), window_(call.parentWindow), memory_(call.record) {
    gOpenCall = call_;
}

HostCallScope::HostCallScope(HostCall&& call)
    : kept_(std::move(call)), call_(&Opened(*kept_)), previous_(gOpenCall), window_(call_->parentWindow),
      memory_(call_->record) {
    gOpenCall = call_;
}

HostCallScope::~HostCallScope() {
    // A call inside another on the same record leaves the host's latest answer to the outer one.
    if (previous_ && previous_->record == call_->record) previous_->delivered = call_->delivered;
    gOpenCall = previous_;
}
