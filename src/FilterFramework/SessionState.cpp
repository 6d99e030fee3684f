#include "SessionState.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "File.h"
#include "HostCall.h"
#include "HostPixels.h"
#include "Utf.h"

namespace {

FilterData gBlock{};

// The cache file; offsets beyond the file's 31-bit reach are refused, never wrapped.
File gCacheFile;
ErrorCode gLastFileError = 0;

bool WithinFile(int64_t offset, int64_t bytes) {
    return offset >= 0 && bytes >= 0 && offset + bytes <= INT32_MAX;
}

}  // namespace

FilterData& SessionBlock() { return gBlock; }

ErrorCode FetchBand(HostCall& call, const Rect16& band, const BandRequest& request) {
    FilterRecord& record = *call.record;
    constexpr Fixed16 kFullSize = 0x10000;
    record.inRect = record.maskRect = record.outRect = Rect16{};
    if (request.mask) {
        record.maskRect = band;
    } else {
        record.inRect = band;
        record.inLoPlane = request.lowPlane;
        record.inHiPlane = request.highPlane;
    }
    record.inputRate = record.maskRate = kFullSize;
    return AdvanceState(call);
}

bool DataWordHoldsBlock(const intptr_t* data) {
    return data && *data != 0 && *data != ~intptr_t{0};
}

namespace SourceCache {

void Create() {
    gCacheFile.Close();
    gCacheFile.SetSpec(FileSpec());
    gCacheFile.CreateTemp();
    const std::string_view path = gCacheFile.Spec().Text();
    std::memset(gBlock.path, 0, sizeof gBlock.path);
    std::memcpy(gBlock.path, path.data(), std::min(path.size(), sizeof gBlock.path - 1));
}

bool Open() {
    if (!gBlock.path[0]) return false;
    gCacheFile.Close();
    gCacheFile.SetSpec(FileSpec::FromPath(gBlock.path));
    return gCacheFile.Open("r") == 0;
}

bool IsOpen() { return gCacheFile.IsOpen(); }

bool Write(int64_t offset, const void* data, int64_t bytes) {
    return IsOpen() && WithinFile(offset, bytes) &&
           gCacheFile.Write(data, static_cast<uint32_t>(offset), static_cast<uint32_t>(bytes)) == 0;
}

bool Read(int64_t offset, void* data, int64_t bytes) {
    return IsOpen() && WithinFile(offset, bytes) &&
           gCacheFile.Read(data, static_cast<uint32_t>(offset), static_cast<int32_t>(bytes)) == bytes;
}

void Close() { gCacheFile.Close(); }

void CloseAndDelete() {
    gCacheFile.Close();
    gLastFileError = 0;
    if (gBlock.path[0] && !DeleteFileW(Utf8ToUtf16(gBlock.path).c_str())) gLastFileError = Err::FileNotDeletable;
    std::memset(gBlock.path, 0, sizeof gBlock.path);
}

ErrorCode LastFileError() { return gLastFileError; }

}  // namespace SourceCache
