// The layer title dialog: the modal dialog in which the user renames one row of a layers palette.
// A name another row already carries (in any case) is refused, so that rows stay told apart by
// their names; the palette's owner hears of an accepted name through its callback.
#pragma once

#include <cstdint>

#include "PSDialog.h"

class LayersPalette;

namespace LayerTitleIds {
inline constexpr int16_t kTemplate = 17020;   // "Layer Name": OK, Cancel, the name
inline constexpr int16_t kOk = 1;
inline constexpr int16_t kCancel = 2;
inline constexpr int16_t kTitle = 3;
inline constexpr int16_t kNameTakenAlert = 17014;
}  // namespace LayerTitleIds

class LayerTitleDialog : public PSDialog {
public:
    // A modal dialog of `templateId` over the palette's current row; its owner is the palette's
    // dialog.
    LayerTitleDialog(int16_t templateId, LayersPalette& palette);

    void InitDialog() override;
    int16_t ItemHit(int16_t item) override;

    LayersPalette& Palette() const { return palette_; }
    // Whether another row than the edited one carries the title, compared without case.
    bool TitleTaken(const char* title) const;

private:
    LayersPalette& palette_;
    int16_t row_;
};
