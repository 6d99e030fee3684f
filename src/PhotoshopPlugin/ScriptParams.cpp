// The scripting parameters: the host's action descriptor read into the parameter block before the
// start routine and written back after it.
#include "Errors.h"
#include "HostServices.h"
#include "PluginGlobals.h"
#include "PluginMain.h"

namespace {

// Descriptor-suite failures end the call with their own code.
void ThrowIfSuiteError(SPErr error) {
    if (error != 0) throw SuiteErrorException{error};
}

Handle DescriptorHandle() {
    const FilterRecord* record = gCall.record;
    return record && record->descriptorParameters ? record->descriptorParameters->descriptor : nullptr;
}

// Owns a descriptor made or read through the descriptor suite.
class ScopedDescriptor {
public:
    explicit ScopedDescriptor(const DescriptorSuite* suite) : suite_(suite) {}
    ScopedDescriptor(const ScopedDescriptor&) = delete;
    ScopedDescriptor& operator=(const ScopedDescriptor&) = delete;
    ~ScopedDescriptor() {
        if (ref_) suite_->Free(ref_);
    }
    DescriptorRef* Out() { return &ref_; }
    DescriptorRef Get() const { return ref_; }

private:
    const DescriptorSuite* suite_;
    DescriptorRef ref_ = nullptr;
};

}  // namespace

bool IsNoDialogCall() {
    Handle flat = DescriptorHandle();
    if (!flat) return false;
    const DescriptorSuite* suite = GetDescriptorSuite();
    ScopedDescriptor descriptor(suite);
    ThrowIfSuiteError(suite->HandleToDescriptor(flat, descriptor.Out()));
    Boolean8 has = 0;
    ThrowIfSuiteError(suite->HasKey(descriptor.Get(), 'Txlt', &has));
    return has != 0;
}

void ReadScriptParams() {
    const FilterRecord* record = gCall.record;
    const bool showDialog = record->descriptorParameters && record->descriptorParameters->playInfo == kPlayDisplay;
    if (!DescriptorHandle()) {
        if (showDialog) return;
        throw SuiteAccessException{'Parm'};
    }
    const DescriptorSuite* suite = GetDescriptorSuite();
    ScopedDescriptor descriptor(suite);
    ThrowIfSuiteError(suite->HandleToDescriptor(DescriptorHandle(), descriptor.Out()));
}

void WriteScriptParams() {}
