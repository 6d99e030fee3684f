#include "HostSession.h"

#include <algorithm>
#include <chrono>

#include "FileIO.h"
#include "HostContext.h"
#include "HostPlatform.h"
#include "ImageFiles.h"
#include "PixelExchange.h"
#include "ParameterHeader.h"
#include "PluginModule.h"
#include "SettingsFile.h"
#include "TextConversion.h"

namespace qvhost {

namespace {

HostContext* gActive = nullptr;

// A plug-in that keeps asking for pixels through continue calls is cut off after this many.
constexpr int kMaxContinueCalls = 1 << 16;
// 'FrMP' holds the parameters handle from the scripting copy's start, inside its run-time prefix;
// a settings file holds the block from the end of the prefix on.
constexpr size_t kScriptPrefix = ParameterHeader::kRunTimePrefix - ParameterHeader::kScriptCopyStart;
constexpr size_t kParameterPrefix = ParameterHeader::kRunTimePrefix;
constexpr int32_t kResolution72 = 72 << 16;

bool RectsAskForMore(const FilterRecord& r) {
    const auto nonEmpty = [](const Rect16& rect) { return rect.right > rect.left && rect.bottom > rect.top; };
    return nonEmpty(r.inRect) || nonEmpty(r.outRect) || nonEmpty(r.maskRect);
}

std::string VersionText(uint32_t packed) {
    return std::to_string(packed >> 16) + "." + std::to_string((packed >> 8) & 0xFF) + "." +
           std::to_string(packed & 0xFF);
}

Rect16 ToRect16(const PixelRect& r) {
    return {static_cast<int16_t>(r.top), static_cast<int16_t>(r.left), static_cast<int16_t>(r.bottom),
            static_cast<int16_t>(r.right)};
}

// The host's colours: background white, foreground black, as 16-bit picker colours and in the
// image mode (inverted CMYK: white is 255 in every plane, black is no colour ink and 0 in K).
void SetRecordColors(FilterRecord& r, ColorMode color) {
    r.background = {0xFFFF, 0xFFFF, 0xFFFF};
    r.foreground = {0, 0, 0};
    const uint8_t black = color == ColorMode::CMYK ? 255 : 0;
    for (int i = 0; i < 4; ++i) {
        r.backColor[i] = 255;
        r.foreColor[i] = i < 3 ? black : 0;
    }
}

// What a document asks of the filter when the options name no filter case: a flat image, or a
// layer with editable transparency; with or without a selection.
int16_t DefaultFilterCase(const Document& document) {
    if (document.HasTransparency())
        return document.HasSelection() ? kFilterCaseEditableTransparencyWithSelection
                                       : kFilterCaseEditableTransparencyNoSelection;
    return document.HasSelection() ? kFilterCaseFlatImageWithSelection : kFilterCaseFlatImageNoSelection;
}

// The filter's output modes that put its result on a new layer.
constexpr int32_t kOutputToNewLayer = 1;
constexpr int32_t kOutputEachFrameToNewLayer = 2;

// A layer with transparency laid over a photo (with or without its own transparency), as a
// layered document shows the two: per pixel, colour c = (cl al + cp ap (1 - al)) / a with
// a = al + ap (1 - al), samples and alphas in 0..full.
Document ComposeOver(const Document& layer, const Document& photo) {
    Document composed = photo;
    const int colours = photo.Planes();
    const int64_t full = photo.Mode().FullValue();
    for (int32_t y = 0; y < photo.Height(); ++y)
        for (int32_t x = 0; x < photo.Width(); ++x) {
            const int64_t al = layer.Sample(colours, x, y);
            if (al == 0) continue;
            const int64_t ap = photo.HasTransparency() ? photo.Sample(colours, x, y) : full;
            const int64_t under = ap * (full - al);  // the photo's weight, scaled by full
            const int64_t a = al * full + under;     // the result's alpha, scaled by full
            for (int p = 0; p < colours; ++p) {
                const int64_t mixed = layer.Sample(p, x, y) * al * full + photo.Sample(p, x, y) * under;
                composed.SetSample(p, x, y, static_cast<uint16_t>((mixed + a / 2) / a));
            }
            if (photo.HasTransparency()) composed.SetSample(colours, x, y, static_cast<uint16_t>((a + full / 2) / full));
        }
    return composed;
}

}  // namespace

HostContext* ActiveContext() { return gActive; }

ActiveContextScope::ActiveContextScope(HostContext& context) : previous_(gActive) { gActive = &context; }
ActiveContextScope::~ActiveContextScope() { gActive = previous_; }

HostContext::HostContext(const HostOptions& o, HostLog& l, Document& d)
    : options(o), log(l), document(d), buffers(o.budget) {}

HostContext::~HostContext() = default;

// Everything a run holds for its length, released in reverse order at its end.
struct RunResources {
    PluginModule plugin;
    PluginEntryProc entry = nullptr;
    std::optional<OleSession> ole;
    std::optional<HostWindow> window;
    TemporaryLogFile alertLog;
    std::optional<ScopedEnvironment> alertAnswer, alertLogPath;
    std::optional<ActiveContextScope> active;
};

std::string SelectorName(int16_t selector) {
    static const char* const kNames[] = {"about", "parameters", "prepare", "start", "continue", "finish"};
    if (selector >= 0 && selector <= 5) return kNames[selector];
    return "selector " + std::to_string(selector);
}

const CallRecord* HostRunResult::Find(int16_t selector) const {
    for (const CallRecord& call : calls)
        if (call.selector == selector) return &call;
    return nullptr;
}

HostSession::HostSession(HostOptions options) : options_(std::move(options)) {}
HostSession::~HostSession() = default;

const FilterRecord& HostSession::Record() const { return context_->record; }
FilterRecord& HostSession::Record() { return context_->record; }
const HostStatistics& HostSession::Statistics() const { return context_->statistics; }

std::optional<std::vector<uint16_t>> HostSession::AlphaChannelSamples(const std::string& name) const {
    const HostChannel* channel = context_ ? context_->layers.AlphaChannel(name) : nullptr;
    if (!channel) return std::nullopt;
    return channel->samples;
}

std::vector<uint8_t> HostSession::Parameters() const {
    return context_ ? context_->handles.Bytes(context_->record.parameters) : std::vector<uint8_t>();
}

bool HostSession::CheckOutputPaths(std::string& error) {
    for (const std::string* path : {&options_.outputPath, &options_.descriptorOut, &options_.settingsOut})
        if (!path->empty() && !CheckOutputPath(*path, error)) return false;
    return true;
}

bool HostSession::LoadDocument(std::string& error) {
    if (options_.document) {
        document_ = *options_.document;
    } else if (options_.inputPath.empty()) {
        // A single selector needs no picture: a small white page stands in.
        document_ = Document(64, 64, options_.mode);
        for (int p = 0; p < document_.Planes(); ++p)
            for (int32_t y = 0; y < 64; ++y) std::fill_n(document_.PlaneRow(p, y), 64, document_.Mode().FullValue());
    } else {
        RasterImage image;
        if (!ReadImageFile(options_.inputPath, image, error)) return false;
        document_ = Document::FromImage(image, options_.mode);
        log_.Format("host: document %s, %dx%d %s (from %d-bit %s)", options_.inputPath.c_str(), image.width,
                    image.height, options_.mode.Name().c_str(), image.bitDepth, image.channels == 1 ? "gray" : "RGB");
    }
    if (options_.selection) document_.Select(*options_.selection);
    if (document_.Width() <= 0 || document_.Height() <= 0 || document_.Width() > 30000 || document_.Height() > 30000) {
        error = "the document must be 1 to 30000 pixels a side";
        return false;
    }
    return context_->layers.Load(options_.layersBelow, options_.layersAbove, options_.alphaChannels,
                                 options_.transparency, document_, error);
}

bool HostSession::LoadPlugin(std::string& error) {
    RunResources& run = *resources_;
    if (options_.entry) {
        run.entry = options_.entry;
        log_.Line("host: plug-in entry linked into this program");
        return true;
    }
    if (!run.plugin.Load(options_.pluginPath, error)) return false;
    const PluginProperties& p = run.plugin.Properties();
    log_.Format("host: plug-in \"%s\" category \"%s\", entry %s, modes 0x%X, interface version 0x%X", p.name.c_str(),
                p.category.c_str(), p.entryName.c_str(), p.modes, p.interfaceVersion);
    const int mode = document_.Mode().RecordMode();
    if (p.hasModes && !(p.modes & (1u << mode))) {
        error = "the plug-in does not support the image mode " + document_.Mode().Name();
        return false;
    }
    run.entry = run.plugin.Entry();
    return true;
}

bool HostSession::BuildDescriptor(std::string& error) {
    HostContext& c = *context_;
    if (options_.noDescriptorParameters) return true;  // a host without scripting
    c.descriptorParameters.descriptorParametersVersion = 0;
    c.descriptorParameters.playInfo = options_.dialog ? kPlayDisplay : kPlayDontDisplay;
    c.record.descriptorParameters = &c.descriptorParameters;
    if (options_.noDescriptor) return true;
    Descriptor descriptor;
    if (!options_.descriptorIn.empty() && !ReadDescriptorFile(options_.descriptorIn, descriptor, error)) return false;
    if (!options_.settingsIn.empty()) {
        PresetSettings preset;
        if (!ReadSettingsFile(options_.settingsIn, preset, error)) return false;
        std::string frames = options_.frameFolder;
        if (frames.empty()) frames = options_.settingsIn.substr(0, options_.settingsIn.find_last_of("\\/") + 1);
        ResolveRelativeFramePaths(preset.block, frames);
        DescriptorBlob settings(kScriptPrefix, 0);
        settings.insert(settings.end(), preset.block.begin(), preset.block.end());
        descriptor.Put('FrMP', DescriptorValue{std::move(settings)});
        // The preset's photo position goes with it, as the plug-in's preset loader takes it: a
        // preset that names none has the photo over all of its layers.
        const std::optional<int32_t> position = preset.PhotoPosition();
        if (!descriptor.Find('TLPs') && position) descriptor.Put('TLPs', DescriptorValue{*position});
    }
    if (options_.txlt) descriptor.Put('Txlt', DescriptorValue{true});
    c.descriptorParameters.descriptor = c.handles.NewWithData(Flatten(descriptor));
    log_.Line("host: descriptor " + Describe(descriptor));
    return true;
}

void HostSession::SetUpRecord() {
    HostContext& c = *context_;
    FilterRecord& r = c.record;
    const ImageMode& mode = document_.Mode();
    r.imageSize = {static_cast<int16_t>(document_.Height()), static_cast<int16_t>(document_.Width())};
    r.wholeSize = r.imageSize;
    r.filterRect = ToRect16(document_.FilterRect());
    r.haveMask = document_.HasSelection() ? 1 : 0;
    r.autoMask = 1;
    SetRecordColors(r, mode.color);
    r.hostSig = options_.signature;
    r.imageMode = mode.RecordMode();
    r.depth = mode.depth;
    r.imageHRes = r.imageVRes = kResolution72;
    r.platformData = &c.platform;
    c.platform.hwnd = reinterpret_cast<intptr_t>(resources_->window->Get());
    r.filterCase = options_.filterCase.value_or(DefaultFilterCase(document_));
    r.dummyPlaneValue = -1;
    // The host's tiles, the same for every kind of request; 0 for a host without tiles.
    const int16_t tile = static_cast<int16_t>(std::clamp(options_.tile, 0, 32767));
    r.inTileHeight = r.inTileWidth = r.absTileHeight = r.absTileWidth = tile;
    r.outTileHeight = r.outTileWidth = r.maskTileHeight = r.maskTileWidth = tile;
    r.errorString = &c.errorText;
    InstallMemoryProcs(c);
    InstallRecordProcs(c);
    InstallPixelProcs(c);
    InstallColorServices(c);
    InstallBasicSuite(c);

    InstallChannelPorts(c);

    log_.Format("host: signature %s, version %s, %s %dx%d, filter rect (%d,%d)-(%d,%d), budget %lld bytes",
                FourCC(options_.signature).c_str(), VersionText(options_.hostVersion).c_str(), mode.Name().c_str(),
                document_.Width(), document_.Height(), r.filterRect.left, r.filterRect.top, r.filterRect.right,
                r.filterRect.bottom, static_cast<long long>(options_.budget));
    log_.Format("host: offers advanceState %s, buffer procs %s, handle procs %s; %s",
                r.advanceState ? "yes" : "no", r.bufferProcs ? "yes" : "no", r.handleProcs ? "yes" : "no",
                options_.dialog ? "shows the dialog" : "no dialog");
}

bool HostSession::Start(bool withPlugin, std::string& error) {
    log_.EchoToConsole(options_.echo);
    resources_ = std::make_unique<RunResources>();
    context_ = std::make_unique<HostContext>(options_, log_, document_);
    RunResources& run = *resources_;
    if (!CheckOutputPaths(error) || !LoadDocument(error) || (withPlugin && !LoadPlugin(error))) return false;
    run.ole.emplace();
    run.window.emplace();
    if (!options_.uiSteps.empty()) {
        // The ui steps answer the boxes: a box answered the moment it shows would leave them
        // nothing to photograph or drive.
        run.alertAnswer.emplace(L"QUORVEL_ALERT_ANSWER", L"");
    } else if (!options_.interactiveAlerts && !ScopedEnvironment::Get(L"QUORVEL_ALERT_ANSWER")) {
        run.alertAnswer.emplace(L"QUORVEL_ALERT_ANSWER", L"1");
    }
    if (!options_.interactiveAlerts && run.alertLog.Valid())
        run.alertLogPath.emplace(L"QUORVEL_ALERT_LOG", run.alertLog.Path());
    run.active.emplace(*context_);
    SetUpRecord();
    return BuildDescriptor(error);
}

bool HostSession::Open(std::string& error) {
    if (!options_.logPath.empty() && !log_.OpenFile(options_.logPath)) {
        error = "cannot open the log file " + options_.logPath;
        return false;
    }
    return Start(false, error);
}

void HostSession::TakeOutput() { WriteBackOutput(*context_); }

void HostSession::DocumentChanged() {
    DescribeToRecord();
    log_.Format("host: the document changed; filter rect (%d,%d)-(%d,%d)", context_->record.filterRect.left,
                context_->record.filterRect.top, context_->record.filterRect.right, context_->record.filterRect.bottom);
}

void HostSession::SetBudget(int64_t bytes) {
    options_.budget = bytes;
    context_->buffers.SetBudget(bytes);
}

void HostSession::SetAbortAfter(int64_t progressCalls) { options_.abortAfter = progressCalls; }

HostRunResult HostSession::Run() {
    HostRunResult result;
    if (!options_.logPath.empty() && !log_.OpenFile(options_.logPath)) {
        result.error = "cannot open the log file " + options_.logPath;
        return result;
    }
    if (Start(true, result.error)) {
        result.loaded = true;
        if (options_.uiSteps.empty())
            RunSequence(result);
        else
            RunSequenceWithUiSteps(result);
        if (result.exitCode == 0 && context_->statistics.foreignDataPointers > 0) {
            result.error = "the plug-in left pointers of its own in the record's data fields";
            result.exitCode = 1;
        }
        if (result.exitCode == 0 && !WriteOutputs(result.error)) result.exitCode = 1;
    }
    if (!result.error.empty()) log_.Line("host: " + result.error);
    HostContext& c = *context_;
    if (!c.descriptors.empty() || !c.lists.empty())
        log_.Format("host: %zu descriptor(s) and %zu list(s) the plug-in did not free", c.descriptors.size(), c.lists.size());
    for (const auto& [name, count] : c.acquired)
        if (count > 0) log_.Format("host: suite \"%s\" still acquired", name.c_str());
    if (c.buffers.LiveCount() > 0) log_.Format("host: %zu buffer(s) the plug-in did not free", c.buffers.LiveCount());
    log_.Format("host: exit code %d", result.exitCode);
    resources_.reset();
    return result;
}

int16_t HostSession::Call(int16_t selector, HostRunResult& result) {
    HostContext& c = *context_;
    if (options_.beforeCall) options_.beforeCall(c.record, selector);
    const int64_t progressBefore = c.statistics.progressCalls;
    int16_t answer = 0;
    log_.Format("call %s (%d)", SelectorName(selector).c_str(), selector);
    const auto start = std::chrono::steady_clock::now();
    // The about call gets a record of its own; every other call the filter record.
    AboutRecord about{.platformData = &c.platform, .sSPBasic = &c.basicSuite, .plugInRef = nullptr, .reserved = {}};
    void* record = selector == kSelectorAbout ? static_cast<void*>(&about) : static_cast<void*>(&c.record);
    resources_->entry(selector, record, &dataWord_, &answer);
    if (selector != kSelectorAbout) CheckDataFields(c, "the call's return");
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    WriteBackOutput(c);
    result.calls.push_back({selector, SelectorName(selector), answer, ms, dataWord_});
    log_.Format("  %s answered %d in %.2f ms; data word 0x%llX", SelectorName(selector).c_str(), answer, ms,
                static_cast<unsigned long long>(dataWord_));
    for (std::string& line : resources_->alertLog.NewLines()) {
        log_.Line("  " + line);
        result.alerts.push_back(std::move(line));
    }
    if (c.statistics.progressCalls > progressBefore)
        log_.Format("  %lld progress call(s), last %d/%d", static_cast<long long>(c.statistics.progressCalls - progressBefore),
                    c.statistics.lastProgressDone, c.statistics.lastProgressTotal);
    if (options_.afterCall) options_.afterCall(c.record, selector, answer);
    return answer;
}

void HostSession::RunSequence(HostRunResult& result) {
    if (options_.about) {
        result.exitCode = Call(kSelectorAbout, result) == 0 ? 0 : 1;
        return;
    }
    if (options_.rawSelector) {
        result.exitCode = Call(*options_.rawSelector, result) == 0 ? 0 : 1;
        return;
    }
    RunFilter(result);
    // A layered host puts a result the filter left for a new layer on one, with a call of its own.
    if (result.exitCode == 0 && ResultWantsNewLayer() && !ApplyToNewLayer(result)) result.exitCode = 1;
}

void HostSession::RunSequenceWithUiSteps(HostRunResult& result) {
    UiLimits limits;
    limits.dialogWaitMilliseconds = options_.uiDialogWaitMilliseconds;
    limits.ignoredWindow = resources_->window->Get();
    log_.Format("host: %zu ui step(s) drive the dialogs", options_.uiSteps.size());
    const UiReport report = DriveDialogs(options_.uiSteps, limits, [&] { RunSequence(result); });
    if (report.completed) {
        log_.Line("host: the ui steps ran");
        return;
    }
    // A script that did not do what it was asked to is a failed run, whatever the calls answered:
    // a test or a reviewer reading the exit code would otherwise take a missing picture for one.
    result.exitCode = 1;
    if (!result.error.empty()) result.error += "; ";
    result.error += report.error;
}

void HostSession::RunFilter(HostRunResult& result) {
    if (options_.dialog && Call(kSelectorParameters, result) != 0) return;
    // As a host's history does, a filter that fails or is cancelled leaves the document as it
    // was, whatever it wrote before (a preview renders into the host's output while its dialog is
    // open).
    const Document before = document_;
    struct InputSourceScope {
        HostContext& context;
        ~InputSourceScope() { context.inputSource = nullptr; }
    } source{*context_};
    context_->inputSource = &before;
    if (!RunFilterOnce(result)) {
        document_ = before;
        return;
    }
    if (options_.repeatAfterDeselect && dataWord_ != 0 && document_.HasSelection()) {
        log_.Line("host: undo, deselect and repeat the filter");
        document_ = before;
        Deselect();
        if (!RunFilterOnce(result)) {
            document_ = before;
            return;
        }
    }
    result.exitCode = 0;
}

bool HostSession::ResultWantsNewLayer() const {
    if (dataWord_ == 0 || !resultDescriptor_) return false;
    const DescriptorValue* mode = resultDescriptor_->Find('Rslt');
    const auto* value = mode ? std::get_if<int32_t>(&mode->value) : nullptr;
    return value && (*value == kOutputToNewLayer || *value == kOutputEachFrameToNewLayer);
}

bool HostSession::ApplyToNewLayer(HostRunResult& result) {
    HostContext& c = *context_;
    // The new layer: the document's size, mode and selection, every pixel clear. The target's
    // channels read the live document, so the layer becomes the target the record describes.
    Document photo = document_;
    Document layer = document_;
    for (int p = 0; p < layer.Planes(); ++p)
        for (int32_t y = 0; y < layer.Height(); ++y) std::fill_n(layer.PlaneRow(p, y), layer.Width(), uint16_t{0});
    layer.SetTransparency(0);
    log_.Line("host: apply to new layer: the filter's result goes on a transparent layer above the target");
    document_ = std::move(layer);
    InstallChannelPorts(c);
    DescribeToRecord();
    // The second call repeats the first without its dialog, with the descriptor the first left.
    const int32_t playInfo = c.descriptorParameters.playInfo;
    c.descriptorParameters.playInfo = kPlayDontDisplay;
    const bool ran = RunFilterOnce(result);
    c.descriptorParameters.playInfo = playInfo;
    if (!ran) {
        log_.Line("host: apply to new layer: the filter failed on the new layer, which is dropped");
        document_ = std::move(photo);
        InstallChannelPorts(c);
        DescribeToRecord();
        return false;
    }
    if (dataWord_ != 0) log_.Line("host: apply to new layer: the filter left its data word set after the new layer");
    // The output shows what the layered document shows: the new layer over the photo.
    AppliedNewLayer applied{std::move(photo), std::move(document_)};
    document_ = ComposeOver(applied.layer, applied.photo);
    newLayer_ = std::move(applied);
    InstallChannelPorts(c);
    DescribeToRecord();
    log_.Line("host: apply to new layer: the new layer is composed over the photo");
    return true;
}

void HostSession::Deselect() {
    document_.Deselect();
    DescribeToRecord();
}

void HostSession::DescribeToRecord() {
    FilterRecord& r = context_->record;
    r.filterRect = ToRect16(document_.FilterRect());
    r.haveMask = document_.HasSelection() ? 1 : 0;
    r.filterCase = options_.filterCase.value_or(DefaultFilterCase(document_));
    DescribeDocument(*context_);
}

bool HostSession::RunFilterOnce(HostRunResult& result) {
    HostContext& c = *context_;
    ++c.statistics.filterRuns;
    if (Call(kSelectorPrepare, result) != 0) return false;
    const int16_t started = Call(kSelectorStart, result);
    TakeResultDescriptor();
    if (started != 0) return false;
    // An advanceState filter finishes inside start; others ask for more through the rectangles.
    for (int calls = 0; RectsAskForMore(c.record); ++calls) {
        if (calls == kMaxContinueCalls) {
            log_.Line("host: the plug-in kept asking for pixels; stopped");
            return false;
        }
        if (const int16_t error = DeliverRequest(c)) {
            log_.Format("host: the plug-in's request failed with %d", error);
            return false;
        }
        if (Call(kSelectorContinue, result) != 0) return false;
    }
    return Call(kSelectorFinish, result) == 0;
}

void HostSession::TakeResultDescriptor() {
    HostContext& c = *context_;
    const Handle flat = c.descriptorParameters.descriptor;
    if (!flat) return;
    resultDescriptor_ = Unflatten(c.handles.Bytes(flat));
    log_.Line("host: descriptor after start " + (resultDescriptor_ ? Describe(*resultDescriptor_) : "(not well formed)"));
}

bool HostSession::WriteOutputs(std::string& error) {
    if (!options_.outputPath.empty()) {
        if (!WriteImageFile(options_.outputPath, document_.ToImage(), error)) return false;
        log_.Line("host: output image " + options_.outputPath);
    }
    if (!options_.descriptorOut.empty()) {
        if (!resultDescriptor_) {
            error = "the plug-in left no descriptor to write";
            return false;
        }
        if (!WriteDescriptorFile(options_.descriptorOut, *resultDescriptor_, error)) return false;
        log_.Line("host: descriptor written to " + options_.descriptorOut);
    }
    if (!options_.settingsOut.empty()) {
        // The block the plug-in handed back in the descriptor ('FrMP' starts inside the prefix,
        // the settings file holds it from the prefix's end); the parameters handle when it wrote none.
        std::vector<uint8_t> block;
        const DescriptorValue* written = resultDescriptor_ ? resultDescriptor_->Find('FrMP') : nullptr;
        if (const auto* blob = written ? std::get_if<DescriptorBlob>(&written->value) : nullptr;
            blob && blob->size() > kScriptPrefix) {
            block.assign(blob->begin() + kScriptPrefix, blob->end());
        } else if (const std::vector<uint8_t> parameters = Parameters(); parameters.size() > kParameterPrefix) {
            block.assign(parameters.begin() + kParameterPrefix, parameters.end());
        }
        if (block.empty()) {
            error = "the plug-in left no parameter block to write";
            return false;
        }
        if (!WriteSettingsFile(options_.settingsOut, block, error)) return false;
        log_.Line("host: settings written to " + options_.settingsOut);
    }
    return true;
}

}  // namespace qvhost
