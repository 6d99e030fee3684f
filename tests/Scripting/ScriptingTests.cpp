// The scripting descriptor through the stand-in host: what the plug-in reads from it and what it
// writes back, for the output modes and the layered-output lists.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "HostSession.h"
#include "SettingsDefaults.h"
#include "SettingsLayout.h"

namespace {

std::string PluginPath() { return std::string(std::getenv("QUORVEL_BIN")) + "/Quorvel.8bf"; }

qvhost::Document SmallDocument() { return qvhost::Document(40, 30, qvhost::ImageMode{}); }

// Runs a scripted start call whose descriptor holds `descriptor`; answers the session's outcome.
struct ScriptedRun {
    qvhost::HostRunResult result;
    std::vector<uint8_t> parameters;
    std::optional<qvhost::Descriptor> written;

    int16_t StartResult() const {
        const qvhost::CallRecord* start = result.Find(3);
        return start ? start->result : INT16_MIN;
    }
};

ScriptedRun RunScripted(const qvhost::Descriptor& descriptor) {
    const std::string path = std::string(std::getenv("TEMP") ? std::getenv("TEMP") : ".") + "\\scripting.qvds";
    std::string error;
    EXPECT_TRUE(qvhost::WriteDescriptorFile(path, descriptor, error)) << error;
    qvhost::HostOptions options;
    options.pluginPath = PluginPath();
    options.document = SmallDocument();
    options.mode = options.document->Mode();
    options.descriptorIn = path;
    qvhost::HostSession session(options);
    ScriptedRun run;
    run.result = session.Run();
    run.parameters = session.Parameters();
    run.written = session.ResultDescriptor();
    return run;
}

// The default block, as the plug-in makes it for a call without settings.
std::vector<uint8_t> DefaultBlock() {
    static const std::vector<uint8_t> block = RunScripted(qvhost::Descriptor{}).parameters;
    return block;
}

// A block of `layers` ellipse layers (enabled unless listed in `disabled`), output option and
// layered mode as given.
std::vector<uint8_t> StackBlock(int32_t layers, uint8_t outputOption, uint8_t layeredMode,
                                std::vector<int32_t> disabled = {}) {
    const std::vector<uint8_t> defaults = DefaultBlock();
    if (defaults.size() < BlockLayout::kLayers + LayerLayout::kLength) {
        ADD_FAILURE() << "the plug-in made no default block";
        return {};
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(ParameterBlockView::SizeFor(layers, 0) + 8), 0);
    std::memcpy(bytes.data(), defaults.data(), BlockLayout::kLayers);
    ParameterBlockView view(bytes.data(), static_cast<int64_t>(bytes.size()));
    const RecordRef header = view.Block();
    header.Set(BlockLayout::kSize, static_cast<uint16_t>(bytes.size() - 8));
    header.Set(BlockLayout::kLayerCount, static_cast<int16_t>(layers));
    header.Set(BlockLayout::kOutputOption, outputOption);
    header.Set(BlockLayout::kLayeredOutputMode, layeredMode);
    for (int32_t i = 0; i < std::max(layers, 1); ++i) {
        const RecordRef layer = view.Layer(i);
        std::memcpy(layer.Bytes(), defaults.data() + BlockLayout::kLayers, LayerLayout::kLength);
        SettingsInitLayerRecord(layer, false);
        ShapeOf(layer).Set(ShapeLayout::kMarker, -1);
        ShapeOf(layer).Set(ShapeLayout::kKind, static_cast<uint16_t>(1 + i % 6));
        SettingsResetShape(ShapeOf(layer));
        layer.Set(LayerLayout::kEnabled, 1);
    }
    for (int32_t i : disabled) view.Layer(i).Set(LayerLayout::kEnabled, 0);
    return bytes;
}

// 'FrMP' as written: the handle image from its byte 4.
qvhost::DescriptorValue FromByte4(const std::vector<uint8_t>& handle) {
    if (handle.size() < 4) return {qvhost::DescriptorBlob{}};
    return {qvhost::DescriptorBlob(handle.begin() + 4, handle.end())};
}

std::vector<uint32_t> Keys(const qvhost::Descriptor& descriptor) {
    std::vector<uint32_t> keys;
    for (const auto& entry : descriptor.Entries()) keys.push_back(entry.key);
    return keys;
}

int32_t IntegerOf(const qvhost::Descriptor& descriptor, uint32_t key) {
    const qvhost::DescriptorValue* value = descriptor.Find(key);
    return value ? std::get<int32_t>(value->value) : INT32_MIN;
}

const qvhost::DescriptorList& ListOf(const qvhost::Descriptor& descriptor, uint32_t key) {
    static const qvhost::DescriptorList none;
    const qvhost::DescriptorValue* value = descriptor.Find(key);
    return value ? std::get<qvhost::DescriptorList>(value->value) : none;
}

int16_t LayerCountOfItem(const qvhost::DescriptorValue& item) {
    const auto& blob = std::get<qvhost::DescriptorBlob>(item.value);
    // The item is written from handle byte 4: N stands at handle offset 20.
    return static_cast<int16_t>((blob.at(16) << 8) | blob.at(17));
}

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

}  // namespace
