// A floating tab's window: the bar grown above the template's page, the tabs drawn in it, and the
// drag that tears a tab off its group or joins it to another.
#include <windows.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "Errors.h"
#include "FloatingTab.h"
#include "TabLayout.h"
#include "ToolkitState.h"
#include "Utf.h"

namespace {

// The bar is the dialog font's height and this much more.
constexpr int16_t kBarPadding = 4;
// A tab is its bold label and this much more wide.
constexpr int16_t kTabPadding = 6;
// Presses left of this in the bar fall on no tab.
constexpr int16_t kFirstTabPixel = 5;
// The frame round the page of the group a dragged tab would join.
constexpr int kTargetFrameWidth = 2;
// How many paints one step of a drag lets through, so that a window that never validates cannot
// hold the drag.
constexpr int kPaintsPerStep = 32;
constexpr DWORD kDragStepMilliseconds = 10;

// The height of the font the dialog's controls use, as the base reads it.
int16_t DialogFontHeight(DrawingPort& port) {
    PortDC dc(port);
    if (!dc) return 0;
    SelectObject(dc.Get(), reinterpret_cast<HGDIOBJ>(SendMessageW(port.window, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    return GetTextMetricsW(dc.Get(), &metrics) ? ClampToInt16(metrics.tmHeight) : 0;
}

// The port's font in its bold style for the scope's life. When the bold font cannot be made the
// label is drawn and measured in the plain one.
class BoldFontScope {
public:
    explicit BoldFontScope(DrawingPort& port) : port_(port) {
        const HFONT current = port.font ? port.font.Get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        LOGFONTW font{};
        if (!GetObjectW(current, sizeof font, &font)) return;
        font.lfWeight = FW_BOLD;
        OwnedFont bold(CreateFontIndirectW(&font));
        if (!bold) return;
        saved_ = std::move(port.font);
        port.font = std::move(bold);
        swapped_ = true;
    }
    BoldFontScope(const BoldFontScope&) = delete;
    BoldFontScope& operator=(const BoldFontScope&) = delete;
    ~BoldFontScope() {
        if (swapped_) port_.font = std::move(saved_);
    }

private:
    DrawingPort& port_;
    OwnedFont saved_;
    bool swapped_ = false;
};

// The outline of a rectangle, thickness pixels wide inside it.
RectRegion RingRegion(const Rect16& outer, int thickness) {
    RectRegion ring(outer);
    Rect16 inner = outer;
    inner.top = ClampToInt16(inner.top + thickness);
    inner.left = ClampToInt16(inner.left + thickness);
    inner.bottom = ClampToInt16(inner.bottom - thickness);
    inner.right = ClampToInt16(inner.right - thickness);
    const RectRegion hole(inner);
    DiffRgn(ring.Get(), hole.Get(), ring.Get());
    return ring;
}

Rect16 Inflated(const Rect16& r, int by) {
    return Rect16{ClampToInt16(r.top - by), ClampToInt16(r.left - by), ClampToInt16(r.bottom + by),
                  ClampToInt16(r.right + by)};
}

// The marks a drag draws on the screen by inverting its pixels (drawn twice, a mark is gone): the
// outline of the dragged window and the frame round the page it would join. Whatever is drawn
// when the drag ends, by a release or by an exception, is taken off.
class DragMarks {
public:
    DragMarks() = default;
    DragMarks(const DragMarks&) = delete;
    DragMarks& operator=(const DragMarks&) = delete;
    ~DragMarks() { Hide(); }

    void SetOutline(RectRegion outline) {
        Hide();
        outline_ = std::move(outline);
        Show();
    }
    void SetHighlight(RectRegion highlight) {
        Hide();
        highlight_ = std::move(highlight);
        Show();
    }
    void Hide() noexcept {
        if (shown_) Invert();
        shown_ = false;
    }
    void Show() noexcept {
        if (!shown_) Invert();
        shown_ = true;
    }

private:
    void Invert() const noexcept {
        // The desktop port: no window, no clip, the whole screen.
        const DrawingPort desktop{};
        const PortDC screen(desktop);
        if (!screen) return;
        if (outline_) InvertRgn(screen.Get(), outline_.Get());
        if (highlight_) InvertRgn(screen.Get(), highlight_.Get());
    }

    RectRegion outline_;
    RectRegion highlight_;
    bool shown_ = false;
};

// Lets the paints that are waiting through, with the marks taken off meanwhile so that no paint
// leaves half a mark behind.
void LetPaintsThrough(DragMarks& marks) {
    MSG message;
    if (!PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE)) return;
    marks.Hide();
    for (int n = 0; n < kPaintsPerStep && PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++n)
        DispatchMessageW(&message);
    marks.Show();
}

Rect16 ScreenRectOf(HWND window, const Rect16& clientRect) {
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    Rect16 r = clientRect;
    OffsetRect16(r, origin.x, origin.y);
    return r;
}

}  // namespace

// ---- The window

void FloatingTab::InitDialog() {
    DrawingPort& port = Port();
    const HWND window = port.window;
    // The bar goes in before the base lays the dialog out, so that the base takes the grown client
    // area for its content and minimum size: grown afterwards, its first size change would count
    // the bar as a change of the user's.
    barHeight_ = ClampToInt16(DialogFontHeight(port) + kBarPadding);
    RECT frame{};
    GetWindowRect(window, &frame);
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + barHeight_,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        SetWindowPos(child, nullptr, r.left, r.top + barHeight_, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    MorvaneDialog::InitDialog();

    // The title names the tab in the bar; the caption stays empty.
    wchar_t title[kLabelMax + 1] = {};
    GetWindowTextW(window, title, kLabelMax + 1);
    label_ = Utf16ToUtf8(title);
    SetWindowTextW(window, L"");
    {
        BoldFontScope bold(port);
        const int16_t labelWidth = MeasureTextWidth(port, label_);
        tabWidth_ = ClampToInt16(std::max<int>(labelWidth, 0) + kTabPadding);
    }
    const int h = barHeight_, w = tabWidth_;
    const POINT outline[] = {{0, 1}, {0, h}, {h + w - 1, h}, {w, 1}};
    region_.Reset(CreatePolygonRgn(outline, 4, WINDING));
    if (!region_) THROW_IF_ERROR(Err::MemoryFull);
    tabOffset_ = 0;

    RECT client{};
    GetClientRect(window, &client);
    const int16_t width = ClampToInt16(client.right), height = ClampToInt16(client.bottom);
    barRect_ = Rect16{0, 0, barHeight_, width};
    pageRect_ = Rect16{barHeight_, 0, height, width};
    SetMinimumContentSize(width, height);
    UpdateRegion();
    MorvaneDialog::Hide();
}

void FloatingTab::AppendItems(int16_t templateId) {
    const int16_t before = ItemCount();
    MorvaneDialog::AppendItems(templateId);
    ShiftItems(static_cast<int16_t>(before + 1), ItemCount(), barHeight_);
}

// Moves items first..last down by dv, below the bar.
void FloatingTab::ShiftItems(int16_t first, int16_t last, int dv) {
    const HWND window = Port().window;
    if (!window || first > last || dv == 0) return;
    for (int16_t n = first; n <= last; ++n) {
        const HWND item = ItemWindow(n);
        if (!item) continue;
        RECT r{};
        GetWindowRect(item, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        SetWindowPos(item, nullptr, r.left, r.top + dv, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    UpdateRegion();
    ::InvalidateRect(window, nullptr, FALSE);
}

void FloatingTab::MoveBy(int widthChange, int heightChange) {
    barRect_.right = ClampToInt16(barRect_.right + widthChange);
    pageRect_.right = ClampToInt16(pageRect_.right + widthChange);
    pageRect_.bottom = ClampToInt16(pageRect_.bottom + heightChange);
    MorvaneDialog::MoveBy(widthChange, heightChange);
    // A wider or narrower bar lays its tabs out anew.
    if (widthChange != 0) InvalidateRect(barRect_);
}

// ---- Drawing

void FloatingTab::Update(HRGN region) {
    if (region && DrawingRegion()) {
        PortColorState colors(Port(), TabColors::kPage, TabColors::kPage);
        PaintRgn(Port(), DrawingRegion());
    }
    MorvaneDialog::Update(region);
}

void FloatingTab::DrawItem(int16_t item) {
    if (item == 0) DrawTabs();
}

void FloatingTab::SetOffset(int32_t offset) {
    if (region_ && offset != tabOffset_) OffsetRgn(region_.Get(), offset - tabOffset_, 0);
    tabOffset_ = offset;
}

std::vector<FloatingTab*> FloatingTab::LayOutGroup() {
    std::vector<FloatingTab*> tabs;
    std::vector<int16_t> widths;
    for (FloatingTab* t = head_; t; t = t->next_) {
        if (!t->region_) continue;
        tabs.push_back(t);
        widths.push_back(t->tabWidth_);
    }
    const std::vector<int32_t> offsets = TabOffsets(widths, barHeight_, RectWidth(barRect_));
    for (size_t i = 0; i < tabs.size(); ++i) tabs[i]->SetOffset(offsets[i]);
    return tabs;
}

namespace {

// The group's tabs in the order they are drawn, the topmost last.
std::vector<FloatingTab*> InDrawOrder(const std::vector<FloatingTab*>& tabs, const FloatingTab* active) {
    const size_t activeIndex =
        static_cast<size_t>(std::find(tabs.begin(), tabs.end(), active) - tabs.begin());
    std::vector<FloatingTab*> ordered;
    for (size_t i : TabDrawOrder(tabs.size(), activeIndex)) ordered.push_back(tabs[i]);
    return ordered;
}

}  // namespace

void FloatingTab::DrawTabs() {
    if (!active_ || !Window()) return;
    DrawingPort& port = Port();
    const int32_t width = RectWidth(barRect_);
    {
        PortColorState colors(port, TabColors::kBar, TabColors::kBar);
        PaintRect(port, Rect16{1, 0, ClampToInt16(barHeight_ - 1), barRect_.right});
    }
    {
        PortColorState colors(port, TabColors::kBar, TabColors::kOutline);
        FrameRect(port, Rect16{0, -1, barHeight_, ClampToInt16(width + 1)});
    }
    const std::vector<FloatingTab*> tabs = LayOutGroup();
    for (FloatingTab* tab : InDrawOrder(tabs, active_)) DrawTab(*tab, tab == active_);
}

void FloatingTab::DrawTab(FloatingTab& tab, bool active) {
    const HRGN region = tab.TabRegion();
    if (!region) return;
    DrawingPort& port = Port();
    const COLORREF fill = active ? TabColors::kActiveTab : TabColors::kInactiveTab;
    {
        PortColorState colors(port, fill, fill);
        PaintRgn(port, region);
    }
    {
        std::optional<BoldFontScope> bold;
        if (active) bold.emplace(port);
        PortColorState colors(port, fill, TabColors::kLabel);
        const int16_t textWidth = std::max<int16_t>(MeasureTextWidth(port, tab.label_), 0);
        const int32_t left = tab.tabOffset_ + (tab.tabWidth_ - textWidth) / 2;
        const int32_t baseline = barHeight_ - FontDescent() - 1;
        DrawStringAt(port, Point16{ClampToInt16(baseline), ClampToInt16(left)}, tab.label_);
    }
    {
        PortColorState colors(port, fill, TabColors::kOutline);
        FrameRgn(port, region);
    }
    if (active) {
        // Opens the tab towards its page.
        const Rect16 bounds = RegionBounds(region);
        const int16_t bottom = ClampToInt16(bounds.bottom - 1);
        PortColorState colors(port, fill, TabColors::kPage);
        PortLineTo(port, Point16{bottom, ClampToInt16(bounds.left + 1)}, Point16{bottom, ClampToInt16(bounds.right - 2)});
    }
}

// ---- Pressing and dragging a tab

FloatingTab* FloatingTab::TabAt(Point16 point) {
    const std::vector<FloatingTab*> tabs = LayOutGroup();
    const std::vector<FloatingTab*> ordered = InDrawOrder(tabs, active_);
    for (auto t = ordered.rbegin(); t != ordered.rend(); ++t)
        if (PtInRegion((*t)->TabRegion(), point.h, point.v)) return *t;
    return nullptr;
}

bool FloatingTab::ClickInFrame(Point16 point) {
    const HWND window = Window();
    if (!window || point.v < 1 || point.v > barHeight_ || point.h < kFirstTabPixel) return false;
    FloatingTab* tab = TabAt(point);
    if (!tab) return false;
    POINT start{point.h, point.v};
    ClientToScreen(window, &start);
    if (tab != active_) {
        tab->Show(kShowInFront);
        if (const HWND shown = tab->Window()) UpdateWindow(shown);
    }
    tab->TrackTab(start);
    return false;
}

void FloatingTab::TrackTab(POINT start) {
    const HWND window = Window();
    if (!window) return;
    Toolkit::TrackingScope tracking;
    RECT original{};
    GetWindowRect(window, &original);
    const Rect16 originalFrame = ToRect16(original);
    const Rect16 pageOnScreen = ScreenRectOf(window, pageRect_);
    RectRegion desktop(Rect16{});
    GetDesktopRgn(desktop.Get());
    const Rect16 desktopBox = RegionBounds(desktop.Get());

    // Holds the pointer inside the desktop, sliding along the edge it left by.
    const auto pointer = [&] {
        POINT now{};
        GetCursorPos(&now);
        if (!IsEmptyRect(desktopBox)) {
            now.x = std::clamp<LONG>(now.x, desktopBox.left, desktopBox.right - 1);
            now.y = std::clamp<LONG>(now.y, desktopBox.top, desktopBox.bottom - 1);
        }
        return now;
    };

    DragMarks marks;
    Rect16 outline = originalFrame;
    bool outlineDrawn = false;
    FloatingTab* highlighted = nullptr;
    Point16 ignored{};
    while (MorvaneDialog::TrackMouse(ignored)) {
        const POINT now = pointer();
        Rect16 proposed = originalFrame;
        OffsetRect16(proposed, now.x - start.x, now.y - start.y);
        SnapRect(proposed);
        if (!outlineDrawn || !EqualRects(proposed, outline)) {
            // The window's frame without its page: the caption and the bar, as the user holds them.
            Rect16 page = pageOnScreen;
            OffsetRect16(page, proposed.left - originalFrame.left, proposed.top - originalFrame.top);
            RectRegion mark = RingRegion(proposed, 1);
            const RectRegion pageEdge = RingRegion(Inflated(page, 1), 1);
            UnionRgn(mark.Get(), pageEdge.Get(), mark.Get());
            marks.SetOutline(std::move(mark));
            outline = proposed;
            outlineDrawn = true;
        }
        auto* target = dynamic_cast<FloatingTab*>(MorvaneDialog::FindDialogAtPoint(now));
        if (target == this) target = nullptr;
        if (target != highlighted) {
            highlighted = target;
            marks.SetHighlight(target && target->Window()
                                   ? RingRegion(ScreenRectOf(target->Window(), target->pageRect_), kTargetFrameWidth)
                                   : RectRegion{});
        }
        LetPaintsThrough(marks);
        Sleep(kDragStepMilliseconds);
    }
    marks.Hide();

    MorvaneDialog* under = MorvaneDialog::FindDialogAtPoint(pointer());
    if (under == this) return;
    if (auto* target = dynamic_cast<FloatingTab*>(under)) {
        LeaveGroup();
        target->AddToGroup(*this);
        Show(kShowInFront);
        InvalidateRect(barRect_);
        return;
    }
    Point16 origin{};
    {
        POINT client{0, 0};
        ClientToScreen(window, &client);
        origin = Point16{ClampToInt16(client.y + (outline.top - originalFrame.top)),
                         ClampToInt16(client.x + (outline.left - originalFrame.left))};
    }
    if (HasCompany()) {
        LeaveGroup();
        active_ = this;
        MoveTo(origin);
        InvalidateRect(barRect_);
        return;
    }
    MoveTo(origin);
}
