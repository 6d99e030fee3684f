#include "PhotoshopFilter.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "Alerts.h"
#include "BigEndian.h"
#include "Errors.h"
#include "File.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "HostServices.h"
#include "PreferenceSettings.h"
#include "PreviewOwner.h"
#include "SessionState.h"
#include "WindowServices.h"

namespace {

constexpr int16_t kSelectionWarningAlert = 17012;
constexpr int16_t kAlertContinue = 1, kAlertCancel = 2, kAlertDoNotWarnAgain = 3;

FrameworkFlags gFramework;
PreviewOwner* gOpenPreviewDialog = nullptr;

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
void AskHostToUndoDeselectRepeat() {
    if (GetHostKind() == kHostKindPhotoPnt) {
        const HWND host = HostCall::Current().parentWindow;
        DoHostMenuCommand(host, "&Undo");
        DoHostMenuCommand(host, "Remo&ve");
        if (!DoHostMenuCommand(host, "Last Effect") && !DoHostMenuCommand(host, "&Last Effect"))
            DoHostMenuCommand(host, "Repeat ");
        return;
    }
    if (!HostIsInFront()) return;
    for (char key : {'Z', 'D', 'F'}) PostKeystroke(key);
}

}  // namespace

FrameworkFlags& Framework() { return gFramework; }
PreviewOwner* OpenPreviewDialog() { return gOpenPreviewDialog; }
void SetOpenPreviewDialog(PreviewOwner* dialog) { gOpenPreviewDialog = dialog; }

void SavedHostFields::CopyFrom(const FilterRecord& record) {
    inRect = record.inRect;
    outRect = record.outRect;
    maskRect = record.maskRect;
    inData = record.inData;
    maskData = record.maskData;
    inRowBytes = record.inRowBytes;
    maskRowBytes = record.maskRowBytes;
}

void SavedHostFields::CopyTo(FilterRecord& record) const {
    record.inRect = inRect;
    record.outRect = outRect;
    record.maskRect = maskRect;
    record.inData = inData;
    record.maskData = maskData;
    record.inRowBytes = inRowBytes;
    record.maskRowBytes = maskRowBytes;
}

PhotoshopFilter::PhotoshopFilter() {
    if (const FilterRecord* record = HostCall::Current().record) saved_.CopyFrom(*record);
}

PhotoshopFilter::~PhotoshopFilter() {
    for (PhotoshopFilter* i = FirstInstance(); i; i = i->next_) {
        if (i == this) {
            Unlink(*this);
            break;
        }
    }
    FreeCaches();
}

uint32_t PhotoshopFilter::GetSignature() const { return 0x20202020; }

void PhotoshopFilter::SetOwner(PreviewOwner* dialog) {
    ownerKind_ = dialog ? OwnerKind::Dialog : OwnerKind::None;
    owner_ = dialog;
}

void PhotoshopFilter::SetParameterBlockSize(int32_t size, bool reset) {
    FilterRecord* record = HostCall::Current().record;
    size = std::max(size, 0);
    Handle old = record->parameters;
    int64_t oldSize = 0;
    if (old && GetHandleSize(old) >= ParameterHeader::kRunTimePrefix + ParameterHeader::kSizeField + 2) {
        const LockedHandle bytes(old);
        if (bytes)
            oldSize = BigEndian::Read16(bytes.As<uint8_t>() + ParameterHeader::kRunTimePrefix + ParameterHeader::kSizeField);
    }
    if (oldSize != size || !old) {
        const uint32_t signature = GetSignature();
        UniqueHandle grown(NewHandle(int64_t{size} + ParameterHeader::kRunTimePrefix));
        if (!grown) THROW_IF_ERROR(Err::MemoryFull);
        {
            const LockedHandle bytes(grown.Get());
            if (!bytes) THROW_IF_ERROR(Err::MemoryFull);
            auto* to = bytes.As<uint8_t>();
            const int64_t newBytes = int64_t{size} + ParameterHeader::kRunTimePrefix;
            std::memset(to, 0, static_cast<size_t>(newBytes));
            if (old) {
                // Copy what the old handle really holds, whatever its header claims.
                const int64_t oldBytes = std::min(GetHandleSize(old), oldSize + ParameterHeader::kRunTimePrefix);
                const LockedHandle from(old);
                if (from) std::memcpy(to, from.Get(), static_cast<size_t>(std::min(newBytes, oldBytes)));
            }
            uint8_t* header = to + ParameterHeader::kRunTimePrefix;
            BigEndian::Write16(header + ParameterHeader::kSizeField, static_cast<uint16_t>(size));
            header[ParameterHeader::kReservedByte] = 0;
            header[ParameterHeader::kLengthByte] = ParameterHeader::kHeaderLength;
            BigEndian::Write32(header + ParameterHeader::kSignatureField, signature);
            BigEndian::Write32(header + ParameterHeader::kReservedWord, 0);
        }
        record->parameters = grown.Release();
        if (old) DisposeHandle(old);
    }
    if (reset && size > ParameterHeader::kHeaderLength) {
        const LockedHandle bytes(record->parameters);
        if (bytes)
            std::memset(bytes.Get() + ParameterHeader::kSettingsOffset, 0,
                        static_cast<size_t>(size - ParameterHeader::kHeaderLength));
    }
}

