// Errors and alerts: ThrowIfError, the modal alert runner and the placeholder filling.
#pragma once

#include <string>
#include <string_view>

#include "ErrorCodes.h"

// Records a non-zero code, shows its alert when the code names one (1..32511), and throws it as
// an ErrorCodeException. Code 0 does nothing.
void ThrowIfError(ErrorCode code, const char* sourceFile, unsigned line);

#define THROW_IF_ERROR(code) ThrowIfError((code), __FILE__, __LINE__)

namespace AlertState {
// The last non-zero code ThrowIfError recorded.
ErrorCode LastError();
void ClearLastError();
// The modal depth: raised while RunModalDialog runs and while a popup window holds the mouse.
int ModalDepth();
void RaiseModalDepth();
void LowerModalDepth();
}  // namespace AlertState

// The four texts that replace "^0".."^3" in an alert's static texts; null stands for empty.
struct PlaceholderTable {
    const char* text[4] = {};
};

// Copies source into out (at most outSize - 1 bytes and a terminator), replacing every "^" followed
// by a digit 0..3 with that placeholder's text. A double-byte lead byte travels with its trail
// byte, and never past the terminator. Returns whether any placeholder was replaced.
bool FillPlaceholders(const char* source, const PlaceholderTable& table, char* out, size_t outSize);

// Copies length bytes of UTF-8 text into out, whole sequences only, bounded and terminated.
void CopyBoundedUtf8(const char* text, size_t length, char* out, size_t outSize);

// Where a code's source file name starts: behind the last backslash or slash of the path.
const char* SourceFileName(const char* path);
