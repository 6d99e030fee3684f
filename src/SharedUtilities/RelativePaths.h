// The arithmetic of relative paths: a file's path relative to a folder, and back. The library
// stores frame paths relative to its folder, and a file spec may hold a path relative
// to the frame library's folder: both follow these rules. Paths are backslash-separated and
// compared byte by byte (case-sensitively). A path is rooted when it starts with a drive ("X:\");
// MakeAbsolutePath also takes a leading "\" as rooted.
#pragma once

#include <cstddef>

// The path of `path` relative to the folder `base`, into result (size bytes with the terminator).
// A path that is not rooted is copied as it is. Answers result, or null with errno 22 (the base is
// not rooted, or the two are on different drives) or 34 (the result does not fit).
char* MakeRelativePath(const char* path, const char* base, char* result, size_t size);

// The full path of `path` taken relative to the folder `base`; leading "..\" and ".\" elements are
// resolved against the base, never above its root. A rooted path is copied as it is. Answers
// result, or null with errno 22 (the base is not rooted) or 34 (no base, or it does not fit).
char* MakeAbsolutePath(const char* path, const char* base, char* result, size_t size);
