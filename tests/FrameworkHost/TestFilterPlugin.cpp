// The framework's test filter as a plug-in: the plug-in entry of the product driving the inverting
// test filter in place of the product's filter class. Where the scripting parameters name shared
// channels, every composed tile also marks its area in them through their write ports: the first
// with 50, the second with 100, the third with 150, so that the host shows which were found.
#include <new>
#include <vector>

#include "FilterObjects.h"
#include "HostCall.h"
#include "InvertFilter.h"
#include "SharedChannels.h"

namespace {

constexpr uint8_t kMarkStep = 50;

class TestFilter : public InvertFilter {
public:
    using InvertFilter::InvertFilter;

    uint32_t GetSignature() const override { return 'qvtf'; }

    void ComposeTile(const TileView& tile) override {
        InvertFilter::ComposeTile(tile);
        const FilterRecord& r = Record();
        const Rect32 area{tile.rect.top, tile.rect.left, tile.rect.bottom, tile.rect.right};
        const int32_t width = area.right - area.left, height = area.bottom - area.top;
        if (width <= 0 || height <= 0 || !r.channelPortProcs || !r.channelPortProcs->writeBasePixels) return;
        const SharedChannelSet& shared = SharedChannels();
        for (int i = 0; i < kSharedChannelCount; ++i) {
            if (!shared[i].IsSet()) continue;
            std::vector<uint8_t> mark(static_cast<size_t>(width) * height, static_cast<uint8_t>(kMarkStep * (i + 1)));
            const PixelMemoryDesc memory{mark.data(), width * 8, 8, 0, 8};
            r.channelPortProcs->writeBasePixels(shared[i].writePort, &area, &memory);
        }
    }
};

}  // namespace

// The entry's doors hand the dispatch this module's filter class, which keeps no frame stack.
PhotoshopFilter* MakeTestFilter(HostCall& call, StackState&) { return new (std::nothrow) TestFilter(call); }
const FilterClass kModuleFilterClass{&MakeTestFilter, nullptr};
