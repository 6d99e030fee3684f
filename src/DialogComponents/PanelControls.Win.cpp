#include "PanelControls.h"

#include <algorithm>
#include <cstdio>

#include "ComponentTracking.h"
#include "ControlDrawing.h"
#include "Errors.h"
#include "MorvaneDialog.h"
#include "Utf.h"

using namespace ControlLook;

namespace {

// MorvaneDialog::DrawItemText's styles.
constexpr uint16_t kCentredText = 18;
constexpr uint16_t kRightText = 20;

// The add panel's texts and its count.
constexpr const char* kAddInstantText = "Add Instant";
constexpr const char* kAddRandomText = "Add Random";
constexpr const char* kItemCountFormat = "%d Items";

// Tick marks closer than this would run together into a bar: then none are drawn.
constexpr int32_t kMinimumTickSpacing = 3;

// Fills a rectangle in one colour, the port's colours put back after.
void FillIn(DrawingPort& port, const Rect16& rect, COLORREF color) {
    PortColorState colors(port, color, color);
    ::PaintRect(port, rect);
}

void FillRegionIn(DrawingPort& port, HRGN region, COLORREF color) {
    PortColorState colors(port, color, color);
    ::PaintRgn(port, region);
}

void FrameRegionIn(DrawingPort& port, HRGN region, COLORREF color) {
    PortColorState colors(port, color, color);
    ::FrameRgn(port, region);
}

bool WindowEnabled(const DialogComponent& component) {
    const HWND window = component.Owner().ItemWindow(component.Item());
    return window && IsWindowEnabled(window);
}

// Draws the component when its owner has a window and the item's window shows.
void RedrawIfShown(DialogComponent& component) {
    const HWND window = component.Owner().ItemWindow(component.Item());
    if (component.Owner().Window() && window && IsWindowVisible(window)) component.Draw();
}

Rect16 ImageRectAt(const ResourceImage& image, int32_t top, int32_t left, int16_t fallbackWidth, int16_t fallbackHeight) {
    const CxImage* picture = image.Image();
    const int32_t width = picture ? static_cast<int32_t>(picture->Width()) : fallbackWidth;
    const int32_t height = picture ? static_cast<int32_t>(picture->Height()) : fallbackHeight;
    return Rect16{ClampToInt16(top), ClampToInt16(left), ClampToInt16(int64_t{top} + height),
                  ClampToInt16(int64_t{left} + width)};
}

// The port's font in bold; none when it cannot be made (the label then stays regular).
OwnedFont BoldFontOf(const DrawingPort& port) {
    const HFONT base = port.font ? port.font.Get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW font{};
    if (!GetObjectW(base, sizeof font, &font)) return OwnedFont();
    font.lfWeight = FW_BOLD;
    return OwnedFont(CreateFontIndirectW(&font));
}

HFONT FontOrPort(const DrawingPort& port, const OwnedFont& font) {
    if (font) return font.Get();
    return port.font ? port.font.Get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

// The width of a label in a font, as DrawText measures it; 0 without a device context.
int16_t LabelWidth(const DrawingPort& port, HFONT font, const std::string& label) {
    PortDC dc(port);
    if (!dc) return 0;
    SelectObject(dc.Get(), font);
    const std::wstring wide = Utf8ToUtf16(label);
    RECT measured{0, 0, 0, 0};
    DrawTextW(dc.Get(), wide.c_str(), static_cast<int>(wide.size()), &measured, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    return ClampToInt16(measured.right - measured.left);
}

}  // namespace

// ---- TabControl

TabControl::TabControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback)
    : DialogComponent(owner, item, callback), hasCallback_(callback != nullptr) {
    SetColors(kBackground, kBackground);
}

TabControl::~TabControl() { Unlink(); }

void TabControl::Init() { SetColors(Port().backColor, Port().foreColor); }

bool TabControl::AddTab(const char* label, bool select) {
    if (count_ >= kMaxTabs) return false;
    const std::string text = label ? label : "";
    const OwnedFont bold = BoldFontOf(Port());
    const int32_t width = int32_t{LabelWidth(Port(), FontOrPort(Port(), bold), text)} + kLabelPadding;
    const int32_t height = std::max<int32_t>(RectHeight(ItemRect()), kTabTop);
    // The outline slants out to the right, so that the next tab lies over its slant.
    const POINT outline[4] = {{0, kTabTop}, {0, height}, {width + height - 1, height}, {width, kTabTop}};
    RectRegion region(CreatePolygonRgn(outline, 4, WINDING));
    if (!region) THROW_IF_ERROR(Err::MemoryFull);
    Tab& tab = tabs_[static_cast<size_t>(count_)];
    tab.region = std::move(region);
    tab.at = Point16{0, 0};
    tab.width = ClampToInt16(width);
    tab.label = text;
    if (select) selected_ = count_;
    ++count_;
    return true;
}

bool TabControl::SetSelected(int tab) {
    if (tab < 0 || tab >= count_) return false;
    selected_ = tab;
    RedrawIfShown(*this);
    return true;
}

void TabControl::LayOut() {
    const Rect16 item = ItemRect();
    const int32_t halfHeight = RectHeight(item) / 2;
    int32_t x = int32_t{item.left} + kFirstTabInset;
    for (int n = 0; n < count_; ++n) {
        Tab& tab = tabs_[static_cast<size_t>(n)];
        const Point16 at{item.top, ClampToInt16(x)};
        if (at.h != tab.at.h || at.v != tab.at.v) {
            OffsetRgn(tab.region.Get(), at.h - tab.at.h, at.v - tab.at.v);
            tab.at = at;
        }
        x += halfHeight + tab.width;
    }
}

int TabControl::TabAt(Point16 point) {
    if (count_ == 0) return -1;
    LayOut();
    // The selected tab lies over its neighbours' slants.
    if (PtInRegion(tabs_[static_cast<size_t>(selected_)].region.Get(), point.h, point.v)) return selected_;
    for (int n = 0; n < count_; ++n)
        if (PtInRegion(tabs_[static_cast<size_t>(n)].region.Get(), point.h, point.v)) return n;
    return -1;
}

void TabControl::DrawTab(int n) {
    DrawingPort& port = Port();
    const Tab& tab = tabs_[static_cast<size_t>(n)];
    const bool selected = n == selected_;
    const COLORREF face = selected ? kBackground : kSurface;
    const Rect16 item = ItemRect();
    FillRegionIn(port, tab.region.Get(), face);

    const OwnedFont bold = selected ? BoldFontOf(port) : OwnedFont();
    const HFONT font = FontOrPort(port, bold);
    const int32_t labelWidth = LabelWidth(port, font, tab.label);
    const int32_t baseline = int32_t{item.bottom} - Owner().FontDescent() - 1;
    const int32_t left = int32_t{tab.at.h} + (int32_t{tab.width} + kLabelPadding - labelWidth) / 2;
    if (PortDC dc{port}) {
        SelectObject(dc.Get(), font);
        SetTextColor(dc.Get(), kText);
        SetBkColor(dc.Get(), face);
        SetBkMode(dc.Get(), TRANSPARENT);
        SetTextAlign(dc.Get(), TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
        const std::wstring wide = Utf8ToUtf16(tab.label);
        TextOutW(dc.Get(), left, baseline, wide.c_str(), static_cast<int>(wide.size()));
    }
    FrameRegionIn(port, tab.region.Get(), kFrame);

    if (selected) {
        // The selected tab opens into the page below: the rule under the row stops at its sides.
        const int16_t bottomRow = ClampToInt16(item.bottom - 1);
        FillIn(port, Rect16{bottomRow, item.left, item.bottom, item.right}, kFrame);
        const int32_t tabRight = int32_t{tab.at.h} + tab.width + RectHeight(item) - 1;
        FillIn(port, Rect16{bottomRow, ClampToInt16(tab.at.h + 1), item.bottom, ClampToInt16(tabRight - 1)}, kBackground);
    }
}

void TabControl::Draw() {
    if (count_ == 0) return;
    ColorState colors(*this);
    ::PaintRect(Port(), ItemRect());
    LayOut();
    for (int n = 0; n < count_; ++n)
        if (n != selected_) DrawTab(n);
    DrawTab(selected_);
}

bool TabControl::Track(Point16 point) {
    const int hit = TabAt(point);
    if (hit < 0 || hit == selected_) return false;
    if (hasCallback_ && !Notify(kMayChange, hit)) return false;
    selected_ = hit;
    Notify(kChanged, hit);
    RedrawIfShown(*this);
    return false;
}

// ---- StaticTextControl

StaticTextControl::StaticTextControl(MorvaneDialog& owner, int16_t item) : DialogComponent(owner, item) {
    SetColors(kBackground, kBackground);
}

StaticTextControl::~StaticTextControl() { Unlink(); }

void StaticTextControl::Init() {
    SetColors(Port().backColor, Port().foreColor);
    style_ = kDefaultStyle;
}

void StaticTextControl::SetText(const char* text) {
    text_ = text ? text : "";
    RedrawIfShown(*this);
}

void StaticTextControl::Draw() {
    ColorState colors(*this);
    DrawingPort& port = Port();
    const Rect16 item = ItemRect();
    ::PaintRect(port, item);
    PortColorState textColors(port, port.foreColor, WindowEnabled(*this) ? kText : kDisabledText);
    Owner().DrawItemText(text_.c_str(), item, style_, false);
}

// ---- SlideControl

SlideControl::SlideControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback)
    : DialogComponent(owner, item, callback) {
    SetColors(kBackground, kBackground);
}

SlideControl::~SlideControl() { Unlink(); }

void SlideControl::Init(bool vertical) {
    SetColors(Port().backColor, Port().foreColor);
    flags_ = vertical ? kVertical : 0;
    const int16_t* art = vertical ? kVerticalArt : kHorizontalArt;
    startCap_.LoadPNG(kInterfaceArtworkBase, art[0]);
    endCap_.LoadPNG(kInterfaceArtworkBase, art[1]);
    thumb_.LoadPNG(kInterfaceArtworkBase, art[2]);
    UpdateLayout();
}

int16_t SlideControl::ThumbWidth() const { return thumb_.Image() ? ClampToInt16(thumb_.Image()->Width()) : 0; }
int16_t SlideControl::ThumbHeight() const { return thumb_.Image() ? ClampToInt16(thumb_.Image()->Height()) : 0; }

int32_t SlideControl::TrackStart() const {
    const Rect16 item = ItemRect();
    return Vertical() ? item.top : item.left;
}

int32_t SlideControl::TrackSpan() const {
    const Rect16 item = ItemRect();
    return std::max<int32_t>((Vertical() ? RectHeight(item) : RectWidth(item)) - ThumbLength(), 0);
}

void SlideControl::UpdateLayout() {
    thumbPosition_ = SlideLayout::ValueToPosition(TrackStart(), TrackSpan(), minimum_, maximum_, value_);
}

Rect16 SlideControl::ThumbRect() const {
    const Rect16 item = ItemRect();
    // The whole picture: it points from the track at the tick marks beside it.
    if (Vertical())
        return Rect16{ClampToInt16(thumbPosition_), item.left, ClampToInt16(int64_t{thumbPosition_} + ThumbHeight()),
                      ClampToInt16(int64_t{item.left} + ThumbWidth())};
    return Rect16{item.top, ClampToInt16(thumbPosition_), ClampToInt16(int64_t{item.top} + ThumbHeight()),
                  ClampToInt16(int64_t{thumbPosition_} + ThumbWidth())};
}

void SlideControl::Draw() {
    ColorState colors(*this);
    DrawingPort& port = Port();
    const Rect16 item = ItemRect();
    ::PaintRect(port, item);
    const bool vertical = Vertical();
    const CxImage* cap = startCap_.Image();
    const int32_t thickness = cap ? static_cast<int32_t>(vertical ? cap->Width() : cap->Height()) : 6;

    // The track: the caps at its ends, the bar between them.
    if (vertical) {
        const int16_t right = ClampToInt16(item.left + thickness);
        const Rect16 start{item.top, item.left, ClampToInt16(item.top + kCapLength), right};
        const Rect16 end{ClampToInt16(item.bottom - kCapLength), item.left, item.bottom, right};
        FillIn(port, Rect16{start.bottom, item.left, end.top, right}, kFrame);
        startCap_.Draw(&port, &start, &item);
        endCap_.Draw(&port, &end, &item);
    } else {
        const int16_t bottom = ClampToInt16(item.top + thickness);
        const Rect16 start{item.top, item.left, bottom, ClampToInt16(item.left + kCapLength)};
        const Rect16 end{item.top, ClampToInt16(item.right - kCapLength), bottom, item.right};
        FillIn(port, Rect16{item.top, start.right, bottom, end.left}, kFrame);
        startCap_.Draw(&port, &start, &item);
        endCap_.Draw(&port, &end, &item);
    }

    // A tick at each value, under the thumb's point when the thumb stands at it.
    const int32_t range = int32_t{maximum_} - minimum_;
    const int32_t span = TrackSpan();
    if (range > 0 && span / range >= kMinimumTickSpacing) {
        const int32_t first = vertical ? minimum_ : std::max<int32_t>(1, minimum_);
        for (int32_t value = first; value <= maximum_; ++value) {
            const int32_t at = SlideLayout::ValueToPosition(TrackStart(), span, minimum_, maximum_,
                                                            static_cast<int16_t>(value)) +
                               ThumbLength() / 2;
            const Rect16 tick =
                vertical ? Rect16{ClampToInt16(at), ClampToInt16(item.left + ThumbWidth() + 1), ClampToInt16(at + 1),
                                  ClampToInt16(item.left + ThumbWidth() + 1 + kTickLength)}
                         : Rect16{ClampToInt16(item.top + ThumbHeight() + 1), ClampToInt16(at),
                                  ClampToInt16(item.top + ThumbHeight() + 1 + kTickLength), ClampToInt16(at + 1)};
            FillIn(port, IntersectRects(tick, item), kFrame);
        }
    }

    const Rect16 thumb = ThumbRect();
    thumb_.Draw(&port, &thumb, &item);
}

void SlideControl::TakePosition(int32_t position) {
    const int16_t value = SlideLayout::PositionToValue(TrackStart(), TrackSpan(), minimum_, maximum_, position);
    if (value == value_) return;
    value_ = value;
    Notify(0, value);
}

bool SlideControl::Track(Point16 point) {
    const int32_t start = TrackStart();
    const int32_t span = TrackSpan();
    if (!ComponentTracking::Inside(ThumbRect(), point)) {
        // The thumb's middle comes to the press, so that a press on a tick takes that tick's value.
        const int16_t before = value_;
        TakePosition(Along(point) - ThumbLength() / 2);
        if (value_ != before) {
            UpdateLayout();
            RedrawIfShown(*this);
        }
        return false;
    }
    const int32_t grab = thumbPosition_ - Along(point);
    int32_t last = Along(point);
    Point16 mouse{};
    while (ComponentTracking::FollowMouse(*this, mouse)) {
        const int32_t along = Along(mouse);
        if (along == last) continue;
        last = along;
        // Held in the groove, however far the mouse goes: a quick drag past an end still ends
        // there.
        thumbPosition_ = std::clamp(along + grab, start, start + span);
        RedrawIfShown(*this);
        TakePosition(thumbPosition_);
    }
    UpdateLayout();
    RedrawIfShown(*this);
    return false;
}

// ---- FavPanel

FavPanel::FavPanel(MorvaneDialog& owner, int16_t item, ComponentCallback callback)
    : DialogComponent(owner, item, callback) {
    SetColors(kBackground, kBackground);
}

FavPanel::~FavPanel() { Unlink(); }

void FavPanel::Init() {
    SetColors(Port().backColor, Port().foreColor);
    favouriteOn_.LoadPNG(kInterfaceArtworkBase, kFavouriteOn);
    favouriteOff_.LoadPNG(kInterfaceArtworkBase, kFavouriteOff);
    starOn_.LoadPNG(kInterfaceArtworkBase, kStarOn);
    starOff_.LoadPNG(kInterfaceArtworkBase, kStarOff);
    UpdateLayout();
}

void FavPanel::SetRating(int16_t rating) { rating_ = std::clamp<int16_t>(rating, 0, RatingLayout::kStars); }

void FavPanel::UpdateLayout() {
    // Missing pictures keep their places at the artwork's size.
    constexpr int16_t kFallbackSize = 13;
    const Rect16 item = ItemRect();
    parts_[0] = ImageRectAt(favouriteOn_, item.top, item.left, kFallbackSize, kFallbackSize);
    int32_t x = int32_t{parts_[0].right} + kGap;
    for (int star = 1; star <= RatingLayout::kStars; ++star) {
        parts_[static_cast<size_t>(star)] = ImageRectAt(starOn_, item.top, x, kFallbackSize, kFallbackSize);
        x = int32_t{parts_[static_cast<size_t>(star)].right} + kGap;
    }
}

void FavPanel::Draw() {
    ColorState colors(*this);
    DrawingPort& port = Port();
    const Rect16 item = ItemRect();
    ::PaintRect(port, item);
    (favourite_ ? favouriteOn_ : favouriteOff_).Draw(&port, &parts_[0], &item);
    for (int star = 1; star <= RatingLayout::kStars; ++star)
        (star <= rating_ ? starOn_ : starOff_).Draw(&port, &parts_[static_cast<size_t>(star)], &item);
}

bool FavPanel::Track(Point16 point) {
    bool changed = false;
    if (ComponentTracking::Inside(parts_[0], point)) {
        favourite_ = !favourite_;
        changed = true;
    } else {
        for (int16_t star = 1; star <= RatingLayout::kStars; ++star) {
            if (!ComponentTracking::Inside(parts_[static_cast<size_t>(star)], point)) continue;
            const int16_t rating = RatingLayout::RatingAfterClick(rating_, star);
            changed = rating != rating_;
            rating_ = rating;
            break;
        }
    }
    if (changed) {
        RedrawIfShown(*this);
        Notify(0, 0);
    }
    return false;
}

// ---- ARPanel

ARPanel::ARPanel(MorvaneDialog& owner, ComponentCallback callback, int16_t item)
    : DialogComponent(owner, item, callback) {
    SetColors(kBackground, kBackground);
}

ARPanel::~ARPanel() { Unlink(); }

void ARPanel::Init() {
    SetColors(Port().backColor, Port().foreColor);
    for (size_t n = 0; n < 2; ++n) {
        firstIcon_[n].LoadPNG(kInterfaceArtworkBase, kFirstIcon[n]);
        secondIcon_[n].LoadPNG(kInterfaceArtworkBase, kSecondIcon[n]);
    }
}

std::vector<AddPanelLayout::Segment> ARPanel::Segments() const {
    // An icon segment is as wide as its picture, so that the separator after it stays clear.
    const auto iconWidth = [](const ResourceImage& image) {
        return image.Image() ? ClampToInt16(image.Image()->Width()) : AddPanelLayout::kIconWidth;
    };
    const int16_t icons[2] = {iconWidth(firstIcon_[0]), iconWidth(secondIcon_[0])};
    const int16_t texts[2] = {std::max<int16_t>(MeasureTextWidth(Port(), kAddInstantText), 0),
                              std::max<int16_t>(MeasureTextWidth(Port(), kAddRandomText), 0)};
    return AddPanelLayout::Segments(ItemRect(), flags_, icons, texts);
}

void ARPanel::DrawSegment(const AddPanelLayout::Segment& segment, bool pressed) {
    DrawingPort& port = Port();
    const size_t look = pressed ? 1 : 0;
    switch (segment.number) {
        case 1:
        case 2: {
            FillIn(port, segment.rect, kBackground);
            const ResourceImage& icon = segment.number == 1 ? firstIcon_[look] : secondIcon_[look];
            icon.Draw(&port, &segment.rect, &segment.rect);
            break;
        }
        case 3:
        case 4: {
            const COLORREF face = pressed ? kPressed : kBackground;
            FillIn(port, segment.rect, face);
            PortColorState text(port, face, kText);
            Owner().DrawItemText(segment.number == 3 ? kAddInstantText : kAddRandomText, segment.rect, kCentredText, false);
            break;
        }
        default:
            break;
    }
}

void ARPanel::Draw() {
    ColorState colors(*this);
    DrawingPort& port = Port();
    const Rect16 item = ItemRect();
    FillIn(port, item, kBackground);
    const std::vector<AddPanelLayout::Segment> segments = Segments();
    int16_t end = ClampToInt16(item.left + 1);
    for (const AddPanelLayout::Segment& segment : segments) {
        DrawSegment(segment, false);
        FillIn(port, Rect16{segment.rect.top, segment.rect.right, segment.rect.bottom, ClampToInt16(segment.rect.right + 1)},
               kFrame);
        end = ClampToInt16(segment.rect.right + 1);
    }
    if (flags_ & AddPanelLayout::kItemCount) {
        char count[32];
        std::snprintf(count, sizeof count, kItemCountFormat, static_cast<int>(itemCount_));
        const Rect16 room{ClampToInt16(item.top + 1), end, ClampToInt16(item.bottom - 1), ClampToInt16(item.right - kCountInset)};
        PortColorState text(port, kBackground, kText);
        Owner().DrawItemText(count, room, kRightText, false);
    }
    PortColorState frame(port, kFrame, kFrame);
    ::FrameRect(port, item);
}

bool ARPanel::Track(Point16 point) {
    const AddPanelLayout::Segment segment = AddPanelLayout::HitSegment(Segments(), point);
    if (segment.number == 0) return false;
    bool inside = false;
    Point16 mouse = point;
    while (ComponentTracking::FollowMouse(*this, mouse)) {
        const bool now = ComponentTracking::Inside(segment.rect, mouse);
        if (now == inside) continue;
        inside = now;
        ColorState colors(*this);
        DrawSegment(segment, inside);
    }
    const bool released = ComponentTracking::Inside(segment.rect, mouse);
    {
        ColorState colors(*this);
        DrawSegment(segment, false);
    }
    if (released) Notify(segment.number, 0);
    return released;
}
