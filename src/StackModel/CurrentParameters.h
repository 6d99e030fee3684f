// The current call's parameter block (the host's parameters handle), locked while this lives.
#pragma once

#include <cstdint>

#include "HostMemory.h"
#include "PluginInterface.h"
#include "SettingsLayout.h"

class LockedParameters {
public:
    LockedParameters();

    // False when the host holds no block.
    explicit operator bool() const { return static_cast<bool>(lock_); }
    ParameterBlockView View() const { return ParameterBlockView(lock_.As<uint8_t>(), length_); }

private:
    int64_t length_ = 0;
    LockedHandle lock_;
};
