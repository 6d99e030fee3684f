// Thumbnail drawing: headers checked against the bytes behind them (a damaged one draws nothing
// and reads nothing past its blob), the nearest-neighbour scaling with its ends mapped onto each
// other, the fitted place, the transparency plane handed to the host as the mask, inversion, the
// shared scratch buffer, and the drawing of our own when there is no host to ask. The dialog of
// five thumbnails is photographed as thumbnails.png.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ControlDrawing.h"
#include "DrawingGuards.h"
#include "GdiOwner.h"
#include "HostCall.h"
#include "PaletteTemplates.h"
#include "PSDialog.h"
#include "QuorvelHostCore/ImageFiles.h"
#include "QuorvelHostCore/UiScript.h"
#include "TempFolder.h"
#include "Thumbnails.h"
#include "UiShots.h"
#include "WindowShot.h"

namespace {

using namespace ControlLook;

// ---- Thumbnails made for the tests

struct ThumbnailShape {
    int16_t mode = kModeRGBColor;
    uint16_t planes = 3;
    uint32_t pixelStep = 3;
    uint32_t rowBytes = 0;   // 0: width x pixel step
    Rect16 bounds{0, 0, 4, 6};
};

std::vector<uint8_t> HeaderBytes(const ThumbnailShape& shape) {
    std::vector<uint8_t> header(kThumbnailHeaderLength, 0);
    ThumbnailHeader fields;
    fields.imageMode = shape.mode;
    fields.planes = shape.planes;
    fields.pixelStep = shape.pixelStep;
    fields.rowBytes = shape.rowBytes ? shape.rowBytes : uint32_t(RectWidth(shape.bounds)) * shape.pixelStep;
    fields.bounds = shape.bounds;
    fields.Write(header.data());
    return header;
}

// A blob of header and pixels; `pixel(x, y, plane)` gives each sample.
template <typename Pixel>
std::vector<uint8_t> MakeBlob(const ThumbnailShape& shape, Pixel pixel) {
    std::vector<uint8_t> blob = HeaderBytes(shape);
    const int32_t width = RectWidth(shape.bounds), height = RectHeight(shape.bounds);
    const uint32_t rowBytes = shape.rowBytes ? shape.rowBytes : uint32_t(width) * shape.pixelStep;
    blob.resize(kThumbnailHeaderLength + size_t(rowBytes) * height, 0);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            for (int32_t p = 0; p < shape.planes; ++p)
                blob[kThumbnailHeaderLength + size_t(y) * rowBytes + size_t(x) * shape.pixelStep + p] = pixel(x, y, p);
    return blob;
}

// Bytes placed so that the first byte after them is an inaccessible page: reading one byte too
// many ends the program instead of passing unseen.
class GuardedBytes {
public:
    explicit GuardedBytes(const std::vector<uint8_t>& bytes) {
        SYSTEM_INFO info{};
        GetSystemInfo(&info);
        const size_t page = info.dwPageSize;
        const size_t pages = (bytes.size() + page - 1) / page + 1;
        base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, pages * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(base_ + (pages - 1) * page, page, PAGE_NOACCESS, &old);
        data_ = base_ + (pages - 1) * page - bytes.size();
        std::memcpy(data_, bytes.data(), bytes.size());
        size_ = bytes.size();
    }
    ~GuardedBytes() { VirtualFree(base_, 0, MEM_RELEASE); }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    const uint8_t* Data() const { return data_; }
    uint64_t Size() const { return size_; }

private:
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// ---- A host that records what displayPixels was given

struct Shown {
    int calls = 0;
    PixelMap map{};
    Rect32 area{};                 // the part of the map drawn
    int32_t row = 0, column = 0;   // where it is drawn
    bool hadMask = false;
    int32_t maskColBytes = 0;
    std::vector<uint8_t> pixels;   // the map's pixels, row after row, all planes
    std::vector<uint8_t> mask;     // the mask's bytes, one a pixel
};
Shown gShown;

OSErr16 RecordingDisplay(const PixelMap* map, const Rect32* area, int32_t row, int32_t column, void*) {
    ++gShown.calls;
    gShown.map = *map;
    gShown.area = *area;
    gShown.row = row;
    gShown.column = column;
    gShown.hadMask = map->masks != nullptr;
    const int32_t width = area->right - area->left, height = area->bottom - area->top;
    const auto* base = static_cast<const uint8_t*>(map->baseAddr);
    gShown.pixels.assign(base, base + size_t(map->rowBytes) * height);
    gShown.mask.clear();
    if (map->masks) {
        gShown.maskColBytes = map->masks->colBytes;
        const auto* mask = static_cast<const uint8_t*>(map->masks->maskData);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                gShown.mask.push_back(mask[size_t(y) * map->masks->rowBytes + size_t(x) * map->masks->colBytes]);
    }
    return 0;
}

// A call of a host whose displayPixels records, and a hidden window to draw into.
class RecordingHost : public testing::Test {
protected:
    void SetUp() override {
        gShown = Shown{};
        record_.displayPixels = RecordingDisplay;
        window_.Reset(CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr, nullptr, nullptr));
        InitPort(port_, window_.Get());
    }
    void TearDown() override { DisposePort(port_); }

