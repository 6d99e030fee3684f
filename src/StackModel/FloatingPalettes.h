// The preview dialog's floating settings palettes as the frame-stack model sees them: windows that
// can be shown and hidden around modal steps. The dialog registers its palettes while they exist;
// with none registered, toggling does nothing.
#pragma once

class FloatingPalette {
public:
    virtual ~FloatingPalette() = default;
    // Whether the palette's window chain is visible.
    virtual bool IsShown() const = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
};

namespace FloatingPalettes {
inline constexpr int kCount = 9;
// Puts a palette in one of the nine places (null empties it); the place forgets whether the
// previous toggle hid its palette. A place outside 0..8 is ignored.
void Register(int place, FloatingPalette* palette);
}  // namespace FloatingPalettes
