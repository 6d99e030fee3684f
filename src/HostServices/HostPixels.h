// The host's pixel callbacks, used with care: advanceState with our own subsampling where the
// host cannot subsample, displayPixels with 16-bit pixel maps, and the document's title.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "ErrorCodes.h"
#include "PluginInterface.h"

struct HostCall;

// Asks the host for the record's inRect, maskRect and outRect at the record's input and mask
// rates (16.16; 0 counts as 1.0). When the host cannot deliver the request subsampled, every
// rate-th row and column is fetched row by row and kept in scratch buffers the record's inData
// and maskData then point at. Masks have the document's sample depth, as the host delivers them. 0, the host's error, -108, or 17500 without advanceState.
// The call's record is asked, and the call keeps the host's answer (HostCall::delivered).
ErrorCode AdvanceState(HostCall& call);

// Draws part of a pixel map into a window, clipped to clip, through the host's displayPixels.
// 17500 without it; else the host's result.
ErrorCode DisplayPixels(DisplayPixelsProc display, const PixelMap& map, const Rect32& source, int32_t destinationRow,
                        int32_t destinationColumn, HWND window, HRGN clip);
// The same for bitmap, 8-bit and 16-bit maps (a 16-bit map is shown through its high bytes and
// left as it was); -30914 for any other depth.
ErrorCode DisplayPixelMap(DisplayPixelsProc display, PixelMap& map, const Rect32& source, int32_t destinationRow,
                          int32_t destinationColumn, HWND window, HRGN clip);
// DisplayPixelMap into a device context the caller holds.
ErrorCode DisplayPixelMapInto(DisplayPixelsProc display, PixelMap& map, const Rect32& source, int32_t destinationRow,
                              int32_t destinationColumn, HDC dc);

// Writes the document's file name (the title after its last backslash) into buffer, bounded and
// terminated; leaves buffer as it was when the host has no title. The suites come through the
// call's basic suite.
void GetDocumentTitle(const BasicSuite* basic, char* buffer, size_t bufferSize);

// The scratch buffers of our own subsampling, for tests and for the end of a call.
void ReleaseSubsampleBuffers();
