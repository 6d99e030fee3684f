#include "FirstRunTables.h"

#include <array>

#include "BlendTable.h"
#include "ZavuvIve.h"

namespace {

bool gBuilt = false;
// The twelve tables, one after the other: mode m's row a at ((m - 1) x 256 + a) x 256.
std::array<uint8_t, kBlendModeCount * BlendTables::kTableLength> gBlendTables;

}  // namespace

const uint8_t* BlendTables::Table(int32_t mode) {
    if (!gBuilt || mode < kBlendNormal || mode > kBlendModeCount) return nullptr;
    return gBlendTables.data() + static_cast<size_t>(mode - 1) * kTableLength;
}

void BuildFirstRunTables() {
    if (gBuilt) return;
    ImageBuildSqrtTable();
    ImageBuildGaussTable();
    ImageBuildCosineTable();
    for (int32_t mode = kBlendNormal; mode <= kBlendModeCount; ++mode)
        for (int32_t a = 0; a < BlendTables::kRowLength; ++a)
            BuildBlendTable(mode, a, gBlendTables.data() + (static_cast<size_t>(mode - 1) * 256 + a) * 256);
    gBuilt = true;
}
