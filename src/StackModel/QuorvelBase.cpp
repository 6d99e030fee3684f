#include "QuorvelBase.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "Errors.h"
#include "File.h"
#include "HostMemory.h"
#include "LayerState.h"
#include "LockedParameters.h"
#include "SettingsDefaults.h"
#include "SettingsRanges.h"
#include "Kernels.h"

namespace {

// The stack as the block holds it, with the photo's row. Counts are held to the stack's limits and
// records to the bytes the handle really has, so a damaged block is never read or written outside.
class Stack {
public:
    Stack(Handle parameters, int32_t photo) : parameters_(parameters), view_(parameters_.View()), photo_(photo) {
        if (!parameters_ || !view_.HoldsLayer(0)) return;
        const int64_t layersHeld = (view_.Length() - BlockLayout::kLayers) / LayerLayout::kLength;
        layers_ = static_cast<int32_t>(std::clamp<int64_t>(view_.LayerCount(), 0, std::min<int64_t>(layersHeld, BlockLayout::kMaxLayers)));
        paths_ = std::clamp(view_.PathCount(), 0, BlockLayout::kMaxStackEntries - Slots());
    }

    explicit operator bool() const { return static_cast<bool>(parameters_) && view_.HoldsLayer(0); }
    const ParameterBlockView& View() const { return view_; }
    int32_t Layers() const { return layers_; }
    int32_t Paths() const { return paths_; }
    int32_t Slots() const { return std::max(layers_, 1); }
    bool IsLayer(int32_t i) const { return i >= 0 && i < layers_; }

    // Record i: layer i below max(N,1), path records after.
    std::optional<RecordRef> Record(int32_t i) const {
        if (!*this || i < 0 || i >= Slots() + paths_) return std::nullopt;
        const bool layer = i < Slots();
        const int64_t offset = ParameterBlockView::RecordOffset(i, Slots());
        const int64_t length = layer ? LayerLayout::kLength : PathLayout::kLength;
        if (offset + length > view_.Length()) return std::nullopt;
        return RecordRef(view_.Bytes() + offset);
    }
    // Layer i's record (i in 0..N-1); every caller checks IsLayer first.
    RecordRef Layer(int32_t i) const { return *Record(i); }

    int32_t SelectedIndex() const { return *this ? view_.Block().Get(BlockLayout::kSelectedLayer) : -1; }
    // The selected layer, or 0 when the photo row is selected.
    int32_t SelectedOrFirst() const {
        const int32_t selected = SelectedIndex();
        return IsLayer(selected) ? selected : 0;
    }

    int32_t Photo() const { return photo_; }
    int32_t ToLayer(int32_t position) const {
        if (position < 0 || position >= layers_ + 1 || position == photo_) return -1;
        return position < photo_ ? position : position - 1;
    }
    int32_t ToListPos(int32_t layer) const { return layer >= photo_ ? layer + 1 : layer; }

private:
    LockedParameters parameters_;
    ParameterBlockView view_;
    int32_t photo_ = 0;
    int32_t layers_ = 0;
    int32_t paths_ = 0;
};

// The model's block and photo row, locked while the stack lives.
Stack StackOf(const QuorvelBase& model) { return Stack(model.Parameters(), model.TargetLayerPos()); }

// The block whose selection and edge index follow the current one, when the run-time link names
// one; locked while this lives.
class TwinBlock {
public:
    explicit TwinBlock(const ParameterBlockView& block)
        : length_(GetHandleSize(LinkedHandle(block))), lock_(LinkedHandle(block)), bytes_(lock_.As<uint8_t>()) {}

    // The twin's header, when it has one.
    std::optional<RecordRef> Header() const {
        if (!bytes_ || length_ < BlockLayout::kLayers) return std::nullopt;
        return RecordRef(bytes_);
    }
    std::optional<RecordRef> Layer(int32_t i) const {
        const ParameterBlockView view(bytes_, length_);
        if (!bytes_ || !view.HoldsLayer(i)) return std::nullopt;
        return view.Layer(i);
    }

private:
    static Handle LinkedHandle(const ParameterBlockView& block) {
        Handle handle = nullptr;
        std::memcpy(&handle, block.Bytes(), sizeof handle);
        return handle;
    }

