#include "FloatingPalettes.h"

void FloatingPalettes::Register(int place, FloatingPalette* palette) {
    if (place < 0 || place >= kCount) return;
    places_[place] = {palette, false};
}

void FloatingPalettes::TogglePalettes() {
    bool anyHidden = false;
    for (Place& place : places_) {
        if (!place.hiddenByToggle) continue;
        anyHidden = true;
        place.hiddenByToggle = false;
        if (place.palette && !place.palette->IsShown()) place.palette->Show();
    }
    if (anyHidden) return;
    for (Place& place : places_) {
        if (!place.palette || !place.palette->IsShown()) continue;
        place.palette->Hide();
        place.hiddenByToggle = true;
    }
}
