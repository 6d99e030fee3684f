// Errors: ThrowIfError, which shows a code's alert and throws it, and the modal alert runner,
// which reports a dialog it cannot show as an error.
#pragma once

#include <windows.h>

#include "ErrorCodes.h"

// Records a non-zero code, shows its alert when the code names one (1..32511), and throws it as
// an ErrorCodeException. Code 0 does nothing.
void ThrowIfError(ErrorCode code, const char* sourceFile, unsigned line);

#define THROW_IF_ERROR(code) ThrowIfError((code), __FILE__, __LINE__)

// Runs dialog `id` modally with AlertDialogProc, "^0", "^1" and "^2" filled from text0..text2. A
// null owner means the host's window. Answers the control that ended it (2 for the close box). A
// dialog that cannot be shown raises its string's code, or 20001 without one. `flags` is carried
// for the callers that hand an alert's flags through; no flag changes the run.
ErrorCode RunModalDialog(HWND* owner, int16_t id, const char* text0, const char* text1, const char* text2 = nullptr,
                         uint16_t flags = 0);

namespace AlertState {
// The last non-zero code ThrowIfError recorded.
ErrorCode LastError();
void ClearLastError();
}  // namespace AlertState
