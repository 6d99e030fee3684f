// The layer title dialog.
#include "LayerTitleDialog.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "DialogItems.h"
#include "LayersPalette.h"

namespace {

// Typed text is no number: the range only has to let every text through.
constexpr double kTextRangeMagnitude = 1e30;

}  // namespace

LayerTitleDialog::LayerTitleDialog(int16_t templateId, LayersPalette& palette)
    : PSDialog(templateId, DialogKind::Modal), palette_(palette), row_(palette.CurrentRow()) {
    SetOwner(&palette.Owner());
}

void LayerTitleDialog::InitDialog() {
    PSDialog::InitDialog();
    using namespace LayerTitleIds;
    SetItemText(kTitle, palette_.Title(row_).c_str(), false);
    // The edit takes no more than the title field holds, less its terminator; a longer text is
    // refused with the dialogs' text-length alert.
    const int32_t longest = std::clamp<int32_t>(palette_.Records().titleSize - 1, 1, int32_t{kLayerTitleMax});
    char format[16];
    std::snprintf(format, sizeof format, "%%+%03ds", static_cast<int>(longest));
    SetItemNumber(kTitle, format, -kTextRangeMagnitude, kTextRangeMagnitude);
    SetFocusItem(kTitle);
    SetItemText(kTitle, nullptr, true);
}

bool LayerTitleDialog::TitleTaken(const char* title) const {
    for (int16_t row = palette_.FirstRowIndex(); row < palette_.RowCount(); ++row) {
        if (row == row_) continue;
        if (_stricmp(palette_.Title(row).c_str(), title) == 0) return true;
    }
    return false;
}

int16_t LayerTitleDialog::ItemHit(int16_t item) {
    using namespace LayerTitleIds;
    if (item == kCancel) return kCancel;
    if (item != kOk) return 0;
    char title[kLayerTitleMax + 1] = {};
    GetItemText(kTitle, title, sizeof title);
    const size_t longest = palette_.Records().titleSize > 0 ? size_t(palette_.Records().titleSize) - 1 : kLayerTitleMax;
    if (std::strlen(title) > longest) {
        // Cutting the name to fit would store a name the user did not type.
        char limit[16];
        std::snprintf(limit, sizeof limit, "%u", static_cast<unsigned>(longest));
        Alert(this, 18015, limit);
        SetItemText(kTitle, nullptr, true);
        return 0;
    }
    if (TitleTaken(title)) {
        Alert(this, kNameTakenAlert, title);
        SetItemText(kTitle, nullptr, true);
        return 0;
    }
    if (!palette_.WriteTitle(row_, title)) return kCancel;
    palette_.NotifyTitleChanged(row_);
    palette_.Draw();
    return kOk;
}
