// Drawing through ports, checked by reading pixels back from a memory device context.
#include <gtest/gtest.h>

#include <string>

#include "DrawingPort.h"
#include "TestResources.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

// A white 64 x 64 bitmap in a memory device context, and a port drawing into it.
class Canvas : public testing::Test {
protected:
    static constexpr int kSize = 64;

    void SetUp() override {
        dc_.Reset(CreateCompatibleDC(nullptr));
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), kSize, -kSize, 1, 32, BI_RGB};
        void* bits = nullptr;
        bitmap_.Reset(CreateDIBSection(dc_.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        ASSERT_TRUE(dc_ && bitmap_);
        SelectObject(dc_.Get(), bitmap_.Get());
        PatBlt(dc_.Get(), 0, 0, kSize, kSize, WHITENESS);
        InitPort(port_, nullptr);
    }
    void TearDown() override { DisposePort(port_); }

    HDC Dc() const { return dc_.Get(); }
    COLORREF Pixel(int x, int y) const { return GetPixel(dc_.Get(), x, y); }
    void SetForeColor(COLORREF color) {
        port_.foreColor = color;
        UpdatePen(port_);
        UpdateFillBrush(port_);
    }
    void SetBackColor(COLORREF color) {
        port_.backColor = color;
        UpdateBackBrush(port_);
    }

    DrawingPort port_;

private:
    OwnedMemoryDC dc_;
    OwnedBitmap bitmap_;
};

