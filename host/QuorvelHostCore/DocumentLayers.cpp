#include "DocumentLayers.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "ImageFiles.h"

namespace qvhost {
namespace {

const char* const kPlaneNames[3][4] = {{"Gray"}, {"Red", "Green", "Blue"}, {"Cyan", "Magenta", "Yellow", "Black"}};
constexpr char kTransparencyName[] = "Transparency";
constexpr char kSelectionName[] = "Selection";

using Planes = std::vector<std::vector<uint16_t>>;

size_t PlaneSize(const Document& document) {
    return static_cast<size_t>(document.Width()) * static_cast<size_t>(document.Height());
}

bool PlanesFromFile(const std::string& path, const Document& document, int count, Planes& planes, std::string& error) {
    RasterImage image;
    if (!ReadImageFile(path, image, error)) return false;
    if (image.width != document.Width() || image.height != document.Height()) {
        error = path + " is not the document's size";
        return false;
    }
    const ImageMode mode = count == 1 ? ImageMode{ColorMode::Gray, document.Mode().depth} : document.Mode();
    const Document read = Document::FromImage(image, mode);
    planes.assign(static_cast<size_t>(count), {});
    for (int p = 0; p < count; ++p) planes[p].assign(read.PlaneRow(p, 0), read.PlaneRow(p, 0) + PlaneSize(document));
    return true;
}

// The samples of count planes of the document's size from a source.
bool ResolvePlanes(const PixelSource& source, const Document& document, int count, Planes& planes, std::string& error) {
    const uint16_t full = document.Mode().FullValue();
    if (!source.planes.empty()) {
        const bool fits = source.planes.size() == static_cast<size_t>(count) &&
                          std::all_of(source.planes.begin(), source.planes.end(), [&](const std::vector<uint16_t>& plane) {
                              return plane.size() == PlaneSize(document) &&
                                     std::all_of(plane.begin(), plane.end(), [full](uint16_t v) { return v <= full; });
                          });
        if (!fits) {
            error = "given samples do not fit the document's size, planes or depth";
            return false;
        }
        planes = source.planes;
        return true;
    }
    if (!source.file.empty()) return PlanesFromFile(source.file, document, count, planes, error);
    if (source.fill.empty()) {
        error = "a layer or channel without samples";
        return false;
    }
    planes.assign(static_cast<size_t>(count), {});
    for (int p = 0; p < count; ++p) {
        const uint16_t value = source.fill[std::min<size_t>(static_cast<size_t>(p), source.fill.size() - 1)];
        planes[p].assign(PlaneSize(document), document.Mode().depth == 16 ? Widen8To16(value) : value);
    }
    return true;
}

Rect32 ToRect32(const PixelRect& r) { return {r.top, r.left, r.bottom, r.right}; }

PixelRect Clipped(const PixelRect& r, const Document& document) {
    return {std::clamp(r.top, 0, document.Height()), std::clamp(r.left, 0, document.Width()),
            std::clamp(r.bottom, 0, document.Height()), std::clamp(r.right, 0, document.Width())};
}

}  // namespace

bool ParsePixelSource(const std::string& text, PixelSource& source) {
    source = PixelSource{};
    constexpr char kFill[] = "fill:";
    if (text.rfind(kFill, 0) != 0) {
        source.file = text;
        return !text.empty();
    }
    const char* at = text.c_str() + sizeof kFill - 1;
    while (true) {
        errno = 0;
        char* end = nullptr;
        const long value = std::strtol(at, &end, 10);
        if (end == at || errno != 0 || value < 0 || value > 255) return false;
        source.fill.push_back(static_cast<uint8_t>(value));
        if (*end == '\0') return true;
        if (*end != ',') return false;
        at = end + 1;
    }
}

bool ParseAlphaChannel(const std::string& text, AlphaChannelSpec& channel) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0) return false;
    channel.name = text.substr(0, equals);
    return ParsePixelSource(text.substr(equals + 1), channel.samples);
}

uint16_t* HostChannel::Row(int32_t y) {
    return document ? document->PlaneRow(plane, y) : samples.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
}

HostChannel& DocumentLayers::Add(HostChannel channel) {
    channel.width = document_->Width();
    channel.height = document_->Height();
    channel.depth = document_->Mode().depth;
    return channels_.emplace_back(std::move(channel));
}

bool DocumentLayers::LoadLayer(const LayerSpec& wanted, std::vector<Layer>& into, std::string& error) {
    Planes colour;
    if (!ResolvePlanes(wanted.colour, *document_, document_->Planes(), colour, error)) return false;
    const PixelRect bounds = Clipped(wanted.bounds.value_or(document_->Bounds()), *document_);
    Layer layer{wanted.name, {}, nullptr};
    for (int p = 0; p < document_->Planes(); ++p)
        layer.colour.push_back(&Add({.name = kPlaneNames[static_cast<int>(document_->Mode().color)][p],
                                     .samples = std::move(colour[p]),
                                     .bounds = bounds}));
    if (wanted.transparency) {
        Planes transparency;
        if (!ResolvePlanes(*wanted.transparency, *document_, 1, transparency, error)) return false;
        layer.transparency = &Add({.name = kTransparencyName, .samples = std::move(transparency[0]), .bounds = bounds});
    }
    into.push_back(std::move(layer));
    return true;
}