    int64_t length_ = 0;
    LockedHandle lock_;
    uint8_t* bytes_ = nullptr;
};

bool LinkedToPrevious(const Stack& stack, int32_t i) { return stack.Layer(i).Get(LayerLayout::kLinkedPrevious) != 0; }
bool LinkedToNext(const Stack& stack, int32_t i) { return stack.Layer(i).Get(LayerLayout::kLinkedNext) != 0; }

// The outer ends of the stack never link onward.
void UnlinkStackEnds(const Stack& stack) {
    if (stack.Layers() == 0) return;
    stack.Layer(0).Set(LayerLayout::kLinkedPrevious, 0);
    stack.Layer(stack.Layers() - 1).Set(LayerLayout::kLinkedNext, 0);
}

// A group's end as a list row, or -1 when there is none.
int32_t GroupEndListPos(const QuorvelBase& model, int32_t position, int32_t (QuorvelBase::*groupEnd)(int32_t) const) {
    int32_t layer = -1;
    {
        const Stack stack = StackOf(model);
        if (position < 0 || position > stack.Layers()) return -1;
        if (position == stack.Photo()) return position;
        layer = stack.ToLayer(position);
    }
    const int32_t end = (model.*groupEnd)(layer);
    if (end < 0) return -1;
    return StackOf(model).ToListPos(end);
}

bool EffectIsPartlyTransparent(RecordRef effect) {
    return effect.Get(EffectLayout::kOn) != 0 && effect.Get(EffectLayout::kOpacity) > 0 &&
           effect.Sub(EffectLayout::kColour).Get(ColourLayout::kAlpha) < ColourLayout::kOpaque;
}

// ---- Surface texture

// The blur radius of a layer's surface texture: the bevel's texture blur times 2.4, rounded.
int32_t TextureBlurRadius(RecordRef bevel) {
    const float blur = SettingsRanges::TextureBlur(bevel.Get(BevelLayout::kTextureBlur));
    return static_cast<int32_t>(static_cast<double>(blur) * 2.4 + 0.5);
}

// The path record image a layer's bevel names for its texture, when it is loaded and whole.
// The path record a layer's bevel names for its texture (1..M) when its image is not missing,
// else 0.
int32_t TextureIndex(const Stack& stack, const LayerStateTable& states, RecordRef layer) {
    const int32_t k = BevelOf(layer).Get(BevelLayout::kSurfaceTexture);
    if (k < 1 || k > stack.Paths()) return 0;
    const LayerState* source = states.At(stack.Slots() + k - 1);
    return source && !source->imageMissing ? k : 0;
}

LayerState* TextureSource(const Stack& stack, const LayerStateTable& states, RecordRef layer) {
    const int32_t k = TextureIndex(stack, states, layer);
    if (k == 0) return nullptr;
    LayerState* source = states.At(stack.Slots() + k - 1);
    if (source->imagePlanes < 1) return nullptr;
    const Rect16& b = source->imageBounds;
    const int64_t width = int64_t{b.right} - b.left, height = int64_t{b.bottom} - b.top;
    if (width < 1 || height < 1) return nullptr;
    if (source->imageBuffers[0].size < static_cast<uint64_t>(width * height * source->imagePlanes)) return nullptr;
    return source;
}

// Fills the texture with the grey of the source tiled from the document origin: pixel (y, x) takes
// the source pixel (y mod h, x mod w), the mean of its planes rounded.
void TileGreyTexture(const uint8_t* source, int32_t w, int32_t h, int32_t planes, const Rect16& bounds, uint8_t* texture) {
    const int32_t width = int32_t{bounds.right} - bounds.left;
    for (int32_t y = bounds.top; y < bounds.bottom; ++y) {
        const int32_t sy = ((y % h) + h) % h;
        const uint8_t* row = source + int64_t{sy} * w * planes;
        uint8_t* out = texture + int64_t{y - bounds.top} * width;
        int32_t sx = ((bounds.left % w) + w) % w;
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* pixel = row + int64_t{sx} * planes;
            int32_t sum = 0;
            for (int32_t p = 0; p < planes; ++p) sum += pixel[p];
            out[x] = static_cast<uint8_t>((sum + planes / 2) / planes);
            if (++sx == w) sx = 0;
        }
    }
}

