// The sample presets in samples/ are what the settings code makes of them. Run with
// QUORVEL_WRITE_SAMPLES=1 to write them again after a deliberate change.
#include <gtest/gtest.h>

#include <cstdlib>

#include "SamplePresets.h"
#include "SettingsLayout.h"

namespace {

TEST(SamplePresets, FilesHoldWhatTheGeneratorMakes) {
    const bool write = std::getenv("QUORVEL_WRITE_SAMPLES") != nullptr;
    for (const SamplePreset& preset : SamplePresets()) {
        const std::string path = SamplesFolder() + "\\" + preset.name + ".qvo";
        if (write) ASSERT_TRUE(WriteSamplePreset(preset, path)) << path;
        std::vector<uint8_t> settings;
        int32_t position = -1;
        ASSERT_TRUE(ReadSamplePreset(path, settings, position)) << path;
        EXPECT_EQ(position, preset.photoPosition) << preset.name;
        const std::vector<uint8_t> expected(preset.block.begin() + ParameterHeader::kRunTimePrefix, preset.block.end());
        EXPECT_EQ(settings, expected) << preset.name;
        // Every block is valid by the size rule: S = 1088 + 1304 max(N,1).
        const ParameterBlockView view(const_cast<uint8_t*>(preset.block.data()), static_cast<int64_t>(preset.block.size()));
        EXPECT_EQ(view.Block().Get(BlockLayout::kSize), ParameterBlockView::SizeFor(view.LayerCount(), 0));
    }
}

}  // namespace
