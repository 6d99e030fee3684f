#include "StartRoutine.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <vector>

#include "Alerts.h"
#include "CurrentException.h"
#include "Errors.h"
#include "FilterObjects.h"
#include "HostCall.h"
#include "Libraries.h"
#include "HostMemory.h"
#include "HostServices.h"
#include "MakerLibraries.h"
#include "PhotoshopDialog.h"
#include "PhotoshopFilter.h"
#include "PreferenceSettings.h"
#include "PreferencesFile.h"
#include "Quorvel.h"
#include "ScriptParams.h"
#include "SettingsLayout.h"

namespace {

// The block's bytes from the start of the parameters handle, or none.
uint8_t* BlockBytes(const FilterRecord* record, int64_t minimum) {
    if (!record->parameters || GetHandleSize(record->parameters) < minimum) return nullptr;
    return reinterpret_cast<uint8_t*>(*record->parameters);
}

// Hosts other than these two cannot take layered output: the block's output bytes are cleared.
void ClearOutputOptionsForOtherHosts(const FilterRecord* record) {
    if (IsPhotoshopHost()) return;
    if (uint8_t* block = BlockBytes(record, BlockLayout::kThroughOutputBytes)) {
        const RecordRef header(block);
        header.Set(BlockLayout::kOutputOption, BlockLayout::kOutputOff);
        header.Set(BlockLayout::kLayeredOutputMode, BlockLayout::kLayeredOutputNone);
    }
}

void OfferWelcomePage() {
    PreferenceSettings& preferences = Preferences();
    if (preferences.HasFlag(PreferenceSettings::kWelcomePageOff)) return;
    uint8_t show = 1;
    ShowWelcomeDialog(&show);
    preferences.SetFlag(PreferenceSettings::kWelcomePageOff, show == 0);
}

// Output as layers renders the photo without its frame layers, which the host takes from the
// descriptor: the block is copied, every layer is disabled for the final pass, and the copy goes
// back over the block on every way out, so the stored block keeps its enabled bytes and output
// bytes whatever happens to the pass. "Apply to New Layer" keeps its layers: the final pass
// renders them into the image cache for the host's next call and leaves the photo as it is.
class LayeredOutputBlock {
public:
    LayeredOutputBlock(const LayeredOutputBlock&) = delete;
    LayeredOutputBlock& operator=(const LayeredOutputBlock&) = delete;
    explicit LayeredOutputBlock(FilterRecord* record) : record_(record) {
        uint8_t* block = BlockBytes(record, BlockLayout::kLayers);
        if (!block) return;
        const RecordRef header(block);
        if (header.Get(BlockLayout::kLayeredOutputMode) != BlockLayout::kLayeredOutputLayers) return;
        PhotoshopFilter::InvalidateAllInstances();
        const int64_t length = std::min<int64_t>(GetHandleSize(record->parameters) - ParameterHeader::kRunTimePrefix,
                                                 header.Get(BlockLayout::kSize));
        saved_.assign(block + ParameterHeader::kRunTimePrefix, block + ParameterHeader::kRunTimePrefix + length);
        const ParameterBlockView view(block, GetHandleSize(record->parameters));
        for (int32_t i = 0; i < view.LayerCount() && view.HoldsLayer(i); ++i) view.Layer(i).Set(LayerLayout::kEnabled, 0);
        header.Set(BlockLayout::kOutputOption, BlockLayout::kOutputOff);
        header.Set(BlockLayout::kLayeredOutputMode, BlockLayout::kLayeredOutputNone);
    }
    ~LayeredOutputBlock() { Restore(); }

