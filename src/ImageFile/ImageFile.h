// Frame image files: JPEG streams, the frame formats that wrap them (.FRM, .FRR, .FRI, .FRO, .JP1,
// .JP2) and the .AFX container with its optional raw thumbnail. An ImageFile describes its image
// in an ImageInfo and decodes its pixels into a caller's buffer in the caller's layout; it also
// runs the choose-image dialog with its preview pane.
#pragma once

#include <windows.h>

#include <cstdint>

#include "DrawingPort.h"
#include "ErrorCodes.h"
#include "File.h"
#include "ImageInfo.h"
#include "PluginInterface.h"

// The type lists of frame images (see FileTypeList): each is one group.
namespace ImageTypeList {
// What the frame importer and the preview pane take as a frame.
extern const uint32_t kFrameFiles[];
// Every file an ImageFile reads.
extern const uint32_t kReadableImages[];
// The choose-image dialog's default.
extern const uint32_t kJpegImages[];
extern const uint32_t kContainer[];
}  // namespace ImageTypeList

// The .AFX container (big-endian): a magic word, the offset of the embedded JPEG at 284, and, when
// that JPEG starts beyond 1024, a raw thumbnail at 1024: a header of six words (header size, width,
// height, two unused, data size) and then its pixels, rows top down, interleaved, unpadded.
namespace AfxLayout {
inline constexpr uint32_t kMagic = 0x89414658;  // 0x89 'A' 'F' 'X'
inline constexpr uint32_t kJpegOffsetAt = 284;
inline constexpr uint32_t kThumbnailAt = 1024;
inline constexpr uint32_t kThumbnailHeaderSize = 24;
inline constexpr uint32_t kHeaderSizeWord = 0, kWidthWord = 1, kHeightWord = 2, kDataSizeWord = 5;
inline constexpr uint32_t kThumbnailMaxSide = 256;
}  // namespace AfxLayout

// Which image of a file: the image itself, or its thumbnail (an .AFX container's raw thumbnail,
// else the second JPEG stream of the file).
inline constexpr int kMainImage = 1;
inline constexpr int kThumbnailImage = 2;

// The decoder's state between reading a header and reading the pixels (plain data, see
// ImageFile.cpp).
struct JpegDecoder;

class ImageFile : public File {
public:
    // The dialog template of the choose-image dialog: the preview pane and its check box.
    static constexpr int16_t kChooseImageTemplate = 17100;
    static constexpr int kPreviewPaneItem = 10;
    static constexpr int kShowPreviewItem = 11;

    // Asked by the preview pane: request kPreviewQuery answers whether the preview is shown;
    // kPreviewStore tells the new state (value).
    static constexpr int kPreviewStore = 1;
    static constexpr int kPreviewQuery = 2;
    using PreviewStateCallback = bool (*)(ImageFile& file, int request, bool value);

    ImageFile();
    ImageFile(const FileSpec& spec, uint32_t typeCode);
    ~ImageFile() override;

    // Reads the image's description into the file's record (and into info when given): 17400 for
    // a file outside the readable types, else as ReadJpegHeader.
    ErrorCode ReadImageInfo(ImageInfo* info);

    // The record ReadImageInfo filled, which callers may replace with the layout they want
    // ReadJpegPixels to decode into.
    const ImageInfo& Info() const { return info_; }
    void SetInfo(const ImageInfo& info) { info_ = info; }
    // The last header read took the .AFX container's raw thumbnail.
    bool ThumbnailFound() const { return thumbnailFound_; }
    void SetThumbnailFound(bool found) { thumbnailFound_ = found; }
    void SetPreviewStateCallback(PreviewStateCallback callback) { previewCallback_ = callback; }

    // Runs the open-file dialog (one or more files) with the preview pane: 0 chosen, 1 cancelled.
    // A null list offers the JPEG images; a negative template id takes the choose-image template.
    int ChooseImage(HWND owner, const uint32_t* list, int16_t templateId);
    // The file's dialog event callback: sets the preview pane up, toggles it, and redraws it when
    // the selection changes or the dialog paints.
    static bool PreviewHook(File& file, int32_t event, DialogContext& context, LPARAM extra);
    // Paints the preview pane: its background, and the selected frame file's thumbnail scaled into
    // it while the preview is shown.
    void DrawPreview();

    bool PreviewShown() const { return !previewHidden_; }

private:
    void ForgetPreviewPane() noexcept;

    PreviewStateCallback previewCallback_ = nullptr;
    bool thumbnailFound_ = false;
    HWND previewPane_ = nullptr;
    Rect16 previewRect_{};
    HWND dialog_ = nullptr;
    DrawingPort previewPort_{};
    bool portReady_ = false;
    ImageInfo info_{};
    bool previewHidden_ = true;
};

// Moves position (the search start in, the stream's start out) to the start of the n-th JPEG
// stream of the file: a stream starts with FF D8 FF at the search start, or further on with a JFIF
// header (FF D8 FF E0, "JFIF" at 6). Each stream is looked for within 2048 positions of its search
// start (a container's search starts at its embedded JPEG); the n-th search starts 10 bytes past
// the stream before. 17401 when a stream is not found there or the file ends first. The file must
// be open; nothing is read outside it.
ErrorCode FindJpegStart(ImageFile& file, int n, uint32_t& position);

// Reads the header of image n (kMainImage or kThumbnailImage) into info (when given): its mode,
// planes, row layout, bounds and resolution. With a decoder the file stays open and the decoder
// ready for its pixels (ReadJpegPixels); without one it is closed again. 17401 when no JPEG stream
// is found or it cannot be parsed, 17404 for colour layouts other than grey, RGB and CMYK, the
// file's open error, or -108.
ErrorCode ReadJpegHeader(ImageFile& file, ImageInfo* info, int n, JpegDecoder* decoder);

// Decodes image n into buffer in the wanted layout (the file's own record when none is given):
// grey (mode 1 or one plane), RGB or CMYK, or another of the host's modes through the colour
// services; bytes beyond the planes of a pixel are 255. The buffer holds wanted.bytesPerRow x the
// wanted height; an image that does not fit it, or rows too short for their pixels, give 17401
// before anything is written. Unless quiet the wait cursor shows while it runs. The host's colour
// services (none: a host without them) make the conversions plain arithmetic does not. 0, 17400,
// 17401, 17404, -108, the file's open error or a colour conversion's error.
ErrorCode ReadJpegPixels(ImageFile& file, uint8_t* buffer, const ImageInfo* wanted, int n, bool quiet,
                         ColorServicesProc hostColours);
