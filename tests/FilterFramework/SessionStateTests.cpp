// The parameter block's framework header and the session block that carries a selection's
// source from the first host call to the repeated one.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "BigEndian.h"
#include "InProcessHost.h"
#include "File.h"
#include "HostMemory.h"
#include "InvertFilter.h"
#include "PluginMain.h"
#include "SessionState.h"

namespace {

// A copy of the session block the host keeps in its data word.
FilterData BlockInDataWord(InProcessHost& host) {
    const Handle handle = reinterpret_cast<Handle>(host.DataWord());
    FilterData block{};
    if (GetHandleSize(handle) == FilterData::kSize) std::memcpy(&block, LockHandle(handle), sizeof block);
    UnlockHandle(handle);
    return block;
}

class SignedFilter : public PhotoshopFilter {
public:
    using PhotoshopFilter::PhotoshopFilter;
    uint32_t GetSignature() const override { return 'tst1'; }
};

class ParameterBlock : public testing::Test {
protected:
    void SetUp() override { host_.BeginCall(); }
    void TearDown() override {
        DisposeHandle(host_.Record().parameters);
        host_.Record().parameters = nullptr;
    }
    uint8_t* Block() { return reinterpret_cast<uint8_t*>(LockHandle(host_.Record().parameters)); }

    InProcessHost host_{kModeRGBColor, 4, 4};
    SignedFilter filter_{host_.Call()};
};

TEST_F(ParameterBlock, FirstRequestIsZeroButTheHeader) {
    filter_.SetParameterBlockSize(40, false);
    ASSERT_EQ(GetHandleSize(host_.Record().parameters), 48);
    const uint8_t* b = Block();
    EXPECT_EQ(BigEndian::Read16(b + 8), 40);
    EXPECT_EQ(b[11], 12);
    EXPECT_EQ(BigEndian::Read32(b + 12), uint32_t{'tst1'});
    for (int i : {0, 7, 10, 16, 19, 20, 47}) EXPECT_EQ(b[i], 0) << i;
}

TEST_F(ParameterBlock, SameSizeKeepsContentsAndResetZeroesTheSettings) {
    filter_.SetParameterBlockSize(40, false);
    Block()[30] = 9;
    Block()[12] = 'X';  // a header the resize must leave as it is
    filter_.SetParameterBlockSize(40, false);
    EXPECT_EQ(Block()[30], 9);
    EXPECT_EQ(Block()[12], 'X');
    filter_.SetParameterBlockSize(40, true);
    EXPECT_EQ(Block()[30], 0);
    EXPECT_EQ(Block()[12], 'X');
}

TEST_F(ParameterBlock, GrowingCopiesOnlyWhatTheOldHandleHolds) {
    // A header that claims far more than its handle holds.
    Handle small = NewHandle(24);
    uint8_t* b = reinterpret_cast<uint8_t*>(LockHandle(small));
    std::memset(b, 0x5A, 24);
    BigEndian::Write16(b + 8, 4000);
    host_.Record().parameters = small;
    filter_.SetParameterBlockSize(100, false);
    ASSERT_EQ(GetHandleSize(host_.Record().parameters), 108);
    const uint8_t* grown = Block();
    EXPECT_EQ(grown[23], 0x5A);
    EXPECT_EQ(grown[24], 0) << "nothing read beyond the old handle";
    EXPECT_EQ(BigEndian::Read16(grown + 8), 100);
}

class Session : public testing::Test {
protected:
    void SetUp() override { _putenv("QUORVEL_ALERT_ANSWER=1"); }
};

TEST_F(Session, SelectionRoundTripRendersFromTheCachedMask) {
    InProcessHost host(kModeRGBColor, 120, 90);
    host.FillPattern();
    host.SetMask([](int32_t y, int32_t x) { return uint8_t(((x / 4 + y / 4) % 2) * 255); });
    const Rect16 selection{10, 20, 50, 70};
    host.Record().filterRect = selection;
    std::vector<uint32_t> before;
    for (int32_t y = 0; y < 90; ++y)
        for (int32_t x = 0; x < 120; ++x)
            for (int32_t p = 0; p < 3; ++p) before.push_back(host.Sample(y, x, p));

    // The first call caches the selection and leaves the image to the host's undo.
    {
        InvertFilter filter(host.Call());
        ASSERT_EQ(host.RunStart(filter), 0);
        EXPECT_EQ(filter.composedTiles, 0);
    }
    ASSERT_NE(host.DataWord(), 0);
    const FilterData data = BlockInDataWord(host);
    EXPECT_EQ(data.maskCached, 1);
    EXPECT_EQ(data.planesCached, 1);
    EXPECT_EQ(data.filterRect.bottom, 50);
    const std::string cachePath = data.path;
    EXPECT_NE(GetFileAttributesA(cachePath.c_str()), INVALID_FILE_ATTRIBUTES);

    // The repeated call, after the host deselected: the whole image, no mask, the block back.
    host.Record().haveMask = 0;
    host.Record().filterRect = Rect16{0, 0, 90, 120};
    {
        InvertFilter filter(host.Call());
        ASSERT_EQ(host.RunStart(filter), 0);
        EXPECT_GT(filter.composedTiles, 0);
    }
    EXPECT_EQ(host.DataWord(), 0);
    EXPECT_EQ(GetFileAttributesA(cachePath.c_str()), INVALID_FILE_ATTRIBUTES) << "the cache file is gone";
    size_t i = 0;
    for (int32_t y = 0; y < 90; ++y)
        for (int32_t x = 0; x < 120; ++x) {
            const bool inside = y >= selection.top && y < selection.bottom && x >= selection.left && x < selection.right;
            const bool selected = inside && host.MaskAt(y, x) >= 128;
            for (int32_t p = 0; p < 3; ++p, ++i)
                ASSERT_EQ(host.Sample(y, x, p), selected ? 255 - before[i] : before[i]) << y << "," << x;
        }
}

TEST_F(Session, ARectangularSelectionTravelsWithoutACacheFile) {
    InProcessHost host(kModeGray16, 90, 70);
    host.FillPattern();
    const Rect16 selection{5, 12, 40, 61};
    host.Record().filterRect = selection;
    host.Record().filterCase = kFilterCaseFlatImageWithSelection;
    std::vector<uint32_t> before;
    for (int32_t y = 0; y < 70; ++y)
        for (int32_t x = 0; x < 90; ++x) before.push_back(host.Sample(y, x, 0));
    {
        InvertFilter filter(host.Call());
        ASSERT_EQ(host.RunStart(filter), 0);
    }
    ASSERT_NE(host.DataWord(), 0);
    EXPECT_EQ(BlockInDataWord(host).path[0], 0) << "no mask, no file";

    host.Record().filterRect = Rect16{0, 0, 70, 90};
    host.Record().filterCase = kFilterCaseFlatImageNoSelection;
    {
        InvertFilter filter(host.Call());
        ASSERT_EQ(host.RunStart(filter), 0);
    }
    for (int32_t y = 0; y < 70; ++y)
        for (int32_t x = 0; x < 90; ++x) {
            const bool inside = y >= selection.top && y < selection.bottom && x >= selection.left && x < selection.right;
            const uint32_t old = before[size_t(y) * 90 + x];
            ASSERT_EQ(host.Sample(y, x, 0), inside ? 32768 - old : old) << y << "," << x;
        }
}

TEST_F(Session, BlocksOfTheWrongSizeOrAllOnesAreNotUsed) {
    for (int variant = 0; variant < 2; ++variant) {
        InProcessHost host(kModeGrayScale, 30, 20);
        host.FillPattern();
        host.BeginCall();  // the handles are the host's
        Handle wrong = nullptr;
        if (variant == 0) {
            wrong = NewHandle(100);
            std::memset(LockHandle(wrong), 0x11, 100);
            host.DataWord() = reinterpret_cast<intptr_t>(wrong);
        } else {
            host.DataWord() = ~intptr_t{0};
        }
        const uint32_t first = host.Sample(0, 0, 0);
        InvertFilter filter(host.Call());
        ASSERT_EQ(host.RunStart(filter), 0) << variant;
        EXPECT_EQ(host.Sample(0, 0, 0), 255 - first) << "rendered as a run without block";
        if (variant == 0) {
            EXPECT_EQ(host.DataWord(), 0) << "the foreign block is given back";
        }
    }
}

TEST_F(Session, BlockWithUnterminatedPathOpensNoFile) {
    InProcessHost host(kModeGrayScale, 30, 20);
    host.FillPattern();
    host.BeginCall();
    Handle block = NewHandle(FilterData::kSize);
    FilterData data{};
    data.maskCached = 1;
    data.filterRect = Rect16{0, 0, 20, 30};
    std::memset(data.path, 'A', sizeof data.path);
    std::memcpy(LockHandle(block), &data, sizeof data);
    host.DataWord() = reinterpret_cast<intptr_t>(block);
    const uint32_t first = host.Sample(0, 0, 0);
    InvertFilter filter(host.Call());
    ASSERT_EQ(host.RunStart(filter), 0);
    EXPECT_FALSE(SourceCache::IsOpen());
    EXPECT_EQ(host.Sample(0, 0, 0), 255 - first) << "no cached mask: the cached rectangle counts as selected";
}

TEST_F(Session, AFloatingSelectionWithAMaskCachesTheImageToo) {
    InProcessHost host(kModeRGBColor, 30, 20);
    host.FillPattern();
    host.SetMask([](int32_t, int32_t x) { return uint8_t(x < 15 ? 255 : 0); });
    host.Record().isFloating = 1;
    host.Record().filterCase = kFilterCaseFloatingSelection;
    host.Record().floatCoord = Point16{2, 3};
    {
        InvertFilter filter(host.Call());
        ASSERT_EQ(host.RunStart(filter), 0);
    }
    ASSERT_NE(host.DataWord(), 0);
    const FilterData block = BlockInDataWord(host);
    EXPECT_EQ(block.imageCached, 1);
    EXPECT_EQ(block.planesCached, 4) << "three colour planes and the mask";
    EXPECT_EQ(block.filterRect.top, 2) << "in document coordinates";
    EXPECT_EQ(block.filterRect.left, 3);
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    ASSERT_TRUE(GetFileAttributesExA(block.path, GetFileExInfoStandard, &attributes));
    EXPECT_EQ(attributes.nFileSizeLow, 30u * 20u * 4u) << "one byte of mask and three of image a pixel";

    // The repeated call writes the cached source into the output before the filter inverts it.
    host.Record().isFloating = 0;
    host.Record().haveMask = 0;
    host.Record().filterCase = kFilterCaseFlatImageNoSelection;
    InvertFilter filter(host.Call());
    ASSERT_EQ(host.RunStart(filter), 0);
    EXPECT_EQ(host.DataWord(), 0);
    EXPECT_EQ(GetFileAttributesA(block.path), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Session, RowsWiderThanTheTransferBufferAreCachedOneAtATime) {
    // One row of the image section takes 12000 x 3 x 2 bytes, more than the 65536-byte buffer.
    InProcessHost host(kModeRGB48, 12000, 4);
    host.FillPattern();
    host.SetMask([](int32_t, int32_t x) { return uint8_t(x % 256); });
    host.Record().isFloating = 1;
    host.Record().filterCase = kFilterCaseFloatingSelection;
    host.Record().floatCoord = Point16{0, 1};
    host.Record().filterRect = Rect16{0, 0, 4, 11999};
    {
        InvertFilter filter(host.Call());
        ASSERT_EQ(host.RunStart(filter), 0);
    }
    ASSERT_NE(host.DataWord(), 0);
    const FilterData block = BlockInDataWord(host);
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    ASSERT_TRUE(GetFileAttributesExA(block.path, GetFileExInfoStandard, &attributes));
    EXPECT_EQ(attributes.nFileSizeLow, 11999u * 4u * (1u + 3u * 2u));
    // The second pixel of the second row of the image section, as the host had it.
    File cache;
    cache.SetSpec(FileSpec::FromPath(block.path));
    ASSERT_EQ(cache.Open("r"), 0);
    uint16_t sample = 0;
    const uint32_t offset = 11999u * 4u + ((1u * 11999u + 1u) * 3u) * 2u;
    ASSERT_EQ(cache.Read(&sample, offset, 2), 2u);
    EXPECT_EQ(sample, host.Sample(1, 2, 0)) << "document column 2: the selection starts at column 1";
    cache.Close();
    SourceCache::CloseAndDelete();
    DisposeHandle(reinterpret_cast<Handle>(host.DataWord()));
    host.DataWord() = 0;
}

}  // namespace
