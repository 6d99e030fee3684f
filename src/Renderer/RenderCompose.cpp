// The composition of a tile: the passes' buffers locked and handed to the composer with the
// photo, the host's selection mask and the image cache, laid out by the host's pixels and the
// block's output options; a call that replays the image cache writes the cached frames instead.
#include <windows.h>

#include <algorithm>
#include <array>
#include <span>
#include <vector>

#include "ColorConversion.h"
#include "Errors.h"
#include "FrameRender.h"
#include "ImageCache.h"
#include "ImageModes.h"
#include "LockedParameters.h"
#include "PassPlan.h"
#include "QuorvelBase.h"
#include "RenderArithmetic.h"
#include "RenderSession.h"
#include "SourceCache.h"

namespace {

// The fixed colour of the layer-output route for the layers above the photo: black (an RGB colour
// record, components 0, opacity 255) converted to the document's colour space, its components'
// low bytes.
void LayerOutputColour(const ColourContext& host, uint8_t colour[4]) {
    ColorRecord black;
    black.tag = -1;
    black.space = kSpaceRGB;
    black.opacity = 255;
    ConvertColorRecord(black, -1, host);
    for (int32_t c = 0; c < 4; ++c) colour[c] = static_cast<uint8_t>(black.components[c]);
}

// The grey level of a frame colour for the frame-as-mask routes, through the colour services; the
// context is the host's record.
uint32_t GreyOfColour(void* context, const uint32_t* colour, int32_t channels) {
    const auto& host = *static_cast<const FilterRecord*>(context);
    ColorRecord record;
    record.space = ColourSpaceOfMode(host.imageMode);
    for (int32_t c = 0; c < channels && c < 4; ++c) record.components[c] = static_cast<int16_t>(colour[c]);
    ConvertColorRecord(record, kSpaceGray, ColourContext::Of(&host));
    return static_cast<uint32_t>(std::clamp<int32_t>(record.components[0], 0, 255));
}

}  // namespace

// A call after "Apply to New Layer" writes the frames an earlier call cached: the tile's rows come
// from the cache file, widened in a 16-bit document.
void FrameRender::ReadCachedSource(const TileView& tile) {
    const PlaneView& out = tile.out;
    const int32_t planes = std::max<int32_t>(out.planes, 1);
    const CacheGeometry cache{session_.cache.planes, session_.cache.rect};
    if (!out || CacheOffset(cache, tile.rect) < 0 || static_cast<uint32_t>(planes) != cache.planes) return;
    const int32_t width = RectWidth(tile.rect), height = RectHeight(tile.rect);
    ReadCacheRows(session_, false, out.address, tile.rect, out.rowBytes);
    if (call_.bytesPerSample == 2)
        WidenCachedRows(reinterpret_cast<uint8_t*>(out.address), height, width * planes, out.rowBytes);
}