// Applies convert to the frame source of every record that names a file: records 0 through
// max(N,1) + M - 1, the last path record included.
template <typename Convert>
void ForEachFrameSource(const Stack& stack, Convert convert) {
    for (int32_t i = 0; i < stack.Slots() + stack.Paths(); ++i) {
        const auto record = stack.Record(i);
        if (!record || HoldsShape(*record)) continue;
        FileSpec spec;
        std::memcpy(spec.bytes, record->At(LayerLayout::kSource), FileSpec::kSize);
        if (convert(spec)) std::memcpy(record->At(LayerLayout::kSource), spec.bytes, FileSpec::kSize);
    }
}

}  // namespace

// ---- Photo position and list positions

void QuorvelBase::SetTargetLayerPos(int32_t position) {
    if (position < 0) return;
    if (position < StackOf(*this).Layers() + 1) state_.photoPosition = position;
}

int32_t QuorvelBase::ListPosToLayer(int32_t position) const {
    return StackOf(*this).ToLayer(position);
}

int32_t QuorvelBase::GetSelectedListPos() const {
    const Stack stack = StackOf(*this);
    const int32_t selected = stack.SelectedIndex();
    if (!stack.IsLayer(selected)) return stack.Photo();
    return stack.ToListPos(selected);
}

void QuorvelBase::SetSelectedListPos(int32_t position) {
    const Stack stack = StackOf(*this);
    if (!stack) return;
    const int16_t layer = static_cast<int16_t>(stack.ToLayer(position));
    stack.View().Block().Set(BlockLayout::kSelectedLayer, layer);
    const TwinBlock twin(stack.View());
    if (const auto header = twin.Header()) header->Set(BlockLayout::kSelectedLayer, layer);
}

void QuorvelBase::SetSelectedPathRecord(int32_t index) {
    const Stack stack = StackOf(*this);
    if (!stack) return;
    const auto selected = static_cast<int16_t>(index);
    stack.View().Block().Set(BlockLayout::kSelectedPath, selected);
    const TwinBlock twin(stack.View());
    if (const auto header = twin.Header()) header->Set(BlockLayout::kSelectedPath, selected);
}

// ---- Records

void QuorvelBase::LinkTwinBlock(Handle twin) {
    const Stack stack = StackOf(*this);
    if (stack) std::memcpy(stack.View().Bytes(), &twin, sizeof twin);
}

std::optional<RecordRef> QuorvelBase::LayerRecord(int32_t index) const { return StackOf(*this).Record(index); }

std::optional<RecordRef> QuorvelBase::SelectedLayerRecord() const {
    const Stack stack = StackOf(*this);
    return stack.Record(stack.SelectedOrFirst());
}

std::optional<RecordRef> QuorvelBase::SelectedLayerEffect(int32_t kind) const {
    const auto layer = SelectedLayerRecord();
    if (!layer || kind < 0 || kind >= LayerLayout::kEffectCount) return std::nullopt;
    return EffectOf(*layer, kind);
}

std::optional<RecordRef> QuorvelBase::SelectedLayerBevel() const {
    const auto layer = SelectedLayerRecord();
    if (!layer) return std::nullopt;
    return BevelOf(*layer);
}

std::optional<RecordRef> QuorvelBase::SelectedLayerEdge() const {
    const auto layer = SelectedLayerRecord();
    if (!layer) return std::nullopt;
    const int32_t slot = layer->Get(LayerLayout::kEdgeIndex);
    if (slot >= LayerLayout::kEdgeCount) return std::nullopt;
    return EdgeOf(*layer, slot);
}

void QuorvelBase::SetSelectedEdgeIndex(int32_t index, bool blockOnly) {
    if (index < 0 || index >= LayerLayout::kEdgeCount) return;
    const Stack stack = StackOf(*this);
    const int32_t selected = stack.SelectedOrFirst();
    const auto layer = stack.Record(selected);
    if (!layer) return;
    layer->Set(LayerLayout::kEdgeIndex, static_cast<uint8_t>(index));
    if (blockOnly) return;
    const TwinBlock twin(stack.View());
    if (const auto twinLayer = twin.Layer(selected)) twinLayer->Set(LayerLayout::kEdgeIndex, static_cast<uint8_t>(index));
}

int32_t QuorvelBase::GetSelectedEdgeIndex() const {
    const auto layer = SelectedLayerRecord();
    return layer ? layer->Get(LayerLayout::kEdgeIndex) : 0;
}

int32_t QuorvelBase::CurrentLayerIndex() const { return StackOf(*this).SelectedOrFirst(); }

