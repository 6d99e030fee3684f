// The start selector: supply or validate the parameters, check the host, run the preview dialog
// when asked, and drive the final pass.
#include <windows.h>

#include "Alerts.h"
#include "Errors.h"
#include "HostMemory.h"
#include "PhotoshopDialog.h"
#include "PhotoshopFilter.h"
#include "PluginGlobals.h"
#include "PluginMain.h"

namespace {

bool ShowDialogRequested(const FilterRecord* record) {
    // A record without scripting parameters is a call without dialog.
    return record->descriptorParameters && record->descriptorParameters->playInfo == kPlayDisplay;
}

ErrorCode CodeOf(const ErrorCodeException& e) { return e.code; }

// Drives every instance through its final pass; the host may abort between steps.
ErrorCode RunFinalPass(PhotoshopFilter& main) {
    const FilterRecord* record = gCall.record;
    for (PhotoshopFilter* instance = PhotoshopFilter::FirstInstance(); instance; instance = instance->NextInstance())
        instance->RestartPass();
    ErrorCode result = 0;
    while (PhotoshopFilter::RunInstances(0)) {
        if (record->abortProc && record->abortProc()) {
            result = Err::Cancelled;
            break;
        }
    }
    PhotoshopFilter::Unlink(main);
    return result;
}

}  // namespace

ErrorCode DoStart() {
    FilterRecord* record = gCall.record;
    ErrorCode result = 0;
    try {
        record->autoMask = false;
        if (!gFilters.main) THROW_IF_ERROR(Err::MemoryFull);
        PhotoshopFilter& main = *gFilters.main;
        const bool showDialog = ShowDialogRequested(record);
        // The libraries open before anything else, so that stored frame paths resolve.
        { PhotoshopDialog libraries(PhotoshopDialog::kWindowless, gFilters.previewB, gFilters.previewA); }

        if (!record->parameters) main.SetDefaultParameters(0);
        if (record->descriptorParameters && !showDialog) main.ScriptedRunHook();
        if (!showDialog) {
            if (const ErrorCode invalid = main.ValidateParameters()) {
                if (RunModalDialog(nullptr, invalid, nullptr, nullptr) == 1) main.SetDefaultParameters(0);
            }
        }
        main.CheckHost();
        PhotoshopFilter::InitPreviewInstance(main);
        if (showDialog) {
            // The preview dialog is not part of this build: the call ends as if it was cancelled.
            result = Err::Cancelled;
        }
        main.DialogFinished(result);
        if (result == 0) result = RunFinalPass(main);
    } catch (const SuiteErrorException& e) {
        result = static_cast<ErrorCode>(e.code & 0xFFFF);
    } catch (const ErrorCodeException& e) {
        result = CodeOf(e);
    } catch (...) {
        result = Err::MemoryFull;
    }

    try {
        if (gFilters.main) gFilters.main->EndRun(result);
        if (result == 0 && record->descriptorParameters && gFilters.main) gFilters.main->ClearRecordInfo();
    } catch (const ErrorCodeException& e) {
        result = e.code;
    } catch (...) {
        result = -1;
    }
    FreeAllBuffers();
    return result;
}
