// The interface artwork in the program's own resources, and pictures drawn blended into a device
// context and clipped to a port's clip region, checked by probing pixels.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <utility>

#include "CxFile.h"
#include "CxImage.h"
#include "DrawingPort.h"
#include "PngWriter.h"
#include "ResourceImage.h"

namespace {

constexpr uint16_t kFirstArtwork = 16910;
constexpr uint16_t kLastArtwork = 17015;
constexpr COLORREF kScreen = RGB(0, 0, 255);

struct Artwork {
    uint32_t width, height;
    bool alpha;
};

// Every picture the controls name, by resource id: its size and whether it has an alpha plane.
std::map<uint16_t, Artwork> NamedArtwork() {
    std::map<uint16_t, Artwork> table;
    auto add = [&](std::initializer_list<uint16_t> ids, Artwork art) {
        for (uint16_t id : ids) table[id] = art;
    };
    const Artwork button{72, 22, true};
    const Artwork tool{24, 24, true};
    const Artwork small{18, 18, true};
    const Artwork mark{13, 13, true};
    const Artwork glyph{9, 9, true};
    add({16910, 16911}, small);                                       // photo reset
    add({16912, 16913, 16914, 16915, 16917, 16918}, button);          // Cancel, Replace, Add
    add({16919}, {10, 20, false});                                     // search field's left cap
    add({16921, 16922}, {5, 6, true});                                 // horizontal track caps
    add({16923, 16924}, {6, 5, true});                                 // vertical track caps
    add({16925}, {11, 13, true});                                      // horizontal thumb
    add({16926}, {13, 11, true});                                      // vertical thumb
    add({16928, 16929, 16930}, glyph);                                 // tree glyphs, combo arrows
    add({16931, 16932, 16933, 16934, 16935}, mark);                    // favourite, stars, hide
    add({16937, 16938, 16939, 16940, 16964, 16965, 16966, 16967}, mark); // check and radio boxes
    add({16941, 16942, 16943, 16944, 16945}, button);                  // Apply, Library
    add({16946, 16947, 16948, 16949, 16950, 16951, 16952, 16953, 16954, 16955, 16956, 16957}, tool);
    add({16960}, {12, 12, true});                                      // size grip
    add({16961, 16962, 16963, 16978, 16979, 16980, 16981, 16982, 16983}, button);
    add({16968, 16969, 16971, 16972}, small);                          // add and remove
    add({16974, 16975, 16976, 16977, 16993, 16994, 16989, 16990, 16991, 16992}, tool); // flips, rotations
    add({17001, 17002}, {18, 20, false});                              // search reset
    add({17005, 17006}, button);                                       // library Cancel
    add({17009}, {2, 28, false});                                      // option panel separator
    add({17013}, {96, 24, false});                                     // logo
    return table;
}

TEST(InterfaceArtwork, EveryNamedPictureLoadsAndNoOtherIsThere) {
    const auto table = NamedArtwork();
    for (uint32_t id = kFirstArtwork; id <= kLastArtwork; ++id) {
        SCOPED_TRACE(id);
        ResourceImage picture;
        const bool loaded = picture.LoadPNG(kInterfaceArtworkBase, static_cast<int16_t>(id - kInterfaceArtworkBase));
        const auto named = table.find(static_cast<uint16_t>(id));
        if (named == table.end()) {
            EXPECT_FALSE(loaded);
            continue;
        }
        ASSERT_TRUE(loaded) << picture.Image()->LastError();
        const CxImage& image = *picture.Image();
        EXPECT_EQ(image.Width(), named->second.width);
        EXPECT_EQ(image.Height(), named->second.height);
        EXPECT_EQ(image.HasAlpha(), named->second.alpha);
        EXPECT_EQ(image.BitsPerPixel(), 24u);
        EXPECT_EQ(image.Info().pngInterlaced, 0u);
    }
}

// A 40 x 40 canvas of the screen colour in a memory device context, and a port drawing into it.
class Canvas : public testing::Test {
protected:
    static constexpr int kSize = 40;

