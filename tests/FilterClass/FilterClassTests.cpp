#include <gtest/gtest.h>

#include <optional>
#include <windows.h>

#include <cstring>
#include <functional>
#include <string>

#include "BlendTable.h"
#include "File.h"
#include "FilterObjects.h"
#include "FirstRunTables.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "LayerState.h"
#include "Quorvel.h"
#include "RenderSession.h"
#include "Utf.h"

namespace {

class FilterClassTest : public testing::Test {
protected:
    void SetUp() override {
        ResetHostMemoryForTesting();
        record_.filterCase = kFilterCaseEditableTransparencyWithSelection;
        hostCall_ = HostCall{.record = &record_, .data = &dataWord_};
        call_.emplace(hostCall_);
    }
    void TearDown() override {
        if (dataWord_) DisposeHandle(reinterpret_cast<Handle>(dataWord_));
        dataWord_ = 0;
        Session().cacheFile.Close();
        Session().cache = {};
        state_.layerStates.Release();
        DisposeHandle(record_.parameters);
        record_.parameters = nullptr;
        call_.reset();
    }
    // A default block grown to this stack.
    void MakeStack(Quorvel& filter, int layers, int paths) {
        filter.SetDefaultParameters(0);
        ASSERT_EQ(filter.ResizeStackStorage(layers, false), 0);
        ASSERT_EQ(filter.ResizeStackStorage(paths, true), 0);
    }

