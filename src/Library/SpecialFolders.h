// The library's place in the application-data folders.
#pragma once

#include <string>

// Sets `path` to the application-data folder (the one common to all users, or the user's roaming
// one), then "\" and each component of subPath, then "\" and name, creating the missing folders
// on the way. A folder that cannot be made raises 19000 through ThrowIfError.
void ResolveSpecialFolderPath(bool common, const char* subPath, const char* name, std::string& path);
