// A small in-process host for the framework's tests: one document of interleaved planes (8-bit,
// or 16-bit in the 0..32768 range), an optional selection mask delivered at the document's depth,
// and the record's
// pixel, buffer, progress and abort callbacks over them. advanceState delivers the requested
// rectangles (subsampled when the record asks and the host is set to subsample) and writes the
// previous output back, as a host does.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "ErrorCodes.h"
#include "PluginGlobals.h"
#include "PluginInterface.h"

class PhotoshopFilter;

class FakeHost {
public:
    FakeHost(int16_t imageMode, int32_t width, int32_t height);
    ~FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    FilterRecord& Record() { return record_; }
    intptr_t& DataWord() { return data_; }
    // Installs this host's record as the call's (as the plug-in entry does).
    void BeginCall(int16_t selector = kSelectorStart);
    // Writes the last output back, as a host does when the call returns.
    void EndCall();
    // One start call as the host makes it, with the filter as the main object.
    ErrorCode RunStart(PhotoshopFilter& filter);
    // A linked instance over this host's document, as the start routine makes one.
    void StartInstance(PhotoshopFilter& filter);

    int32_t Planes() const { return planes_; }
    int32_t BytesPerSample() const { return bytes_; }
    // Sample of the document in the host's range.
    uint32_t Sample(int32_t row, int32_t column, int32_t plane) const;
    void SetSample(int32_t row, int32_t column, int32_t plane, uint32_t value);
    void FillPattern();
    // A selection mask over the whole document (0..255 per pixel).
    void SetMask(std::function<uint8_t(int32_t row, int32_t column)> mask);
    uint8_t MaskAt(int32_t row, int32_t column) const { return mask_[size_t(row) * width_ + column]; }

    // A layer beside the target, read through channel ports: its pixels lie inside bounds, each
    // sample (colour planes, then transparency) given in the system's range by sample(row, column,
    // plane). Without a transparency channel the host reports none.
    struct Layer {
        Rect16 bounds;
        std::function<uint16_t(int32_t row, int32_t column, int32_t plane)> sample;
        bool transparencyChannel = true;
    };
    // The document's layers become below, the target, above (the target with transparency).
    void SetCompanionLayers(Layer below, Layer above);
    int32_t PortReads() const { return portReads_; }

    void SetBufferSpace(int32_t bytes) { bufferSpace_ = bytes; }
    void SetSubsamples(bool subsamples) { record_.samplingSupport = subsamples ? 1 : 0; }
    // The abort callback answers true from the (n+1)-th call on; negative: never.
    void AbortAfter(int32_t calls) { abortAfter_ = calls; }
    int32_t AdvanceCalls() const { return advanceCalls_; }
    int32_t ProgressCalls() const { return progressCalls_; }
    int32_t LastInputRate() const { return lastInputRate_; }
    int64_t BytesDelivered() const { return bytesDelivered_; }

private:
    static OSErr16 AdvanceStateProc();
    static Boolean8 AbortProc();
    static void ProgressProc(int32_t done, int32_t total);
    static OSErr16 BufferAllocate(int32_t size, BufferID* id);
    static char* BufferLock(BufferID id, Boolean8);
    static void BufferUnlock(BufferID) {}
    static void BufferFree(BufferID id);
    static int32_t BufferSpaceProc();

    static OSErr16 ReadPixelsProc(ChannelReadPort port, const PSScaling* scaling, const Rect32* limit,
                                  const PixelMemoryDesc* destination, Rect32* wrote);
    OSErr16 Advance();
    void CommitOutput();
    void Deliver(const Rect16& rect, int32_t low, int32_t high, int32_t rate, int16_t padding,
                 std::vector<uint8_t>& buffer, void** data, int32_t* rowBytes, bool fromMask);

    FilterRecord record_{};
    BufferProcs bufferProcs_{};
    PlatformData platform_{};
    intptr_t data_ = 0;
    int32_t width_, height_, planes_, bytes_;
    std::vector<uint8_t> image_;
    std::vector<uint8_t> mask_;
    std::vector<uint8_t> in_, maskOut_, out_;
    Rect16 pendingOut_{};
    int32_t pendingLow_ = 0, pendingHigh_ = 0;
    int32_t bufferSpace_ = 64 << 20;
    int64_t heldBytes_ = 0;
    int32_t abortAfter_ = -1;
    int32_t abortCalls_ = 0;
    int32_t advanceCalls_ = 0;
    int32_t progressCalls_ = 0;
    int32_t lastInputRate_ = 0;

    // The companion layers and their channels; a channel's port is its entry here.
    struct Channel {
        const Layer* layer;
        int32_t plane;
    };
    Layer layers_[2];
    std::vector<Channel> channels_;
    std::vector<ReadChannelDesc> channelDescs_;
    DescriptorParameters descriptorParameters_{};
    char* scriptDescriptor_ = nullptr;
    uint64_t scriptBytes_ = 0;
    ReadChannelDesc targetDesc_{};
    ReadLayerDesc layerDescs_[3]{};
    ReadImageDocumentDescLayered documentInfo_{};
    ChannelPortProcs channelPorts_{};
    int32_t portReads_ = 0;
    int64_t bytesDelivered_ = 0;
};
