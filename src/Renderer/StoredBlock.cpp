#include "StoredBlock.h"

#include <cstring>
#include <new>

#include "File.h"
#include "LockedParameters.h"
#include "StackLimits.h"

namespace {

// Whether the image holds the whole stack that its header counts, with a size field that agrees.
bool HoldsWholeStack(const ParameterBlockView& block) {
    if (block.Length() < BlockLayout::kLayers) return false;
    const int32_t layers = block.LayerCount();
    const int32_t paths = block.PathCount();
    if (!StackLimits::Holds(layers, paths)) return false;
    const int64_t size = block.Block().Get(BlockLayout::kSize);
    return size == ParameterBlockView::SizeFor(layers, paths) && size + ParameterHeader::kRunTimePrefix <= block.Length();
}

// Applies convert to the frame source of every layer and path record that names a file; a source
// is rewritten only when convert answers true.
template <typename Convert>
void ForEachFrameSource(const ParameterBlockView& block, Convert convert) {
    if (!HoldsWholeStack(block)) return;
    auto visit = [&](RecordRef record) {
        if (HoldsShape(record)) return;
        FileSpec spec;
        std::memcpy(spec.bytes, record.At(LayerLayout::kSource), FileSpec::kSize);
        if (convert(spec)) std::memcpy(record.At(LayerLayout::kSource), spec.bytes, FileSpec::kSize);
    };
    for (int32_t i = 0; i < block.LayerSlots(); ++i) visit(block.Layer(i));
    for (int32_t p = 1; p <= block.PathCount(); ++p) visit(block.Path(p));
}

}  // namespace

namespace StoredBlock {

ErrorCode CopyCurrent(Handle block, std::vector<uint8_t>& image) {
    const LockedParameters parameters(block);
    if (!parameters) return Err::SettingsCorrupt;
    const ParameterBlockView live = parameters.View();
    if (!HoldsWholeStack(live)) return Err::SettingsCorrupt;
    const int64_t length = int64_t{live.Block().Get(BlockLayout::kSize)} + ParameterHeader::kRunTimePrefix;
    try {
        image.assign(live.Bytes(), live.Bytes() + length);
    } catch (const std::bad_alloc&) {
        return Err::MemoryFull;
    }
    MakePathsRelative(ParameterBlockView(image.data(), length), FrameLibraryFolder());
    return Err::None;
}

void MakePathsRelative(const ParameterBlockView& block, std::string_view baseFolder) {
    if (baseFolder.empty()) return;
    ForEachFrameSource(block, [baseFolder](FileSpec& spec) {
        spec.ToRelative(baseFolder);
        return true;
    });
}

void MakePathsAbsolute(const ParameterBlockView& block, std::string_view baseFolder) {
    // Without a library a relative path stays as it is: FileSpec resolves it against the library
    // once one is open, where against no base it would name a file in whatever folder is current.
    if (baseFolder.empty()) return;
    // A path that cannot be made absolute keeps its relative form, and its layer shows the frame
    // as missing.
    ForEachFrameSource(block, [baseFolder](FileSpec& spec) { return spec.ToAbsolute(baseFolder) == Err::None; });
}

}  // namespace StoredBlock
