#include <gtest/gtest.h>

#include "HostMemory.h"
#include "LayerState.h"
#include "PluginGlobals.h"
#include "Quorvel.h"

namespace {

class FilterClassTest : public testing::Test {
protected:
    void SetUp() override {
        ResetHostMemoryForTesting();
        record_.filterCase = kFilterCaseEditableTransparencyWithSelection;
        gCall.record = &record_;
    }
    void TearDown() override {
        LayerStates().Release();
        DisposeHandle(record_.parameters);
        record_.parameters = nullptr;
        gCall.record = nullptr;
    }
    // A default block grown to this stack.
    void MakeStack(Quorvel& filter, int layers, int paths) {
        filter.SetDefaultParameters(0);
        ASSERT_EQ(filter.ResizeStackStorage(layers, false), 0);
        ASSERT_EQ(filter.ResizeStackStorage(paths, true), 0);
    }

    FilterRecord record_{};
};

TEST_F(FilterClassTest, PrepareKeepsHalfOfASmallHostAndTwoMegabytesOfALargeOne) {
    struct Case {
        int32_t maxSpace, bufferSpace;
    };
    const Case cases[] = {
        {0x400000, 0x200000}, {0x400001, 0x200000}, {0x3FFFFF, 0x1FFFFF}, {0x7FFFFFFF, 0x200000},
        {1, 0},               {0, 0},               {-10, 0},
    };
    Quorvel filter;
    for (const Case& c : cases) {
        record_.maxSpace = c.maxSpace;
        record_.bufferSpace = 12345;
        filter.Prepare();
        EXPECT_EQ(record_.bufferSpace, c.bufferSpace) << "maxSpace " << c.maxSpace;
    }
}

TEST_F(FilterClassTest, SetupRunSizesTheTablesToTheStack) {
    Quorvel filter;
    MakeStack(filter, 3, 2);
    filter.SetupRun();
    EXPECT_EQ(filter.Placements().Count(), 6);
    EXPECT_EQ(filter.Passes().Count(), 12);
    EXPECT_EQ(filter.Bevels().Count(), 3);
    EXPECT_EQ(LayerStates().Count(), 5);

    MakeStack(filter, 0, 0);  // an empty stack still has its placeholder layer
    filter.SetupRun();
    EXPECT_EQ(filter.Placements().Count(), 2);
    EXPECT_EQ(filter.Passes().Count(), 4);
    EXPECT_EQ(filter.Bevels().Count(), 1);
    EXPECT_EQ(LayerStates().Count(), 1);
}

TEST_F(FilterClassTest, SetupRunRaisesAStackThatCannotBeSized) {
    Quorvel filter;
    EXPECT_THROW(filter.SetupRun(), ErrorCodeException);  // no block at all
}

TEST_F(FilterClassTest, LayeredOutputNeedsTransparencyAndLayerMasksBothWays) {
    struct Case {
        int16_t inTransparency, inMasks, outMasks;
        bool layered;
    };
    const Case cases[] = {{1, 1, 1, true}, {0, 1, 1, false}, {1, 0, 1, false}, {1, 1, 0, false}};
    Quorvel filter;
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
    Quorvel filter;
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
    Quorvel filter;
    filter.ClearRecordInfo();  // a call without descriptor parameters
    DescriptorParameters parameters{};
    parameters.recordInfo = 3;
    record_.descriptorParameters = &parameters;
    filter.ClearRecordInfo();
    EXPECT_EQ(parameters.recordInfo, 0);
    record_.descriptorParameters = nullptr;
}

TEST_F(FilterClassTest, CreateFilterObjectsFillsOnlyTheEmptySlots) {
    Quorvel kept;
    gFilters.previewA = &kept;
    CreateFilterObjects();
    EXPECT_EQ(gFilters.previewA, &kept);
    ASSERT_NE(gFilters.main, nullptr);
    ASSERT_NE(gFilters.previewB, nullptr);
    EXPECT_EQ(gFilters.main->GetSignature(), Quorvel::kSignature);
    gFilters.previewA = nullptr;
    DeleteFilterObjects();
    EXPECT_EQ(gFilters.main, nullptr);
    EXPECT_EQ(gFilters.previewB, nullptr);
}

}  // namespace