    FilterRecord record_{};
    intptr_t data_ = 0;
    HostCallScope call_{HostCall::OfFilterRecord(kSelectorStart, &record_, &data_)};
    OwnedWindow window_;
    DrawingPort port_{};
};

// ---- Header checks

TEST_F(RecordingHost, ADamagedHeaderDrawsNothingAndReadsNothingPastItsBlob) {
    const auto grey = [](int32_t x, int32_t y, int32_t) { return uint8_t(x * 40 + y); };
    const ThumbnailShape good;  // RGB, 6 x 4, 3 planes
    struct Case {
        const char* what;
        ThumbnailShape shape;
        int64_t sizeChange;   // bytes added to (or taken from) the blob the shape fills
    };
    auto with = [&](auto change) {
        ThumbnailShape s = good;
        change(s);
        return s;
    };
    const Case cases[] = {
        {"one byte short of its last pixel", good, -1},
        {"the bitmap mode, whose pixels are bits", with([](auto& s) { s.mode = kModeBitmap; }), 0},
        {"a 16-bit mode", with([](auto& s) { s.mode = kModeRGB48; }), 0},
        {"a mode the host does not have", with([](auto& s) { s.mode = 77; }), 0},
        {"fewer planes than RGB's colours", with([](auto& s) { s.planes = 1; s.pixelStep = 1; }), 0},
        {"more planes than any thumbnail", with([](auto& s) { s.planes = 40; s.pixelStep = 40; }), 0},
        {"a pixel step that splits a pixel", with([](auto& s) { s.pixelStep = 2; }), 0},
        {"rows shorter than their pixels", with([](auto& s) { s.rowBytes = 17; }), 0},
        {"rows a header says are 2^31 bytes", with([](auto& s) { s.rowBytes = 0x80000000u; }), 0},
        {"a pixel step of 4 GB", with([](auto& s) { s.pixelStep = 0xFFFFFFFFu; }), 0},
        {"no width", with([](auto& s) { s.bounds = Rect16{0, 3, 4, 3}; }), 0},
        {"an upside-down rectangle", with([](auto& s) { s.bounds = Rect16{4, 0, 0, 6}; }), 0},
        {"bounds far wider than the pixels", with([](auto& s) { s.bounds = Rect16{-32768, -32768, 32767, 32767}; }), 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> blob = MakeBlob(good, grey);
        // The header is the damaged one; the pixels are what the good header would bring.
        const std::vector<uint8_t> header = HeaderBytes(c.shape);
        std::copy(header.begin(), header.end(), blob.begin());
        blob.resize(size_t(int64_t(blob.size()) + c.sizeChange));
        const GuardedBytes guarded(blob);
        ThumbnailLayout layout;
        EXPECT_FALSE(DescribeThumbnail(ThumbnailHeader::Read(guarded.Data()), guarded.Size() - kThumbnailHeaderLength,
                                       layout))
            << c.what;
        EXPECT_FALSE(DrawThumbnail(record_.displayPixels, port_, Rect16{0, 0, 40, 40}, guarded.Data(), guarded.Size())) << c.what;
    }
    EXPECT_EQ(gShown.calls, 0);

    // The good header with exactly its bytes, its last pixel against the guard, draws.
    const GuardedBytes exact(MakeBlob(good, grey));
    EXPECT_TRUE(DrawThumbnail(record_.displayPixels, port_, Rect16{0, 0, 40, 40}, exact.Data(), exact.Size()));
    EXPECT_EQ(gShown.calls, 1);
    // A last row that holds only its pixels, without the padding of a full row, is enough.
    ThumbnailShape padded = good;
    padded.rowBytes = 20;
    std::vector<uint8_t> tight = MakeBlob(padded, grey);
    tight.resize(tight.size() - 2);
    const GuardedBytes tightGuarded(tight);
    EXPECT_TRUE(DrawThumbnail(record_.displayPixels, port_, Rect16{0, 0, 40, 40}, tightGuarded.Data(), tightGuarded.Size()));
}

TEST_F(RecordingHost, AMissingHeaderOrAnEmptyBufferDrawsNothing) {
    const std::vector<uint8_t> header = HeaderBytes(ThumbnailShape{});
    BufferRecord empty;
    EXPECT_FALSE(DrawThumbnail(record_.displayPixels, port_, Rect16{0, 0, 40, 40}, nullptr, &empty));
    EXPECT_FALSE(DrawThumbnail(record_.displayPixels, port_, Rect16{0, 0, 40, 40}, header.data(), static_cast<BufferRecord*>(nullptr)));
    EXPECT_FALSE(DrawThumbnail(record_.displayPixels, port_, Rect16{0, 0, 40, 40}, header.data(), &empty));
    EXPECT_FALSE(DrawThumbnail(record_.displayPixels, port_, Rect16{0, 0, 40, 40}, header.data(), uint64_t{kThumbnailHeaderLength}));
    // A buffer record smaller than the header's pixels is refused like a short blob.
    BufferRecord small;
    ASSERT_EQ(small.Allocate(6 * 4 * 3 - 1), 0);
    EXPECT_FALSE(DrawThumbnail(record_.displayPixels, port_, Rect16{0, 0, 40, 40}, header.data(), &small));
    BufferRecord enough;
    ASSERT_EQ(enough.Allocate(6 * 4 * 3), 0);
    EXPECT_TRUE(DrawThumbnail(record_.displayPixels, port_, Rect16{0, 0, 40, 40}, header.data(), &enough));
    EXPECT_EQ(gShown.calls, 1);
}

// ---- Scaling and placing

TEST(Thumbnail, TheEndPixelsOfEachSideMapOntoEachOther) {
    // Three grey columns and two rows, scaled to five by three.
    ThumbnailLayout layout;
    ThumbnailShape shape;
    shape.mode = kModeGrayScale;
    shape.planes = 1;
    shape.pixelStep = 1;
    shape.bounds = Rect16{0, 0, 2, 3};
    const std::vector<uint8_t> blob = MakeBlob(shape, [](int32_t x, int32_t y, int32_t) { return uint8_t(10 * y + x); });
    ASSERT_TRUE(DescribeThumbnail(ThumbnailHeader::Read(blob.data()), blob.size() - kThumbnailHeaderLength, layout));
    std::vector<uint8_t> out(5 * 3);
    ScaleThumbnail(layout, blob.data() + kThumbnailHeaderLength, 5, 3, out.data(), 0);
    // Columns step by 0.5 and round half away from zero; rows step by 0.5: 0, 1 (0.5 up), 1.
    const std::vector<uint8_t> expected = {0, 1, 1, 2, 2, 10, 11, 11, 12, 12, 10, 11, 11, 12, 12};
    EXPECT_EQ(out, expected);
    // A one-pixel side takes the first row and column.
    std::vector<uint8_t> one(1);
    ScaleThumbnail(layout, blob.data() + kThumbnailHeaderLength, 1, 1, one.data(), 0);
    EXPECT_EQ(one[0], 0);
}

TEST_F(RecordingHost, TheThumbnailIsFittedCentredAndKeepsItsShape) {
    ThumbnailShape shape;
    shape.bounds = Rect16{0, 0, 50, 100};
    const std::vector<uint8_t> blob = MakeBlob(shape, [](int32_t, int32_t, int32_t) { return uint8_t(200); });
    ASSERT_TRUE(DrawThumbnail(record_.displayPixels, port_, Rect16{10, 20, 50, 60}, blob.data(), blob.size()));
    // 40 x 20, drawn at row 20 and column 20 of the 40 x 40 box at (20, 10).
    EXPECT_EQ(gShown.row, 20);
    EXPECT_EQ(gShown.column, 20);
    EXPECT_EQ(gShown.area.bottom - gShown.area.top, 20);
    EXPECT_EQ(gShown.area.right - gShown.area.left, 40);
    EXPECT_EQ(gShown.map.imageMode, kModeRGBColor);
    EXPECT_EQ(gShown.map.rowBytes, 40 * 3);
    EXPECT_EQ(gShown.map.colBytes, 3);
    EXPECT_EQ(gShown.map.planeBytes, 1);
}

TEST_F(RecordingHost, ATransparencyPlaneBeyondTheColoursIsHandedOnAsTheMask) {
    ThumbnailShape withAlpha;
    withAlpha.planes = 4;
    withAlpha.pixelStep = 4;
    withAlpha.bounds = Rect16{0, 0, 2, 2};
    const std::vector<uint8_t> four =
        MakeBlob(withAlpha, [](int32_t x, int32_t y, int32_t p) { return uint8_t(p == 3 ? 100 + 10 * y + x : 50); });
    ASSERT_TRUE(DrawThumbnail(record_.displayPixels, port_, Rect16{0, 0, 2, 2}, four.data(), four.size()));
    ASSERT_TRUE(gShown.hadMask);
    EXPECT_EQ(gShown.maskColBytes, 4);
    EXPECT_EQ(gShown.mask, (std::vector<uint8_t>{100, 101, 110, 111}));
    EXPECT_EQ(gShown.map.colBytes, 4);

    ThumbnailShape opaque = withAlpha;
    opaque.planes = 3;
    opaque.pixelStep = 3;
    const std::vector<uint8_t> three = MakeBlob(opaque, [](int32_t, int32_t, int32_t) { return uint8_t(50); });
    ASSERT_TRUE(DrawThumbnail(record_.displayPixels, port_, Rect16{0, 0, 2, 2}, three.data(), three.size()));
    EXPECT_FALSE(gShown.hadMask);
}

TEST_F(RecordingHost, AnInvertedWhiteThumbnailShowsBlackAndTheScratchBufferOnlyGrows) {
    ThumbnailShape shape;
    const std::vector<uint8_t> white = MakeBlob(shape, [](int32_t, int32_t, int32_t) { return uint8_t(255); });
    ASSERT_TRUE(DrawThumbnail(record_.displayPixels, port_, Rect16{0, 0, 30, 30}, white.data(), white.size(), ThumbnailFlags::kInvert));
    ASSERT_FALSE(gShown.pixels.empty());
    for (uint8_t sample : gShown.pixels) ASSERT_EQ(sample, 0);
    ASSERT_TRUE(DrawThumbnail(record_.displayPixels, port_, Rect16{0, 0, 30, 30}, white.data(), white.size()));
    for (uint8_t sample : gShown.pixels) ASSERT_EQ(sample, 255);

    const uint64_t grown = ThumbnailScratchSize();
    EXPECT_GE(grown, uint64_t{30 * 30 * 3});
    ASSERT_TRUE(DrawThumbnail(record_.displayPixels, port_, Rect16{0, 0, 10, 10}, white.data(), white.size()));
    EXPECT_EQ(ThumbnailScratchSize(), grown) << "a smaller draw keeps the buffer";
}

// ---- The photo's thumbnail

TEST(PhotoThumbnail, TheSamplingFactorFitsThePhotoIn128AndTheBoundsRoundInward) {
    struct Case {
        Rect16 bounds;
        int32_t factor;
        Rect16 sampled;
    };
    const Case cases[] = {
        {{0, 0, 600, 1000}, 8, {0, 0, 75, 125}},
        {{0, 0, 128, 128}, 1, {0, 0, 128, 128}},
        {{0, 0, 10, 129}, 2, {0, 0, 5, 64}},
        {{5, 0, 11, 500}, 4, {2, 0, 2, 125}},   // rows 2 up to 2: nothing outside the rectangle
        {{0, 0, 0, 0}, 1, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PhotoSamplingFactor(c.bounds), c.factor) << c.bounds.bottom << " x " << c.bounds.right;
        const Rect16 sampled = SampledBounds(c.bounds, c.factor);
        EXPECT_TRUE(sampled.top == c.sampled.top && sampled.left == c.sampled.left && sampled.bottom == c.sampled.bottom &&
                    sampled.right == c.sampled.right)
            << c.bounds.bottom << " x " << c.bounds.right;
    }
}

// A host whose advanceState delivers 16-bit rows with padding after each.
struct SamplingHost {
    FilterRecord record{};
    std::vector<uint16_t> rows;
    int32_t calls = 0;
    bool refuse = false;
};
SamplingHost* gSamplingHost = nullptr;

OSErr16 SamplingAdvance() {
    SamplingHost& h = *gSamplingHost;
    ++h.calls;
    if (h.refuse) return -1;
    const int32_t width = RectWidth(h.record.inRect), height = RectHeight(h.record.inRect);
    const int32_t planes = h.record.inHiPlane - h.record.inLoPlane + 1;
    const int32_t rowSamples = width * planes + 6;   // padding the plug-in must skip
    h.rows.assign(size_t(rowSamples) * height, 0xEEEE);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t n = 0; n < width * planes; ++n) h.rows[size_t(y) * rowSamples + n] = uint16_t(n % planes == 0 ? 32768 : 0);
    h.record.inData = h.rows.data();
    h.record.inRowBytes = rowSamples * 2;
    return 0;
}

TEST(PhotoThumbnail, TheHostSamplesThePhotoAndItsRequestIsPutBack) {
    SamplingHost host;
    gSamplingHost = &host;
    host.record.imageMode = kModeRGB48;
    host.record.planes = 3;
    host.record.filterRect = Rect16{0, 0, 300, 400};
    host.record.advanceState = SamplingAdvance;
    host.record.samplingSupport = 1;
    host.record.supportsPadding = 1;
    host.record.inputRate = 0x10000;
    host.record.inRect = Rect16{1, 2, 3, 4};
    host.record.inHiPlane = 7;
    intptr_t data = 0;
    PhotoThumbnail photo;
    {
        HostCallScope call(HostCall::OfFilterRecord(kSelectorStart, &host.record, &data));
        ASSERT_TRUE(RenderThumbnailBuffer(call.Call(), photo));
        EXPECT_EQ(host.record.inputRate, 0x10000) << "the rate is put back";
        EXPECT_TRUE(host.record.inRect.top == 1 && host.record.inRect.right == 4);
        EXPECT_EQ(host.record.inHiPlane, 7);

        const ThumbnailHeader header = ThumbnailHeader::Read(photo.header);
        EXPECT_EQ(header.imageMode, kModeRGBColor);
        EXPECT_EQ(header.planes, 3);
        EXPECT_EQ(header.rowBytes, 100u * 3u);
        EXPECT_EQ(RectWidth(header.bounds), 100);   // 400 / 4
        EXPECT_EQ(RectHeight(header.bounds), 75);
        ThumbnailLayout layout;
        ASSERT_TRUE(DescribeThumbnail(header, photo.pixels.size, layout));
        const LockedBuffer pixels(photo.pixels);
        const auto* p = pixels.As<const uint8_t>();
        // Every row red, the padding skipped: 32768 becomes 255 and 0 stays 0.
        for (int32_t n = 0; n < 100 * 75 * 3; ++n) ASSERT_EQ(p[n], n % 3 == 0 ? 255 : 0) << "sample " << n;
    }
    // A host that refuses leaves the header unwritten.
    PhotoThumbnail refused;
    host.refuse = true;
    {
        HostCallScope call(HostCall::OfFilterRecord(kSelectorStart, &host.record, &data));
        EXPECT_FALSE(RenderThumbnailBuffer(call.Call(), refused));
        EXPECT_EQ(host.record.inputRate, 0x10000);
    }
    EXPECT_EQ(ThumbnailHeader::Read(refused.header).planes, 0);
    gSamplingHost = nullptr;
}

// ---- The dialog of five thumbnails, drawn without a host

// Five thumbnails: an RGB gradient (framed into the picture item), a grey ramp, an RGB disc with
// a transparency plane, a white square inverted, and a damaged header.
class ThumbnailDialog : public PSDialog {
public:
    ThumbnailDialog() : PSDialog(TEST_THUMBNAIL_DIALOG, DialogKind::Modal) {
        ThumbnailShape rgb;
        rgb.bounds = Rect16{0, 0, 48, 64};
        rgbBlob = MakeBlob(rgb, [](int32_t x, int32_t y, int32_t p) {
            return uint8_t(p == 0 ? x * 4 : p == 1 ? y * 5 : 255 - x * 3);
        });
        ThumbnailShape grey = rgb;
        grey.mode = kModeGrayScale;
        grey.planes = 1;
        grey.pixelStep = 1;
        grey.bounds = Rect16{0, 0, 64, 48};
        greyBlob = MakeBlob(grey, [](int32_t, int32_t y, int32_t) { return uint8_t(y * 4); });
        ThumbnailShape masked = rgb;
        masked.planes = 4;
        masked.pixelStep = 4;
        masked.bounds = Rect16{0, 0, 48, 48};
        maskedBlob = MakeBlob(masked, [](int32_t x, int32_t y, int32_t p) {
            const bool inside = (x - 24) * (x - 24) + (y - 24) * (y - 24) < 20 * 20;
            return uint8_t(p == 3 ? (inside ? 255 : 0) : p == 0 ? 0xE8 : p == 1 ? 0xA3 : 0x2C);
        });
        ThumbnailShape square = rgb;
        square.bounds = Rect16{0, 0, 40, 40};
        whiteBlob = MakeBlob(square, [](int32_t, int32_t, int32_t) { return uint8_t(255); });
        damagedBlob = whiteBlob;
        damagedBlob[PictureRowBytesOffset + 3] = 1;   // rows of one byte cannot hold their pixels
        rgbPixels.Allocate(int64_t(rgbBlob.size() - kThumbnailHeaderLength));
        std::memcpy(rgbPixels.Lock(), rgbBlob.data() + kThumbnailHeaderLength, rgbBlob.size() - kThumbnailHeaderLength);
        rgbPixels.Unlock();
    }

