// Pixel maps through the host's displayPixels, colour swatches, and the dialog settings file copy.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "ColorSwatch.h"
#include "InProcessHost.h"
#include "File.h"
#include "HostPixels.h"
#include "PhotoshopFilter.h"

namespace {

// What the host's displayPixels saw of the last map.
struct Shown {
    int32_t imageMode = -1;
    Rect32 bounds{}, area{};
    std::vector<uint8_t> firstBytes;  // the first sample byte of each pixel of the first row
    std::vector<uint8_t> maskBytes;
    int calls = 0;
};
Shown gShown;

OSErr16 RecordingDisplay(const PixelMap* map, const Rect32* area, int32_t, int32_t, void*) {
    ++gShown.calls;
    gShown.imageMode = map->imageMode;
    gShown.bounds = map->bounds;
    gShown.area = *area;
    gShown.firstBytes.clear();
    gShown.maskBytes.clear();
    const auto* base = static_cast<const uint8_t*>(map->baseAddr);
    for (int32_t x = 0; x < map->bounds.right - map->bounds.left; ++x) {
        gShown.firstBytes.push_back(base[x * map->colBytes]);
        if (map->masks) gShown.maskBytes.push_back(static_cast<const uint8_t*>(map->masks->maskData)[x * map->masks->colBytes]);
    }
    return 0;
}

class HostDisplay : public testing::Test {
protected:
    void SetUp() override {
        _putenv("QUORVEL_ALERT_ANSWER=1");
        gShown = Shown{};
        host_.BeginCall();
        host_.Record().displayPixels = RecordingDisplay;
    }
    InProcessHost host_{kModeRGBColor, 8, 8};
};

TEST_F(HostDisplay, SixteenBitMapsAreShownThroughTheirHighBytesAndComeBackUnchanged) {
    // Two RGB48 pixels of the system's range and a 16-bit mask.
    uint16_t samples[6] = {32768, 0, 16384, 128, 257, 32767};
    uint16_t coverage[2] = {32768, 16384};
    PixelMask mask{nullptr, coverage, 4, 2, 1};
    PixelMap map{};
    map.bounds = Rect32{0, 0, 1, 2};
    map.imageMode = kModeRGB48;
    map.rowBytes = 12;
    map.colBytes = 6;
    map.planeBytes = 2;
    map.baseAddr = samples;
    map.masks = &mask;
    ASSERT_EQ(DisplayPixelMapInto(host_.Record().displayPixels, map, map.bounds, 0, 0, nullptr), 0);
    EXPECT_EQ(gShown.imageMode, kModeRGBColor);
    ASSERT_EQ(gShown.firstBytes.size(), 2u);
    EXPECT_EQ(gShown.firstBytes[0], 255) << "32768 widens to 65535";
    EXPECT_EQ(gShown.firstBytes[1], 0) << "128 widens to 255, high byte 0";
    EXPECT_EQ(gShown.maskBytes[0], 255);
    EXPECT_EQ(gShown.maskBytes[1], 127);
    const uint16_t expected[6] = {32768, 0, 16384, 128, 257, 32767};
    EXPECT_EQ(std::memcmp(samples, expected, sizeof samples), 0);
    EXPECT_EQ(coverage[0], 32768);
    EXPECT_EQ(coverage[1], 16384);
    EXPECT_EQ(map.baseAddr, static_cast<void*>(samples));
    EXPECT_EQ(map.imageMode, kModeRGB48);

    map.imageMode = 20;
    EXPECT_EQ(DisplayPixelMapInto(host_.Record().displayPixels, map, map.bounds, 0, 0, nullptr), -30914);
    host_.Record().displayPixels = nullptr;
    map.imageMode = kModeRGBColor;
    EXPECT_EQ(DisplayPixelMapInto(host_.Record().displayPixels, map, map.bounds, 0, 0, nullptr), 17500);
}

// Hosts differ in where they look for the source inside a map (from the bounds' corner, from
// baseAddr by the source's own coordinates, or from baseAddr whatever the source): the host is
// handed the part the source picks as a map of its own, bounds and source both from 0,0.
TEST_F(HostDisplay, TheHostGetsTheSourcePartAsAMapThatBeginsAtItsFirstPixel) {
    // A gray map of 4 rows and 6 columns at (10, 20), each sample 10 * row + column, and a mask of
    // 100 + the same.
    uint8_t samples[4][6], coverage[4][6];
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            samples[y][x] = static_cast<uint8_t>(10 * y + x);
            coverage[y][x] = static_cast<uint8_t>(100 + 10 * y + x);
        }
    PixelMask mask{nullptr, coverage, 6, 1, 1};
    PixelMap map{};
    map.version = kPixelMapVersionWithMasks;
    map.bounds = Rect32{10, 20, 14, 26};
    map.imageMode = kModeGrayScale;
    map.rowBytes = 6;
    map.colBytes = 1;
    map.planeBytes = 1;
    map.baseAddr = samples;
    map.masks = &mask;
    ASSERT_EQ(DisplayPixelMapInto(host_.Record().displayPixels, map, Rect32{11, 22, 13, 25}, 0, 0, nullptr), 0);
    EXPECT_EQ(gShown.bounds.top, 0);
    EXPECT_EQ(gShown.bounds.left, 0);
    EXPECT_EQ(gShown.bounds.bottom, 2);
    EXPECT_EQ(gShown.bounds.right, 3);
    EXPECT_EQ(gShown.area.top, 0);
    EXPECT_EQ(gShown.area.left, 0);
    EXPECT_EQ(gShown.area.bottom, 2);
    EXPECT_EQ(gShown.area.right, 3);
    EXPECT_EQ(gShown.firstBytes, (std::vector<uint8_t>{12, 13, 14}));
    EXPECT_EQ(gShown.maskBytes, (std::vector<uint8_t>{112, 113, 114}));
    // The caller's map is left as it was; an empty source shows nothing.
    EXPECT_EQ(map.baseAddr, static_cast<void*>(samples));
    EXPECT_EQ(map.masks->maskData, static_cast<void*>(coverage));
    EXPECT_EQ(DisplayPixelMapInto(host_.Record().displayPixels, map, Rect32{11, 22, 11, 25}, 0, 0, nullptr), 0);
    EXPECT_EQ(gShown.calls, 1);
}

