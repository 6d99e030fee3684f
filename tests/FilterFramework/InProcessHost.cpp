#include "InProcessHost.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "FilterObjects.h"
#include "HostMemory.h"
#include "HostSession.h"
#include "ImageModes.h"
#include "PhotoshopFilter.h"
#include "StartRoutine.h"

namespace {

qvhost::ImageMode ModeOf(int16_t imageMode) {
    for (const qvhost::ColorMode color : {qvhost::ColorMode::Gray, qvhost::ColorMode::RGB, qvhost::ColorMode::CMYK})
        for (const int depth : {8, 16})
            if (const qvhost::ImageMode mode{color, depth}; mode.RecordMode() == imageMode) return mode;
    throw std::invalid_argument("the host keeps no document of image mode " + std::to_string(imageMode));
}

// Every sample of the document's planes from sample(row, column, plane), plane first..first+count-1.
qvhost::PixelSource PlanesOf(const InProcessHost::Layer& layer, int32_t width, int32_t height, int first, int count) {
    qvhost::PixelSource source;
    for (int p = first; p < first + count; ++p) {
        std::vector<uint16_t>& plane = source.planes.emplace_back(size_t(width) * height);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) plane[size_t(y) * width + x] = layer.sample(y, x, p);
    }
    return source;
}

}  // namespace

InProcessHost::InProcessHost(int16_t imageMode, int32_t width, int32_t height)
    : width_(width), height_(height), options_(std::make_unique<qvhost::HostOptions>()) {
    const qvhost::ImageMode mode = ModeOf(imageMode);
    planes_ = mode.Planes();
    bytes_ = mode.BytesPerSample();
    options_->document = qvhost::Document(width, height, mode);
    options_->mode = mode;
    options_->signature = 'QTST';
    // A scripted call without a dialog over a flat image with a selection, whatever the document
    // holds: the tests choose what the record says.
    options_->filterCase = kFilterCaseFlatImageWithSelection;
    options_->budget = 64 << 20;
    // The tests answer the alerts and keep their log themselves.
    options_->interactiveAlerts = true;
}

InProcessHost::~InProcessHost() {
    FreeAllBuffers();
}

qvhost::HostSession& InProcessHost::Session() {
    if (!session_) {
        session_ = std::make_unique<qvhost::HostSession>(*options_);
        std::string error;
        if (!session_->Open(error)) throw std::runtime_error("the stand-in host did not open: " + error);
    }
    return *session_;
}

const qvhost::HostSession& InProcessHost::OpenSession() const {
    if (!session_) throw std::logic_error("the host has made no call yet");
    return *session_;
}

qvhost::Document& InProcessHost::Document() { return session_ ? session_->MutableDocument() : *options_->document; }

FilterRecord& InProcessHost::Record() { return Session().Record(); }
intptr_t& InProcessHost::DataWord() { return Session().DataWord(); }

void InProcessHost::BeginCall(int16_t selector) {
    FilterRecord& record = Record();
    scope_.reset();
    call_ = HostCall{.record = &record, .selector = selector, .data = &DataWord(),
                     .bytesPerSample = BytesPerSampleForMode(record.imageMode)};
    scope_.emplace(call_);
}

void InProcessHost::EndCall() { Session().TakeOutput(); }

ErrorCode InProcessHost::RunStart(PhotoshopFilter& filter) {
    BeginCall();
    FilterObjects filters;
    filters.main = &filter;
    const ErrorCode result = DoStart(call_, filters, RunOptions{});
    filters.main = nullptr;
    EndCall();
    return result;
}

void InProcessHost::StartInstance(PhotoshopFilter& filter) {
    BeginCall();
    filter.CheckHost();
    PhotoshopFilter::InitPreviewInstance(filter);
}

uint32_t InProcessHost::Sample(int32_t row, int32_t column, int32_t plane) const {
    const qvhost::Document& document = session_ ? session_->GetDocument() : *options_->document;
    return document.Sample(plane, column, row);
}

void InProcessHost::SetSample(int32_t row, int32_t column, int32_t plane, uint32_t value) {
    Document().SetSample(plane, column, row, static_cast<uint16_t>(value));
}

void InProcessHost::FillPattern() {
    for (int32_t y = 0; y < height_; ++y)
        for (int32_t x = 0; x < width_; ++x)
            for (int32_t p = 0; p < planes_; ++p) {
                const uint32_t v = uint32_t(y * 7 + x * 13 + p * 61);
                SetSample(y, x, p, bytes_ == 1 ? v % 256 : (v * 257 + uint32_t(x)) % 32769);
            }
}

void InProcessHost::SetMask(std::function<uint8_t(int32_t, int32_t)> mask) {
    qvhost::Document& document = Document();
    mask_.resize(size_t(width_) * height_);
    document.Select(document.Bounds());
    for (int32_t y = 0; y < height_; ++y)
        for (int32_t x = 0; x < width_; ++x) {
            const uint8_t coverage = mask(y, x);
            mask_[size_t(y) * width_ + x] = coverage;
            document.SetCoverage(x, y, coverage);
        }
    if (session_) session_->DocumentChanged();
}

void InProcessHost::SetCompanionLayers(const Layer& below, const Layer& above) {
    if (session_) throw std::logic_error("the layers beside the target are the document's from its first call");
    // Layers beside the target make the target a layer too, with a transparency of its own: opaque.
    options_->transparency = qvhost::PixelSource{.fill = {255}};
    for (const auto& [layer, into] : {std::pair{&below, &options_->layersBelow}, std::pair{&above, &options_->layersAbove}}) {
        qvhost::LayerSpec spec;
        spec.colour = PlanesOf(*layer, width_, height_, 0, planes_);
        if (layer->transparencyChannel) spec.transparency = PlanesOf(*layer, width_, height_, planes_, 1);
        spec.bounds = qvhost::PixelRect{layer->bounds.top, layer->bounds.left, layer->bounds.bottom, layer->bounds.right};
        into->push_back(std::move(spec));
    }
}

void InProcessHost::SetBufferSpace(int32_t bytes) {
    if (session_) session_->SetBudget(bytes);
    else options_->budget = bytes;
}

void InProcessHost::AbortAfter(int32_t progressCalls) {
    if (session_) session_->SetAbortAfter(progressCalls);
    else options_->abortAfter = progressCalls;
}

int32_t InProcessHost::PortReads() const { return static_cast<int32_t>(OpenSession().Statistics().channelReads); }
int32_t InProcessHost::AdvanceCalls() const { return static_cast<int32_t>(OpenSession().Statistics().advanceStateCalls); }
int32_t InProcessHost::ProgressCalls() const { return static_cast<int32_t>(OpenSession().Statistics().progressCalls); }
int32_t InProcessHost::LastInputRate() const { return OpenSession().Statistics().lastInputRate; }
int64_t InProcessHost::BytesDelivered() const { return OpenSession().Statistics().bytesDelivered; }