int32_t QuorvelBase::SurfaceTextureIndex(int32_t layer) const {
    const Stack stack = StackOf(*this);
    return stack.IsLayer(layer) ? TextureIndex(stack, LayerStates(), stack.Layer(layer)) : 0;
}

int32_t QuorvelBase::SelectedLayerMode() const {
    const Stack stack = StackOf(*this);
    const int32_t selected = stack.SelectedIndex();
    if (!stack.IsLayer(selected) || selected >= LayerStates().Count()) return 0;
    return stack.Layer(selected).Get(LayerLayout::kBackgroundTexture);
}

// ---- Links

bool QuorvelBase::LayersLinked(int32_t a, int32_t b) const {
    const Stack stack = StackOf(*this);
    if (!stack.IsLayer(a) || !stack.IsLayer(b)) return false;
    for (int32_t i = std::min(a, b); i < std::max(a, b); ++i)
        if (!LinkedToNext(stack, i)) return false;
    return true;
}

bool QuorvelBase::ListPosLinked(int32_t a, int32_t b) const {
    int32_t la = -1, lb = -1;
    {
        const Stack stack = StackOf(*this);
        la = stack.ToLayer(a);
        lb = stack.ToLayer(b);
    }
    return la >= 0 && lb >= 0 && LayersLinked(la, lb);
}

void QuorvelBase::LinkAllLayers() {
    const Stack stack = StackOf(*this);
    for (int32_t i = 0; i < stack.Layers(); ++i) {
        stack.Layer(i).Set(LayerLayout::kLinkedPrevious, 1);
        stack.Layer(i).Set(LayerLayout::kLinkedNext, 1);
    }
    UnlinkStackEnds(stack);
    const int32_t photo = stack.Photo();
    if (photo > 0 && photo < stack.Layers()) {
        stack.Layer(photo - 1).Set(LayerLayout::kLinkedNext, 0);
        stack.Layer(photo).Set(LayerLayout::kLinkedPrevious, 0);
    }
}

void QuorvelBase::SetLinkRange(int32_t a, int32_t b, uint8_t value) {
    const Stack stack = StackOf(*this);
    UnlinkStackEnds(stack);
    if (a == b || !stack.IsLayer(a) || !stack.IsLayer(b)) return;
    const int32_t lo = std::min(a, b), hi = std::max(a, b);
    for (int32_t i = lo; i < hi; ++i) stack.Layer(i).Set(LayerLayout::kLinkedNext, value);
    for (int32_t i = lo + 1; i <= hi; ++i) stack.Layer(i).Set(LayerLayout::kLinkedPrevious, value);
}

int32_t QuorvelBase::FirstLinkedLayer(int32_t layer) const {
    const Stack stack = StackOf(*this);
    if (!stack.IsLayer(layer)) return -1;
    while (layer > 0 && LinkedToPrevious(stack, layer)) --layer;
    return layer;
}

int32_t QuorvelBase::LastLinkedLayer(int32_t layer) const {
    const Stack stack = StackOf(*this);
    if (!stack.IsLayer(layer)) return -1;
    while (layer < stack.Layers() - 1 && LinkedToNext(stack, layer)) ++layer;
    return layer;
}

int32_t QuorvelBase::FirstLinkedListPos(int32_t position) const {
    return GroupEndListPos(*this, position, &QuorvelBase::FirstLinkedLayer);
}
int32_t QuorvelBase::LastLinkedListPos(int32_t position) const {
    return GroupEndListPos(*this, position, &QuorvelBase::LastLinkedLayer);
}

// ---- Layer state

bool QuorvelBase::IsLayerInverted(int32_t layer) const {
    const Stack stack = StackOf(*this);
    if (layer < 0) layer = stack.SelectedOrFirst();
    if (layer >= stack.Slots()) return false;
    const auto record = stack.Record(layer);
    if (!record) return false;
    const bool invert = record->Get(LayerLayout::kInvert) != 0;
    const LayerState* state = LayerStates().At(layer);
    const bool imageInverted = state && state->imagePolarity >= LayerState::kInvertedPolarity;
    return invert != imageInverted;
}

