#include "CurrentParameters.h"

#include "HostCall.h"
#include "HostMemory.h"

namespace {
Handle CallParameters() {
    const FilterRecord* record = HostCall::Current().record;
    return record ? record->parameters : nullptr;
}
}  // namespace

LockedParameters::LockedParameters() : length_(GetHandleSize(CallParameters())), lock_(CallParameters()) {
    if (!lock_) length_ = 0;
}
