#include "RenderSession.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "Utf.h"

namespace {

// Whether path names a file right inside the system's temporary folder, where the image cache
// is made: a block from elsewhere must never lead us to delete a file of the user's.
bool IsInTemporaryFolder(const char* path) {
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) return false;
    const std::wstring file = Utf8ToUtf16(path);
    return file.size() > length && file.find(L'\\', length) == std::wstring::npos &&
           CompareStringOrdinal(file.c_str(), static_cast<int>(length), folder, static_cast<int>(length), TRUE) ==
               CSTR_EQUAL;
}

}  // namespace

bool IsSoundFrameCacheBlock(const FrameCacheBlock& block) {
    const Rect16& r = block.rect;
    return block.cacheOpen == 1 && block.planes >= 1 && block.planes <= FrameCacheBlock::kMaxPlanes && r.top >= 0 &&
           r.left >= 0 && r.top < r.bottom && r.left < r.right &&
           std::memchr(block.path, '\0', FrameCacheBlock::kPathSize) != nullptr && IsInTemporaryFolder(block.path);
}

RenderSession& Session() {
    // Never destroyed: the library may be unloaded after the host that owns its memory is gone.
    static RenderSession& session = *new RenderSession;
    return session;
}
