// The dispatcher in-process, where a test can make the filter objects fail to be created.
#include <gtest/gtest.h>

#include "FilterObjects.h"
#include "PluginMain.h"

namespace {

PhotoshopFilter* NoFilterObject(HostCall&, StackState&) { return nullptr; }
const FilterClass kNoObjects{&NoFilterObject, nullptr};

TEST(PluginMain, PrepareWithoutFilterObjectsAnswersMemoryFull) {
    FilterRecord record{};
    record.imageMode = kModeRGBColor;
    record.maxSpace = 1 << 24;
    record.inRect = {1, 2, 3, 4};
    intptr_t data = 0;
    int16_t result = 0;
    PluginMain(kSelectorPrepare, &record, &data, &result, kNoObjects);
    EXPECT_EQ(result, -108);
    EXPECT_EQ(record.bufferSpace, 0) << "nothing ran after the failed check";
    EXPECT_EQ(record.inRect.bottom, 0) << "the tear-down still empties the rectangles";
}

}  // namespace
