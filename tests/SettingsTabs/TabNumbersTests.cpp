// The numeric settings of a tab: the edit, spinner and slider of one setting brought in step after
// any of them changed, the edit's format by scale, and the three-way choice groups; then the same
// on a live tab.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "TabNumbers.h"
#include "TabsFixture.h"

namespace {

using TabNumbers::ItemWrite;

std::vector<std::pair<int16_t, double>> Writes(const TabNumbers::SettingUpdate& u) {
    std::vector<std::pair<int16_t, double>> writes;
    for (int i = 0; i < u.count; ++i) writes.emplace_back(u.writes[i].item, u.writes[i].value);
    return writes;
}

TEST(TabNumbers, EachItemOfASettingBringsTheOthersInStep) {
    using W = std::vector<std::pair<int16_t, double>>;
    struct Case {
        const char* what;
        int16_t changed;
        double value;
        int32_t scale;
        bool withSlider;
        double answer;
        W writes;
    };
    // Setting n = 10: edit 11, spinner 12, slider 13.
    const Case cases[] = {
        {"slider at 127, tenths", 13, 127, 10, true, 12.7, {{12, 127}, {11, 12.7}}},
        {"slider between steps rounds half away", 13, 127.5, 10, true, 12.8, {{12, 128}, {11, 12.8}}},
        {"slider below zero rounds away from zero", 13, -2.5, 1, true, -3, {{12, -3}, {11, -3}}},
        {"edit, hundredths", 11, 0.25, 100, true, 0.25, {{12, 25}, {13, 25}}},
        {"edit without slider", 11, 4, 1, false, 4, {{12, 4}}},
        {"spinner", 12, 35, 10, true, 3.5, {{11, 3.5}, {13, 35}}},
        {"spinner without slider", 12, 35, 10, false, 3.5, {{11, 3.5}}},
        {"refresh from the record", 0, 2.5, 10, true, 2.5, {{11, 2.5}, {12, 25}, {13, 25}}},
        {"a scale of 0 counts whole units", 12, 7, 0, false, 7, {{11, 7}}},
    };
    for (const Case& c : cases) {
        const auto u = TabNumbers::LinkedValue(10, c.changed, c.value, c.scale, c.withSlider);
        EXPECT_DOUBLE_EQ(u.value, c.answer) << c.what;
        EXPECT_EQ(Writes(u), c.writes) << c.what;
    }
    // The paired form: edit 11 and one control 12.
    EXPECT_EQ(Writes(TabNumbers::PairedValue(10, 11, 1.5, 10, true)), (W{{12, 15}}));
    EXPECT_EQ(Writes(TabNumbers::PairedValue(10, 11, 1.5, 10, false)), W{});
    const auto fromControl = TabNumbers::PairedValue(10, 12, 14.5, 10, true);
    EXPECT_DOUBLE_EQ(fromControl.value, 1.5);
    EXPECT_EQ(Writes(fromControl), (W{{11, 1.5}}));
    EXPECT_EQ(Writes(TabNumbers::PairedValue(10, 3, 2, 100, true)), (W{{11, 2}, {12, 200}}));
}

TEST(TabNumbers, TheFormatFollowsTheScaleAndAChoiceGroupKeepsOneByte) {
    EXPECT_STREQ(TabNumbers::FormatForScale(1), "%d");
    EXPECT_STREQ(TabNumbers::FormatForScale(10), "%.1f");
    EXPECT_STREQ(TabNumbers::FormatForScale(100), "%.2f");
    EXPECT_EQ(TabNumbers::FormatForScale(5), nullptr);
    EXPECT_EQ(TabNumbers::FormatForScale(0), nullptr);

    // "Inner" 8, "Outer" 9, "On" 10.
    struct Case {
        uint8_t state;
        int16_t hit;
        bool onIsSet;
        uint8_t expected;
    };
    const Case cases[] = {
        {0, 10, false, 255},  // turned on: the first choice
        {1, 10, true, 0},     // turned off
        {0, 9, false, 1},     {255, 9, true, 1}, {1, 8, true, 255},
        {1, 7, true, 1},      // not of the group
    };
    for (const Case& c : cases)
        EXPECT_EQ(TabNumbers::ChoiceState(c.state, 10, c.hit, c.onIsSet), c.expected)
            << int(c.state) << " hit " << c.hit;
}

// A tab over a page with one numeric setting at 10.
class NumbersTab : public QuorvelTab {
public:
    explicit NumbersTab(PreviewEditor& editor) : QuorvelTab(editor, kBorderTab, TEST_NUMBERS_TAB) {}
};

class NumbersOnATab : public TabsTest {};

std::string ItemText(MorvaneDialog& d, int16_t item) {
    char text[64];
    d.GetItemText(item, text, sizeof text);
    return text;
}

TEST_F(NumbersOnATab, TheRangesFollowTheScaleAndAnOddScaleKeepsTheEditsFormat) {
    NumbersTab tab(*editor_);
    ASSERT_TRUE(tab.CreateModeless());
    tab.SetRange(NUMBER_BASE, 0, 50, 10, true);
    double low = 0, high = 0;
    tab.GetItemRange(NUMBER_SPINNER, low, high);
    EXPECT_EQ(high, 500);
    tab.GetItemRange(NUMBER_SLIDER, low, high);
    EXPECT_EQ(high, 500);

    // The slider's raw 127 in tenths shows 12.7 in the edit and 127 on the spinner.
    EXPECT_DOUBLE_EQ(tab.SetLinkedValue(NUMBER_BASE, NUMBER_SLIDER, 127, 10, true), 12.7);
    EXPECT_EQ(ItemText(tab, NUMBER_EDIT), "12.7");
    EXPECT_EQ(tab.GetItemValue(NUMBER_SPINNER), 127);

    tab.SetRange(NUMBER_BASE, 0, 40, 5, false);
    tab.GetItemRange(NUMBER_SPINNER, low, high);
    EXPECT_EQ(high, 200);
    tab.GetItemRange(NUMBER_SLIDER, low, high);
    EXPECT_EQ(high, 500) << "the slider's range is left without withSlider";
    tab.SetItemValue(NUMBER_EDIT, 3.14);
    EXPECT_EQ(ItemText(tab, NUMBER_EDIT), "3.1") << "still one decimal";
    tab.GetItemRange(NUMBER_EDIT, low, high);
    EXPECT_EQ(high, 40);

    tab.SetEditRange(NUMBER_BASE, 0, 9, 1, false);
    tab.SetItemValue(NUMBER_EDIT, 4);
    EXPECT_EQ(ItemText(tab, NUMBER_EDIT), "4");
    tab.GetItemRange(NUMBER_SPINNER, low, high);
    EXPECT_EQ(high, 200) << "the spinner's range is left without withSpinner";
}

}  // namespace
