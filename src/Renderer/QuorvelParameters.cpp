// The filter's parameter block slots: defaults, and validation with the migration of the older
// layout.
#include <array>
#include <cstring>

#include "Errors.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "HostServices.h"
#include "LockedParameters.h"
#include "Quorvel.h"
#include "SettingsDefaults.h"
#include "SettingsValidation.h"

namespace {

// The selected layer, or layer 0 when the photo row is selected.
int32_t SelectedOrFirstLayer(const ParameterBlockView& block) {
    if (!block.HoldsLayer(0)) return 0;
    const int32_t selected = block.Block().Get(BlockLayout::kSelectedLayer);
    return selected >= 0 && selected < block.LayerCount() ? selected : 0;
}

// Replaces a block of the older layout by its migration; 17004 when it cannot be one.
ErrorCode MigrateLegacyBlock(Quorvel& filter) {
    std::array<uint8_t, LegacyLayout::kHandleLength> legacy;
    {
        const LockedParameters parameters = filter.Stack().Lock();
        std::memcpy(legacy.data(), parameters.View().Bytes(), legacy.size());
    }
    const int32_t layers = LegacyLayerCount(legacy.data(), static_cast<int64_t>(legacy.size()));
    if (layers < 0 || layers > LegacyLayout::kMaxLayers) return Err::SettingsCorrupt;
    filter.SetParameterBlockSize(static_cast<int32_t>(ParameterBlockView::SizeFor(layers, 0)), false);
    const LockedParameters parameters = filter.Stack().Lock();
    SettingsMigrateLegacyBlock(legacy.data(), parameters.View());
    return Err::None;
}

}  // namespace

void Quorvel::SetDefaultParameters(int which) {
    FilterRecord* record = &Record();
    if (which < -1 && record->parameters) {
        int32_t layer = 0;
        {
            const LockedParameters parameters = Stack().Lock();
            layer = SelectedOrFirstLayer(parameters.View());
        }
        Stack().InitLayerRecord(layer, true);
        return;
    }
    // A fresh handle: whatever the old one held, header and run-time link included, goes, but
    // only once the new one exists.
    UniqueHandle old(record->parameters);
    record->parameters = nullptr;
    try {
        SetParameterBlockSize(static_cast<int32_t>(ParameterBlockView::SizeFor(0, 0)), true);
    } catch (...) {
        record->parameters = old.Release();
        throw;
    }
    {
        const LockedParameters parameters = Stack().Lock();
        const ParameterBlockView block = parameters.View();
        block.Block().Set(BlockLayout::kOutputOption, BlockLayout::kOutputEachFrameToNewLayer);
        SettingsResetBackgroundPlacement(block);
        SettingsInitPlaceholder(block);
    }
    Stack().SetTargetLayerPos(0);
}

ErrorCode Quorvel::ValidateParameters() {
    bool legacy = false;
    {
        const LockedParameters parameters = Stack().Lock();
        if (!parameters) return Err::SettingsCorrupt;
        const ParameterBlockView block = parameters.View();
        if (block.Length() < BlockLayout::kLayers) return Err::SettingsCorrupt;
        if (block.Block().Get(BlockLayout::kSize) == LegacyLayout::kBlockSize) {
            if (LegacyLayerCount(block.Bytes(), block.Length()) < 0) return Err::SettingsCorrupt;
            legacy = true;
        }
    }
    if (legacy) {
        if (const ErrorCode error = MigrateLegacyBlock(*this)) return error;
    }
    const LockedParameters parameters = Stack().Lock();
    const ParameterBlockView block = parameters.View();
    if (const ErrorCode error = SettingsCheckBlock(block)) return error;
    // This host kind cannot make one layer per frame: one new layer is the closest it offers.
    const RecordRef header = block.Block();
    if (GetHostKind() == kHostKindElements &&
        header.Get(BlockLayout::kOutputOption) == BlockLayout::kOutputEachFrameToNewLayer)
        header.Set(BlockLayout::kOutputOption, BlockLayout::kOutputToNewLayer);
    return Err::None;
}
