// The product's filter class.
#pragma once

#include "PhotoshopFilter.h"

class Quorvel : public PhotoshopFilter {
public:
    static constexpr uint32_t kSignature = 'qvxq';
    uint32_t GetSignature() const override { return kSignature; }
    // The product keeps its own session block, so its run hooks replace the framework's selection
    // round trip.
    void BeginRun() override;
    void EndRun(ErrorCode) override {}
    // Asks the host to keep buffer space free for the renderer.
    void Prepare() override;

    // which < -1 with a block present resets the selected layer (layer 0 when none is selected),
    // keeping its edges; anything else builds the default block.
    void SetDefaultParameters(int which) override;
    // Migrates a block of the older layout and checks the block; 0, or 17004 when it is corrupt.
    ErrorCode ValidateParameters() override;
    // Adds delta to the path-record count (pathRecords) or the layer count and resizes the block
    // to match; 0, -108 when memory is short, -30100 when the stack would leave its limits.
    ErrorCode ResizeStackStorage(int32_t delta, bool pathRecords);
};

// Builds the call's three filter objects (main, preview A, preview B) into gFilters.
void CreateFilterObjects();
// Deletes whichever of them exist and clears the globals.
void DeleteFilterObjects();
