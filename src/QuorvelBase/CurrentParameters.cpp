#include "CurrentParameters.h"

#include "HostMemory.h"
#include "PluginGlobals.h"

LockedParameters::LockedParameters() {
    handle_ = gCall.record ? gCall.record->parameters : nullptr;
    if (!handle_) return;
    length_ = GetHandleSize(handle_);
    bytes_ = reinterpret_cast<uint8_t*>(LockHandle(handle_));
    if (!bytes_) length_ = 0;
}

LockedParameters::~LockedParameters() {
    if (bytes_) UnlockHandle(handle_);
}