ComposeLayout FrameRender::TileComposeLayout(const RenderInstance& instance, QuorvelBase& stack,
                                             int32_t& photoPosition) const {
    const FilterRecord& r = Record();
    const int32_t nc = std::clamp<int32_t>(ColourPlanesOfMode(r.imageMode), 1, kMaxColourChannels);
    ComposeLayout layout;
    layout.colourChannels = nc;
    layout.inputStride = PlaneSpan(r.inLoPlane, r.inHiPlane);
    layout.outputStride = PlaneSpan(r.outLoPlane, r.outHiPlane);
    layout.inputLayerMasks = r.inLayerPlanes ? r.inLayerMasks : 0;
    layout.inputInvertedMasks = r.inLayerPlanes ? r.inInvertedLayerMasks : 0;
    layout.outputLayerMasks = r.outLayerPlanes ? r.outLayerMasks : 0;
    layout.outputInvertedMasks = r.outLayerPlanes ? r.outInvertedLayerMasks : 0;
    layout.outputTransparency = r.outTransparencyMask > 0 && layout.outputStride > nc;
    const int32_t inTransparency = r.inLayerPlanes ? r.inTransparencyMask : (layout.inputStride > nc ? 1 : 0);
    layout.inputLast = std::clamp(nc + inTransparency + layout.inputLayerMasks - 1, 0, layout.inputStride - 1);
    layout.outputLast = std::clamp(nc + (layout.outputTransparency ? 1 : 0) + layout.outputLayerMasks - 1, 0,
                                   layout.outputStride - 1);
    layout.sixteenBit = call_.bytesPerSample == 2;
    layout.textureStep = instance.integerScale;
    layout.preview = instance.preview;

    int32_t layers = 0;
    uint8_t outputOption = BlockLayout::kOutputOff, layeredMode = BlockLayout::kLayeredOutputNone;
    {
        const LockedParameters parameters = stack.Lock();
        if (parameters) {
            const ParameterBlockView block = parameters.View();
            layers = block.LayerCount();
            outputOption = block.Block().Get(BlockLayout::kOutputOption);
            layeredMode = block.Block().Get(BlockLayout::kLayeredOutputMode);
        }
    }
    photoPosition = std::clamp(stack.TargetLayerPos(), 0, layers);
    layout.maskOutput = layeredMode == BlockLayout::kLayeredOutputMask;
    layout.layerOutput = layeredMode == BlockLayout::kLayeredOutputLayers && instance.preview;
    // A preview shows what the user will see in the document: the frames over the photo, whether
    // they are to land on the photo or on a new layer above it.
    const bool framesOnTheirOwn = outputOption != BlockLayout::kOutputOff && !instance.preview;
    layout.photoMerge = !instance.framesWithoutPhoto && !framesOnTheirOwn && layeredMode != BlockLayout::kLayeredOutputLayers;
    layout.transmittanceAlpha = layout.photoMerge && layeredMode != BlockLayout::kLayeredOutputMask;
    layout.layersUnderPhoto = photoPosition < layers;
    // The final pass of an "Apply to New Layer" run keeps its frames for the host's next call,
    // which puts them on a layer of their own above the photo: the photo itself stays as it is.
    // Without the cache (no frame to keep, or the cache given up) the option is off and the frames
    // go onto the photo, unless the pass has already set the frames of a tile aside: the whole
    // image then stays as it was.
    if (outputOption != BlockLayout::kOutputOff && !instance.preview) {
        layout.framesToCacheOnly = WritesImageCache(instance.preview) || setup_.framesSetAside;
        if (layout.framesToCacheOnly) layout.maskOutput = false;
        layout.photoMerge = layout.framesToCacheOnly || (!instance.framesWithoutPhoto && layeredMode != BlockLayout::kLayeredOutputLayers);
        layout.transmittanceAlpha = !layout.framesToCacheOnly && layout.photoMerge && !layout.maskOutput;
    }
    if (layout.layerOutput) LayerOutputColour(ColourContext::Of(&Record()), layout.layerOutputColour);
    return layout;
}

