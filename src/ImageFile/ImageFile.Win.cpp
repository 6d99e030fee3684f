// The choose-image dialog: the open-file dialog with a pane that previews the selected frame
// file's thumbnail, and a check box that shows or hides it.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "DrawingPort.h"
#include "HostMemory.h"
#include "ImageFile.h"

namespace {

// A second stream larger than this is no thumbnail: the pane does not decode it.
constexpr int32_t kPreviewMaxSide = 2048;

// A 32-bit top-down device-independent bitmap of the thumbnail: blue, green, red, unused.
struct ThumbnailBitmap {
    BITMAPINFO header{};
    std::vector<uint32_t> pixels;
};

// The screen colour of one thumbnail pixel of the given planes (grey, RGB, or CMYK stored inverted).
inline uint32_t ScreenColourOf(const uint8_t* p, uint32_t planes) {
    uint32_t r = p[0], g = p[0], b = p[0];
    if (planes == 3) {
        g = p[1];
        b = p[2];
    } else if (planes == 4) {
        const uint32_t k = p[3];
        r = (p[0] * k + 127) / 255;
        g = (p[1] * k + 127) / 255;
        b = (p[2] * k + 127) / 255;
    }
    return (r << 16) | (g << 8) | b;
}

ThumbnailBitmap BitmapOf(const uint8_t* pixels, const ImageInfo& info) {
    ThumbnailBitmap bitmap;
    const int32_t width = info.Width(), height = info.Height();
    bitmap.header.bmiHeader.biSize = sizeof bitmap.header.bmiHeader;
    bitmap.header.bmiHeader.biWidth = width;
    bitmap.header.bmiHeader.biHeight = -height;  // top down
    bitmap.header.bmiHeader.biPlanes = 1;
    bitmap.header.bmiHeader.biBitCount = 32;
    bitmap.header.bmiHeader.biCompression = BI_RGB;
    bitmap.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = pixels + static_cast<int64_t>(y) * info.bytesPerRow;
        for (int32_t x = 0; x < width; ++x) {
            bitmap.pixels[static_cast<size_t>(y) * width + x] = ScreenColourOf(row + x * info.bytesPerPixel, info.planes);
        }
    }
    return bitmap;
}

// The largest rectangle of the image's proportions inside the pane, centred in it.
RECT FittedRect(const Rect16& pane, int32_t width, int32_t height) {
    const int32_t paneWidth = pane.right - pane.left, paneHeight = pane.bottom - pane.top;
    int32_t w = paneWidth, h = static_cast<int32_t>(int64_t{paneWidth} * height / width);
    if (h > paneHeight) {
        h = paneHeight;
        w = static_cast<int32_t>(int64_t{paneHeight} * width / height);
    }
    const int32_t left = pane.left + (paneWidth - w) / 2, top = pane.top + (paneHeight - h) / 2;
    return RECT{left, top, left + w, top + h};
}

// Draws the thumbnail scaled into the pane.
void DrawThumbnail(const uint8_t* pixels, const ImageInfo& info, const Rect16& pane, DrawingPort& port) {
    const ThumbnailBitmap bitmap = BitmapOf(pixels, info);
    const RECT target = FittedRect(pane, info.Width(), info.Height());
    const PortDC dc(port);
    if (!dc) return;
    SetStretchBltMode(dc.Get(), HALFTONE);
    SetBrushOrgEx(dc.Get(), 0, 0, nullptr);
    StretchDIBits(dc.Get(), target.left, target.top, target.right - target.left, target.bottom - target.top, 0, 0,
                  info.Width(), info.Height(), bitmap.pixels.data(), &bitmap.header, DIB_RGB_COLORS, SRCCOPY);
}

}  // namespace

// An image file answers the open-file dialog with its preview pane: the pane, its hook and its
// drawing are this Windows half's, so the file is made and undone here.
ImageFile::ImageFile() { SetDialogEventCallback(PreviewHook); }

ImageFile::ImageFile(const FileSpec& spec, uint32_t typeCode) : File(spec, typeCode) {
    SetDialogEventCallback(PreviewHook);
}

ImageFile::~ImageFile() { ForgetPreviewPane(); }

int ImageFile::ChooseImage(HWND owner, const uint32_t* list, int16_t templateId) {
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    const int result = ChooseFile(kChooseMany, owner, list ? list : ImageTypeList::kJpegImages,
                                  templateId < 0 ? kChooseImageTemplate : templateId);
    ForgetPreviewPane();  // its window went with the dialog
    return result;
}

void ImageFile::ForgetPreviewPane() noexcept {
    if (portReady_) DisposePort(previewPort_);
    portReady_ = false;
    previewPane_ = nullptr;
    dialog_ = nullptr;
}

bool ImageFile::PreviewHook(File& file, int32_t event, DialogContext& context, LPARAM) {
    // Installed by ImageFile's constructors on ImageFile objects only.
    auto& image = static_cast<ImageFile&>(file);
    try {
        switch (event) {
        case kEventInitDialog: {
            image.dialog_ = context.dialog;
            if (const HWND pane = GetDlgItem(context.dialog, kPreviewPaneItem)) {
                InitPort(image.previewPort_, pane);
                image.portReady_ = true;
                image.previewPane_ = pane;
                RECT client{};
                GetClientRect(pane, &client);
                image.previewRect_ = ToRect16(client);
            }
            const bool shown = image.previewCallback_ && image.previewCallback_(image, kPreviewQuery, false);
            image.previewHidden_ = !shown;
            CheckDlgButton(context.dialog, kShowPreviewItem, shown ? BST_CHECKED : BST_UNCHECKED);
            return true;
        }
        case kShowPreviewItem: {
            image.previewHidden_ = !image.previewHidden_;
            if (image.previewCallback_) image.previewCallback_(image, kPreviewStore, image.PreviewShown());
            CheckDlgButton(context.dialog, kShowPreviewItem, image.PreviewShown() ? BST_CHECKED : BST_UNCHECKED);
            image.DrawPreview();
            return true;
        }
        case kEventSelectionChanged:
        case kEventPaint:
            image.DrawPreview();
            return true;
        default:
            return true;
        }
    } catch (...) {
        // A preview that cannot be drawn leaves the pane as it is; the dialog goes on.
        return true;
    }
}

void ImageFile::DrawPreview() {
    if (!portReady_) return;
    EraseRect(previewPort_, previewRect_);
    if (previewHidden_ || Spec().IsEmpty() || FileSpec::TypeIndex(*this, ImageTypeList::kFrameFiles) == 0) return;
    ImageInfo thumbnail;
    if (ReadJpegHeader(*this, &thumbnail, kThumbnailImage, nullptr) != 0 || thumbnail.Width() > kPreviewMaxSide ||
        thumbnail.Height() > kPreviewMaxSide) {
        return;
    }
    const int64_t bytes = int64_t{thumbnail.bytesPerRow} * thumbnail.Height();
    BufferRecord buffer;
    if (bytes <= 0 || buffer.Allocate(bytes) != 0) return;
    const LockedBuffer pixels(buffer);
    // The thumbnail keeps its own mode: it is decoded without a colour conversion.
    if (!pixels || ReadJpegPixels(*this, pixels.As<uint8_t>(), &thumbnail, kThumbnailImage, true, nullptr) != 0) return;
    DrawThumbnail(pixels.As<uint8_t>(), thumbnail, previewRect_, previewPort_);
}