    void SetUp() override {
        dc_.Reset(CreateCompatibleDC(nullptr));
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), kSize, -kSize, 1, 32, BI_RGB};
        void* bits = nullptr;
        bitmap_.Reset(CreateDIBSection(dc_.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        ASSERT_TRUE(dc_ && bitmap_);
        SelectObject(dc_.Get(), bitmap_.Get());
        Fill(kScreen);
        InitPort(port_, nullptr);
    }
    void TearDown() override { DisposePort(port_); }

    void Fill(COLORREF color) {
        OwnedBrush brush(CreateSolidBrush(color));
        const RECT all{0, 0, kSize, kSize};
        FillRect(dc_.Get(), &all, brush.Get());
    }
    HDC Dc() const { return dc_.Get(); }
    COLORREF Pixel(int x, int y) const { return GetPixel(dc_.Get(), x, y); }
    bool Untouched() const {
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                if (Pixel(x, y) != kScreen) return false;
        return true;
    }

    DrawingPort port_;

private:
    OwnedMemoryDC dc_;
    OwnedBitmap bitmap_;
};

// A picture written in memory: one row per string of samples.
std::unique_ptr<CxImage> Picture(PngSpec spec) {
    const auto bytes = WritePng(spec);
    auto image = std::make_unique<CxImage>();
    CxMemFile file(bytes.data(), bytes.size());
    EXPECT_TRUE(image->Decode(file, kCxFormatPNG)) << image->LastError();
    return image;
}

// A row of red pixels with the given alphas.
std::unique_ptr<CxImage> RedRamp(std::initializer_list<uint8_t> alphas) {
    PngSpec spec;
    spec.width = static_cast<uint32_t>(alphas.size());
    spec.height = 1;
    spec.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    std::vector<uint8_t> row;
    for (uint8_t a : alphas) row.insert(row.end(), {255, 0, 0, a});
    spec.rows = {row};
    return Picture(spec);
}

uint8_t Mix(uint8_t source, uint8_t screen, uint32_t a) { return uint8_t((source * a + screen * (255 - a)) >> 8); }

TEST_F(Canvas, AlphaBlendsOverWhatIsThere) {
    const auto image = RedRamp({0, 64, 128, 255});
    ASSERT_EQ(image->Draw(Dc(), 2, 3, -1, -1, nullptr, false), 1);
    EXPECT_EQ(Pixel(2, 3), kScreen);                 // alpha 0 leaves the screen
    EXPECT_EQ(Pixel(3, 3), RGB(Mix(255, 0, 64), 0, Mix(0, 255, 64)));
    EXPECT_EQ(Pixel(4, 3), RGB(Mix(255, 0, 128), 0, Mix(0, 255, 128)));
    EXPECT_EQ(Pixel(5, 3), RGB(255, 0, 0));          // alpha 255 replaces it
    EXPECT_EQ(Pixel(6, 3), kScreen);
    EXPECT_EQ(Pixel(2, 4), kScreen);
}

TEST_F(Canvas, ClipRectangleLimitsTheDrawingAndTheContextsClipComesBack) {
    const auto image = RedRamp({255, 255, 255, 255});
    const RECT clip{0, 0, 4, 40};
    ASSERT_EQ(image->Draw(Dc(), 2, 3, -1, -1, &clip, false), 1);
    EXPECT_EQ(Pixel(3, 3), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(4, 3), kScreen);
    // The context had no clip before, and has none after.
    OwnedRgn probe(CreateRectRgn(0, 0, 0, 0));
    EXPECT_EQ(GetClipRgn(Dc(), probe.Get()), 0);

    // Nothing to draw: no extent, or no context.
    EXPECT_EQ(image->Draw(Dc(), 2, 3, 0, 1, nullptr, false), 0);
    EXPECT_EQ(image->Draw(nullptr, 2, 3, -1, -1, nullptr, false), 0);
}

TEST_F(Canvas, OpaquePicturesDrawAtTheirSizeAndScaledByNearestPixel) {
    // 2 x 2: red, green on top; blue, white below.
    PngSpec spec;
    spec.width = spec.height = 2;
    spec.colorType = PNG_COLOR_TYPE_RGB;
    spec.rows = {{255, 0, 0, 0, 255, 0}, {0, 0, 255, 255, 255, 255}};
    const auto image = Picture(spec);
    Fill(RGB(0, 0, 0));
    ASSERT_EQ(image->Draw(Dc(), 1, 1, -1, -1, nullptr, false), 1);
    EXPECT_EQ(Pixel(1, 1), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(2, 1), RGB(0, 255, 0));
    EXPECT_EQ(Pixel(1, 2), RGB(0, 0, 255));
    EXPECT_EQ(Pixel(2, 2), RGB(255, 255, 255));
    EXPECT_EQ(Pixel(3, 3), RGB(0, 0, 0));

    ASSERT_EQ(image->Draw(Dc(), 10, 10, 4, 4, nullptr, false), 1);
    const std::pair<POINT, COLORREF> probes[] = {
        {{10, 10}, RGB(255, 0, 0)}, {{11, 11}, RGB(255, 0, 0)}, {{12, 10}, RGB(0, 255, 0)},
        {{13, 11}, RGB(0, 255, 0)}, {{10, 12}, RGB(0, 0, 255)}, {{11, 13}, RGB(0, 0, 255)},
        {{13, 13}, RGB(255, 255, 255)}, {{14, 14}, RGB(0, 0, 0)}};
    for (const auto& [at, color] : probes) EXPECT_EQ(Pixel(at.x, at.y), color) << at.x << "," << at.y;
}

TEST_F(Canvas, PaletteTransparencyAndAlphaPaletteBlend) {
    PngSpec spec;
    spec.width = 3;
    spec.height = 1;
    spec.colorType = PNG_COLOR_TYPE_PALETTE;
    spec.bitDepth = 8;
    spec.palette = {{255, 0, 0}, {0, 255, 0}, {255, 255, 255}};
    spec.rows = {{0, 1, 2}};
    {
        PngSpec single = spec;
        single.paletteAlpha = {0};  // index 0 is the transparent index
        const auto image = Picture(single);
        ASSERT_EQ(image->Draw(Dc(), 0, 0, -1, -1, nullptr, false), 1);
        EXPECT_EQ(Pixel(0, 0), kScreen);
        EXPECT_EQ(Pixel(1, 0), RGB(0, 255, 0));
        EXPECT_EQ(Pixel(2, 0), RGB(255, 255, 255));
    }
    {
        PngSpec translucent = spec;
        translucent.paletteAlpha = {255, 128};
        const auto image = Picture(translucent);
        ASSERT_EQ(image->Draw(Dc(), 0, 5, -1, -1, nullptr, false), 1);
        const uint32_t a = ((128 + 1) * 255) >> 8;
        EXPECT_EQ(Pixel(0, 5), RGB(255, 0, 0));
        EXPECT_EQ(Pixel(1, 5), RGB(0, Mix(255, 0, a), Mix(0, 255, a)));
        EXPECT_EQ(Pixel(2, 5), RGB(255, 255, 255)); // entries past the chunk are opaque
    }
}

// The drawn extent along the middle row: the first and one past the last column that changed.
std::pair<int, int> DrawnColumns(const Canvas* canvas, int row, const std::function<COLORREF(int, int)>& pixel) {
    int first = -1, end = -1;
    for (int x = 0; x < 40; ++x) {
        if (pixel(x, row) != kScreen) {
            if (first < 0) first = x;
            end = x + 1;
        }
    }
    (void)canvas;
    return {first, end};
}

TEST_F(Canvas, ResourcePictureIsCentredGrowingOrShrinkingByOddMargins) {
    ResourceImage box;
    ASSERT_TRUE(box.LoadPNG(kInterfaceArtworkBase, 28));  // the 13 x 13 check box
    auto pixel = [this](int x, int y) { return Pixel(x, y); };

    // 20 x 20: margins of 3, so the picture is drawn 14 x 14.
    const Rect16 wide{0, 0, 20, 20};
    box.Draw(&port_, &wide, nullptr, Dc());
    EXPECT_EQ(DrawnColumns(this, 10, pixel), std::make_pair(3, 17));

    Fill(kScreen);
    // 19 x 19: margins of 3, drawn at its own 13 x 13.
    const Rect16 narrow{0, 0, 19, 19};
    box.Draw(&port_, &narrow, nullptr, Dc());
    EXPECT_EQ(DrawnColumns(this, 9, pixel), std::make_pair(3, 16));
}

TEST_F(Canvas, DrawingStaysInsideThePortsClipRegion) {
    ResourceImage apply;
    ASSERT_TRUE(apply.LoadPNG(kInterfaceArtworkBase, 32));  // the 72 x 22 Apply button
    OwnedRgn leftHalf(CreateRectRgn(0, 0, 20, 40));
    SetClipRgn(port_, leftHalf.Get());
    const Rect16 all{0, 0, 40, 40};
    apply.DrawRect(&port_, &all, nullptr, Dc());
    EXPECT_NE(Pixel(10, 20), kScreen);
    EXPECT_NE(Pixel(19, 20), kScreen);
    for (int y = 0; y < kSize; ++y)
        for (int x = 20; x < kSize; ++x) ASSERT_EQ(Pixel(x, y), kScreen) << x << "," << y;

    // A clip rectangle narrows it further.
    Fill(kScreen);
    const Rect16 clip{0, 0, 40, 10};
    apply.DrawRect(&port_, &all, &clip, Dc());
    EXPECT_NE(Pixel(9, 20), kScreen);
    EXPECT_EQ(Pixel(10, 20), kScreen);
}

TEST_F(Canvas, MissingPictureDrawsNothingAndSaysWhy) {
    ResourceImage missing;
    EXPECT_FALSE(missing.LoadPNG(kInterfaceArtworkBase, 0));  // 16909 is no picture
    ASSERT_NE(missing.Image(), nullptr);
    EXPECT_STREQ(missing.Image()->LastError(), "Unable to load resource!");
    const Rect16 all{0, 0, 40, 40};
    missing.Draw(&port_, &all, nullptr, Dc());
    missing.DrawRect(&port_, &all, nullptr, Dc());
    EXPECT_TRUE(Untouched());

    // Loading again replaces the picture; releasing empties the holder.
    ASSERT_TRUE(missing.LoadPNG(kInterfaceArtworkBase, 28));
    missing.Release();
    EXPECT_EQ(missing.Image(), nullptr);
    missing.Draw(&port_, &all, nullptr, Dc());
    missing.Draw(nullptr, &all, nullptr, Dc());
    EXPECT_TRUE(Untouched());
}

// The same through a real window: the port's own device context, clipped to its region.
TEST(ResourceImageWindow, DrawsIntoThePortsWindowInsideItsClipRegion) {
    OwnedWindow window(CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 50, 50, 60, 60, nullptr,
                                       nullptr, nullptr, nullptr));
    ASSERT_TRUE(window);
    UpdateWindow(window.Get());
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);

    DrawingPort port;
    InitPort(port, window.Get());
    HDC dc = GetDC(window.Get());
    OwnedBrush blue(CreateSolidBrush(kScreen));
    const RECT all{0, 0, 60, 60};
    FillRect(dc, &all, blue.Get());

    OwnedRgn topHalf(CreateRectRgn(0, 0, 60, 30));
    SetClipRgn(port, topHalf.Get());
    ResourceImage apply;
    ASSERT_TRUE(apply.LoadPNG(kInterfaceArtworkBase, 32));
    const Rect16 rect{0, 0, 60, 60};
    apply.DrawRect(&port, &rect);
    GdiFlush();
    EXPECT_NE(GetPixel(dc, 30, 20), kScreen);
    EXPECT_EQ(GetPixel(dc, 30, 40), kScreen);
    ReleaseDC(window.Get(), dc);
    DisposePort(port);
}

}  // namespace