bool DocumentLayers::Load(const std::vector<LayerSpec>& below, const std::vector<LayerSpec>& above,
                          const std::vector<AlphaChannelSpec>& alphas, const std::optional<PixelSource>& targetTransparency,
                          Document& document, std::string& error) {
    document_ = &document;
    if (targetTransparency) {
        Planes transparency;
        if (!ResolvePlanes(*targetTransparency, document, 1, transparency, error)) return false;
        document.SetTransparency(0);
        std::copy(transparency[0].begin(), transparency[0].end(), document.PlaneRow(document.Planes(), 0));
    }
    target_.name = "Target";
    for (int p = 0; p < document.SamplePlanes(); ++p) {
        const bool colour = p < document.Planes();
        HostChannel& channel =
            Add({.name = colour ? kPlaneNames[static_cast<int>(document.Mode().color)][p] : kTransparencyName,
                 .document = &document,
                 .plane = p,
                 .bounds = document.Bounds()});
        if (colour) target_.colour.push_back(&channel);
        else target_.transparency = &channel;
    }
    for (const LayerSpec& layer : below)
        if (!LoadLayer(layer, below_, error)) return false;
    for (const LayerSpec& layer : above)
        if (!LoadLayer(layer, above_, error)) return false;
    for (const AlphaChannelSpec& alpha : alphas) {
        Planes samples;
        if (!ResolvePlanes(alpha.samples, document, 1, samples, error)) return false;
        alphas_.push_back(&Add({.name = alpha.name, .samples = std::move(samples[0]), .bounds = document.Bounds(), .writable = true}));
    }
    return true;
}

void DocumentLayers::DescribeSelection() {
    if (!document_->HasSelection()) return;
    if (!selection_) selection_ = &Add({.name = kSelectionName, .bounds = document_->Bounds()});
    selection_->samples.resize(PlaneSize(*document_));
    const bool wide = document_->Mode().depth == 16;
    for (int32_t y = 0; y < document_->Height(); ++y)
        for (int32_t x = 0; x < document_->Width(); ++x) {
            const uint8_t coverage = document_->Coverage(x, y);
            selection_->Row(y)[x] = wide ? Widen8To16(coverage) : coverage;
        }
}

ReadChannelDesc* DocumentLayers::Chain(const std::vector<HostChannel*>& channels, int32_t tileSize) {
    ReadChannelDesc* head = nullptr;
    ReadChannelDesc** link = &head;
    for (size_t i = 0; i < channels.size(); ++i) {
        HostChannel& channel = *channels[i];
        ReadChannelDescWritable& entry = descriptions_.emplace_back();
        ReadChannelDesc& desc = entry.channel;
        desc.minVersion = 0;
        desc.maxVersion = kChannelDescVersionWithWritePort;
        desc.port = channel.ReadPort();
        desc.bounds = ToRect32(channel.bounds);
        desc.depth = channel.depth;
        desc.tileSize = {tileSize, tileSize};
        desc.channelType = static_cast<int16_t>(i + 1);
        desc.name = channel.name.c_str();
        entry.writePort = channel.writable ? channel.WritePort() : nullptr;
        *link = &desc;
        link = &desc.next;
    }
    return head;
}

ReadLayerDesc DocumentLayers::DescribeLayer(const Layer& layer, int32_t tileSize) {
    ReadLayerDesc desc{};
    desc.minVersion = desc.maxVersion = 1;
    desc.compositeChannelsList = Chain(layer.colour, tileSize);
    if (layer.transparency) desc.transparency = Chain({layer.transparency}, tileSize);
    desc.name = layer.name.c_str();
    return desc;
}

void DocumentLayers::Describe(ReadImageDocumentDescLayered& layered, int32_t tileSize) {
    ReadImageDocumentDesc& info = layered.document;
    descriptions_.clear();
    layers_.clear();
    DescribeSelection();
    info.targetCompositeChannels = info.mergedCompositeChannels = Chain(target_.colour, tileSize);
    info.targetTransparency = target_.transparency ? Chain({target_.transparency}, tileSize) : nullptr;
    info.mergedTransparency = info.targetTransparency;
    info.alphaChannels = Chain(alphas_, tileSize);
    info.selection = document_->HasSelection() ? Chain({selection_}, tileSize) : nullptr;
    layered.layersDescriptor = nullptr;
    if (!Layered()) return;
    // The layer list runs from the bottom layer up.
    for (const Layer& layer : below_) layers_.push_back(DescribeLayer(layer, tileSize));
    layers_.push_back(DescribeLayer(target_, tileSize));
    for (const Layer& layer : above_) layers_.push_back(DescribeLayer(layer, tileSize));
    for (size_t i = 0; i + 1 < layers_.size(); ++i) layers_[i].next = &layers_[i + 1];
    layered.layersDescriptor = layers_.data();
}

HostChannel* DocumentLayers::FromReadPort(ChannelReadPort port) {
    for (HostChannel& channel : channels_)
        if (channel.ReadPort() == port) return &channel;
    return nullptr;
}

HostChannel* DocumentLayers::FromWritePort(ChannelWritePort port) {
    for (HostChannel& channel : channels_)
        if (channel.writable && channel.WritePort() == port) return &channel;
    return nullptr;
}

const HostChannel* DocumentLayers::AlphaChannel(const std::string& name) const {
    for (const HostChannel* channel : alphas_)
        if (channel->name == name) return channel;
    return nullptr;
}

}  // namespace qvhost
