// The session block that passes from one host call to the next in the host's data word when the
// filter is applied inside a selection: the first call caches the selected source in a temporary
// file and has the host undo, deselect and repeat the filter; the repeated call finds the cache
// again through this block.
#pragma once

#include <cstddef>
#include <cstdint>

#include "BinaryLayout.h"
#include "ErrorCodes.h"
#include "Errors.h"
#include "HostCall.h"
#include "PluginInterface.h"

struct FilterData {
    static constexpr int kSize = 1144;
    static constexpr int kPathOffset = 60;
    static constexpr int kPathSize = 1024;

    uint8_t cacheValid;     // 1 once the block was taken back from the host
    uint8_t maskCached;     // the host's have-mask flag when it was saved
    uint8_t imageCached;    // the image planes are in the file too
    uint8_t planesCached;   // 1, or colour planes + 1 with the image
    Rect16 filterRect;      // of the first call, in document coordinates
    uint8_t zero[4];
    uint8_t fileObject[kPathOffset - 16];
    char path[kPathSize];   // the cache file's path, terminated
    uint8_t fileTail[kSize - kPathOffset - kPathSize];
};
static_assert(sizeof(FilterData) == FilterData::kSize);
// The block travels to the host and back by its bytes: every field stays where it is.
static_assert(FieldsFollowOn(0, {{offsetof(FilterData, cacheValid), 1}, {offsetof(FilterData, maskCached), 1},
                                 {offsetof(FilterData, imageCached), 1}, {offsetof(FilterData, planesCached), 1},
                                 {offsetof(FilterData, filterRect), sizeof(Rect16)}, {offsetof(FilterData, zero), 4},
                                 {offsetof(FilterData, fileObject), FilterData::kPathOffset - 16},
                                 {offsetof(FilterData, path), FilterData::kPathSize},
                                 {offsetof(FilterData, fileTail), FilterData::kSize - FilterData::kPathOffset - FilterData::kPathSize}},
                             FilterData::kSize));

// The one process-wide block.
FilterData& SessionBlock();

// Whether the host's data word (none: a call without one) holds a block: neither 0 nor all ones.
bool DataWordHoldsBlock(const intptr_t* data);

// The temporary source cache file of the session.
namespace SourceCache {
// Creates a new temporary file (prefix "File") and keeps its path in the block; raises 19003 when
// none can be made.
void Create();
// Opens the file named in the block for reading; false when it cannot.
bool Open();
bool IsOpen();
bool Write(int64_t offset, const void* data, int64_t bytes);
bool Read(int64_t offset, void* data, int64_t bytes);
void Close();
// Closes the file, deletes it when it has a path (a failure sets the last file error to 19008)
// and forgets the path.
void CloseAndDelete();
// 19008 when the last delete failed, else 0.
ErrorCode LastFileError();
}  // namespace SourceCache

// Which pixels of a band the host is asked for.
struct BandRequest {
    bool mask;            // the selection mask, else input planes low..high
    int16_t lowPlane = 0;
    int16_t highPlane = 0;
};
// Asks the host of the call for the area in bands of rows rows (at least one), top to bottom, at
// full size, with every other rectangle of the call's record empty, and hands each band with its
// data and row bytes to take. Host errors are raised; the record's rectangles are empty again
// afterwards.
template <typename Take>
void FetchBands(HostCall& call, const Rect16& area, int64_t rows, const BandRequest& request, Take take);

struct BufferRecord;
// The process-wide transfer buffer of the source cache, also the substitute mask of a tile.
BufferRecord& SourceCacheScratch();

// ---- FetchBands

ErrorCode FetchBand(HostCall& call, const Rect16& band, const BandRequest& request);

template <typename Take>
void FetchBands(HostCall& call, const Rect16& area, int64_t rows, const BandRequest& request, Take take) {
    FilterRecord& record = *call.record;
    rows = rows < 1 ? 1 : rows;
    for (int64_t top = area.top; top < area.bottom; top += rows) {
        const Rect16 band{static_cast<int16_t>(top), area.left,
                          static_cast<int16_t>(top + rows < area.bottom ? top + rows : area.bottom), area.right};
        if (const ErrorCode error = FetchBand(call, band, request)) {
            record.inRect = record.maskRect = record.outRect = Rect16{};
            ThrowIfError(error, __FILE__, __LINE__);
        }
        take(band, static_cast<const char*>(request.mask ? record.maskData : record.inData),
             request.mask ? record.maskRowBytes : record.inRowBytes);
    }
    record.inRect = record.maskRect = record.outRect = Rect16{};
}
