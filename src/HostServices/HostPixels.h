// The host's pixel callbacks, used with care: advanceState with our own subsampling where the
// host cannot subsample, displayPixels with 16-bit pixel maps, and the document's title.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "ErrorCodes.h"
#include "PluginInterface.h"

// Asks the host for the record's inRect, maskRect and outRect at the record's input and mask
// rates (16.16; 0 counts as 1.0). When the host cannot deliver the request subsampled, every
// rate-th row and column is fetched row by row and kept in scratch buffers the record's inData
// and maskData then point at. Masks have the document's sample depth, as the host delivers them. 0, the host's error, -108, or 17500 without advanceState.
ErrorCode AdvanceState();

// Draws part of a pixel map into a window, clipped to clip. 17500 without the host's
// displayPixels; else the host's result.
ErrorCode DisplayPixels(const PixelMap& map, const Rect32& source, int32_t destinationRow, int32_t destinationColumn,
                        HWND window, HRGN clip);
// The same for bitmap, 8-bit and 16-bit maps (a 16-bit map is shown through its high bytes and
// left as it was); -30914 for any other depth.
ErrorCode DisplayPixelMap(PixelMap& map, const Rect32& source, int32_t destinationRow, int32_t destinationColumn,
                          HWND window, HRGN clip);
// DisplayPixelMap into a device context the caller holds.
ErrorCode DisplayPixelMapInto(PixelMap& map, const Rect32& source, int32_t destinationRow, int32_t destinationColumn,
                              HDC dc);

// Writes the document's file name (the title after its last backslash) into buffer, bounded and
// terminated; leaves buffer as it was when the host has no title.
void GetDocumentTitle(char* buffer, size_t bufferSize);

// The scratch buffers of our own subsampling, for tests and for the end of a call.
void ReleaseSubsampleBuffers();
