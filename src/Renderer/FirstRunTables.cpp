#include "FirstRunTables.h"

#include <array>

#include "BlendTable.h"
#include "Kernels.h"

namespace {

bool gBuilt = false;
// The twelve tables, one after the other: mode m's row a at ((m - 1) x 256 + a) x 256. A mode's
// table is built when it is first asked for: soft light alone takes a power function per entry,
// some milliseconds that a run without that mode, or without frames at all, need not spend.
std::array<uint8_t, kBlendModeCount * BlendTables::kTableLength> gBlendTables;
std::array<bool, kBlendModeCount> gModeBuilt{};

}  // namespace

const uint8_t* BlendTables::Table(int32_t mode) {
    if (!gBuilt || mode < kBlendNormal || mode > kBlendModeCount) return nullptr;
    uint8_t* table = gBlendTables.data() + static_cast<size_t>(mode - 1) * kTableLength;
    if (!gModeBuilt[mode - 1]) {
        for (int32_t a = 0; a < kRowLength; ++a) BuildBlendTable(mode, a, table + static_cast<size_t>(a) * kRowLength);
        gModeBuilt[mode - 1] = true;
    }
    return table;
}

void BuildFirstRunTables() {
    if (gBuilt) return;
    ImageBuildSqrtTable();
    ImageBuildGaussTable();
    ImageBuildCosineTable();
    gBuilt = true;
}
