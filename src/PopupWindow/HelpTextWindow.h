// The hot-help window: a popup near the cursor showing the name of the item under it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "PopupWindow.h"

class HelpTextWindow : public PopupWindow {
public:
    // The owner dialog's preview area in screen coordinates, which the help never covers; none
    // when the dialog has none.
    using PreviewAreaQuery = std::function<std::optional<Rect16>()>;

    explicit HelpTextWindow(PreviewAreaQuery previewArea = {});

    // Shows the part of text before its first ":" in tooltip colours under the cursor (above it
    // when it would cover the cursor or the preview area); a text without ":" hides the window.
    // The same text again, in any letter case, changes nothing.
    void Draw(std::string_view text);
    const std::string& TextOnShow() const { return textOnShow_; }

private:
    static constexpr int kFlags = 3;
    static constexpr int kVerticalOffset = 20;
    static constexpr int kHorizontalOffset = 0;
    static constexpr int kScreenMargin = 2;

    Rect16 PlaceNearCursor(POINT cursor, int width) const;

    PreviewAreaQuery previewArea_;
    int lineHeight_ = 0;
    int margin_ = 0;
    int baseline_ = 0;
    std::string textOnShow_;
};
