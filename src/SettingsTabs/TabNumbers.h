// The arithmetic behind one numeric setting of a settings tab: an edit (item n+1) that shows the
// value in the user's units, a spinner (n+2) and a slider (n+3) that hold it times a scale of 1,
// 10 or 100 as whole numbers. Kept apart from the windows so that each step of the hand-over is
// plain to check.
#pragma once

#include <array>
#include <cstdint>

namespace TabNumbers {

// The edit's number format for a scale: whole numbers, one or two decimals; null for any other
// scale, which keeps the format the edit has.
const char* FormatForScale(int32_t scale);

// Rounds halves away from zero, as the controls' whole numbers are read.
double RoundHalfAway(double value);

// One item to set and the value it takes.
struct ItemWrite {
    int16_t item = 0;
    double value = 0;
};

// What a change of one of the setting's items means for the others: the value in user units
// (what the caller writes into the record) and the items to bring in step with it.
struct SettingUpdate {
    double value = 0;
    std::array<ItemWrite, 3> writes{};
    int count = 0;

    void Add(int16_t item, double v) {
        if (count < static_cast<int>(writes.size())) writes[count++] = ItemWrite{item, v};
    }
};

// Edit n+1, spinner n+2 and slider n+3 (withSlider); the spinner's and the slider's values arrive
// scaled. Any other changedItem refreshes all of them from a value in user units.
SettingUpdate LinkedValue(int16_t n, int16_t changedItem, double value, int32_t scale, bool withSlider);
// Edit n+1 and one control n+2 (withControl) whose value arrives scaled.
SettingUpdate PairedValue(int16_t n, int16_t changedItem, double value, int32_t scale, bool withControl);

// A group of three items (onItem-2, onItem-1, onItem: "Inner", "Outer", "On") kept in one state
// byte: 0 off, 1 the second choice, 255 the first. onIsSet is what the "On" item reads when it is
// hit. Other items leave the state.
uint8_t ChoiceState(uint8_t state, int16_t onItem, int16_t hitItem, bool onIsSet);
inline constexpr uint8_t kChoiceOff = 0;
inline constexpr uint8_t kChoiceSecond = 1;
inline constexpr uint8_t kChoiceFirst = 255;

}  // namespace TabNumbers
