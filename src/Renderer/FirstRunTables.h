// Tables the renderer builds once in the process and keeps for as long as the library is loaded:
// the blend tables here, and the square-root, Gauss and cosine tables of the image-processing
// library.
#pragma once

#include <cstdint>

namespace BlendTables {
inline constexpr int32_t kRowLength = 256;
inline constexpr int32_t kTableLength = kRowLength * 256;
// The table of a blend mode (1..12): row a holds mode's result for the blend value a over every
// base value. Null for any other mode, and before BuildFirstRunTables. Each table is built when
// it is first asked for and kept from then on.
const uint8_t* Table(int32_t mode);
}  // namespace BlendTables

// Builds every first-run table; later calls find them built and do nothing.
void BuildFirstRunTables();
