// The parameter block as it leaves the host's handle for a preset file or a batch job, and as a
// preset's settings come back: a copy whose frame paths are relative to the frame library folder,
// so that the stored stack follows the library when it moves.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "ErrorCodes.h"
#include "PluginInterface.h"
#include "SettingsLayout.h"

namespace StoredBlock {

// The live block's handle image (its S + 8 bytes, run-time link included) with every frame path
// relative to the frame library folder where it has such a form; the live block in `parameters` is
// not touched. 17004 when the block is not a whole stack (its size field disagrees with its stack
// or with the handle), -108 when memory is short.
ErrorCode CopyCurrent(Handle parameters, std::vector<uint8_t>& image);

// Rewrites the frame paths of a block image (shapes have none): relative to baseFolder, or
// absolute against it. No base leaves the paths as they are. The image must hold the whole stack
// that its header counts.
void MakePathsRelative(const ParameterBlockView& block, std::string_view baseFolder);
void MakePathsAbsolute(const ParameterBlockView& block, std::string_view baseFolder);

}  // namespace StoredBlock
