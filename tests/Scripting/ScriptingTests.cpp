// The scripting descriptor through the stand-in host: what the plug-in reads from it and what it
// writes back, for the output modes and the layered-output lists.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "File.h"
#include "QVDatabase.h"
#include "ScriptedHost.h"

namespace {

using namespace scripted;

TEST(ScriptParameters, TheBlockIsAcceptedAsWrittenOrAsAWholeHandleImage) {
    const std::vector<uint8_t> block = StackBlock(2, 0, 0);
    qvhost::Descriptor asWritten;
    asWritten.Put('FrMP', FromByte4(block));
    const ScriptedRun first = RunScripted(asWritten);
    ASSERT_EQ(first.StartResult(), 0);
    ASSERT_EQ(first.parameters.size(), block.size());
    EXPECT_TRUE(std::equal(block.begin() + 8, block.end(), first.parameters.begin() + 8));

    // The word at byte 4 of the data is zero: the data is the whole handle, prefix included.
    qvhost::Descriptor whole;
    whole.Put('FrMP', {qvhost::DescriptorBlob(block.begin(), block.end())});
    const ScriptedRun second = RunScripted(whole);
    ASSERT_EQ(second.StartResult(), 0);
    EXPECT_EQ(second.parameters, first.parameters);
}

TEST(ScriptParameters, ABadBlockEndsTheCallAndLeavesTheHostsBlockAlone) {
    std::vector<uint8_t> block = StackBlock(2, 0, 0);
    ParameterBlockView(block.data(), static_cast<int64_t>(block.size())).Block().Set(BlockLayout::kLayerCount, 40);
    const std::vector<std::vector<uint8_t>> blobs = {
        {1, 2, 3},                                                  // shorter than a header
        std::vector<uint8_t>(block.begin() + 4, block.end()),       // 40 layers
        std::vector<uint8_t>(block.begin() + 4, block.begin() + 600),  // cut short
    };
    for (const auto& blob : blobs) {
        qvhost::Descriptor descriptor;
        descriptor.Put('FrMP', {qvhost::DescriptorBlob(blob)});
        const ScriptedRun run = RunScripted(descriptor);
        EXPECT_EQ(run.StartResult(), -108) << blob.size();
        EXPECT_TRUE(run.parameters.empty()) << "the host held no block, and holds none after";
    }
}

TEST(ScriptParameters, OutputModesThreeAndFourWriteOnlyTheBlockAndTheMode) {
    for (const auto& [layered, mode] : {std::pair<uint8_t, int32_t>{0, 3}, std::pair<uint8_t, int32_t>{4, 4}}) {
        qvhost::Descriptor descriptor;
        descriptor.Put('FrMP', FromByte4(StackBlock(2, 0, layered)));
        const ScriptedRun run = RunScripted(descriptor);
        ASSERT_EQ(run.StartResult(), 0);
        ASSERT_TRUE(run.written);
        EXPECT_EQ(Keys(*run.written), (std::vector<uint32_t>{'FrMP', 'Rslt'}));
        EXPECT_EQ(IntegerOf(*run.written, 'Rslt'), mode);
    }
}

TEST(ScriptParameters, EachFrameToANewLayerWritesOneItemAndNamePerEnabledLayer) {
    qvhost::Descriptor descriptor;
    descriptor.Put('FrMP', FromByte4(StackBlock(3, 2, 0, {1})));
    const ScriptedRun run = RunScripted(descriptor);
    ASSERT_EQ(run.StartResult(), 0);
    ASSERT_TRUE(run.written);
    EXPECT_EQ(IntegerOf(*run.written, 'Rslt'), 2);
    const auto& items = ListOf(*run.written, 'FrpM');
    const auto& names = ListOf(*run.written, 'FrnM');
    ASSERT_EQ(items.size(), 2u);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(std::get<std::string>(names[0].value), "Ellipse");
    EXPECT_EQ(std::get<std::string>(names[1].value), "Polygon");
    for (const auto& item : items) {
        EXPECT_EQ(std::get<qvhost::DescriptorBlob>(item.value).size(), 2396u);
        EXPECT_EQ(LayerCountOfItem(item), 1);
    }
}

TEST(ScriptParameters, ThePhotoPositionSplitsTheStackIntoTwoItems) {
    // TLPs of -1 means the photo lies over every layer: one item, and TLPs 1 written back.
    qvhost::Descriptor over;
    over.Put('FrMP', FromByte4(StackBlock(3, 1, 0)));
    over.Put('TLPs', {int32_t{-1}});
    const ScriptedRun whole = RunScripted(over);
    ASSERT_EQ(whole.StartResult(), 0);
    ASSERT_EQ(ListOf(*whole.written, 'FrpM').size(), 1u);
    EXPECT_EQ(LayerCountOfItem(ListOf(*whole.written, 'FrpM')[0]), 3);
    EXPECT_EQ(IntegerOf(*whole.written, 'TLPs'), 1);

    // Two earlier items of 1 and 1 layers put the photo after layer 2 of 3.
    qvhost::Descriptor between;
    between.Put('FrMP', FromByte4(StackBlock(3, 1, 0)));
    between.Put('TLPs', {int32_t{2}});
    qvhost::DescriptorList earlier;
    for (int i = 0; i < 2; ++i) earlier.push_back(FromByte4(StackBlock(1, 0, 0)));
    between.Put('FrpM', {earlier});
    const ScriptedRun split = RunScripted(between);
    ASSERT_EQ(split.StartResult(), 0);
    const auto& items = ListOf(*split.written, 'FrpM');
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(LayerCountOfItem(items[0]), 2);
    EXPECT_EQ(LayerCountOfItem(items[1]), 1);
    EXPECT_EQ(IntegerOf(*split.written, 'TLPs'), 1);
}

// Scripted blocks carry frame paths relative to the frame library; the host's block holds them
// absolute, and the name of a frame layer in 'FrnM' is its file's name.
TEST(ScriptParameters, RelativeFramePathsResolveAgainstTheFrameLibrary) {
    std::vector<uint8_t> block = StackBlock(2, 2, 0);
    const ParameterBlockView view(block.data(), static_cast<int64_t>(block.size()));
    const FileSpec relative = FileSpec::FromRelativePath("Frames\\User\\Caf\xC3\xA9.frm");
    std::memcpy(view.Layer(0).At(LayerLayout::kSource), relative.bytes, FileSpec::kSize);

    qvhost::Descriptor descriptor;
    descriptor.Put('FrMP', FromByte4(block));
    const ScriptedRun run = RunScripted(descriptor);
    ASSERT_EQ(run.StartResult(), 0);

    QVDatabase library;
    library.InitNames();
    ASSERT_EQ(library.BuildPath(), 0);
    std::string folder = library.Path();
    folder.resize(folder.find_last_of('\\'));
    FileSpec stored;
    std::memcpy(stored.bytes, run.parameters.data() + BlockLayout::kLayers + LayerLayout::kSource, FileSpec::kSize);
    EXPECT_EQ(stored.GetKind(), FileSpec::Kind::Path);
    EXPECT_EQ(stored.Text(), folder + "\\Frames\\User\\Caf\xC3\xA9.frm");

    const auto& names = ListOf(*run.written, 'FrnM');
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(std::get<std::string>(names[0].value), "Caf\xC3\xA9.frm");
    EXPECT_EQ(std::get<std::string>(names[1].value), "Rectangle");
}

}  // namespace