TEST_F(Canvas, NewPortDrawsBlackOnTheButtonFaceEverywhere) {
    EXPECT_EQ(port_.foreColor, kBlack);
    EXPECT_EQ(port_.backColor, GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(port_.penWidth, 1);
    EXPECT_EQ(port_.drawMode, R2_COPYPEN);
    EXPECT_FALSE(port_.pattern);
    EXPECT_TRUE(PtInRegion(port_.clipRgn.Get(), -29999, 29999));
    EXPECT_TRUE(IsEmptyRgn(port_.scratchRgn.Get()));

    PaintRect(port_, Rect16{10, 10, 20, 30}, Dc());
    EXPECT_EQ(Pixel(10, 10), kBlack);
    EXPECT_EQ(Pixel(29, 19), kBlack);
    EXPECT_EQ(Pixel(30, 19), kWhite);   // right and bottom edges lie outside
    EXPECT_EQ(Pixel(29, 20), kWhite);
    EXPECT_EQ(Pixel(9, 10), kWhite);

    EraseRect(port_, Rect16{12, 12, 14, 14}, Dc());
    EXPECT_EQ(Pixel(12, 12), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(Pixel(14, 14), kBlack);
}

TEST_F(Canvas, FramesArePenWidthThickInside) {
    port_.penWidth = 2;
    FrameRect(port_, Rect16{10, 10, 30, 30}, Dc());
    for (int edge : {10, 11, 28, 29}) {
        EXPECT_EQ(Pixel(edge, 20), kBlack) << edge;
        EXPECT_EQ(Pixel(20, edge), kBlack) << edge;
    }
    for (int inside : {12, 27}) EXPECT_EQ(Pixel(inside, inside), kWhite) << inside;
    EXPECT_EQ(Pixel(30, 20), kWhite);
    EXPECT_EQ(Pixel(9, 20), kWhite);
}

TEST_F(Canvas, PatternsDrawZeroBitsInTheForeAndOneBitsInTheBackColour) {
    SetBackColor(kBlue);
    port_.pattern = Pattern8x8{0xAA, 0, 0x55, 0, 0xAA, 0, 0x55, 0, 0xAA, 0, 0x55, 0, 0xAA, 0, 0x55, 0};
    UpdateFillBrush(port_);
    PaintRect(port_, Rect16{0, 0, 16, 16}, Dc());
    EXPECT_EQ(Pixel(0, 0), kBlue);
    EXPECT_EQ(Pixel(1, 0), kBlack);
    EXPECT_EQ(Pixel(0, 1), kBlack);
    EXPECT_EQ(Pixel(1, 1), kBlue);
    EXPECT_EQ(Pixel(8, 8), kBlue);   // the pattern repeats every 8 pixels

    UpdatePenAndBrushes(port_);
    EXPECT_FALSE(port_.pattern);
    PaintRect(port_, Rect16{0, 0, 2, 2}, Dc());
    EXPECT_EQ(Pixel(0, 0), kBlack);
}

TEST_F(Canvas, DrawingStaysInsideTheClipAndTheExtraClip) {
    OwnedRgn leftHalf = NewRectRgn(Rect16{0, 0, 64, 32});
    SetClipRgn(port_, leftHalf.Get());
    PaintRect(port_, Rect16{0, 0, 64, 64}, Dc());
    EXPECT_EQ(Pixel(31, 40), kBlack);
    EXPECT_EQ(Pixel(32, 40), kWhite);

    // As a dialog paints: its update region becomes the extra clip over the same visible region.
    PatBlt(Dc(), 0, 0, 64, 64, WHITENESS);
    OwnedRgn topHalf = NewRectRgn(Rect16{0, 0, 32, 64});
    port_.extraClipRgn = topHalf.Get();
    SetClipRgn(port_, port_.visibleRgn.Get());
    PaintRect(port_, Rect16{0, 0, 64, 64}, Dc());
    EXPECT_EQ(Pixel(10, 10), kBlack);
    EXPECT_EQ(Pixel(10, 40), kWhite);
    EXPECT_EQ(Pixel(40, 10), kWhite);
    EXPECT_TRUE(PtInRegion(port_.visibleRgn.Get(), 10, 40));   // only the clip region is cut down

    port_.extraClipRgn = nullptr;
    SetClipRgn(port_, port_.visibleRgn.Get());
    EXPECT_TRUE(PtInRegion(port_.clipRgn.Get(), 10, 40));
}

TEST_F(Canvas, RegionsAreFilledAndFramedAlongTheirShape) {
    OwnedRgn shape = NewRectRgn(Rect16{0, 0, 10, 10});
    OwnedRgn second = NewRectRgn(Rect16{20, 20, 30, 30});
    UnionRgn(shape.Get(), second.Get(), shape.Get());
    PaintRgn(port_, shape.Get(), Dc());
    EXPECT_EQ(Pixel(5, 5), kBlack);
    EXPECT_EQ(Pixel(25, 25), kBlack);
    EXPECT_EQ(Pixel(15, 15), kWhite);

    PatBlt(Dc(), 0, 0, 64, 64, WHITENESS);
    FrameRgn(port_, shape.Get(), Dc());
    EXPECT_EQ(Pixel(0, 5), kBlack);
    EXPECT_EQ(Pixel(29, 25), kBlack);
    EXPECT_EQ(Pixel(25, 25), kWhite);
}

TEST_F(Canvas, ThemeColoursAreTheSystemsWithFixedWhiteBlackAndGrey) {
    EXPECT_EQ(GetThemeColor(6), kWhite);
    EXPECT_EQ(GetThemeColor(12), kBlack);
    EXPECT_EQ(GetThemeColor(13), RGB(0x7F, 0x7F, 0x7F));
    EXPECT_EQ(GetThemeColor(1), GetSysColor(COLOR_BTNTEXT));
    EXPECT_EQ(GetThemeColor(10), GetSysColor(COLOR_INFOTEXT));
    EXPECT_EQ(GetThemeColor(11), GetSysColor(COLOR_INFOBK));
    EXPECT_FALSE(GetThemeColor(0));
    EXPECT_FALSE(GetThemeColor(14));

    SetPenColorIndex(port_, 13);
    PaintRect(port_, Rect16{0, 0, 4, 4}, Dc());
    EXPECT_EQ(Pixel(1, 1), RGB(0x7F, 0x7F, 0x7F));
    SetPenColorIndex(port_, 99);   // an unknown index keeps the colour
    EXPECT_EQ(port_.foreColor, RGB(0x7F, 0x7F, 0x7F));
}

TEST_F(Canvas, LinesLeanLeftGoingDownAndUpGoingLeft) {
    PortLineTo(port_, Point16{5, 2}, Point16{5, 20}, Dc());   // across: as given
    EXPECT_EQ(Pixel(2, 5), kBlack);
    EXPECT_EQ(Pixel(19, 5), kBlack);
    EXPECT_EQ(Pixel(20, 5), kWhite);

    PortLineTo(port_, Point16{10, 40}, Point16{30, 40}, Dc());   // down: one pixel to the left
    EXPECT_EQ(Pixel(39, 20), kBlack);
    EXPECT_EQ(Pixel(40, 20), kWhite);

    PortLineTo(port_, Point16{50, 40}, Point16{50, 20}, Dc());   // leftwards: one pixel higher
    EXPECT_EQ(Pixel(30, 49), kBlack);
    EXPECT_EQ(Pixel(30, 50), kWhite);

    port_.drawMode = R2_NOT;   // the drawing mode applies: drawing twice removes the line
    PortLineTo(port_, Point16{5, 2}, Point16{5, 20}, Dc());
    EXPECT_EQ(Pixel(10, 5), kWhite);
}

TEST_F(Canvas, TextSitsOnItsBaselineAndIsAsWideAsMeasured) {
    SetBackColor(kBlue);
    const PortFontInfo font = GetPortFontInfo(port_, Dc());
    ASSERT_GT(font.ascent, 0);
    ASSERT_GT(font.descent, 0);
    EXPECT_LE(font.height, font.ascent + font.descent);

    const int16_t width = MeasureTextWidth(port_, "Hg", Dc());
    ASSERT_GT(width, 0);
    constexpr int kLeft = 5, kBaseline = 40;
    DrawStringAt(port_, Point16{kBaseline, kLeft}, "Hg", Dc());
    // The text cell is filled with the back colour from ascent above to descent below the baseline.
    EXPECT_EQ(Pixel(kLeft, kBaseline - font.ascent), kBlue);
    EXPECT_EQ(Pixel(kLeft, kBaseline - font.ascent - 1), kWhite);
    EXPECT_EQ(Pixel(kLeft + width - 1, kBaseline - font.ascent), kBlue);
    EXPECT_EQ(Pixel(kLeft + width, kBaseline), kWhite);
    int glyphPixels = 0;
    for (int y = kBaseline - font.ascent; y < kBaseline; ++y)
        for (int x = kLeft; x < kLeft + width; ++x) glyphPixels += Pixel(x, y) == kBlack;
    EXPECT_GT(glyphPixels, 4);
}

TEST_F(Canvas, PortFontStylesKeepHeightAndFace) {
    LOGFONTW plain{}, styled{};
    GetObjectW(port_.font.Get(), sizeof plain, &plain);
    EXPECT_EQ(plain.lfWeight, FW_NORMAL);
    SetPortFont(port_, 5);
    GetObjectW(port_.font.Get(), sizeof styled, &styled);
    EXPECT_EQ(styled.lfWeight, FW_BOLD);
    EXPECT_TRUE(styled.lfUnderline);
    EXPECT_FALSE(styled.lfItalic);
    EXPECT_FALSE(styled.lfStrikeOut);
    EXPECT_EQ(styled.lfHeight, plain.lfHeight);
    EXPECT_STREQ(styled.lfFaceName, plain.lfFaceName);
    SetPortFont(port_, 10);
    GetObjectW(port_.font.Get(), sizeof styled, &styled);
    EXPECT_EQ(styled.lfWeight, FW_NORMAL);
    EXPECT_TRUE(styled.lfItalic && styled.lfStrikeOut && !styled.lfUnderline);
}

TEST_F(Canvas, PushButtonFrameShrinksTheRectangleToItsInside) {
    for (bool pressed : {false, true}) {
        PatBlt(Dc(), 0, 0, 64, 64, WHITENESS);
        Rect16 rect{0, 0, 20, 50};
        DrawPushButtonFrame(port_, rect, pressed, Dc());
        EXPECT_EQ(rect.top, 2);
        EXPECT_EQ(rect.left, 2);
        EXPECT_EQ(rect.bottom, 17);
        EXPECT_EQ(rect.right, 47);
        // Raised, the shadow falls bottom right; pressed, top left, over a filled face.
        const int topLeft = GetRValue(Pixel(0, 0)), bottomRight = GetRValue(Pixel(49, 19));
        EXPECT_EQ(pressed ? topLeft < bottomRight : bottomRight < topLeft, true) << pressed;
        EXPECT_EQ(Pixel(25, 10) != kWhite, pressed);
        EXPECT_EQ(Pixel(50, 20), kWhite);
    }
}

TEST_F(Canvas, BitmapsStretchOverTheWholeRectangle) {
    const CachedImage* stripes = GetCachedImage(port_.imageCache, TEST_BITMAP_STRIPES, kCachedBitmap);
    ASSERT_NE(stripes, nullptr);
    EXPECT_EQ(stripes->width, 4);
    EXPECT_EQ(stripes->height, 2);
    EXPECT_EQ(DrawBitmapStretched(port_, stripes->bitmap.Get(), Rect16{0, 0, 20, 40}, SRCCOPY, Dc()), Err::None);
    EXPECT_EQ(Pixel(5, 5), kRed);
    EXPECT_EQ(Pixel(25, 5), kBlue);
    EXPECT_EQ(Pixel(35, 15), kBlack);
    EXPECT_EQ(Pixel(45, 5), kWhite);
}

TEST_F(Canvas, IconsComeFromTheCacheAndDrawCentred) {
    const CachedImage* icon = GetCachedImage(port_.imageCache, TEST_ICON_RED, kCachedIcon);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(GetCachedImage(port_.imageCache, TEST_ICON_RED, kCachedIcon), icon);
    EXPECT_EQ(GetCachedImage(port_.imageCache, TEST_RESOURCE_MISSING, kCachedIcon), nullptr);
    EXPECT_EQ(std::distance(port_.imageCache.begin(), port_.imageCache.end()), 1);

    EXPECT_EQ(DrawIconAt(port_, TEST_ICON_RED, Point16{20, 20}, false, Dc()), Err::None);
    EXPECT_EQ(Pixel(12, 12), kRed);
    EXPECT_EQ(Pixel(27, 27), kRed);
    EXPECT_EQ(Pixel(28, 20), kWhite);
    EXPECT_EQ(Pixel(11, 20), kWhite);

    EXPECT_EQ(DrawIconAt(port_, TEST_ICON_RED, Point16{44, 44}, true, Dc()), Err::None);
    EXPECT_NE(Pixel(44, 44), kRed);   // greyed

    EXPECT_EQ(DrawIconAt(port_, TEST_RESOURCE_MISSING, Point16{50, 10}, false, Dc()), Err::ResourceMissing);
    EXPECT_EQ(Pixel(50, 10), kWhite);
}

TEST_F(Canvas, ScrollingMovesPixelsAndReportsTheExposedArea) {
    PaintRect(port_, Rect16{10, 10, 14, 14}, Dc());
    OwnedRgn exposed = NewRectRgn(Rect16{});
    ScrollRect(port_, Rect16{0, 0, 64, 64}, 5, 0, exposed.Get(), Dc());
    EXPECT_EQ(Pixel(15, 10), kBlack);
    EXPECT_EQ(Pixel(18, 13), kBlack);
    EXPECT_EQ(Pixel(10, 10), kWhite);
    EXPECT_TRUE(PtInRegion(exposed.Get(), 2, 30));
    EXPECT_FALSE(PtInRegion(exposed.Get(), 5, 30));
}

TEST(DeferredPort, IsDisposedOfOnceWhenTheCallEnds) {
    DrawingPort desktop;
    InitPort(desktop, nullptr);
    DeferPortDisposal(desktop);
    EXPECT_TRUE(desktop.pen);
    DisposeDeferredPort();
    EXPECT_FALSE(desktop.pen || desktop.clipRgn || desktop.font || desktop.fillBrush);

    InitPort(desktop, nullptr);
    DisposeDeferredPort();   // nothing is deferred any more
    EXPECT_TRUE(desktop.pen);
}

}  // namespace
