// Thumbnails: the small 8-bit pictures of frames, presets and the user's photo, held behind the
// library's 32-byte big-endian picture header and shown through the host's displayPixels, so that
// the host's colour handling applies to them as it does to the preview.
//
// A thumbnail's bytes come from library blobs and files the user can change: a header is checked
// against the bytes that really follow it before a single pixel is read, and one that promises
// more than it brings draws nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "DrawingPort.h"
#include "Geometry.h"
#include "HostMemory.h"

class MorvaneDialog;
struct HostCall;

// The header in front of every stored thumbnail. Its offsets are the library's picture header
// (PictureHeader in ThumbnailGenerator.h), which writes what this draws.
inline constexpr size_t kThumbnailHeaderLength = 32;

struct ThumbnailHeader {
    int16_t imageMode = 0;   // the host's 8-bit image mode
    uint16_t planes = 0;     // colour planes, plus one transparency plane when present
    uint32_t pixelStep = 0;  // bytes from one pixel to the next
    uint32_t rowBytes = 0;   // bytes from one row to the next
    Rect16 bounds{};         // top, left, bottom, right

    // Reads the fields of kThumbnailHeaderLength bytes.
    static ThumbnailHeader Read(const uint8_t* bytes);
    // Writes the fields; bytes 20..31 are left as they are.
    void Write(uint8_t* bytes) const;
};

// The most planes a thumbnail may carry: the widest 8-bit mode (CMYK) and a transparency plane,
// with room for the spot planes of a multichannel picture.
inline constexpr int32_t kMaxThumbnailPlanes = 16;

// What a checked header says of its pixels.
struct ThumbnailLayout {
    int16_t imageMode = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t planes = 0;
    int32_t colourPlanes = 0;  // of the image mode; a plane beyond them is the transparency mask
    int32_t pixelStep = 0;
    int32_t rowBytes = 0;
    bool HasMask() const { return planes > colourPlanes; }
};

// Checks a header against the pixelBytes bytes that hold its pixels: an 8-bit mode with colour
// (not bitmap), at least the mode's colour planes and at most kMaxThumbnailPlanes, a pixel step
// that holds the planes, rows that hold their pixels, positive bounds, and every pixel within
// the bytes. False, with the layout untouched, for anything else.
bool DescribeThumbnail(const ThumbnailHeader& header, uint64_t pixelBytes, ThumbnailLayout& layout);

namespace ThumbnailFlags {
inline constexpr uint32_t kInvert = 1;  // every sample drawn as 255 minus itself
}  // namespace ThumbnailFlags

// Scales checked pixels by nearest neighbour into width x height pixels of layout.planes bytes
// each, written row after row into out (width x height x planes bytes), the end pixels of each
// side mapped onto each other; a one-pixel side takes the first row or column.
void ScaleThumbnail(const ThumbnailLayout& layout, const uint8_t* pixels, int32_t width, int32_t height, uint8_t* out,
                    uint32_t flags);

// Draws the thumbnail fitted into destination (aspect kept, centred) into the port, clipped to
// its clip region, through the host's displayPixels, or by itself when there is none to ask.
// False, drawing nothing, when the header or pixels are missing or the header does not describe
// the pixels. The pixel buffer is read within its size only. An allocation failure of the shared
// scratch buffer is raised through ThrowIfError.
bool DrawThumbnail(DisplayPixelsProc display, DrawingPort& port, const Rect16& destination, const uint8_t* header,
                   BufferRecord* pixels, uint32_t flags = 0);
// The same for a stored blob: the header and then the pixels, blobSize bytes in all.
bool DrawThumbnail(DisplayPixelsProc display, DrawingPort& port, const Rect16& destination, const uint8_t* blob,
                   uint64_t blobSize, uint32_t flags = 0);
// Draws the thumbnail framed into item 1 of the dialog: the item outlined in the port's fore
// colour, its inside filled with the back colour and the thumbnail fitted into it. The port's
// colours are put back after. Answers what DrawThumbnail answered. `item` is kept for the callers'
// sake and not used: the picture item of every dialog that shows one is item 1.
bool DrawThumbnailFrame(DisplayPixelsProc display, MorvaneDialog& dialog, int16_t item, const uint8_t* header,
                        BufferRecord* pixels, bool invert);

// The scratch buffer every draw scales into, for tests: its size, which only ever grows.
uint64_t ThumbnailScratchSize();

// ---- The photo's thumbnail, taken from the host's image once and kept

// Its header and the buffer that holds its pixels; the header stays zero until a render succeeds.
struct PhotoThumbnail {
    uint8_t header[kThumbnailHeaderLength] = {};
    BufferRecord pixels;
};

// The thumbnail's side: the photo fits 128 x 128 pixels once sampled every factor-th pixel.
inline constexpr int32_t kPhotoThumbnailSide = 128;
// The smallest power of two (1 at least) that brings both sides of bounds within
// kPhotoThumbnailSide.
int32_t PhotoSamplingFactor(const Rect16& bounds);
// The bounds divided by the factor, rounded inward (the top and left up, the bottom and right
// down), so that no sampled pixel lies outside them.
Rect16 SampledBounds(const Rect16& bounds, int32_t factor);

// Fills the thumbnail from the call's image in the filter rectangle, sampled by the host at a
// reduced rate: true with the header written, false (header and pixels untouched) when the call
// has no filter record, nothing to sample, or the host refuses or delivers nothing. The host's request fields
// and rates are put back however it ends. An allocation failure is raised through ThrowIfError.
bool RenderThumbnailBuffer(HostCall& call, PhotoThumbnail& thumbnail);
