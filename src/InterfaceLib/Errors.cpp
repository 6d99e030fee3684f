#include "Errors.h"

#include <cstdio>

#include "Alerts.h"
#include "AlertTexts.h"

namespace {

struct {
    ErrorCode lastError = 0;
    char message[256] = {};
    const char* sourceFile = "";
    char lineText[16] = {};
} gAlert;

bool IsAlertCode(ErrorCode code) {
    return static_cast<uint16_t>(code - 1) <= 32510;
}

// The texts of the generic error alerts: the message, the source file and the line.
PlaceholderTable ErrorPlaceholders() {
    PlaceholderTable table;
    table.text[0] = gAlert.message;
    table.text[1] = gAlert.sourceFile;
    table.text[2] = gAlert.lineText;
    return table;
}

}  // namespace

namespace AlertState {
ErrorCode LastError() { return gAlert.lastError; }
void ClearLastError() { gAlert.lastError = 0; }
}  // namespace AlertState

void ThrowIfError(ErrorCode code, const char* sourceFile, unsigned line) {
    if (code == 0) return;
    gAlert.lastError = code;
    if (IsAlertCode(code)) {
        std::snprintf(gAlert.lineText, sizeof gAlert.lineText, "%u", line);
        gAlert.sourceFile = SourceFileName(sourceFile);
        const PlaceholderTable texts = ErrorPlaceholders();
        // The code's own dialog leaves its texts as they are; without one, its string goes into
        // the generic message alert, and without that the bare number into the fatal one.
        try {
            if (ShowAlertDialog(code, HostWindow(), nullptr, AlertKind::Error) < 0) {
                if (LoadResourceString(code, gAlert.message, sizeof gAlert.message)) {
                    ShowAlertDialog(Err::GenericMessageAlert, HostWindow(), &texts, AlertKind::Error);
                } else {
                    std::snprintf(gAlert.message, sizeof gAlert.message, "%d", code);
                    ShowAlertDialog(Err::GenericFatalAlert, HostWindow(), &texts, AlertKind::Error);
                }
            }
        } catch (...) {
            // A failure while the alert is up does not stop the throw below.
        }
    }
    throw ErrorCodeException{code};
}

ErrorCode RunModalDialog(HWND* owner, int16_t id, const char* text0, const char* text1, const char* text2,
                         uint16_t /*flags*/) {
    struct DepthGuard {
        DepthGuard() { AlertState::RaiseModalDepth(); }
        ~DepthGuard() { AlertState::LowerModalDepth(); }
    } depth;
    PlaceholderTable table;
    table.text[0] = text0;
    table.text[1] = text1;
    table.text[2] = text2;
    const INT_PTR result = ShowAlertDialog(id, owner ? *owner : HostWindow(), &table, AlertKind::Caution);
    const auto answer = static_cast<ErrorCode>(result);
    if (answer < 1 && id >= 2) {
        char message[256];
        THROW_IF_ERROR(LoadResourceString(id, message, sizeof message) ? id : Err::ResourceMissing);
    }
    return answer;
}