void FrameRender::ComposeTile(const TileView& tile, const RenderInstance& instance, QuorvelBase& stack) {
    if (session_.cacheReplay) {
        ReadCachedSource(tile);
        return;
    }
    if (RectArea(tile.rect) == 0 || !tile.out || !tile.in) return;
    const int64_t pixels = RectArea(tile.rect);
    // The tile's frame-only composite, held while the tile is composed. Asked for before anything
    // of the tile changes, so that ending the call here leaves it as it was.
    BufferRecord cacheRecord;
    LockedBuffer cacheBytes;
    if (WritesImageCache(instance.preview)) {
        if (cacheRecord.Allocate(pixels * session_.cache.planes) == Err::None) cacheBytes = LockedBuffer(cacheRecord);
        if (!cacheBytes) {
            cacheRecord.Free();
            if (CloseImageCache(session_, instance.dialog) != NewLayerCache::kGoOnWithout) THROW_IF_ERROR(Err::Cancelled);
        }
    }
    // Laid out once the tile knows whether it keeps a cache.
    int32_t photoPosition = 0;
    ComposeLayout layout = TileComposeLayout(instance, stack, photoPosition);
    std::array<ComposePass, RenderSetup::kMaxPasses> passes{};
    std::array<uint8_t*, RenderSetup::kMaxPasses> coverage{};
    std::array<BevelShading, RenderSetup::kMaxBevels> shading{};
    std::array<const uint8_t*, RenderSetup::kMaxBevels> bevelCoverage{};
    // Every plane the composer reads stays locked until the tile is composed, or the composition
    // fails: the locks are given back either way.
    std::array<LockedBuffer, RenderSetup::kMaxPasses> coverageLocks;
    std::array<LockedBuffer, RenderSetup::kMaxBevels> bevelCoverageLocks, heightLocks, surfaceLocks;
    const int32_t count = setup_.passCount;
    for (int32_t k = 0; k < count; ++k) {
        coverageLocks[k] = LockedBuffer(passes_.At(k)->coverage);
        coverage[k] = coverageLocks[k].As<uint8_t>();
    }
    for (int32_t k = 0; k < count; ++k) {
        const int32_t index = setup_.passes[k].bevel;
        if (setup_.passes[k].maskPass >= 0 || index < 0) continue;
        const BevelSetup& b = setup_.bevels[index];
        BevelLightRecord& record = *bevels_.At(index);
        BevelShading& s = shading[index];
        s.light = &b.light;
        s.lightOn = b.lightOn;
        s.heightScale = b.heightScale;
        s.flatTerm = b.flatTerm;
        std::copy_n(b.channelGain, 4, s.channelGain);
        std::copy_n(b.highlight, 4, s.highlight);
        std::copy_n(b.baseGain, 4, s.baseGain);
        std::copy_n(b.highlightWord, 4, s.highlightWord);
        if (b.width >= 1) {
            bevelCoverageLocks[index] = LockedBuffer(record.coverage);
            heightLocks[index] = LockedBuffer(record.height);
            s.coverage = bevelCoverage[index] = bevelCoverageLocks[index].As<const uint8_t>();
            s.heights = heightLocks[index].As<const uint16_t>();
        }
        if (LayerState* surface = images_.At(b.surfaceState)) {
            surfaceLocks[index] = LockedBuffer(surface->textureBuffer);
            s.surface = surfaceLocks[index].As<const uint8_t>();
            s.surfaceWidth = b.surfaceWidth;
            s.surfaceHeight = b.surfaceHeight;
            s.surfaceStride = b.surfaceStride;
            s.slopeScale = b.slopeScale;
        }
    }
    // Colour textures tile path record images; a texture several passes share is locked once.
    std::array<ColourTexture, RenderSetup::kMaxPasses> textures{};
    std::array<LockedBuffer, LayerStateTable::kCapacity> textureLocks;
    for (int32_t k = 0; k < count; ++k) {
        LayerState* state = images_.At(setup_.passes[k].textureState);
        if (!state || !TextureIsDrawable(state, DocumentColourPlanes())) continue;
        LockedBuffer& lock = textureLocks[setup_.passes[k].textureState];
        if (!lock) lock = LockedBuffer(state->imageBuffers[0]);
        const Rect16& b = state->imageBounds;
        textures[k] = ColourTexture{lock.As<const uint8_t>(), b.right - b.left, b.bottom - b.top,
                                    int64_t{b.right - b.left} * state->imagePlanes};
    }
    // Three-part frames: the colour and masks their background passes brought for the tile.
    std::array<ThreePartPlanes, RenderSetup::kMaxBevels> threeParts{};
    std::array<std::array<LockedBuffer, 3>, RenderSetup::kMaxBevels> companionLocks;
    for (int32_t k = 0; k < count; ++k) {
        const PassSetup& setup = setup_.passes[k];
        if (!setup.threePart || setup.layer < 0 || setup.layer >= RenderSetup::kMaxBevels) continue;
        ThreePartPlanes& planes = threeParts[setup.layer];
        if (setup.kind < 0) planes.innerEffects = true;
        if (setup.kind != PassKind::kBackground) continue;
        RenderPassRecord& record = *passes_.At(k);
        for (int32_t i = 0; i < 3; ++i) companionLocks[setup.layer][i] = LockedBuffer(record.companionPlanes[i]);
        planes.colour = companionLocks[setup.layer][0].As<const uint8_t>();
        planes.inner = companionLocks[setup.layer][1].As<const uint8_t>();
        planes.outer = companionLocks[setup.layer][2].As<const uint8_t>();
        planes.backgroundPass = k;
        planes.colourSpaceFlag = setup.colourSpaceFlag;
    }
    for (int32_t k = 0; k < count; ++k) {
        const PassSetup& setup = setup_.passes[k];
        ComposePass& pass = passes[k];
        pass.coverage = coverage[k];
        pass.layer = setup.layer;
        pass.kind = setup.kind;
        pass.alpha = setup.alpha;
        pass.weight = setup.opacity;
        pass.blendTable = setup.drawn ? setup.blendTable : nullptr;
        std::copy(setup.colour, setup.colour + 4, pass.colour);
        pass.abovePhoto = setup.layer < photoPosition;
        pass.underPhoto = !instance.framesWithoutPhoto && setup.layer >= photoPosition;
        // A three-part frame's effects are cut by its masks instead of by its background.
        if (setup.kind != PassKind::kBackground && !PassKind::IsOuterGlowOrShadow(setup.kind) && !setup.threePart)
            pass.knockOutPass = setup.backgroundPass;
        if (setup.bevel >= 0 && setup.maskPass < 0) pass.bevel = &shading[setup.bevel];
        if (textures[k].pixels) pass.texture = &textures[k];
        if (setup.threePart && threeParts[setup.layer].backgroundPass >= 0) pass.threePart = &threeParts[setup.layer];
        if (setup.maskPass >= 0 && setup.maskPass < count) {
            const int32_t maskBevel = setup_.passes[setup.maskPass].bevel;
            ApplyPassMask(coverage[k], coverage[setup.maskPass], maskBevel >= 0 ? bevelCoverage[maskBevel] : nullptr,
                          setup.opacity, pixels);
            pass.weight = 255;
        }
    }

    // The host's selection mask, as bytes.
    std::vector<uint8_t> mask;
    ComposeBuffers buffers;
    buffers.rect = tile.rect;
    buffers.input = tile.in.address;
    buffers.inputRowBytes = tile.in.rowBytes;
    buffers.grey = GreyOfColour;
    buffers.greyContext = &Record();
    UniqueOwner<PlaneBufferLockPolicy> photoLock;
    if (setup_.photoResampled) {
        int32_t rowBytes = 0;
        const char* photo = sourceBuffer_.PointerForValidRect(tile.rect, &rowBytes);
        photoLock.Reset(&sourceBuffer_);
        if (photo) {
            buffers.input = photo;
            buffers.inputRowBytes = rowBytes;
            layout.inputStride = sourceBuffer_.Planes();
        }
    }
    buffers.output = tile.out.address;
    buffers.outputRowBytes = tile.out.rowBytes;
    if (tile.mask) {
        if (layout.sixteenBit) {
            const int32_t width = RectWidth(tile.rect), height = RectHeight(tile.rect);
            mask.resize(static_cast<size_t>(pixels));
            for (int32_t y = 0; y < height; ++y) {
                const auto* row = reinterpret_cast<const uint16_t*>(tile.mask.At(y, 0));
                for (int32_t x = 0; x < width; ++x) mask[int64_t{y} * width + x] = static_cast<uint8_t>(RenderMath::Narrow16(row[x]));
            }
            buffers.mask = mask.data();
            buffers.maskRowBytes = width;
        } else {
            buffers.mask = reinterpret_cast<const uint8_t*>(tile.mask.address);
            buffers.maskRowBytes = tile.mask.rowBytes;
        }
    }
    buffers.cache = cacheBytes.As<uint8_t>();
    ComposeTilePixels(layout, std::span<const ComposePass>(passes.data(), static_cast<size_t>(count)), buffers);
    if (layout.framesToCacheOnly) setup_.framesSetAside = true;
    if (buffers.cache) ReadCacheRows(session_, true, buffers.cache, tile.rect, 0);
    // What the main object composed is no longer to do for the preview.
    if (!instance.preview && session_.updateRegion) {
        const Rect16& r = tile.rect;
        const OwnedRgn done(CreateRectRgn(r.left, r.top, r.right, r.bottom));
        if (!done) THROW_IF_ERROR(Err::MemoryFull);
        CombineRgn(session_.updateRegion.Get(), session_.updateRegion.Get(), done.Get(), RGN_DIFF);
    }
}
