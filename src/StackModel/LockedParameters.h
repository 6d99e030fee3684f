// A parameter block handle locked for a scope, with its bytes as the block's view. A resize
// replaces the handle in the host's parameters field, so a lock is taken again after one.
#pragma once

#include <cstdint>

#include "HostMemory.h"
#include "PluginInterface.h"
#include "SettingsLayout.h"

class LockedParameters {
public:
    explicit LockedParameters(Handle parameters);

    // False when there is no block (no handle, or one that will not lock).
    explicit operator bool() const { return static_cast<bool>(lock_); }
    ParameterBlockView View() const { return ParameterBlockView(lock_.As<uint8_t>(), length_); }

private:
    int64_t length_ = 0;
    LockedHandle lock_;
};
