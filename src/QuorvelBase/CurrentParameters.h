// The current call's parameter block (the host's parameters handle), locked while this lives.
#pragma once

#include <cstdint>

#include "PluginInterface.h"
#include "SettingsLayout.h"

class LockedParameters {
public:
    LockedParameters();
    ~LockedParameters();
    LockedParameters(const LockedParameters&) = delete;
    LockedParameters& operator=(const LockedParameters&) = delete;

    // False when the host holds no block.
    explicit operator bool() const { return bytes_ != nullptr; }
    ParameterBlockView View() const { return ParameterBlockView(bytes_, length_); }

private:
    Handle handle_ = nullptr;
    uint8_t* bytes_ = nullptr;
    int64_t length_ = 0;
};
