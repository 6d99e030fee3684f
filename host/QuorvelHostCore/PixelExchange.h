// How the host hands out pixels through advanceState.
//
// - inRect, inLoPlane..inHiPlane: interleaved samples of those planes (1 or 2 bytes each). With an
//   inputRate of r (16.16) the rectangle is in subsampled coordinates: pixel (x, y) of inData is
//   the document pixel ((x r) >> 16, (y r) >> 16). The host samples at any rate (samplingSupport
//   is set); a rate of 0 counts as 1.
// - maskRect with maskRate likewise, one sample a pixel at the image's depth (full coverage 255 or
//   32768); only when the document has a selection, else maskData is null.
// - outRect, outLoPlane..outHiPlane at full resolution: outData starts as the document's pixels
//   and goes back into the document at the next advanceState and when the plug-in returns, but
//   only inside the filter rectangle (the selection's bounds): the rest of the document keeps its
//   pixels, as a host keeps everything outside the area it filters. With autoMask set only
//   selected pixels change; without, the plug-in masks its output itself. Output asked for
//   outside the filter rectangle is counted (HostStatistics::outputPixelsOutsideFilter).
// - Parts of a request outside the document: inputPadding/maskPadding 0..255 fill with that value
//   (widened in 16-bit documents), -1 repeats the nearest edge pixel, -2 leaves zeros, -3 makes the
//   request fail with -50. Output outside the document is dropped on write-back.
// - A request larger than the budget fails with -108, as a host out of memory does.
// - The record's data fields must hold what the last delivery put there whenever the host looks:
//   at advanceState and when a call returns. A plug-in that leaves pointers of its own there is
//   counted (HostStatistics::foreignDataPointers) and its run fails, since a host that frees its
//   buffers through those fields would free the plug-in's memory.
// - --tile N: the host keeps its image in tiles of N x N pixels (reported to the plug-in in the
//   document information). A request larger than a tile is still delivered whole, assembled from
//   the tiles it covers, as a real host hands out what the plug-in asks; the count is logged.
#pragma once

#include <cstdint>

namespace qvhost {

class HostContext;

// Writes the pending output of the last delivery back into the document.
void WriteBackOutput(HostContext& context);
// Delivers what the record's rectangles ask for (advanceState's work; the session also calls it
// between continue calls). Answers 0 or the error advanceState answers.
int16_t DeliverRequest(HostContext& context);
// Whether the record's data fields hold what the last delivery put there; counts and logs a
// record that does not, naming `when`.
bool CheckDataFields(HostContext& context, const char* when);

}  // namespace qvhost
