#include "HelpTextWindow.h"

#include "Geometry.h"
#include "Utf.h"

namespace {

constexpr int kTooltipText = 10;
constexpr int kTooltipBackground = 11;

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    const std::wstring wideA = Utf8ToUtf16(a), wideB = Utf8ToUtf16(b);
    return CompareStringOrdinal(wideA.data(), static_cast<int>(wideA.size()), wideB.data(),
                                static_cast<int>(wideB.size()), TRUE) == CSTR_EQUAL;
}

// The name part of a help text: what stands before its first colon, nothing without one.
std::string_view NamePart(std::string_view text) {
    const size_t colon = text.find(':');
    return colon == std::string_view::npos ? std::string_view() : text.substr(0, colon);
}

}  // namespace

HelpTextWindow::HelpTextWindow(PreviewAreaQuery previewArea)
    : PopupWindow(nullptr, kFlags), previewArea_(std::move(previewArea)) {
    DrawingPort& port = Port();
    SetPenColorIndex(port, kTooltipText);
    port.backColor = *GetThemeColor(kTooltipBackground);
    UpdateBackBrush(port);
    const PortFontInfo font = GetPortFontInfo(port);
    lineHeight_ = font.ascent + font.descent + 2;
    margin_ = (font.ascent + font.descent) / 3;
    baseline_ = font.ascent + 1;
}

void HelpTextWindow::Draw(std::string_view text) {
    const std::string_view name = NamePart(text);
    if (EqualIgnoringCase(name, textOnShow_)) return;
    textOnShow_ = name;
    HidePopupWindow(*this);
    if (textOnShow_.empty()) return;

    POINT cursor{};
    GetCursorPos(&cursor);
    const int width = MeasureTextWidth(Port(), textOnShow_) + 2 * margin_;
    ShowPopupWindowAt(*this, PlaceNearCursor(cursor, width));
    DrawStringAt(Port(), Point16{ClampToInt16(baseline_), ClampToInt16(margin_)}, textOnShow_);
}

Rect16 HelpTextWindow::PlaceNearCursor(POINT cursor, int width) const {
    const int top = cursor.y + kVerticalOffset, left = cursor.x + kHorizontalOffset;
    Rect16 r{ClampToInt16(top), ClampToInt16(left), ClampToInt16(top + lineHeight_), ClampToInt16(left + width)};
    const Point16 cursorPoint{ClampToInt16(cursor.y), ClampToInt16(cursor.x)};
    KeepRectInside(r, GetMonitorWorkRect(cursorPoint), kScreenMargin);

    const std::optional<Rect16> preview = previewArea_ ? previewArea_() : std::nullopt;
    if (RectContains(r, cursor.y, cursor.x) || (preview && RectsOverlap(r, *preview))) {
        const int bottom = cursor.y - kVerticalOffset;
        r.bottom = ClampToInt16(bottom);
        r.top = ClampToInt16(bottom - lineHeight_);
    }
    return r;
}
