// The hand-off of the stack to a confirmed batch job: the copy the runner applies, and the jobs
// that are marked without one or not at all.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "PresetFixture.h"
#include "QVDatabase.h"
#include "QVDatabaseRecord.h"
#include "RandomFrames.h"
#include "TempFolder.h"
#include "Utf.h"

namespace {

constexpr int kRunTimePrefix = ParameterHeader::kRunTimePrefix;

// The runner's side of a job: what the hand-off writes, as the runner would find it.
struct RunnerJob {
    uint8_t run = 0;
    uint8_t* copy = nullptr;
    uint64_t copyLength = 0;

    Quorvel::BatchJobFields Fields(int32_t stackType) { return {stackType, &run, &copy, &copyLength}; }
    ~RunnerJob() {
        if (copy) HeapFree(GetProcessHeap(), 0, copy);
    }
};

class BatchHandOff : public PresetFixture {};

}  // namespace

TEST_F(BatchHandOff, TheCurrentStackGoesAsACopyWithLibraryRelativePathsAndNoRunTimeLink) {
    MakeStack();
    std::memset(View().Bytes(), 0x77, kRunTimePrefix);
    const std::vector<uint8_t> live = HandleBytes();
    RunnerJob job;
    ASSERT_EQ(filter_.HandOffBatch(job.Fields(Quorvel::kBatchCurrentStack)), 0);
    EXPECT_EQ(job.run, 1);
    ASSERT_NE(job.copy, nullptr);
    ASSERT_EQ(job.copyLength, live.size());
    EXPECT_EQ(View().Block().Get(BlockLayout::kSize) + uint64_t{kRunTimePrefix}, job.copyLength);

    const ParameterBlockView copy(job.copy, static_cast<int64_t>(job.copyLength));
    EXPECT_EQ(std::vector<uint8_t>(job.copy, job.copy + kRunTimePrefix), std::vector<uint8_t>(kRunTimePrefix, 0));
    EXPECT_EQ(SourceOf(copy.Layer(0)).GetKind(), FileSpec::Kind::Relative);
    EXPECT_EQ(SourceOf(copy.Layer(0)).Text(), "Frames\\oak.jpg");
    EXPECT_EQ(SourceOf(copy.Path(1)).Text(), "Textures\\linen.jpg");
    EXPECT_EQ(SourceOf(copy.Layer(3)).Text(), "D:\\Elsewhere\\gilt.jpg");
    EXPECT_TRUE(HoldsShape(copy.Layer(1)));
    // Apart from the link and the paths, the copy is the block; the live block keeps its own.
    std::vector<uint8_t> expected = live;
    std::memset(expected.data(), 0, kRunTimePrefix);
    const ParameterBlockView expectedView(expected.data(), static_cast<int64_t>(expected.size()));
    for (int i : {0, 2}) SetSource(expectedView.Layer(i), SourceOf(copy.Layer(i)));
    SetSource(expectedView.Path(1), SourceOf(copy.Path(1)));
    EXPECT_EQ(std::vector<uint8_t>(job.copy, job.copy + job.copyLength), expected);
    EXPECT_EQ(HandleBytes(), live);
}

TEST_F(BatchHandOff, OtherStackTypesAreMarkedWithoutACopy) {
    MakeStack();
    for (int32_t stackType : {1, 4, 7}) {
        SCOPED_TRACE(stackType);
        RunnerJob job;
        ASSERT_EQ(filter_.HandOffBatch(job.Fields(stackType)), 0);
        EXPECT_EQ(job.run, 1);
        EXPECT_EQ(job.copy, nullptr);
        EXPECT_EQ(job.copyLength, 0u);
    }
}

TEST_F(BatchHandOff, AJobIsNotMarkedWhenNoWholeCopyCanBeHanded) {
    MakeStack();
    RunnerJob job;
    Quorvel::BatchJobFields withoutRunFlag = job.Fields(Quorvel::kBatchCurrentStack);
    withoutRunFlag.runRequested = nullptr;
    EXPECT_EQ(filter_.HandOffBatch(withoutRunFlag), Err::BadParameters);
    Quorvel::BatchJobFields withoutLength = job.Fields(Quorvel::kBatchCurrentStack);
    withoutLength.parameterCopyLength = nullptr;
    EXPECT_EQ(filter_.HandOffBatch(withoutLength), Err::BadParameters);

    // A block whose header counts a layer more than it holds is no stack to hand over.
    View().Block().Set(BlockLayout::kLayerCount, 5);
    EXPECT_EQ(filter_.HandOffBatch(job.Fields(Quorvel::kBatchCurrentStack)), Err::SettingsCorrupt);
    EXPECT_EQ(job.run, 0);
    EXPECT_EQ(job.copy, nullptr);
    EXPECT_EQ(job.copyLength, 0u);
}

TEST_F(BatchHandOff, RandomFramesAreAddedToTheStackThatIsCopied) {
    TempFolder library("Batch library");
    // The frame is the repository's sample oval mat.
    const char* source = std::getenv("QUORVEL_SOURCE");
    ASSERT_NE(source, nullptr);
    std::string sample = std::string("Z:") + source + "/samples/frames/Oval Mat.jpg";
    std::replace(sample.begin(), sample.end(), '/', '\\');
    ASSERT_TRUE(CopyFileW(Utf8ToUtf16(sample).c_str(), Utf8ToUtf16(library / "oak.jpg").c_str(), FALSE));
    QVDatabase frames;
    ASSERT_EQ(frames.OpenAt((library / "Quorvel.sdb").c_str()), 0);
    {
        QVDatabaseRecord row(&frames, "Frames");
        int32_t type = 0;
        const std::string stored = frames.StorePath((library / "oak.jpg").c_str(), type);
        row.SetText(1, "oak.jpg");
        row.SetInteger(2, type);
        row.SetText(3, stored.c_str());
        row.Save();
    }
    // Two layers that name no frame file.
    filter_.SetDefaultParameters(0);
    ASSERT_EQ(filter_.ResizeStackStorage(2, false), 0);
    for (int i = 0; i < 2; ++i) filter_.Stack().InitLayerRecord(i, false);
    SetFrameLibraryFolder(library.Path());
    RandomDraws draws(7);
    Quorvel::RandomFrameContext context{&frames, draws};
    RunnerJob job;
    ASSERT_EQ(filter_.HandOffBatch(job.Fields(Quorvel::kBatchRandomFrames), &context), 0);
    EXPECT_EQ(job.run, 1);
    const int32_t layers = View().LayerCount();
    EXPECT_GT(layers, 2);
    ASSERT_EQ(job.copyLength, HandleBytes().size());
    const ParameterBlockView copy(job.copy, static_cast<int64_t>(job.copyLength));
    ASSERT_EQ(copy.LayerCount(), layers);
    int32_t randomFrames = 0;
    for (int i = 0; i < layers; ++i) {
        const FileSpec spec = SourceOf(copy.Layer(i));
        if (spec.GetKind() == FileSpec::Kind::Relative && spec.Text() == "oak.jpg") ++randomFrames;
    }
    EXPECT_EQ(randomFrames, layers - 2);
}
