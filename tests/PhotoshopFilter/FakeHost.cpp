#include "FakeHost.h"

#include <algorithm>
#include <cstring>

#include "HostMemory.h"
#include "ImageModes.h"
#include "PhotoshopFilter.h"
#include "PluginMain.h"

namespace {

FakeHost* gHost = nullptr;

bool Empty(const Rect16& r) { return r.top >= r.bottom || r.left >= r.right; }

}  // namespace

FakeHost::FakeHost(int16_t imageMode, int32_t width, int32_t height)
    : width_(width), height_(height), planes_(ColourPlanesOfMode(imageMode)),
      bytes_(FindImageMode(imageMode)->bytesPerSample) {
    image_.assign(size_t(width) * height * planes_ * bytes_, 0);
    record_.imageMode = imageMode;
    record_.imageSize = Point16{static_cast<int16_t>(height), static_cast<int16_t>(width)};
    record_.wholeSize = record_.imageSize;
    record_.planes = static_cast<int16_t>(planes_);
    record_.filterRect = Rect16{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
    record_.filterCase = kFilterCaseFlatImageWithSelection;
    record_.hostSig = 'QTST';
    record_.advanceState = AdvanceStateProc;
    record_.abortProc = AbortProc;
    record_.progressProc = ProgressProc;
    record_.supportsPadding = 1;
    record_.samplingSupport = 1;
    record_.depth = bytes_ * 8;
    bufferProcs_ = BufferProcs{2, 5, BufferAllocate, BufferLock, BufferUnlock, BufferFree, BufferSpaceProc};
    record_.bufferProcs = &bufferProcs_;
    record_.platformData = &platform_;
    // A scripted call that shows no dialog: the host hands over a descriptor (its contents are
    // the script reader's business, which these tests leave out).
    scriptDescriptor_ = reinterpret_cast<char*>(&scriptBytes_);
    descriptorParameters_.playInfo = kPlayDontDisplay;
    descriptorParameters_.descriptor = &scriptDescriptor_;
    record_.descriptorParameters = &descriptorParameters_;
    gHost = this;
}

FakeHost::~FakeHost() {
    FreeAllBuffers();
    if (gHost == this) gHost = nullptr;
    if (gCall.record == &record_) gCall = CallGlobals{};
}

void FakeHost::BeginCall(int16_t selector) {
    gHost = this;
    gCall = CallGlobals{};
    gCall.record = &record_;
    gCall.selector = selector;
    gCall.data = &data_;
    gCall.bytesPerSample = BytesPerSampleForMode(record_.imageMode);
    gCall.is16Bit = gCall.bytesPerSample == 2;
}

uint32_t FakeHost::Sample(int32_t row, int32_t column, int32_t plane) const {
    const size_t at = ((size_t(row) * width_ + column) * planes_ + plane) * bytes_;
    if (bytes_ == 1) return image_[at];
    uint16_t v;
    std::memcpy(&v, &image_[at], 2);
    return v;
}

void FakeHost::SetSample(int32_t row, int32_t column, int32_t plane, uint32_t value) {
    const size_t at = ((size_t(row) * width_ + column) * planes_ + plane) * bytes_;
    if (bytes_ == 1) {
        image_[at] = static_cast<uint8_t>(value);
    } else {
        const uint16_t v = static_cast<uint16_t>(value);
        std::memcpy(&image_[at], &v, 2);
    }
}

void FakeHost::FillPattern() {
    for (int32_t y = 0; y < height_; ++y)
        for (int32_t x = 0; x < width_; ++x)
            for (int32_t p = 0; p < planes_; ++p) {
                const uint32_t v = uint32_t(y * 7 + x * 13 + p * 61);
                SetSample(y, x, p, bytes_ == 1 ? v % 256 : (v * 257 + uint32_t(x)) % 32769);
            }
}

void FakeHost::SetMask(std::function<uint8_t(int32_t, int32_t)> mask) {
    mask_.resize(size_t(width_) * height_);
    for (int32_t y = 0; y < height_; ++y)
        for (int32_t x = 0; x < width_; ++x) mask_[size_t(y) * width_ + x] = mask(y, x);
    record_.haveMask = 1;
}

OSErr16 FakeHost::AdvanceStateProc() { return gHost->Advance(); }

void FakeHost::SetCompanionLayers(Layer below, Layer above) {
    layers_[0] = std::move(below);
    layers_[1] = std::move(above);
    // Per layer: the colour channels, then the transparency channel.
    channels_.clear();
    for (const Layer& layer : layers_)
        for (int32_t plane = 0; plane <= planes_; ++plane) channels_.push_back({&layer, plane});
    channelDescs_.assign(channels_.size(), ReadChannelDesc{});
    for (size_t i = 0; i < channels_.size(); ++i) {
        ReadChannelDesc& desc = channelDescs_[i];
        desc.minVersion = desc.maxVersion = 1;
        desc.port = reinterpret_cast<ChannelReadPort>(&channels_[i]);
        desc.depth = bytes_ * 8;
        const bool lastColour = channels_[i].plane == planes_ - 1;
        desc.next = channels_[i].plane < planes_ && !lastColour ? &channelDescs_[i + 1] : nullptr;
    }
    const size_t perLayer = size_t(planes_) + 1;
    for (int index : {0, 2}) {
        const size_t first = (index == 0 ? 0 : perLayer);
        ReadLayerDesc& desc = layerDescs_[index];
        desc.compositeChannelsList = &channelDescs_[first];
        desc.transparency = layers_[index / 2].transparencyChannel ? &channelDescs_[first + planes_] : nullptr;
    }
    // The target layer is known by its ports: they are the document's target channels.
    targetDesc_.port = reinterpret_cast<ChannelReadPort>(&targetDesc_);
    layerDescs_[1].compositeChannelsList = &targetDesc_;
    layerDescs_[0].next = &layerDescs_[1];
    layerDescs_[1].next = &layerDescs_[2];
    documentInfo_.document.maxVersion = kDocumentDescVersionWithLayers;
    documentInfo_.document.targetCompositeChannels = &targetDesc_;
    documentInfo_.layersDescriptor = layerDescs_;
    channelPorts_ = {1, 3, ReadPixelsProc, nullptr, nullptr};
    record_.documentInfo = &documentInfo_.document;
    record_.channelPortProcs = &channelPorts_;
    record_.inTransparencyMask = 1;
}

OSErr16 FakeHost::ReadPixelsProc(ChannelReadPort port, const PSScaling* scaling, const Rect32*,
                                 const PixelMemoryDesc* destination, Rect32* wrote) {
    ++gHost->portReads_;
    const Channel& channel = *reinterpret_cast<const Channel*>(port);
    const Rect32& to = scaling->destinationRect;
    const int32_t s = std::max((scaling->sourceRect.bottom - scaling->sourceRect.top) / std::max(to.bottom - to.top, 1), 1);
    const Rect16& b = channel.layer->bounds;
    // The layer's pixels at this scale.
    const Rect32 inside{std::max(to.top, (b.top + s - 1) / s), std::max(to.left, (b.left + s - 1) / s),
                        std::min(to.bottom, (b.bottom + s - 1) / s), std::min(to.right, (b.right + s - 1) / s)};
    *wrote = inside;
    const int32_t bytes = destination->depth / 8;
    for (int32_t y = inside.top; y < inside.bottom; ++y)
        for (int32_t x = inside.left; x < inside.right; ++x) {
            const uint16_t value = channel.layer->sample(y * s, x * s, channel.plane);
            char* at = static_cast<char*>(destination->data) + int64_t{y - to.top} * (destination->rowBits / 8) +
                       int64_t{x - to.left} * (destination->colBits / 8);
            if (bytes == 1) {
                *at = static_cast<char>(value);
            } else {
                const uint16_t wide = InternalToHost16(value);  // channels of version 1 deliver 0..65535
                std::memcpy(at, &wide, 2);
            }
        }
    return 0;
}

Boolean8 FakeHost::AbortProc() {
    if (gHost->abortAfter_ < 0) return 0;
    return gHost->abortCalls_++ >= gHost->abortAfter_ ? 1 : 0;
}

void FakeHost::ProgressProc(int32_t, int32_t) { ++gHost->progressCalls_; }

OSErr16 FakeHost::BufferAllocate(int32_t size, BufferID* id) {
    if (size < 0 || size > gHost->bufferSpace_ - gHost->heldBytes_) return -108;
    auto* block = new (std::nothrow) std::vector<char>(size_t(std::max(size, 1)));
    if (!block) return -108;
    gHost->heldBytes_ += int64_t(block->size());
    *id = reinterpret_cast<BufferID>(block);
    return 0;
}

char* FakeHost::BufferLock(BufferID id, Boolean8) { return reinterpret_cast<std::vector<char>*>(id)->data(); }

void FakeHost::BufferFree(BufferID id) {
    auto* block = reinterpret_cast<std::vector<char>*>(id);
    if (gHost) gHost->heldBytes_ -= int64_t(block->size());
    delete block;
}

int32_t FakeHost::BufferSpaceProc() { return static_cast<int32_t>(gHost->bufferSpace_ - gHost->heldBytes_); }

void FakeHost::EndCall() { CommitOutput(); }

ErrorCode FakeHost::RunStart(PhotoshopFilter& filter) {
    BeginCall();
    gFilters.main = &filter;
    const ErrorCode result = DoStart();
    gFilters.main = nullptr;
    EndCall();
    return result;
}

void FakeHost::StartInstance(PhotoshopFilter& filter) {
    BeginCall();
    filter.CheckHost();
    PhotoshopFilter::InitPreviewInstance(filter);
}

void FakeHost::CommitOutput() {
    if (Empty(pendingOut_)) return;
    const int32_t planes = pendingHigh_ - pendingLow_ + 1;
    const size_t rowBytes = size_t(pendingOut_.right - pendingOut_.left) * planes * bytes_;
    for (int32_t y = pendingOut_.top; y < pendingOut_.bottom; ++y)
        for (int32_t x = pendingOut_.left; x < pendingOut_.right; ++x)
            for (int32_t p = 0; p < planes; ++p) {
                const size_t at = (y - pendingOut_.top) * rowBytes + (size_t(x - pendingOut_.left) * planes + p) * bytes_;
                uint32_t v = out_[at];
                if (bytes_ == 2) {
                    uint16_t s;
                    std::memcpy(&s, &out_[at], 2);
                    v = s;
                }
                if (y >= 0 && y < height_ && x >= 0 && x < width_ && pendingLow_ + p < planes_)
                    SetSample(y, x, pendingLow_ + p, v);
            }
    pendingOut_ = Rect16{};
}

void FakeHost::Deliver(const Rect16& rect, int32_t low, int32_t high, int32_t rate, int16_t padding,
                       std::vector<uint8_t>& buffer, void** data, int32_t* rowBytes, bool fromMask) {
    const int32_t f = std::max(rate >> 16, 1);
    const int32_t planes = fromMask ? 1 : high - low + 1;
    const int32_t bytes = bytes_;  // the mask has the document's depth
    const int32_t width = rect.right - rect.left, height = rect.bottom - rect.top;
    *rowBytes = width * planes * bytes;
    buffer.assign(size_t(*rowBytes) * height, static_cast<uint8_t>(padding >= 0 ? padding : 0));
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const int32_t sy = (rect.top + y) * f, sx = (rect.left + x) * f;
            if (sy < 0 || sy >= height_ || sx < 0 || sx >= width_) continue;
            uint8_t* to = &buffer[size_t(y) * *rowBytes + size_t(x) * planes * bytes];
            if (fromMask) {
                const uint8_t coverage = mask_.empty() ? 255 : MaskAt(sy, sx);
                if (bytes_ == 1) {
                    *to = coverage;
                } else {
                    const uint16_t wide = Widen8To16(coverage);
                    std::memcpy(to, &wide, 2);
                }
                continue;
            }
            for (int32_t p = 0; p < planes; ++p) {
                const uint32_t v = Sample(sy, sx, low + p);
                if (bytes == 1) to[p] = static_cast<uint8_t>(v);
                else std::memcpy(to + 2 * p, &v, 2);
            }
        }
    bytesDelivered_ += int64_t(buffer.size());
    *data = buffer.data();
}

OSErr16 FakeHost::Advance() {
    ++advanceCalls_;
    lastInputRate_ = record_.inputRate;
    CommitOutput();
    FilterRecord& r = record_;
    const int32_t inRate = record_.samplingSupport && r.inputRate ? r.inputRate : 0x10000;
    const int32_t maskRate = record_.samplingSupport && r.maskRate ? r.maskRate : 0x10000;
    if (!Empty(r.inRect)) Deliver(r.inRect, r.inLoPlane, r.inHiPlane, inRate, r.inputPadding, in_, &r.inData, &r.inRowBytes, false);
    if (!Empty(r.maskRect))
        Deliver(r.maskRect, 0, 0, maskRate, r.maskPadding, maskOut_, &r.maskData, &r.maskRowBytes, true);
    if (!Empty(r.outRect)) {
        Deliver(r.outRect, r.outLoPlane, r.outHiPlane, 0x10000, 0, out_, &r.outData, &r.outRowBytes, false);
        pendingOut_ = r.outRect;
        pendingLow_ = r.outLoPlane;
        pendingHigh_ = r.outHiPlane;
    }
    return 0;
}