int32_t QuorvelBase::CountTransparentEffects(int32_t inputTransparencyMasks) const {
    if (inputTransparencyMasks < 1) return 0;
    const Stack stack = StackOf(*this);
    int32_t count = 0;
    for (int32_t i = 0; i < stack.Layers(); ++i) {
        const RecordRef layer = stack.Layer(i);
        if (layer.Get(LayerLayout::kEnabled) == 0) continue;
        for (int32_t kind = 0; kind < LayerLayout::kEffectCount; ++kind)
            if (EffectIsPartlyTransparent(EffectOf(layer, kind))) ++count;
    }
    return count;
}

void QuorvelBase::InvalidateLayerCache(int32_t which) {
    if (which < 0) {
        for (int32_t i = 0; i < LayerStates().Count(); ++i) LayerStates().At(i)->cacheValid = false;
        return;
    }
    const int32_t layer = which == 0 ? StackOf(*this).SelectedOrFirst() : which - 1;
    if (LayerState* state = LayerStates().At(layer)) state->cacheValid = false;
}

void QuorvelBase::PrepareLayerSecondaryImage(int32_t layer) {
    const Stack stack = StackOf(*this);
    LayerState* state = LayerStates().At(layer);
    if (!state || state->cacheValid) return;
    const auto record = layer < stack.Slots() ? stack.Record(layer) : std::nullopt;
    LayerState* source = record ? TextureSource(stack, LayerStates(), *record) : nullptr;
    state->texturePresent = source != nullptr;
    if (!source) {
        state->cacheValid = true;
        return;
    }
    const Rect16& from = source->imageBounds;
    const int32_t w = int32_t{from.right} - from.left, h = int32_t{from.bottom} - from.top;
    const int32_t radius = TextureBlurRadius(BevelOf(*record));
    const int32_t margin = radius + 1;
    const int32_t top = from.top - margin, left = from.left - margin;
    const int32_t bottom = from.bottom + margin, right = from.right + margin;
    if (top < INT16_MIN || left < INT16_MIN || bottom > INT16_MAX || right > INT16_MAX)
        THROW_IF_ERROR(Err::MemoryFull);
    const Rect16 bounds{static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(bottom),
                        static_cast<int16_t>(right)};
    THROW_IF_ERROR(state->textureBuffer.Allocate(int64_t{bottom - top} * (right - left)));
    const LockedBuffer pixelLock(source->imageBuffers[0]);
    const LockedBuffer textureLock(state->textureBuffer);
    const auto* pixels = pixelLock.As<const uint8_t>();
    auto* texture = textureLock.As<uint8_t>();
    state->textureBounds = bounds;
    if (pixels && texture) {
        TileGreyTexture(pixels, w, h, source->imagePlanes, bounds, texture);
        if (radius > 0) {
            // The blur reads radius pixels round the area it writes and packs its result at the
            // start of the buffer: from then on the buffer holds the area inside that margin.
            const Rect16 blurred{static_cast<int16_t>(top + radius), static_cast<int16_t>(left + radius),
                                 static_cast<int16_t>(bottom - radius), static_cast<int16_t>(right - radius)};
            BufferRecord kernel;
            ImageMakeGaussKernel(kernel, radius);
            ImageBlurPlane(&kernel, blurred, texture);
            state->textureBounds = blurred;
        }
    }
    state->cacheValid = true;
}

// ---- Frame paths

void QuorvelBase::MakeFramePathsRelative(std::string_view baseFolder) {
    ForEachFrameSource(StackOf(*this), [baseFolder](FileSpec& spec) {
        spec.ToRelative(baseFolder);
        return true;
    });
}

ErrorCode QuorvelBase::MakeFramePathsAbsolute(std::string_view baseFolder) {
    ErrorCode first = Err::None;
    ForEachFrameSource(StackOf(*this), [baseFolder, &first](FileSpec& spec) {
        const ErrorCode error = spec.ToAbsolute(baseFolder);
        if (error && !first) first = error;
        return error == Err::None;
    });
    return first;
}

// ---- Layer settings

void QuorvelBase::InitLayerRecord(int32_t layer, bool keepEdges) {
    const LockedParameters parameters = Lock();
    if (!parameters) return;
    const ParameterBlockView block = parameters.View();
    if (layer >= block.LayerSlots() || !block.HoldsLayer(layer)) return;
    SettingsInitLayerRecord(block.Layer(layer), keepEdges);
}

bool QuorvelBase::ResetBackgroundPlacement() {
    const LockedParameters parameters = Lock();
    return parameters && SettingsResetBackgroundPlacement(parameters.View());
}
