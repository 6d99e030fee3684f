// The floating palettes beside a dialog (the preview dialog's settings tabs) as one set that the
// Tab key puts away and brings back: each palette takes one of nine places while it exists. The
// dialog that owns the set hands it to whoever builds the palettes; with none registered,
// toggling does nothing.
#pragma once

#include <array>

class FloatingPalette {
public:
    virtual ~FloatingPalette() = default;
    // Whether the palette's window chain is visible.
    virtual bool IsShown() const = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
};

class FloatingPalettes {
public:
    static constexpr int kCount = 9;

    // Puts a palette in one of the nine places (null empties it); the place forgets whether the
    // previous toggle hid its palette. A place outside 0..8 is ignored.
    void Register(int place, FloatingPalette* palette);
    // Shows again the palettes the last toggle hid, when it hid any that have not been shown since;
    // otherwise hides every shown palette.
    void TogglePalettes();

private:
    struct Place {
        FloatingPalette* palette = nullptr;
        bool hiddenByToggle = false;
    };
    std::array<Place, kCount> places_{};
};
