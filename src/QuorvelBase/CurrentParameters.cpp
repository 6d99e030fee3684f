#include "CurrentParameters.h"

#include "HostMemory.h"
#include "PluginGlobals.h"

namespace {
Handle CallParameters() { return gCall.record ? gCall.record->parameters : nullptr; }
}  // namespace

LockedParameters::LockedParameters() : length_(GetHandleSize(CallParameters())), lock_(CallParameters()) {
    if (!lock_) length_ = 0;
}