    FilterRecord record_{};
    HostCall hostCall_;
    std::optional<HostCallScope> call_;
    intptr_t dataWord_ = 0;
    StackState state_;  // the call's, shared by every filter object a test makes
};

TEST_F(FilterClassTest, PrepareKeepsHalfOfASmallHostAndTwoMegabytesOfALargeOne) {
    struct Case {
        int32_t maxSpace, bufferSpace;
    };
    const Case cases[] = {
        {0x400000, 0x200000}, {0x400001, 0x200000}, {0x3FFFFF, 0x1FFFFF}, {0x7FFFFFFF, 0x200000},
        {1, 0},               {0, 0},               {-10, 0},
    };
    Quorvel filter(hostCall_, state_);
    for (const Case& c : cases) {
        record_.maxSpace = c.maxSpace;
        record_.bufferSpace = 12345;
        filter.Prepare();
        EXPECT_EQ(record_.bufferSpace, c.bufferSpace) << "maxSpace " << c.maxSpace;
    }
}

TEST_F(FilterClassTest, SetupRunSizesTheTablesToTheStack) {
    Quorvel filter(hostCall_, state_);
    MakeStack(filter, 3, 2);
    filter.SetupRun();
    EXPECT_EQ(filter.Placements().Count(), 6);
    EXPECT_EQ(filter.Passes().Count(), 12);
    EXPECT_EQ(filter.Bevels().Count(), 3);
    EXPECT_EQ(state_.layerStates.Count(), 5);

    MakeStack(filter, 0, 0);  // an empty stack still has its placeholder layer
    filter.SetupRun();
    EXPECT_EQ(filter.Placements().Count(), 2);
    EXPECT_EQ(filter.Passes().Count(), 4);
    EXPECT_EQ(filter.Bevels().Count(), 1);
    EXPECT_EQ(state_.layerStates.Count(), 1);
}

TEST_F(FilterClassTest, SetupRunRaisesAStackThatCannotBeSized) {
    Quorvel filter(hostCall_, state_);
    EXPECT_THROW(filter.SetupRun(), ErrorCodeException);  // no block at all
}

TEST_F(FilterClassTest, LayeredOutputNeedsTransparencyAndLayerMasksBothWays) {
    struct Case {
        int16_t inTransparency, inMasks, outMasks;
        bool layered;
    };
    const Case cases[] = {{1, 1, 1, true}, {0, 1, 1, false}, {1, 0, 1, false}, {1, 1, 0, false}};
    Quorvel filter(hostCall_, state_);
    MakeStack(filter, 1, 0);
    for (const Case& c : cases) {
        record_.inTransparencyMask = c.inTransparency;
        record_.inLayerMasks = c.inMasks;
        record_.outLayerMasks = c.outMasks;
        filter.SetupRun();
        EXPECT_EQ(filter.LayeredOutput(), c.layered) << c.inTransparency << c.inMasks << c.outMasks;
    }
}

TEST_F(FilterClassTest, ReleasingTheTablesFreesTheirBuffersAndIsSafeTwice) {
    Quorvel filter(hostCall_, state_);
    MakeStack(filter, 2, 0);
    filter.SetupRun();
    ASSERT_EQ(filter.Placements().At(3)->edgeCaches[2].table.Allocate(64), 0);
    ASSERT_EQ(filter.Passes().At(7)->coverage.Allocate(64), 0);
    ASSERT_EQ(filter.Bevels().At(1)->softnessKernel.Allocate(64), 0);
    filter.ReleaseLayerStates();
    EXPECT_EQ(filter.Placements().Count(), 0);
    EXPECT_EQ(filter.Passes().Count(), 0);
    EXPECT_EQ(filter.Bevels().Count(), 0);
    filter.ReleaseLayerStates();
    EXPECT_EQ(filter.Placements().Count(), 0);
    // Nothing of the records is left on the buffer list to be freed again.
    FreeAllBuffers();
}

TEST_F(FilterClassTest, ClearRecordInfoClearsOnlyWhatIsThere) {
    Quorvel filter(hostCall_, state_);
    filter.ClearRecordInfo();  // a call without descriptor parameters
    DescriptorParameters parameters{};
    parameters.recordInfo = 3;
    record_.descriptorParameters = &parameters;
    filter.ClearRecordInfo();
    EXPECT_EQ(parameters.recordInfo, 0);
    record_.descriptorParameters = nullptr;
}

TEST_F(FilterClassTest, BuildingFilterObjectsFillsOnlyTheEmptySlots) {
    Quorvel kept(hostCall_, state_);
    FilterObjects filters;
    filters.previewA = &kept;
    filters.Build(hostCall_, kQuorvelClass);
    EXPECT_EQ(filters.previewA, &kept);
    ASSERT_NE(filters.main, nullptr);
    ASSERT_NE(filters.previewB, nullptr);
    EXPECT_EQ(filters.main->GetSignature(), Quorvel::kSignature);
    filters.previewA = nullptr;
    filters.Delete();
    EXPECT_EQ(filters.main, nullptr);
    EXPECT_EQ(filters.previewB, nullptr);
}

// ---- The session across host calls

// The code that action leaves with, 0 when it returns.
ErrorCode CodeThrownBy(const std::function<void()>& action) {
    try {
        action();
    } catch (const ErrorCodeException& e) {
        return e.code;
    }
    return 0;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesW(Utf8ToUtf16(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A call that ends with an image cache in a temporary file of the system's.
class SessionTest : public FilterClassTest {
protected:
    void SetUp() override {
        FilterClassTest::SetUp();
        File file;
        file.CreateTemp();
        path_ = std::string(file.Spec().Text());
        record_.planes = 4;
        filter_.InitializeGlobals();
    }
    void TearDown() override {
        DeleteFileW(Utf8ToUtf16(path_).c_str());
        FilterClassTest::TearDown();
    }
    // The session as a run that cached 4-plane frames over a 20 x 30 area leaves it.
    FrameCacheBlock& OpenCache(bool keep) {
        FrameCacheBlock& cache = Session().cache;
        cache.cacheOpen = 1;
        cache.keepFile = keep ? 1 : 0;
        cache.planes = 4;
        cache.rect = {0, 0, 20, 30};
        std::memcpy(cache.path, path_.c_str(), path_.size() + 1);
        return cache;
    }
    // Puts a saved block, as the host keeps it, into the data word.
    void HostKeeps(const void* bytes, int64_t size) {
        Handle h = NewHandle(size);
        std::memcpy(LockHandle(h), bytes, static_cast<size_t>(size));
        UnlockHandle(h);
        dataWord_ = reinterpret_cast<intptr_t>(h);
    }

    StackState state_;

    Quorvel filter_{hostCall_, state_};
    std::string path_;
};

TEST_F(SessionTest, FinishDeletesTheCacheAndKeepsAnEarlierError) {
    struct Case {
        bool fileThere;
        ErrorCode result, finished;
    };
    const Case cases[] = {
        {true, 0, 0},
        {true, Err::SettingsCorrupt, Err::SettingsCorrupt},  // a deleted file does not make it success
        {false, 0, Err::FileNotDeletable},
        {false, Err::MemoryFull, Err::MemoryFull},
    };
    for (const Case& c : cases) {
        if (c.fileThere) CloseHandle(CreateFileW(Utf8ToUtf16(path_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        else DeleteFileW(Utf8ToUtf16(path_).c_str());
        OpenCache(false);
        EXPECT_EQ(filter_.Finish(c.result), c.finished) << c.fileThere << " " << c.result;
        EXPECT_FALSE(FileExists(path_));
        EXPECT_EQ(Session().cache.path[0], '\0');
        EXPECT_EQ(dataWord_, 0);
    }
}

TEST_F(SessionTest, FinishWithoutACachePathLeavesTheResult) {
    ASSERT_EQ(state_.layerStates.Resize(3), 0);
    EXPECT_EQ(filter_.Finish(0), 0);
    EXPECT_EQ(filter_.Finish(Err::Cancelled), Err::Cancelled);
    EXPECT_EQ(state_.layerStates.Count(), 0);
    EXPECT_TRUE(FileExists(path_));
}

TEST_F(SessionTest, AFailedDeleteReachesTheHostAsTheCallsResult) {
    OpenCache(false);
    DeleteFileW(Utf8ToUtf16(path_).c_str());
    EXPECT_EQ(filter_.EndRun(0), Err::FileNotDeletable);
    OpenCache(false);
    EXPECT_EQ(filter_.EndRun(Err::Cancelled), Err::Cancelled);
}

TEST_F(SessionTest, AKeptCacheIsTakenBackByTheNextCall) {
    OpenCache(true);
    EXPECT_EQ(filter_.Finish(0), 0);
    EXPECT_TRUE(FileExists(path_));
    ASSERT_NE(dataWord_, 0);
    EXPECT_EQ(GetHandleSize(reinterpret_cast<Handle>(dataWord_)), 1144);

    Quorvel next(hostCall_, state_);  // the host's next call
    next.InitializeGlobals();
    EXPECT_EQ(dataWord_, 0);
    EXPECT_TRUE(Session().cacheReplay);
    EXPECT_TRUE(Session().cacheFile.IsOpen());
    EXPECT_EQ(Session().cache.cacheOpen, 1);
    EXPECT_EQ(Session().cache.planes, 4u);
    EXPECT_EQ(Session().cache.rect.right, 30);
    // That call keeps nothing: its end deletes the cache.
    EXPECT_EQ(next.Finish(0), 0);
    EXPECT_FALSE(FileExists(path_));
    EXPECT_EQ(dataWord_, 0);
}

TEST_F(SessionTest, AFailedRunDeletesTheCacheItMeantToKeep) {
    OpenCache(true);
    EXPECT_EQ(filter_.Finish(Err::Cancelled), Err::Cancelled);
    EXPECT_FALSE(FileExists(path_));
    EXPECT_EQ(dataWord_, 0);
}

TEST_F(SessionTest, ACorruptSavedBlockIsDroppedAndItsFileLeftAlone) {
    const FrameCacheBlock sound = OpenCache(true);
    Session().cache = {};
    const std::function<void(FrameCacheBlock&)> corruptions[] = {
        [](FrameCacheBlock& b) { b.cacheOpen = 0; },
        [](FrameCacheBlock& b) { b.planes = 0; },
        [](FrameCacheBlock& b) { b.planes = 33; },
        [](FrameCacheBlock& b) { b.rect = {5, 0, 5, 30}; },
        [](FrameCacheBlock& b) { b.rect = {-1, 0, 20, 30}; },
        [](FrameCacheBlock& b) { std::memset(b.path, 'a', sizeof b.path); },
        [](FrameCacheBlock& b) { std::strcpy(b.path, "C:\\Photos\\Mine.jpg"); },
        [](FrameCacheBlock& b) { b.path[0] = '\0'; },
    };
    int index = 0;
    for (const auto& corrupt : corruptions) {
        FrameCacheBlock block = sound;
        corrupt(block);
        HostKeeps(&block, sizeof block);
        Quorvel next(hostCall_, state_);
        EXPECT_NO_THROW(next.InitializeGlobals()) << index;
        EXPECT_EQ(dataWord_, 0) << index;
        EXPECT_FALSE(Session().cacheReplay) << index;
        EXPECT_EQ(next.Finish(0), 0) << index;
        EXPECT_TRUE(FileExists(path_)) << index;
        ++index;
    }
    HostKeeps(&sound, sizeof sound - 1);  // not the size of a block
    Quorvel next(hostCall_, state_);
    next.InitializeGlobals();
    EXPECT_FALSE(Session().cacheReplay);
    EXPECT_EQ(dataWord_, 0);
}

TEST_F(SessionTest, ACacheForOtherPlanesEndsTheCallSilently) {
    const FrameCacheBlock block = OpenCache(true);
    Session().cache = {};
    HostKeeps(&block, sizeof block);
    record_.planes = 3;
    Quorvel next(hostCall_, state_);
    EXPECT_EQ(CodeThrownBy([&] { next.InitializeGlobals(); }), Err::Cancelled);
    EXPECT_EQ(next.Finish(Err::Cancelled), Err::Cancelled);
    EXPECT_FALSE(FileExists(path_));
}

TEST_F(SessionTest, ACacheFileThatIsGoneRaisesItsError) {
    const FrameCacheBlock block = OpenCache(true);
    Session().cache = {};
    DeleteFileW(Utf8ToUtf16(path_).c_str());
    HostKeeps(&block, sizeof block);
    Quorvel next(hostCall_, state_);
    EXPECT_EQ(CodeThrownBy([&] { next.InitializeGlobals(); }), Err::FileMissing);
    EXPECT_FALSE(Session().cacheReplay);
}

TEST_F(FilterClassTest, RedoPreviewResetsTheUpdateRegionToTheFilterArea) {
    Quorvel filter(hostCall_, state_);
    filter.RedoPreview();  // no region yet: nothing to reset
    Session().updateRegion.Reset(CreateRectRgn(0, 0, 1, 1));
    record_.filterRect = {10, 20, 30, 60};
    filter.RedoPreview();
    RECT box{};
    ASSERT_EQ(GetRgnBox(Session().updateRegion.Get(), &box), SIMPLEREGION);
    EXPECT_EQ(box.left, 20);
    EXPECT_EQ(box.top, 10);
    EXPECT_EQ(box.right, 60);
    EXPECT_EQ(box.bottom, 30);
    EXPECT_EQ(filter.Finish(0), 0);
    EXPECT_FALSE(Session().updateRegion);
}

// ---- First-run tables

TEST_F(FilterClassTest, BlendTablesHoldEveryModeAndAreBuiltOncePerProcess) {
    Quorvel filter(hostCall_, state_);
    filter.InitializeGlobals();
    EXPECT_EQ(BlendTables::Table(0), nullptr);
    EXPECT_EQ(BlendTables::Table(13), nullptr);
    uint8_t row[256];
    for (int mode = 1; mode <= 12; ++mode) {
        ASSERT_NE(BlendTables::Table(mode), nullptr);
        for (int a : {0, 77, 255}) {
            ASSERT_TRUE(BuildBlendTable(mode, a, row));
            EXPECT_EQ(std::memcmp(BlendTables::Table(mode) + a * 256, row, 256), 0) << mode << " " << a;
        }
    }
    // A later call finds the tables built: a mark left in one survives it.
    auto* mark = const_cast<uint8_t*>(BlendTables::Table(5) + 1000);
    const uint8_t kept = *mark;
    *mark = static_cast<uint8_t>(kept ^ 0xFF);
    Quorvel later(hostCall_, state_);
    later.InitializeGlobals();
    EXPECT_EQ(*mark, static_cast<uint8_t>(kept ^ 0xFF));
    *mark = kept;
}

}  // namespace
