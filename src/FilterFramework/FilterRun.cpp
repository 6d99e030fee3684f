// A filter object's run through a host call: the host's checks and the filter case, the round
// trip through which a run inside a selection has the host undo, deselect and repeat it (with the
// session block and the source cache that carry the selection into the repeated call), and the
// run's end.
#include "PhotoshopFilter.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "Errors.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "HostServices.h"
#include "ImageModes.h"
#include "PreferenceSettings.h"
#include "SessionState.h"
#include "WindowServices.h"

namespace {

constexpr int64_t kTransferBufferLimit = 65536;
constexpr int16_t kSelectionWarningAlert = 17012;
constexpr int16_t kAlertContinue = 1, kAlertCancel = 2, kAlertDoNotWarnAgain = 3;

Rect16 WholeImage(const FilterRecord& record) { return {0, 0, record.imageSize.v, record.imageSize.h}; }

// The filter cases in which the run filters through a selection mask.
bool CaseUsesSelection(int16_t filterCase) {
    switch (filterCase) {
    case kFilterCaseNone:
    case kFilterCaseFlatImageNoSelection:
    case kFilterCaseFlatImageWithSelection:
    case kFilterCaseFloatingSelection:
    case kFilterCaseEditableTransparencyWithSelection:
    case kFilterCaseProtectedTransparencyWithSelection:
        return true;
    default:
        return false;
    }
}

void ArmRoundTrip(FrameworkFlags& flags) {
    flags.sourceChanged = true;
    flags.warnSelectionRemoval = true;
    flags.greyMenuItems = true;
    flags.saveSession = true;
}

// Keystrokes reach whatever window is in front: they are typed only while that is the host's.
bool HostIsInFront() {
    DWORD process = 0;
    const HWND front = GetForegroundWindow();
    return front && GetWindowThreadProcessId(front, &process) && process == GetCurrentProcessId();
}

// Has the host undo the filter, drop the selection and repeat the filter: through its menu
// commands where they are known by name, else through the keys its menus answer to.
void AskHostToUndoDeselectRepeat(HWND host) {
    if (GetHostKind() == kHostKindPhotoPnt) {
        DoHostMenuCommand(host, "&Undo");
        DoHostMenuCommand(host, "Remo&ve");
        if (!DoHostMenuCommand(host, "Last Effect") && !DoHostMenuCommand(host, "&Last Effect"))
            DoHostMenuCommand(host, "Repeat ");
        return;
    }
    if (!HostIsInFront()) return;
    for (char key : {'Z', 'D', 'F'}) PostKeystroke(key);
}

// A copy of the block in the host's data word is used only when it is the size we gave and its
// path is terminated.
bool TakeBlockFromHost(intptr_t& data) {
    FilterData& block = SessionBlock();
    const UniqueHandle taken(reinterpret_cast<Handle>(data));
    data = 0;
    bool sound = GetHandleSize(taken.Get()) == FilterData::kSize;
    if (sound) {
        const LockedHandle bytes(taken.Get());
        sound = bytes.Get() != nullptr;
        if (sound) std::memcpy(&block, bytes.Get(), sizeof block);
    }
    if (!sound) return false;
    if (!std::memchr(block.path, '\0', sizeof block.path)) {
        std::memset(block.path, 0, sizeof block.path);
        block.maskCached = 0;
        block.imageCached = 0;
    }
    return true;
}

bool HasTransparency(const FilterRecord& record) {
    return record.inTransparencyMask > 0 || record.planes > ColourPlanesOfMode(record.imageMode);
}

Rect16 Shifted(const Rect16& r, Point16 by) {
    return {static_cast<int16_t>(r.top + by.v), static_cast<int16_t>(r.left + by.h),
            static_cast<int16_t>(r.bottom + by.v), static_cast<int16_t>(r.right + by.h)};
}

// The bounding box of every non-zero sample of the mask (or, without one, the transparency plane)
// inside the filter rectangle.
Rect16 ScanSelectionBounds(HostCall& call) {
    FilterRecord& record = *call.record;
    const Rect16 area = record.filterRect;
    const int32_t bytes = std::max(call.bytesPerSample, 1);  // masks have the document's depth
    const int16_t transparency = ColourPlanesOfMode(record.imageMode);
    const BandRequest request{record.haveMask != 0, transparency, transparency};
    int32_t top = area.bottom, bottom = area.top, left = area.right, right = area.left;
    record.inputPadding = record.maskPadding = 0;
    record.outputPadding = -2;
    const int64_t rows = std::min<int64_t>(RectArea(area), kTransferBufferLimit) / std::max(RectWidth(area), 1);
    FetchBands(call, area, rows, request, [&](const Rect16& band, const char* data, int32_t rowBytes) {
        for (int32_t y = band.top; y < band.bottom; ++y) {
            const auto* row = reinterpret_cast<const uint8_t*>(data + int64_t{y - band.top} * rowBytes);
            for (int32_t x = 0; x < RectWidth(band); ++x) {
                const bool set = bytes == 1 ? row[x] != 0 : (row[2 * x] | row[2 * x + 1]) != 0;
                if (!set) continue;
                top = std::min(top, y), bottom = std::max(bottom, y);
                left = std::min(left, band.left + x), right = std::max(right, band.left + x);
            }
        }
    });
    if (top > bottom) return Rect16{};
    return {static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(bottom + 1),
            static_cast<int16_t>(right + 1)};
}

}  // namespace

