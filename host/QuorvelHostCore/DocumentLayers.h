// The document beyond the target layer's composite: layers below and above the target, named
// alpha channels and the selection as a channel, reported to the plug-in through the record's
// document information and read and written through channel ports.
//
// Every channel holds samples at the document's depth (0..255, or 0..32768 in a 16-bit document)
// for the whole document; a layer's channels have pixels only inside the layer's bounds.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "Document.h"
#include "PluginInterface.h"

namespace qvhost {

// Where the samples of a layer or channel come from, the first that is given: samples at the
// document's depth (one vector of width x height a plane), an image file of the document's size
// (PNG or JPEG, converted into the document's mode; a single channel takes its gray), or a fill
// of one 8-bit value a plane (the last value repeats; widened in a 16-bit document).
struct PixelSource {
    std::vector<std::vector<uint16_t>> planes;
    std::string file;
    std::vector<uint8_t> fill;
};

// A layer beside the target. Without transparency the layer is opaque and reports no
// transparency channel; without bounds its pixels cover the document.
struct LayerSpec {
    std::string name;
    PixelSource colour;
    std::optional<PixelSource> transparency;
    std::optional<PixelRect> bounds;
};

struct AlphaChannelSpec {
    std::string name;
    PixelSource samples;
};

// Parses the command line's "NAME=SOURCE" and "SOURCE": SOURCE is "fill:V[,V...]" (8-bit values)
// or an image file.
bool ParsePixelSource(const std::string& text, PixelSource& source);
bool ParseAlphaChannel(const std::string& text, AlphaChannelSpec& channel);

// One channel of the document as the ports see it.
struct HostChannel {
    std::string name;
    Document* document = nullptr;  // a plane of the live document, or
    int plane = 0;
    std::vector<uint16_t> samples;  // samples of the channel's own
    int32_t width = 0, height = 0;  // the document's size
    int depth = 8;
    PixelRect bounds;               // where the channel has pixels
    bool writable = false;
    // Distinct addresses that serve as the channel's read and write ports.
    char readToken = 0, writeToken = 0;

    uint16_t* Row(int32_t y);
    ChannelReadPort ReadPort() { return reinterpret_cast<ChannelReadPort>(&readToken); }
    ChannelWritePort WritePort() { return reinterpret_cast<ChannelWritePort>(&writeToken); }
};

// The layers and channels of a session and the document information that describes them.
class DocumentLayers {
public:
    DocumentLayers() = default;
    DocumentLayers(const DocumentLayers&) = delete;
    DocumentLayers& operator=(const DocumentLayers&) = delete;

    // Reads the layers and channels the options give, for this document. Answers false with a
    // message when a source cannot be read or does not fit the document.
    // The target's transparency, when given, becomes the document's transparency plane.
    bool Load(const std::vector<LayerSpec>& below, const std::vector<LayerSpec>& above,
              const std::vector<AlphaChannelSpec>& alphas, const std::optional<PixelSource>& targetTransparency,
              Document& document, std::string& error);
    // Describes the document as it is now (its selection included) in info; channels report
    // the host's tile size.
    void Describe(ReadImageDocumentDescLayered& info, int32_t tileSize);
    // Whether the document has layers beside a transparent target, or only a flat image.
    bool Layered() const { return !below_.empty() || !above_.empty() || target_.transparency; }

    // The channel behind a port, or null for an address that is no port of this document.
    HostChannel* FromReadPort(ChannelReadPort port);
    HostChannel* FromWritePort(ChannelWritePort port);
    // The alpha channel of that name, or null.
    const HostChannel* AlphaChannel(const std::string& name) const;

private:
    struct Layer {
        std::string name;
        std::vector<HostChannel*> colour;
        HostChannel* transparency = nullptr;
    };
    HostChannel& Add(HostChannel channel);
    bool LoadLayer(const LayerSpec& wanted, std::vector<Layer>& into, std::string& error);
    void DescribeSelection();
    // Links descriptions of the channels into a list and answers its head.
    ReadChannelDesc* Chain(const std::vector<HostChannel*>& channels, int32_t tileSize);
    ReadLayerDesc DescribeLayer(const Layer& layer, int32_t tileSize);

    Document* document_ = nullptr;
    std::deque<HostChannel> channels_;  // stable addresses: the ports point into them
    std::vector<Layer> below_, above_;
    Layer target_;
    std::vector<HostChannel*> alphas_;
    HostChannel* selection_ = nullptr;
    std::deque<ReadChannelDescWritable> descriptions_;
    std::vector<ReadLayerDesc> layers_;
};

}  // namespace qvhost