void PhotoshopFilter::CheckHost() {
    const FilterRecord& record = *HostCall::Current().record;
    if (record.hostSig == 'QXFL') THROW_IF_ERROR(Err::HostUnsupported);
    if (!record.advanceState) THROW_IF_ERROR(Err::HostUnsupported);
    if (!HasAllBufferProcs(record.bufferProcs)) THROW_IF_ERROR(Err::HostUnsupported);

    FilterRecord& writable = *HostCall::Current().record;
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
    FilterRecord& record = *HostCall::Current().record;
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
        if (DataWordHoldsBlock()) {
            intptr_t& data = *HostCall::Current().data;
            DisposeHandle(reinterpret_cast<Handle>(data));
            data = 0;
        }
        return result;
    }
    if (Framework().greyMenuItems) AskHostToUndoDeselectRepeat();
    return result;
}

void PhotoshopFilter::CopySettingsToDialogFile(File* source) {
    PreviewOwner* dialog = OpenPreviewDialog();
    if (source && dialog) CopySettingsBody(*source, dialog->SettingsFile());
}

void CopySettingsBody(File& source, File& destination) {
    constexpr int32_t kDialogBytes = 1028;
    constexpr int32_t kChunk = 256;
    uint16_t headerLength = 0;
    if (source.Read(&headerLength, 0, sizeof headerLength) != sizeof headerLength) THROW_IF_ERROR(Err::FileIO);
    const int32_t body = std::max(source.GetSize() - int32_t{headerLength}, 0);
    THROW_IF_ERROR(destination.SetSize(static_cast<uint32_t>(kDialogBytes + body)));
    char chunk[kChunk];
    for (int32_t done = 0; done < body; done += kChunk) {
        const int32_t count = std::min(kChunk, body - done);
        if (source.Read(chunk, static_cast<uint32_t>(headerLength + done), count) != static_cast<uint32_t>(count))
            THROW_IF_ERROR(Err::FileIO);
        THROW_IF_ERROR(destination.Write(chunk, static_cast<uint32_t>(kDialogBytes + done), static_cast<uint32_t>(count)));
    }
}

void PhotoshopFilter::DetermineMaskMode() {
    const FilterRecord& record = *HostCall::Current().record;
    bool& withSelection = Framework().withSelection;
    if (record.filterCase == kFilterCaseNone) {
        if (DataWordHoldsBlock()) withSelection = true;
        else if (!record.haveMask && EqualRects(record.filterRect, WholeImage(record))) withSelection = record.isFloating;
        else withSelection = true;
        return;
    }
    withSelection = CaseUsesSelection(record.filterCase);
}

void PhotoshopFilter::Prepare() {
    DetermineMaskMode();
    const FilterRecord& record = *HostCall::Current().record;
    switch (record.filterCase) {
    case kFilterCaseFlatImageNoSelection:
        if (!DataWordHoldsBlock()) THROW_IF_ERROR(Err::SelectionRequired);
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