void PhotoshopFilter::CheckHost() {
    const FilterRecord& record = Record();
    if (record.hostSig == 'QXFL') THROW_IF_ERROR(Err::HostUnsupported);
    if (!record.advanceState) THROW_IF_ERROR(Err::HostUnsupported);
    if (!HasAllBufferProcs(record.bufferProcs)) THROW_IF_ERROR(Err::HostUnsupported);

    FilterRecord& writable = Record();
    writable.inputPadding = 0;
    writable.maskPadding = 0;
    writable.outputPadding = -2;

    // Nothing of an earlier call's round trip carries over into this one.
    FrameworkFlags& flags = Framework();
    flags = FrameworkFlags{};
    flags.selectionBounds = record.filterRect;
    flags.previousEffectiveArea = record.filterRect;
    Rect16 image = WholeImage(record);
    if (record.isFloating) {
        image.top = static_cast<int16_t>(image.top - record.floatCoord.v);
        image.bottom = static_cast<int16_t>(image.bottom - record.floatCoord.v);
        image.left = static_cast<int16_t>(image.left - record.floatCoord.h);
        image.right = static_cast<int16_t>(image.right - record.floatCoord.h);
    }
    flags.effectiveArea = UnionRects(record.filterRect, image);
    flags.withSelection = CaseUsesSelection(record.filterCase);
    BeginRun();
    // A selection that holds no pixel (wholly outside the layer, or of no width or height) leaves
    // nothing to filter: the call says so rather than render a frame round nothing.
    if (IsEmptyRect(record.filterRect)) THROW_IF_ERROR(Err::NoPixelsInLayer);
}

void PhotoshopFilter::BeginRun() {
    FilterRecord& record = Record();
    record.autoMask = false;
    RestoreSessionState();
    FrameworkFlags& flags = Framework();
    if (EqualRects(flags.previousEffectiveArea, flags.effectiveArea)) {
        if (record.filterCase == kFilterCaseEditableTransparencyWithSelection && GetHostKind() == kHostKindPhotoPnt)
            ArmRoundTrip(flags);
        return;
    }
    flags.previousEffectiveArea = flags.effectiveArea;
    if (record.filterCase == kFilterCaseProtectedTransparencyNoSelection ||
        record.filterCase == kFilterCaseProtectedTransparencyWithSelection) {
        // The host keeps the transparency: our output goes to a private buffer, not its layer.
        flags.privateOutput = !EqualRects(record.filterRect, WholeImage(record));
        return;
    }
    ArmRoundTrip(flags);
    if (GetHostKind() == kHostKindPhotoPnt) {
        flags.warnSelectionRemoval = false;
        flags.greyMenuItems = false;
    }
}

void PhotoshopFilter::DialogFinished(ErrorCode result) {
    if (result == 0 && Framework().saveSession) SaveSessionState();
}

ErrorCode PhotoshopFilter::EndRun(ErrorCode result) {
    if (result != 0) {
        SourceCache::CloseAndDelete();
        if (DataWordHoldsBlock(Call().data)) {
            intptr_t& data = *Call().data;
            DisposeHandle(reinterpret_cast<Handle>(data));
            data = 0;
        }
        return result;
    }
    if (Framework().greyMenuItems) AskHostToUndoDeselectRepeat(Call().parentWindow);
    return result;
}

void PhotoshopFilter::DetermineMaskMode() {
    const FilterRecord& record = Record();
    bool& withSelection = Framework().withSelection;
    if (record.filterCase == kFilterCaseNone) {
        if (DataWordHoldsBlock(Call().data)) withSelection = true;
        else if (!record.haveMask && EqualRects(record.filterRect, WholeImage(record))) withSelection = record.isFloating;
        else withSelection = true;
        return;
    }
    withSelection = CaseUsesSelection(record.filterCase);
}

