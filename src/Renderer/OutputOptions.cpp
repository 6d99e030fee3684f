// The output choices of the parameter block that the apply path asks the filter for: a new layer,
// and the two forms of layered output, which only a run that may write layered output offers.
#include "LockedParameters.h"
#include "Quorvel.h"

bool Quorvel::GetApplyToNewLayer() {
    const LockedParameters parameters = Stack().Lock();
    return parameters && parameters.View().Block().Get(BlockLayout::kOutputOption) != 0;
}

bool Quorvel::WantsLayeredOutputA() {
    const LockedParameters parameters = Stack().Lock();
    return LayeredOutput() && parameters &&
           parameters.View().Block().Get(BlockLayout::kLayeredOutputMode) == BlockLayout::kLayeredOutputMask;
}

bool Quorvel::WantsLayeredOutputB() {
    const LockedParameters parameters = Stack().Lock();
    return LayeredOutput() && parameters &&
           parameters.View().Block().Get(BlockLayout::kLayeredOutputMode) == BlockLayout::kLayeredOutputLayers;
}

bool Quorvel::GetLayeredOutputMode() {
    const LockedParameters parameters = Stack().Lock();
    return LayeredOutput() && parameters && parameters.View().Block().Get(BlockLayout::kLayeredOutputMode) != 0;
}
