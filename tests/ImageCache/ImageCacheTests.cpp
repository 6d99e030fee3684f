// The "Apply to New Layer" image cache, in-process over a host record of the test's own: a run
// with the option keeps the frame-only composite of its tiles in a temporary file and hands the
// file to the host's next call, which writes it into the output; a cache that cannot be had asks
// the user whether to go on without it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "AlertLog.h"
#include "ErrorCodes.h"
#include "FirstRunTables.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "ImageCache.h"
#include "LayerState.h"
#include "Quorvel.h"
#include "QuorvelBase.h"
#include "RenderSession.h"
#include "SettingsDefaults.h"
#include "StubPreviewOwner.h"
#include "Utf.h"

namespace {

constexpr int16_t kWidth = 40, kHeight = 30;
constexpr int32_t kPlanes = 4;  // RGB and transparency: the cache holds the frame's colour and alpha

bool FileExists(const std::string& path) {
    return GetFileAttributesW(Utf8ToUtf16(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<uint8_t> FileBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (FILE* in = _wfopen(Utf8ToUtf16(path).c_str(), L"rb")) {
        uint8_t chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
        std::fclose(in);
    }
    return bytes;
}

class ImageCacheRun : public testing::Test {
protected:
    void SetUp() override {
        ResetHostMemoryForTesting();
        BuildFirstRunTables();
        BeginCall(1);
    }
    void TearDown() override {
        filter_.SetOwner(nullptr);
        filter_.ReleaseLayerStates();
        RenderSession& session = Session();
        session.cacheFile.Close();
        if (session.cache.path[0] != '\0') {
            SetFileAttributesW(Utf8ToUtf16(session.cache.path).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(Utf8ToUtf16(session.cache.path).c_str());
        }
        session.cache = {};
        if (dataWord_) DisposeHandle(reinterpret_cast<Handle>(dataWord_));
        dataWord_ = 0;
        state_.layerStates.Release();
        DisposeHandle(record_.parameters);
        record_.parameters = nullptr;
        filter_.Stack().SetTargetLayerPos(0);
        SetBufferReserve(kDefaultBufferReserve);
        call_.reset();
    }

    // A host call on an RGB layer with transparency, kWidth x kHeight, 8 or 16 bits a sample; the
    // data word stays as the last call left it.
    void BeginCall(int32_t bytesPerSample) {
        record_.imageMode = kModeRGBColor;
        record_.imageSize = Point16{kHeight, kWidth};
        record_.wholeSize = record_.imageSize;
        record_.filterRect = Rect16{0, 0, kHeight, kWidth};
        record_.filterCase = kFilterCaseEditableTransparencyNoSelection;
        record_.depth = static_cast<int16_t>(8 * bytesPerSample);
        record_.planes = kPlanes;
        record_.inLayerPlanes = record_.outLayerPlanes = 3;
        record_.inTransparencyMask = record_.outTransparencyMask = 1;
        call_.reset();
        hostCall_ = HostCall{.record = &record_, .data = &dataWord_, .bytesPerSample = bytesPerSample};
        call_.emplace(hostCall_);
        filter_.InitializeGlobals();
    }

    // One default ellipse layer above the photo (its white background covers the corners), with
    // the block's "Apply to New Layer" option.
    void Stack(uint8_t outputOption) {
        filter_.SetDefaultParameters(0);
        ASSERT_EQ(filter_.ResizeStackStorage(1, false), 0);
        filter_.Stack().InitLayerRecord(0, false);
        SettingsDefaultLayerHead(View().Layer(0));
        View().Layer(0).Set(LayerLayout::kEnabled, 1);
        View().Block().Set(BlockLayout::kOutputOption, outputOption);
        filter_.Stack().SetTargetLayerPos(1);
    }
    ParameterBlockView View() {
        return ParameterBlockView(reinterpret_cast<uint8_t*>(*record_.parameters), GetHandleSize(record_.parameters));
    }

    void Start() {
        filter_.SetPreviewRect(record_.filterRect);
        filter_.SetupRun();
        filter_.BeginPass();
    }

    // The passes of the whole area drawn, then composed as one tile; the reserve in force while it
    // is composed. Answers the output (8-bit samples, pixels interleaved).
    std::vector<uint8_t> ComposeWholeTile(int64_t composeReserve = kDefaultBufferReserve) {
        std::vector<uint8_t> input(size_t{kWidth} * kHeight * kPlanes, 90);
        std::vector<uint8_t> output(input.size(), 0);
        record_.inRect = record_.outRect = record_.filterRect;
        record_.maskRect = Rect16{};
        record_.maskData = nullptr;
        record_.inData = input.data();
        record_.outData = output.data();
        record_.inRowBytes = record_.outRowBytes = kWidth * kPlanes;
        record_.inLoPlane = record_.outLoPlane = 0;
        record_.inHiPlane = record_.outHiPlane = kPlanes - 1;
        for (int32_t k = filter_.PassCount(); k >= 1; --k) filter_.TileStep(k, record_.outRect);
        SetBufferReserve(composeReserve);
        try {
            filter_.ComposeTile(DeliveredTile(record_, 1));
        } catch (...) {
            SetBufferReserve(kDefaultBufferReserve);
            record_.inData = record_.outData = nullptr;
            throw;
        }
        SetBufferReserve(kDefaultBufferReserve);
        record_.inData = record_.outData = nullptr;
        return output;
    }

    std::string CachePath() const { return Session().cache.path; }

    FilterRecord record_{};
    HostCall hostCall_;
    std::optional<HostCallScope> call_;
    intptr_t dataWord_ = 0;
    StackState state_;
    Quorvel filter_{hostCall_, state_};
    StubPreviewOwner owner_;
};

// The first call caches the frames alone (the photo's 90 never shows; alpha 0 where no frame is)
// and hands the file to the next call, which writes it into the output: 8-bit samples as they are,
// 16-bit ones widened as every 8-bit sample is, so that a whole frame stays whole (255 becomes
// 32768, the 16-bit full scale) and never turns slightly transparent.
TEST_F(ImageCacheRun, TheNextCallWritesTheFramesTheRunCached) {
    for (const int32_t replayBytes : {1, 2}) {
        SCOPED_TRACE(replayBytes);
        BeginCall(1);
        Stack(BlockLayout::kOutputToNewLayer);
        Start();
        ASSERT_EQ(Session().cache.cacheOpen, 1);
        const std::string path = CachePath();
        ASSERT_TRUE(FileExists(path));
        ComposeWholeTile();

        ASSERT_EQ(filter_.EndRun(0), 0);
        ASSERT_NE(dataWord_, 0);
        EXPECT_EQ(GetHandleSize(reinterpret_cast<Handle>(dataWord_)), int64_t{FrameCacheBlock::kSize});

        // The kept file, closed, as the next call finds it.
        const std::vector<uint8_t> cached = FileBytes(path);
        ASSERT_EQ(cached.size(), size_t{kWidth} * kHeight * kPlanes);
        const uint8_t frame[kPlanes] = {255, 255, 255, 255};
        EXPECT_EQ(std::memcmp(cached.data(), frame, kPlanes), 0);  // the corner: the white background
        const size_t last = cached.size() - kPlanes;
        EXPECT_EQ(std::memcmp(cached.data() + last, frame, kPlanes), 0);
        const size_t centre = (size_t{kHeight / 2} * kWidth + kWidth / 2) * kPlanes;
        const uint8_t none[kPlanes] = {0, 0, 0, 0};
        EXPECT_EQ(std::memcmp(cached.data() + centre, none, kPlanes), 0);

        BeginCall(replayBytes);
        ASSERT_TRUE(Session().cacheReplay);
        EXPECT_EQ(dataWord_, 0);
        std::vector<uint8_t> output(cached.size() * replayBytes, 0x11);
        record_.outRect = record_.filterRect;
        record_.outData = output.data();
        record_.outRowBytes = kWidth * kPlanes * replayBytes;
        record_.outLoPlane = 0;
        record_.outHiPlane = kPlanes - 1;
        filter_.ComposeTile(DeliveredTile(record_, replayBytes));
        record_.outData = nullptr;
        if (replayBytes == 1) {
            EXPECT_EQ(output, cached);
        } else {
            const auto* wide = reinterpret_cast<const uint16_t*>(output.data());
            EXPECT_EQ(wide[0], 32768);
            EXPECT_EQ(wide[kPlanes - 1], 32768);
            EXPECT_EQ(wide[centre + kPlanes - 1], 0);
        }
        // The replaying call keeps nothing.
        EXPECT_EQ(filter_.EndRun(0), 0);
        EXPECT_EQ(dataWord_, 0);
        EXPECT_FALSE(FileExists(path));
    }
}

// Only the main object's pass of a run with the option makes a cache: not a run without it, not a
// preview's pass.
TEST_F(ImageCacheRun, NoCacheWithoutTheOptionOrForAPreview) {
    struct Case {
        uint8_t option;
        bool preview;
    };
    for (const Case c : {Case{BlockLayout::kOutputOff, false}, Case{BlockLayout::kOutputToNewLayer, true}}) {
        SCOPED_TRACE(c.preview);
        BeginCall(1);
        Stack(c.option);
        if (c.preview) filter_.SetOwner(&owner_);
        Start();
        ComposeWholeTile();
        EXPECT_EQ(Session().cache.cacheOpen, 0);
        EXPECT_EQ(Session().cache.path[0], '\0');
        filter_.SetOwner(nullptr);
        EXPECT_EQ(filter_.EndRun(0), 0);
        EXPECT_EQ(dataWord_, 0);
    }
}

// A tile whose cache buffer cannot be had shows 16008: "OK" composes the tile without the cache,
// which is deleted and not handed on; "Exit" ends the call with 32512 before the tile changes.
TEST_F(ImageCacheRun, ACacheBufferThatCannotBeHadAsksWhetherToGoOn) {
    for (const char* answer : {"1", "2"}) {
        SCOPED_TRACE(answer);
        AlertLog alerts(answer);
        BeginCall(1);
        Stack(BlockLayout::kOutputToNewLayer);
        Start();
        const std::string path = CachePath();
        ASSERT_TRUE(FileExists(path));
        if (answer[0] == '1') {
            const std::vector<uint8_t> output = ComposeWholeTile(INT64_MAX / 4);
            EXPECT_EQ(output[0], 255);  // the frame was composed
            EXPECT_EQ(filter_.EndRun(0), 0);
        } else {
            try {
                ComposeWholeTile(INT64_MAX / 4);
                ADD_FAILURE() << "the call went on";
            } catch (const ErrorCodeException& e) {
                EXPECT_EQ(e.code, Err::Cancelled);
            }
            EXPECT_EQ(filter_.EndRun(Err::Cancelled), Err::Cancelled);
        }
        EXPECT_NE(alerts.Text().find("alert 16008"), std::string::npos) << alerts.Text();
        EXPECT_FALSE(FileExists(path));
        EXPECT_EQ(dataWord_, 0);
    }
}

// Under the preview dialog the question is the dialog's: asked over its window, after which its
// "Apply to New Layer" command is greyed; the host's own alert is not shown. The cache goes either
// way, and the answer is the dialog's.
TEST_F(ImageCacheRun, UnderThePreviewDialogTheDialogAsksAndGreysItsCommand) {
    class AskingDialog : public StubPreviewOwner {
    public:
        explicit AskingDialog(int16_t answer) : answer_(answer) {}
        int16_t AlertOverDialog(int16_t alertId) override {
            alerts.push_back(alertId);
            return answer_;
        }
        void EnableCommand(int16_t command, bool enabled) override { commands.push_back({command, enabled}); }
        std::vector<int16_t> alerts;
        std::vector<std::pair<int16_t, bool>> commands;

    private:
        int16_t answer_;
    };
    for (const int16_t answer : {NewLayerCache::kGoOnWithout, int16_t{2}}) {
        SCOPED_TRACE(answer);
        const AlertLog hostAlerts;
        AskingDialog dialog(answer);
        RenderSession& session = Session();
        ASSERT_TRUE(OpenImageCache(session, kPlanes, record_.filterRect));
        const std::string path = CachePath();
        ASSERT_TRUE(FileExists(path));
        EXPECT_EQ(CloseImageCache(session, &dialog), answer);
        EXPECT_EQ(dialog.alerts, std::vector<int16_t>{NewLayerCache::kGivenUpAlert});
        EXPECT_EQ(dialog.commands, (std::vector<std::pair<int16_t, bool>>{{NewLayerCache::kApplyToNewLayerCommand, false}}));
        EXPECT_EQ(hostAlerts.Text(), "");
        EXPECT_FALSE(FileExists(path));
        EXPECT_TRUE(session.cacheGivenUp);
        EXPECT_EQ(session.cache.keepFile, 0);
    }
}

// Only the final pass of the call's main object makes a cache, and only with the option on: not a
// preview instance, and no object while the preview dialog is open over it.
TEST(NewLayerCacheWanted, OnlyTheFinalPassOutsideTheDialogWithTheOption) {
    struct Case {
        bool hasOwner, underDialog;
        uint8_t option;
        bool wanted;
    };
    const Case cases[] = {
        {false, false, BlockLayout::kOutputToNewLayer, true},
        {true, false, BlockLayout::kOutputToNewLayer, false},
        {false, true, BlockLayout::kOutputToNewLayer, false},
        {true, true, BlockLayout::kOutputToNewLayer, false},
        {false, false, BlockLayout::kOutputOff, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NewLayerCache::Wanted(c.hasOwner, c.underDialog, c.option), c.wanted)
            << c.hasOwner << c.underDialog << int(c.option);
}

// A cache file that will not go when the cache is given up does not stop the composition; the end
// of the call tries again and reports 19008.
TEST_F(ImageCacheRun, ACacheFileThatWillNotGoIsReportedAtTheEnd) {
    AlertLog alerts("1");
    Stack(BlockLayout::kOutputToNewLayer);
    Start();
    const std::string path = CachePath();
    ASSERT_TRUE(SetFileAttributesW(Utf8ToUtf16(path).c_str(), FILE_ATTRIBUTE_READONLY));
    const std::vector<uint8_t> output = ComposeWholeTile(INT64_MAX / 4);
    EXPECT_EQ(output[0], 255);
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(Session().cache.cacheOpen, 0);
    EXPECT_EQ(filter_.EndRun(0), Err::FileNotDeletable);
    EXPECT_EQ(dataWord_, 0);
    SetFileAttributesW(Utf8ToUtf16(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(DeleteFileW(Utf8ToUtf16(path).c_str()));
}

// Rows move between memory and the file at the cached area's place: a part of a row, through a
// buffer whose rows lie apart, and whole rows in one go; what lies outside the area, or past the
// end of a file that lost its rows, is refused.
TEST_F(ImageCacheRun, RowsMoveAtTheirPlaceInTheCachedArea) {
    RenderSession& session = Session();
    const Rect16 area{10, 20, 14, 26};  // 6 x 4 pixels of 2 bytes
    ASSERT_TRUE(OpenImageCache(session, 2, area));
    EXPECT_EQ(session.cacheFile.GetSize(), 6 * 4 * 2);

    const uint8_t part[2][8] = {{1, 2, 3, 4, 0xEE, 0xEE, 0xEE, 0xEE}, {5, 6, 7, 8, 0xEE, 0xEE, 0xEE, 0xEE}};
    ReadCacheRows(session, true, const_cast<uint8_t*>(&part[0][0]), Rect16{11, 23, 13, 25}, 8);
    std::vector<uint8_t> whole(6 * 4 * 2, 0xAA);
    ReadCacheRows(session, false, whole.data(), area, 0);
    std::vector<uint8_t> expected(whole.size(), 0);
    const size_t row = 12;
    std::memcpy(&expected[1 * row + 3 * 2], part[0], 4);
    std::memcpy(&expected[2 * row + 3 * 2], part[1], 4);
    EXPECT_EQ(whole, expected);

    struct Refused {
        Rect16 rect;
    };
    for (const Refused r : {Refused{Rect16{9, 20, 11, 26}}, Refused{Rect16{10, 25, 11, 27}}}) {
        try {
            ReadCacheRows(session, true, whole.data(), r.rect, 0);
            ADD_FAILURE() << r.rect.top << "," << r.rect.left;
        } catch (const ErrorCodeException& e) {
            EXPECT_EQ(e.code, Err::FileIO);
        }
    }
    ASSERT_EQ(session.cacheFile.SetSize(row), 0);
    try {
        ReadCacheRows(session, false, whole.data(), area, 0);
        ADD_FAILURE() << "a short file was read";
    } catch (const ErrorCodeException& e) {
        EXPECT_EQ(e.code, Err::FileIO);
    }

    // An area no cache file can address is no cache.
    EXPECT_LT(NewLayerCache::FileBytes(5, Rect16{0, 0, 32767, 32767}), 0);
    EXPECT_EQ(NewLayerCache::FileBytes(4, Rect16{0, 0, 30, 40}), 4800);
}

}  // namespace
