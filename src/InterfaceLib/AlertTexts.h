// The texts of alerts: the placeholders "^0".."^3" filled in, bounded UTF-8 copies, and the
// source file name an error alert shows.
#pragma once

#include <cstddef>

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