void PhotoshopFilter::Prepare() {
    DetermineMaskMode();
    const FilterRecord& record = Record();
    switch (record.filterCase) {
    case kFilterCaseFlatImageNoSelection:
        if (!DataWordHoldsBlock(Call().data)) THROW_IF_ERROR(Err::SelectionRequired);
        return;
    case kFilterCaseFlatImageWithSelection:
    case kFilterCaseFloatingSelection:
    case kFilterCaseEditableTransparencyNoSelection:
    case kFilterCaseEditableTransparencyWithSelection:
        return;
    case kFilterCaseProtectedTransparencyNoSelection:
    case kFilterCaseProtectedTransparencyWithSelection:
        THROW_IF_ERROR(Err::TransparencyProtected);
        return;
    default:
        if (!Framework().withSelection && !record.isFloating) THROW_IF_ERROR(Err::SelectionRequired);
    }
}

bool PhotoshopFilter::WarnSelectionRemoved(bool quiet) {
    const uint16_t modifiers = GetModifierKeys();
    if ((modifiers & kModifierAlt) || !Framework().warnSelectionRemoval) return false;
    PreferenceSettings& preferences = Preferences();
    if (modifiers & kModifierControl) preferences.SetFlag(PreferenceSettings::kNoSelectionWarning, false);
    if (preferences.HasFlag(PreferenceSettings::kNoSelectionWarning)) return false;
    switch (RunModalDialog(nullptr, kSelectionWarningAlert, nullptr, nullptr)) {
    case kAlertDoNotWarnAgain:
        // Storing the choice is the preferences file's business; the record keeps it for now.
        preferences.SetFlag(PreferenceSettings::kNoSelectionWarning, true);
        return false;
    case kAlertCancel:
        return true;
    case kAlertContinue:
    default:
        return false;
    }
}

void PhotoshopFilter::SaveSessionState() {
    FilterRecord& record = Record();
    FilterData& block = SessionBlock();
    std::memset(&block, 0, sizeof block);
    block.maskCached = record.haveMask;
    block.planesCached = 1;
    block.filterRect = Framework().selectionBounds;
    if (record.isFloating) {
        block.filterRect = Shifted(block.filterRect, record.floatCoord);
        if (record.haveMask) {
            block.imageCached = 1;
            block.planesCached = static_cast<uint8_t>(ColourPlanesOfMode(record.imageMode) + 1);
        }
    }
    if (record.haveMask) {
        const int64_t width = RectWidth(block.filterRect), height = RectHeight(block.filterRect);
        const int64_t sampleBytes = SampleBytes();
        const int64_t widestRow = width * (block.imageCached ? (block.planesCached - 1) * sampleBytes : 1);
        const int64_t transfer = std::max(std::min(width * height * block.planesCached, kTransferBufferLimit), widestRow);
        try {
            THROW_IF_ERROR(SourceCacheScratch().Allocate(transfer));
            SourceCache::Create();
            WriteSourceCache(false);
            if (block.imageCached) WriteSourceCache(true);
            SourceCache::Close();
            SourceCacheScratch().Free();
        } catch (...) {
            SourceCache::CloseAndDelete();
            SourceCacheScratch().Free();
            throw;
        }
    }
    UniqueHandle handle(NewHandle(FilterData::kSize));
    if (!handle) THROW_IF_ERROR(Err::MemoryFull);
    {
        const LockedHandle bytes(handle.Get());
        if (!bytes) THROW_IF_ERROR(Err::MemoryFull);
        std::memcpy(bytes.Get(), &block, sizeof block);
    }
    *Call().data = reinterpret_cast<intptr_t>(handle.Release());
}

void PhotoshopFilter::RestoreSessionState() {
    FilterRecord& record = Record();
    FrameworkFlags& flags = Framework();
    FilterData& block = SessionBlock();
    if (DataWordHoldsBlock(Call().data) && TakeBlockFromHost(*Call().data)) {
        if (block.maskCached) SourceCache::Open();
        block.cacheValid = 1;
        flags.withSelection = true;
        flags.selectionBounds = selectionBounds_ = block.filterRect;
    } else if (!(GetHostKind() == kHostKindPhotoPnt && record.haveMask && HasTransparency(record))) {
        const bool sameArea = EqualRects(record.filterRect, flags.effectiveArea);
        if (!sameArea) {
            flags.selectionBounds = selectionBounds_ = record.filterRect;
        } else if ((!flags.withSelection || !record.haveMask) && !record.haveMask && !HasTransparency(record)) {
            // The whole image without mask or transparency: the bounds are the filter rectangle.
        } else {
            flags.selectionBounds = selectionBounds_ = ScanSelectionBounds(Call());
        }
    } else {
        flags.selectionBounds = selectionBounds_ = ScanSelectionBounds(Call());
    }
    if (IsEmptyRect(flags.selectionBounds)) THROW_IF_ERROR(Err::NoPixelsInLayer);
}