    void Restore() {
        if (saved_.empty()) return;
        if (uint8_t* block = BlockBytes(record_, ParameterHeader::kRunTimePrefix + static_cast<int64_t>(saved_.size())))
            std::memcpy(block + ParameterHeader::kRunTimePrefix, saved_.data(), saved_.size());
        saved_.clear();
    }

private:
    FilterRecord* record_;
    std::vector<uint8_t> saved_;
};

// Drives every instance through its final pass; the host may abort between steps.
ErrorCode RunFinalPass(const FilterRecord* record) {
    for (PhotoshopFilter* instance = PhotoshopFilter::FirstInstance(); instance; instance = instance->NextInstance())
        instance->RestartPass();
    ErrorCode result = 0;
    while (PhotoshopFilter::RunInstances(0)) {
        if (record->abortProc && record->abortProc()) {
            result = Err::Cancelled;
            break;
        }
    }
    return result;
}

// The preview instances join the list and, when the preferences ask for it, the host's palettes
// are put aside for the dialog; however the dialog ends, the instances leave the list and the
// host's palettes come back.
class PreviewRunScope {
public:
    PreviewRunScope(const PreviewRunScope&) = delete;
    PreviewRunScope& operator=(const PreviewRunScope&) = delete;
    PreviewRunScope(const FilterObjects& filters, const RunOptions& options, bool hideHostPalettes) : filters_(filters) {
        PhotoshopFilter::InitPreviewInstance(*filters_.previewA, options);
        PhotoshopFilter::InitPreviewInstance(*filters_.previewB, options);
        if (hideHostPalettes) ShowHostPalettes(false, RecordedHostVersion());
    }
    ~PreviewRunScope() {
        PhotoshopFilter::Unlink(*filters_.previewB);
        PhotoshopFilter::Unlink(*filters_.previewA);
        ShowHostPalettes(true, RecordedHostVersion());
    }

private:
    const FilterObjects& filters_;
};

// The preview dialog's run: Apply answers 0, Cancel 32512, any other item itself.
ErrorCode RunPreviewDialog(HostCall& call, const FilterObjects& filters, const RunOptions& options) {
    if (!filters.previewA) THROW_IF_ERROR(Err::MemoryFull);
    if (!filters.previewB) THROW_IF_ERROR(Err::MemoryFull);
    const PreviewRunScope scope(filters, options, Preferences().MachineWord(PreferenceSettings::kReservedOption) != 0);
    auto dialog = std::make_unique<PhotoshopDialog>(PreviewIds::kTemplate, call, filters.ProductPreviewB(), filters.previewA);
    dialog->SetMakerServices({&DoAbout, &ShowWelcomeDialog, nullptr});
    const int16_t item = dialog->RunModal();
    dialog->EndDialog(item);
    dialog.reset();
    if (item == PreviewIds::kApply) return 0;
    if (item == PreviewIds::kCancel) return Err::Cancelled;
    return item;
}

}  // namespace

void OpenPreferencesAndLibraries(const HostCall& call) {
    LoadUserPreferences();
    OpenLibraries(call.number);
}

ErrorCode DoStart(HostCall& call, FilterObjects& filters, const RunOptions& options) {
    FilterRecord* record = call.record;
    ErrorCode result = 0;
    try {
        record->autoMask = false;
        if (!filters.main) THROW_IF_ERROR(Err::MemoryFull);
        PhotoshopFilter& main = *filters.main;
        const bool showDialog = ShowDialogRequested(record);
        ClearOutputOptionsForOtherHosts(record);
        // The libraries open before anything else, so that stored frame paths resolve.
        OpenPreferencesAndLibraries(call);
        if (showDialog) OfferWelcomePage();

        if (!record->parameters) main.SetDefaultParameters(0);
        if (record->descriptorParameters && !showDialog) main.ScriptedRunHook();
        if (!showDialog) {
            if (const ErrorCode invalid = main.ValidateParameters()) {
                if (RunModalDialog(nullptr, invalid, nullptr, nullptr) == 1) main.SetDefaultParameters(0);
            }
        }
        main.CheckHost();
        PhotoshopFilter::InitPreviewInstance(main, options);
        if (showDialog) result = RunPreviewDialog(call, filters, options);
        main.DialogFinished(result);
        if (result == 0) {
            ClearOutputOptionsForOtherHosts(record);
            LayeredOutputBlock layered(record);
            result = RunFinalPass(record);
        }
        PhotoshopFilter::Unlink(main);
    } catch (...) {
        // The run's codes and the descriptor suites' codes are the result; anything else (a
        // suite the host would not give, memory) is out-of-memory.
        result = CodeOfCurrentException(Err::MemoryFull);
    }

    try {
        if (filters.main) result = filters.main->EndRun(result);
        if (result == 0 && record->descriptorParameters && filters.main) filters.main->ClearRecordInfo();
    } catch (...) {
        // Ending the run writes the session block and touches no descriptor suite: its codes are
        // the result, and anything else is a failure without a code, told apart from the run's
        // own out-of-memory.
        result = CodeOfCurrentException(Err::Unexplained, ThrownCodes::kErrorCodes);
    }
    FreeAllBuffers();
    return result;
}
