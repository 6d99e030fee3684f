// The stand-in host (QuorvelHostCore) held open for the framework's tests, which drive a filter
// in-process between the host's callbacks instead of through an entry: one document of the
// filter record's image mode, an optional selection mask over the whole document, layers beside
// the target, and the host's own pixel, buffer, handle, progress, abort and channel-port services.
// The session opens at its first call and stays open while the object lives; sessions open and
// end in nesting order.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ErrorCodes.h"
#include "HostCall.h"
#include "PluginInterface.h"

namespace qvhost {
class HostSession;
struct HostOptions;
class Document;
}  // namespace qvhost

class PhotoshopFilter;

class InProcessHost {
public:
    InProcessHost(int16_t imageMode, int32_t width, int32_t height);
    ~InProcessHost();
    InProcessHost(const InProcessHost&) = delete;
    InProcessHost& operator=(const InProcessHost&) = delete;

    FilterRecord& Record();
    intptr_t& DataWord();
    // Installs this host's record as the call's (as the plug-in entry does).
    void BeginCall(int16_t selector = kSelectorStart);
    // The host's call: each BeginCall opens it anew, so a filter built with it serves every call.
    HostCall& Call() { return call_; }
    // Takes the last output back, as a host does when the call returns.
    void EndCall();
    // One start call as the host makes it, with the filter as the main object.
    ErrorCode RunStart(PhotoshopFilter& filter);
    // A linked instance over this host's document, as the start routine makes one.
    void StartInstance(PhotoshopFilter& filter);

    int32_t Planes() const { return planes_; }
    int32_t BytesPerSample() const { return bytes_; }
    // Sample of the document in the host's range (0..255, or 0..32768).
    uint32_t Sample(int32_t row, int32_t column, int32_t plane) const;
    void SetSample(int32_t row, int32_t column, int32_t plane, uint32_t value);
    void FillPattern();
    // Selects the whole document with this coverage (0..255) per pixel.
    void SetMask(std::function<uint8_t(int32_t row, int32_t column)> mask);
    uint8_t MaskAt(int32_t row, int32_t column) const { return mask_[size_t(row) * width_ + column]; }

    // A layer beside the target, read through the host's channel ports: its pixels lie inside
    // bounds, each sample (colour planes, then transparency) given in the host's range by
    // sample(row, column, plane). Without a transparency channel the layer is opaque. Set before
    // the first call.
    struct Layer {
        Rect16 bounds;
        std::function<uint16_t(int32_t row, int32_t column, int32_t plane)> sample;
        bool transparencyChannel = true;
    };
    void SetCompanionLayers(const Layer& below, const Layer& above);
    int32_t PortReads() const;

    void SetBufferSpace(int32_t bytes);
    void SetSubsamples(bool subsamples) { Record().samplingSupport = subsamples ? 1 : 0; }
    // The abort callback answers true once the host has had this many progress calls; negative: never.
    void AbortAfter(int32_t progressCalls);
    int32_t AdvanceCalls() const;
    int32_t ProgressCalls() const;
    int32_t LastInputRate() const;
    int64_t BytesDelivered() const;

private:
    qvhost::HostSession& Session();
    const qvhost::HostSession& OpenSession() const;
    // The document: the options' before the session opens, the session's after.
    qvhost::Document& Document();

    int32_t width_, height_, planes_, bytes_;
    std::vector<uint8_t> mask_;
    std::unique_ptr<qvhost::HostOptions> options_;
    std::unique_ptr<qvhost::HostSession> session_;
    // The call this host installed, which the filters it serves are built with; it goes before
    // the session whose record it names.
    HostCall call_;
    std::optional<HostCallScope> scope_;
};
