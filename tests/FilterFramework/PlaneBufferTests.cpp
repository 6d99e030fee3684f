// Plane buffers: the window over the document, its valid region, and sliding that keeps what is
// still inside.
#include <gtest/gtest.h>

#include <vector>

#include "InProcessHost.h"
#include "PlaneBuffer.h"

namespace {

class PlaneBufferTest : public testing::Test {
protected:
    void SetUp() override {
        host_.BeginCall();
        ASSERT_EQ(buffer_.Allocate(Rect16{10, 20, 20, 40}, 2, 1), 0);  // 10 rows x 20 columns, 2 planes
    }

    // Writes a pattern that names each pixel by its document position.
    void WritePattern(const Rect16& r) {
        int32_t rowBytes = 0;
        char* at = buffer_.PointerForRect(r, &rowBytes);
        ASSERT_NE(at, nullptr);
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                at[(y - r.top) * rowBytes + (x - r.left) * 2] = static_cast<char>(y);
                at[(y - r.top) * rowBytes + (x - r.left) * 2 + 1] = static_cast<char>(x);
            }
    }

    InProcessHost host_{kModeRGBColor, 8, 8};
    PlaneBuffer buffer_;
};

TEST_F(PlaneBufferTest, ValidRectsAreServedOnlyWhole) {
    int32_t rowBytes = 0;
    EXPECT_EQ(buffer_.PointerForValidRect(Rect16{10, 20, 12, 22}, &rowBytes), nullptr) << "nothing valid yet";
    WritePattern(Rect16{10, 20, 15, 30});
    char* at = buffer_.PointerForValidRect(Rect16{12, 25, 15, 30}, &rowBytes);
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(rowBytes, 40);
    EXPECT_EQ(at[0], 12);
    EXPECT_EQ(at[1], 25);
    EXPECT_EQ(buffer_.PointerForValidRect(Rect16{12, 25, 17, 30}, &rowBytes), nullptr) << "half valid";
    buffer_.InvalidateAll();
    EXPECT_EQ(buffer_.PointerForValidRect(Rect16{12, 25, 15, 30}, &rowBytes), nullptr);
}

TEST_F(PlaneBufferTest, SlidingKeepsTheValidPixelsStillInside) {
    WritePattern(Rect16{10, 20, 20, 40});
    // A rect below and right of the window: the window moves by (5, 10).
    WritePattern(Rect16{22, 45, 25, 50});
    EXPECT_EQ(buffer_.Bounds().top, 15);
    EXPECT_EQ(buffer_.Bounds().left, 30);
    int32_t rowBytes = 0;
    char* kept = buffer_.PointerForValidRect(Rect16{15, 30, 20, 40}, &rowBytes);
    ASSERT_NE(kept, nullptr) << "the overlap of old and new window stays valid";
    for (int y = 15; y < 20; ++y)
        for (int x = 30; x < 40; ++x) {
            ASSERT_EQ(kept[(y - 15) * rowBytes + (x - 30) * 2], y);
            ASSERT_EQ(kept[(y - 15) * rowBytes + (x - 30) * 2 + 1], x);
        }
    EXPECT_EQ(buffer_.PointerForValidRect(Rect16{20, 30, 21, 31}, &rowBytes), nullptr) << "newly exposed";

    // Sliding back up and left keeps the same pixels the other way round.
    WritePattern(Rect16{10, 20, 11, 21});
    kept = buffer_.PointerForValidRect(Rect16{15, 30, 20, 40}, &rowBytes);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept[0], 15);
    EXPECT_EQ(kept[(19 - 15) * rowBytes + (39 - 30) * 2 + 1], 39);
}

TEST_F(PlaneBufferTest, ExactSizeElsewhereKeepsNothingOfTheOldWindow) {
    WritePattern(Rect16{10, 20, 20, 40});
    WritePattern(Rect16{100, 200, 110, 220});
    EXPECT_EQ(buffer_.Bounds().top, 100);
    EXPECT_EQ(buffer_.Bounds().left, 200);
    RECT box{};
    GetRgnBox(buffer_.ValidRegion(), &box);
    EXPECT_EQ(box.top, 100);
    EXPECT_EQ(box.left, 200);
    EXPECT_EQ(box.bottom, 110);
    EXPECT_EQ(box.right, 220);
}

TEST_F(PlaneBufferTest, OversizedRectsAndEmptyCopiesChangeNothing) {
    int32_t rowBytes = 0;
    EXPECT_EQ(buffer_.PointerForRect(Rect16{0, 0, 10, 21}, &rowBytes), nullptr);
    EXPECT_EQ(buffer_.Bounds().top, 10);
    EXPECT_EQ(buffer_.Bounds().left, 20);
    buffer_.CopyIn(Rect16{50, 50, 50, 60}, 0, nullptr);
    EXPECT_EQ(buffer_.Bounds().top, 10) << "an empty rect neither moves nor fills";

    const std::vector<char> rows(2 * 3 * 2, 7);
    buffer_.CopyIn(Rect16{11, 21, 13, 24}, 6, rows.data());
    char* at = buffer_.PointerForValidRect(Rect16{11, 21, 13, 24}, &rowBytes);
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(at[rowBytes + 5], 7);
}

TEST(PlaneBuffer16, FillOpaqueWritesTheTopOfTheRange) {
    InProcessHost host(kModeRGB48, 4, 4);
    host.BeginCall();
    PlaneBuffer buffer;
    ASSERT_EQ(buffer.Allocate(Rect16{0, 0, 2, 2}, 3, 2), 0);
    buffer.FillOpaque(Rect16{0, 0, 2, 2});
    int32_t rowBytes = 0;
    auto* samples = reinterpret_cast<uint16_t*>(buffer.PointerForValidRect(Rect16{0, 0, 2, 2}, &rowBytes));
    ASSERT_NE(samples, nullptr);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(samples[i], 32768);
    buffer.Free();
    EXPECT_FALSE(buffer.IsAllocated());
    EXPECT_EQ(buffer.RowBytes(), 0u);
}

}  // namespace