    static constexpr size_t PictureRowBytesOffset = 8;
    std::vector<uint8_t> rgbBlob, greyBlob, maskedBlob, whiteBlob, damagedBlob;
    BufferRecord rgbPixels;
    bool framedDrawn = false;
    bool damagedDrawn = true;
    std::function<void(ThumbnailDialog&)> onIdle;

    void DrawItem(int16_t item) override {
        PortColorState colours(Port(), kBackground, kFrame);
        if (item == 0) {
            RECT client{};
            GetClientRect(Window(), &client);
            PaintBackground(ToRect16(client));
            return;
        }
        if (item == TEST_CELL_RGB) {
            framedDrawn = DrawThumbnailFrame(nullptr, *this, item, rgbBlob.data(), &rgbPixels, false);
            return;
        }
        const std::vector<uint8_t>* blob = item == TEST_CELL_GREY       ? &greyBlob
                                           : item == TEST_CELL_MASKED   ? &maskedBlob
                                           : item == TEST_CELL_INVERTED ? &whiteBlob
                                           : item == TEST_CELL_DAMAGED  ? &damagedBlob
                                                                        : nullptr;
        if (!blob) return;
        Rect16 cell = GetItemRect(item);
        FrameRect(Port(), cell);
        cell = Rect16{int16_t(cell.top + 1), int16_t(cell.left + 1), int16_t(cell.bottom - 1), int16_t(cell.right - 1)};
        PaintBackground(cell);
        const bool drawn = DrawThumbnail(nullptr, Port(), cell, blob->data(), blob->size(),
                                         item == TEST_CELL_INVERTED ? ThumbnailFlags::kInvert : 0);
        if (item == TEST_CELL_DAMAGED) damagedDrawn = drawn;
    }
    void Idle() override {
        if (onIdle) onIdle(*this);
    }

private:
    void PaintBackground(const Rect16& rect) {
        PortDC dc(Port());
        const RECT r = ToRECT(rect);
        if (dc) FillRect(dc.Get(), &r, background_.Get());
    }
    OwnedBrush background_{CreateSolidBrush(kBackground)};
};

COLORREF ScreenPixel(HWND window, int x, int y) {
    POINT p{x, y};
    ClientToScreen(window, &p);
    const HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return colour;
}

TEST(ThumbnailDialog, WithoutAHostTheThumbnailsAreDrawnByThemselves) {
    ASSERT_EQ(HostCall::Current().record, nullptr) << "no host call: the drawing of our own";
    ThumbnailDialog dialog;
    int ticks = 0;
    dialog.onIdle = [&](ThumbnailDialog& d) {
        if (++ticks < 30) return;
        d.onIdle = nullptr;
        GdiFlush();
        EXPECT_TRUE(d.framedDrawn);
        EXPECT_FALSE(d.damagedDrawn);
        const auto centre = [&](int16_t item) {
            const Rect16 r = d.GetItemRect(item);
            return std::pair<int, int>((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        };
        auto [ix, iy] = centre(TEST_CELL_INVERTED);
        EXPECT_EQ(ScreenPixel(d.Window(), ix, iy), RGB(0, 0, 0)) << "white inverted";
        auto [dx, dy] = centre(TEST_CELL_DAMAGED);
        EXPECT_EQ(ScreenPixel(d.Window(), dx, dy), kBackground) << "a damaged thumbnail leaves its cell empty";
        auto [mx, my] = centre(TEST_CELL_MASKED);
        EXPECT_EQ(ScreenPixel(d.Window(), mx, my), RGB(0xE8, 0xA3, 0x2C)) << "inside the mask";
        const Rect16 masked = d.GetItemRect(TEST_CELL_MASKED);
        EXPECT_EQ(ScreenPixel(d.Window(), masked.left + 3, masked.top + 3), kBackground) << "outside the mask";
        const Rect16 framed = d.GetItemRect(TEST_CELL_RGB);
        EXPECT_EQ(ScreenPixel(d.Window(), framed.left, (framed.top + framed.bottom) / 2), kFrame) << "the frame";
        // The gradient runs from no red on the left to much red on the right.
        auto [rx, ry] = centre(TEST_CELL_RGB);
        EXPECT_LT(GetRValue(ScreenPixel(d.Window(), framed.left + 3, ry)), GetRValue(ScreenPixel(d.Window(), framed.right - 4, ry)));
        (void)rx;
        d.EndDialog(TEST_ITEM_CANCEL);
    };
    EXPECT_EQ(dialog.RunModal(), TEST_ITEM_CANCEL);
}

TEST(ThumbnailDialog, TheUiStepsPhotographTheThumbnails) {
    TempFolder temporary("QuorvelThumbnails");
    const std::string folder = ShotFolder().empty() ? std::string(temporary / "") : ShotFolder();
    const std::string shot = (std::filesystem::path(folder) / "thumbnails.png").string();
    ThumbnailDialog dialog;
    int16_t result = 0;
    const std::vector<qvhost::UiStep> steps = UiSteps("wait 500; shot \"" + shot + "\"; press 2");
    const qvhost::UiReport report = qvhost::DriveDialogs(steps, {}, [&] { result = dialog.RunModal(); });
    EXPECT_TRUE(report.completed) << report.error;
    EXPECT_EQ(result, TEST_ITEM_CANCEL);
    qvhost::RasterImage image;
    std::string error;
    ASSERT_TRUE(qvhost::ReadImageFile(shot, image, error)) << error;
    int background = 0, black = 0, orange = 0;
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) {
            const uint16_t* rgb = image.samples.data() + (size_t(y) * image.width + x) * image.channels;
            const COLORREF c = RGB(rgb[0], rgb[1], rgb[2]);
            background += c == kBackground;
            black += c == RGB(0, 0, 0);
            orange += c == RGB(0xE8, 0xA3, 0x2C);
        }
    EXPECT_GT(background, image.width * image.height / 4);
    EXPECT_GT(black, 30 * 30) << "the inverted square";
    EXPECT_GT(orange, 20 * 20) << "the masked disc";
}

}  // namespace
