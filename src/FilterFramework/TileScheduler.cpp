// The tile scheduler: every filter object is an instance on one list, advanced one small step per
// call of RunInstances, so that preview instances render between the dialog's messages and the
// final pass runs as a loop of the same steps.
#include <windows.h>

#include <algorithm>

#include "Errors.h"
#include "Geometry.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "PhotoshopFilter.h"
#include "PreferenceSettings.h"
#include "PreviewOwner.h"
#include "SessionState.h"
#include "SharedChannels.h"

namespace {

constexpr int16_t kDefaultTileSide = 181;  // the rounded square root of 32768
constexpr int16_t kSettingsTooLarge = 32767;
constexpr int16_t kUndoneAlert = 17005, kResetAlert = 17006;
constexpr int16_t kAlertQuit = 2;
constexpr DWORD kBusyCursorDelay = 1000;
constexpr DWORD kBusyCursorInterval = 250;

PhotoshopFilter* gInstances = nullptr;
// The wait cursor appears once a step has run past this tick count.
DWORD gBusyDeadline = 0;

// While a step runs under the open dialog, a long loop may show the wait cursor; afterwards the
// cursor the user had comes back.
class BusyCursorScope {
public:
    explicit BusyCursorScope(const PhotoshopFilter& instance) : armed_(instance.Dialog() != nullptr) {
        if (!armed_) return;
        gBusyDeadline = GetTickCount() + kBusyCursorDelay;
        saved_ = GetCursor();
    }
    BusyCursorScope(const BusyCursorScope&) = delete;
    BusyCursorScope& operator=(const BusyCursorScope&) = delete;
    ~BusyCursorScope() {
        if (!armed_) return;
        gBusyDeadline = 0;
        SetCursor(saved_);
    }

private:
    bool armed_;
    HCURSOR saved_ = nullptr;
};

// Hosts offer their channel ports through the record only; none offers them as a suite.
bool HostOffersChannelPorts(const FilterRecord& record) {
    const ChannelPortProcs* ports = record.channelPortProcs;
    return HasProc(ports, &ChannelPortProcs::readPixels) && HasProc(ports, &ChannelPortProcs::writeBasePixels);
}

}  // namespace

PhotoshopFilter* PhotoshopFilter::FirstInstance() { return gInstances; }

void PhotoshopFilter::SpinBusyCursor() {
    if (!gBusyDeadline || static_cast<int32_t>(GetTickCount() - gBusyDeadline) < 0) return;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    gBusyDeadline = GetTickCount() + kBusyCursorInterval;
}

bool PhotoshopFilter::RunInstances(int32_t trackingDepth) {
    if (trackingDepth >= 1 && Preferences().bytes[PreferenceSettings::kTimedRenderingOff]) return true;
    for (PhotoshopFilter* instance = gInstances; instance; instance = instance->next_) {
        if (!instance->HasOwner()) {
            if (Framework().sourceChanged) return false;
            if (Preferences().bytes[PreferenceSettings::kBackgroundProcessingOff] && instance->Dialog()) return false;
        }
        if (trackingDepth >= 1 && !instance->tracking_) continue;
        bool didWork = false;
        {
            BusyCursorScope busy(*instance);
            didWork = instance->RunStep();
        }
        if (didWork) return true;
    }
    return false;
}

bool PhotoshopFilter::RunStep() {
    if (state_ == kStateDone) return false;
    FilterRecord& record = Record();
    request_.PutBack(record, kInstanceRequest);
    try {
        RunScheduledStep();
    } catch (const ErrorCodeException& e) {
        request_ = HostRequest::Of(record);
        if (e.code != kSettingsTooLarge) throw;
        RecoverFromMemoryShortage();
        return true;
    }
    request_ = HostRequest::Of(record);
    return true;
}

void PhotoshopFilter::RunScheduledStep() {
    switch (state_) {
    case kStateBeginPass:
        if (!HasOwner()) ConfineToFilterRect();
        BeginPass();
        StartTileWalk();
        state_ = kStateNextTile;
        return;
    case kStateNextTile:
        state_ = NextTile() ? stepCount_ : kStateDone;
        return;
    case kStateProcessTile:
        ProcessAndComposeTile();
        state_ = kStateNextTile;
        return;
    default:
        TileStep(state_, Record().outRect);
        UnlockTileBuffers();
        --state_;
        return;
    }
}

