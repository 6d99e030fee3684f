#include "TabNumbers.h"

#include <cmath>

namespace TabNumbers {

const char* FormatForScale(int32_t scale) {
    switch (scale) {
        case 1: return "%d";
        case 10: return "%.1f";
        case 100: return "%.2f";
        default: return nullptr;
    }
}

double RoundHalfAway(double value) { return std::round(value); }

namespace {

// A scale of 0 or less would turn every value into an infinity: such a setting counts in whole
// units.
double UsableScale(int32_t scale) { return scale > 0 ? static_cast<double>(scale) : 1.0; }

}  // namespace

SettingUpdate LinkedValue(int16_t n, int16_t changedItem, double value, int32_t scale, bool withSlider) {
    const double s = UsableScale(scale);
    const auto edit = static_cast<int16_t>(n + 1), spinner = static_cast<int16_t>(n + 2),
               slider = static_cast<int16_t>(n + 3);
    SettingUpdate update;
    if (changedItem == edit) {
        update.Add(spinner, value * s);
        if (withSlider) update.Add(slider, value * s);
    } else if (changedItem == spinner) {
        value /= s;
        update.Add(edit, value);
        if (withSlider) update.Add(slider, value * s);
    } else if (changedItem == slider) {
        // A slider dragged between two steps settles on the nearer one.
        value = RoundHalfAway(value) / s;
        update.Add(spinner, value * s);
        update.Add(edit, value);
    } else {
        update.Add(edit, value);
        update.Add(spinner, value * s);
        if (withSlider) update.Add(slider, value * s);
    }
    update.value = value;
    return update;
}

SettingUpdate PairedValue(int16_t n, int16_t changedItem, double value, int32_t scale, bool withControl) {
    const double s = UsableScale(scale);
    const auto edit = static_cast<int16_t>(n + 1), control = static_cast<int16_t>(n + 2);
    SettingUpdate update;
    if (changedItem == edit) {
        if (withControl) update.Add(control, value * s);
    } else if (changedItem == control) {
        value = RoundHalfAway(value) / s;
        update.Add(edit, value);
    } else {
        update.Add(edit, value);
        if (withControl) update.Add(control, value * s);
    }
    update.value = value;
    return update;
}

uint8_t ChoiceState(uint8_t state, int16_t onItem, int16_t hitItem, bool onIsSet) {
    // A hit on "On" turns the group off when it was on, else on at the first choice.
    if (hitItem == onItem) return onIsSet ? kChoiceOff : kChoiceFirst;
    if (hitItem == onItem - 1) return kChoiceSecond;
    if (hitItem == onItem - 2) return kChoiceFirst;
    return state;
}

}  // namespace TabNumbers