// A 32-bit top-down bitmap selected into a memory device context, for pixel probes.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), dc_(CreateCompatibleDC(nullptr)) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB};
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        std::memset(bits_, 0x80, size_t(width) * height * 4);
    }
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC Get() const { return dc_; }
    // RGB of a pixel as 0xRRGGBB.
    uint32_t At(int x, int y) const { return bits_[y * width_ + x] & 0xFFFFFF; }

private:
    int width_;
    HDC dc_;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    uint32_t* bits_ = nullptr;
};

TEST_F(HostDisplay, SwatchesOfNoColourAndOfOpaqueColours) {
    DrawingPort port;
    InitPort(port, nullptr);
    Canvas canvas(40, 40);
    const Rect16 rect{5, 5, 35, 35};

    DrawColorSwatch(&host_.Record(), ColorRecord{}, port, rect, false, canvas.Get());
    EXPECT_EQ(canvas.At(20, 8), 0xFFFFFFu) << "white inside";
    EXPECT_EQ(canvas.At(5, 20), 0x000000u) << "framed black";
    EXPECT_EQ(canvas.At(19, 20), 0x000000u) << "on the falling diagonal (the pen hangs left of its path)";
    EXPECT_EQ(canvas.At(18, 20), 0x000000u) << "on the rising diagonal";
    EXPECT_EQ(canvas.At(2, 2), 0x808080u) << "nothing outside";

    ColorRecord cmyk;
    cmyk.space = kSpaceCMYK;
    cmyk.components[0] = 255, cmyk.components[1] = 128, cmyk.components[2] = 0, cmyk.components[3] = 200;
    DrawColorSwatch(&host_.Record(), cmyk, port, rect, false, canvas.Get());
    EXPECT_EQ(canvas.At(20, 10), 0xC86400u) << "(200, 100, 0) through RGB";
    EXPECT_EQ(canvas.At(5, 5), 0x000000u);
    EXPECT_EQ(gShown.calls, 0) << "opaque colours need no host";
    DisposePort(port);
}

TEST_F(HostDisplay, TranslucentSwatchesGoThroughTheHostWithTheirOpacity) {
    DrawingPort port;
    InitPort(port, nullptr);
    Canvas canvas(40, 40);
    ColorRecord gray;
    gray.space = kSpaceGray;
    gray.components[0] = 200;
    gray.opacity = 60;
    DrawColorSwatch(&host_.Record(), gray, port, Rect16{0, 0, 4, 3}, false, canvas.Get());
    ASSERT_EQ(gShown.calls, 1);
    EXPECT_EQ(gShown.imageMode, kModeRGBColor) << "the document's mode";
    ASSERT_EQ(gShown.firstBytes.size(), 3u);
    EXPECT_EQ(gShown.firstBytes[0], 200);
    EXPECT_EQ(gShown.maskBytes, (std::vector<uint8_t>{60, 60, 60}));

    DrawColorSwatch(&host_.Record(), gray, port, Rect16{0, 0, 4, 3}, true, canvas.Get());
    EXPECT_EQ(gShown.calls, 1) << "opacity ignored: drawn by us";
    EXPECT_EQ(canvas.At(1, 1), 0xC8C8C8u);
    DisposePort(port);
}

// A temporary file of the given bytes, open for reading and writing.
class TempFile {
public:
    explicit TempFile(const std::vector<uint8_t>& bytes) {
        file.CreateTemp();
        if (!bytes.empty()) file.Write(bytes.data(), 0, static_cast<uint32_t>(bytes.size()));
    }
    ~TempFile() {
        const std::string path(file.Spec().Text());
        file.Close();
        DeleteFileA(path.c_str());
    }
    std::vector<uint8_t> Bytes() {
        std::vector<uint8_t> bytes(static_cast<size_t>(file.GetSize()));
        file.Read(bytes.data(), 0, static_cast<int32_t>(bytes.size()));
        return bytes;
    }
    File file;
};

TEST(DialogSettingsFile, TheBodyFollowsTheDialogsOwnBytes) {
    std::vector<uint8_t> source = {6, 0, 'h', 'e', 'a', 'd'};
    for (int i = 0; i < 600; ++i) source.push_back(static_cast<uint8_t>(i));
    TempFile from(source), to(std::vector<uint8_t>(1028, 0xEE));
    CopySettingsBody(from.file, to.file);
    const std::vector<uint8_t> copied = to.Bytes();
    ASSERT_EQ(copied.size(), 1028u + 600u);
    EXPECT_EQ(copied[1027], 0xEE) << "the dialog's own bytes stay";
    for (int i = 0; i < 600; ++i) ASSERT_EQ(copied[1028 + i], static_cast<uint8_t>(i)) << i;
}

TEST(DialogSettingsFile, AHeaderLongerThanTheFileCopiesNothing) {
    TempFile from({0xFF, 0x00, 1, 2, 3}), to(std::vector<uint8_t>(1500, 0xEE));
    CopySettingsBody(from.file, to.file);
    const std::vector<uint8_t> copied = to.Bytes();
    EXPECT_EQ(copied.size(), 1028u);
    EXPECT_EQ(copied[1027], 0xEE);
}

}  // namespace