// A pass without preview writes into the host's image, and the host keeps nothing of it outside
// its filter rectangle (the selection's bounds): the pass covers that rectangle alone. Walking the
// rest of the layer would spend tiles, progress calls and host requests (tiles sized for a small
// selection: millions of them) on pixels that must stay as they were, and would overwrite them on
// a host that takes back all the output it hands out.
void PhotoshopFilter::ConfineToFilterRect() {
    const Rect16 area = IntersectRects(wholeRect_, Record().filterRect);
    if (EqualRects(area, wholeRect_)) return;
    wholeRect_ = currentRect_ = area;
    const Rect16 priority = IntersectRects(priorityRect_, area);
    priorityRect_ = IsEmptyRect(priority) ? area : priority;
    if (dirtyRegion_) {
        const OwnedRgn kept = RegionOf(area);
        SectRgn(dirtyRegion_.Get(), kept.Get(), dirtyRegion_.Get());
    }
}

void PhotoshopFilter::ProcessAndComposeTile() {
    THROW_IF_ERROR(ProcessTile());
    ComposeTile(DeliveredTile(Record(), Call().bytesPerSample));
    if (HasOwner()) {
        ComposePreviewLayers();
        if (PreviewOwner* dialog = OwnerDialog()) dialog->ShowTile(*this);
    }
    ValidateRect(Record().outRect);
    UnlockTileBuffers();
}

void PhotoshopFilter::RecoverFromMemoryShortage() {
    UnlockTileBuffers();
    PreviewOwner* dialog = dialog_;
    if (!dialog) THROW_IF_ERROR(Err::MemoryFull);
    int16_t alert = kUndoneAlert;
    if (!dialog->Undo()) {
        dialog->ReleaseSavedState();
        SetDefaultParameters(0);
        dialog->PushUndoState();
        InvalidateAllInstances();
        alert = kResetAlert;
    }
    if (RunModalDialog(nullptr, alert, nullptr, nullptr) == kAlertQuit) THROW_IF_ERROR(Err::Cancelled);
}

void PhotoshopFilter::InitPreviewInstance(PhotoshopFilter& instance, const RunOptions& options) {
    const FrameworkFlags& flags = Framework();
    instance.state_ = kStateBeginPass;
    instance.stepCount_ = 1;
    instance.previewScale_ = 1.0;
    instance.progressTotal_ = 1.0;
    instance.outerWeight_ = 1.0;
    instance.wholeRect_ = instance.currentRect_ = instance.priorityRect_ = flags.effectiveArea;
    instance.scaledImageRect_ = flags.effectiveArea;
    instance.scaledFilterRect_ = instance.Record().filterRect;
    instance.selectionBounds_ = flags.selectionBounds;
    instance.progressDone_ = 0.0;
    instance.options_ = options;

    instance.next_ = gInstances;
    gInstances = &instance;

    instance.dirtyRegion_ = RegionOf(instance.wholeRect_);

    instance.direction_ = 0;
    const FilterRecord& record = instance.Record();
    instance.tileHeight_ = record.inTileHeight;
    instance.tileWidth_ = record.inTileWidth;
    if (int32_t{record.inTileHeight} * record.inTileWidth <= 0) instance.tileHeight_ = instance.tileWidth_ = kDefaultTileSide;
    // A host with little buffer space still gets every tile: the tile shrinks to what it can hold.
    instance.SetTileSize(instance.tileWidth_, instance.tileHeight_);
    FindSharedChannels(record, options.channelNames);
    instance.maskPlanes_ = DecideMaskPlanes(record, HostOffersChannelPorts(record));
    instance.FindCompanionLayers();
    instance.SetupRun();
}

void PhotoshopFilter::Unlink(PhotoshopFilter& instance) {
    instance.ReleaseLayerStates();
    instance.dirtyRegion_.Reset();
    for (PhotoshopFilter** link = &gInstances; *link; link = &(*link)->next_) {
        if (*link == &instance) {
            *link = instance.next_;
            break;
        }
    }
    instance.next_ = nullptr;
    instance.state_ = kStateDone;
    instance.dialog_ = nullptr;
    if (SessionBlock().cacheValid) {
        std::fill_n(reinterpret_cast<uint8_t*>(&SessionBlock()), 8, uint8_t{0});
        SourceCache::CloseAndDelete();
    }
    instance.FreeCaches();
    if (!gInstances) {
        SetBufferReserve(kDefaultBufferReserve);
        ClearSharedChannels();
    }
}

void PhotoshopFilter::InvalidateAllInstances() {
    for (PhotoshopFilter* instance = gInstances; instance; instance = instance->next_) instance->InvalidateRect(nullptr);
}

// An instance that goes while it is linked leaves the list first.
PhotoshopFilter::~PhotoshopFilter() {
    for (PhotoshopFilter* i = FirstInstance(); i; i = i->next_) {
        if (i == this) {
            Unlink(*this);
            break;
        }
    }
    FreeCaches();
}
