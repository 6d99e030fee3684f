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

HostCallScope::HostCallScope(const HostCall& call) : previous_(HostCall::current_), window_(call.parentWindow) {
    static uint32_t calls = 0;
    HostCall::current_ = call;
    HostCall::current_.number = ++calls;
}

HostCallScope::~HostCallScope() { HostCall::current_ = previous_; }
