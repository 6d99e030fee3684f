// Floating tabs: palette windows that the user gathers into groups. Each tab is a floating dialog
// of its own; the tabs of a group show one page at a time at one place, share a bar of tabs drawn
// across the top of every page, move together, and are torn apart or joined by dragging a tab.
// A tab alone is a group of one.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "DrawingGuards.h"
#include "MorvaneDialog.h"

// The colours of a tabbed page and its bar.
namespace TabColors {
inline constexpr COLORREF kPage = RGB(0x3F, 0x3F, 0x3F);
inline constexpr COLORREF kBar = RGB(0x00, 0x00, 0x00);
inline constexpr COLORREF kOutline = RGB(0x8E, 0x8E, 0x8E);
inline constexpr COLORREF kInactiveTab = RGB(0x2F, 0x2F, 0x2F);
inline constexpr COLORREF kActiveTab = kPage;   // merges with the page below it
inline constexpr COLORREF kLabel = RGB(0xBA, 0xBA, 0xBA);
}  // namespace TabColors

class FloatingTab : public MorvaneDialog {
public:
    // What GetKind answers for a tab.
    static constexpr uint32_t kKind = 'fTab';
    // The longest label kept, in UTF-16 units of the template's title.
    static constexpr int kLabelMax = 255;

    explicit FloatingTab(int16_t templateId);
    ~FloatingTab() override;

    uint32_t GetKind() const override { return kKind; }
    // Takes the label from the window's title, grows the window by the bar and moves the items
    // below it, and starts hidden.
    void InitDialog() override;
    void AppendItems(int16_t templateId) override;
    // Shows this page of the group in place of the one that was shown.
    void Show(MorvaneDialog* behind) override;
    // Hides the group's shown page; a page that is not shown stays as it is.
    void Hide() override;
    // A press on a tab of the bar shows that tab's page and drags it; other presses are the base's.
    bool ClickInFrame(Point16 point) override;
    // Closing a tab's window only hides it.
    int16_t Close() override;
    void MoveBy(int widthChange, int heightChange) override;
    // Every other page of the group follows to the same client origin.
    void Moved(int h, int v) override;
    // Paints the page's own area in the page colour, then the base's items.
    void Update(HRGN region) override;
    // Item 0: the tab bar.
    void DrawItem(int16_t item) override;

    // For the Window menu: shows a page that is not shown (true), hides the shown one (false).
    bool ToggleShown();
    // Takes tab into this group, at the end of its row, at this page's client origin. A tab that
    // is in another group leaves it first; a visible tab becomes the group's shown page.
    void AddToGroup(FloatingTab& tab);
    // Makes this tab a group of its own. When its page was the group's shown one, the tab after it
    // (the one before it when it was last) is shown in its place.
    void LeaveGroup();

    FloatingTab* NextInGroup() const { return next_; }
    FloatingTab* GroupHead() const { return head_; }
    // The group's shown page; none when every page of the group is hidden.
    FloatingTab* ActiveTab() const { return active_; }
    bool HasCompany() const { return head_ != this || next_ != nullptr; }
    // UTF-8.
    const std::string& Label() const { return label_; }
    int16_t BarHeight() const { return barHeight_; }
    int16_t TabWidth() const { return tabWidth_; }
    int32_t TabOffset() const { return tabOffset_; }
    // In client coordinates: the bar across the top, the page below it.
    const Rect16& BarRect() const { return barRect_; }
    const Rect16& PageRect() const { return pageRect_; }
    // The tab's slanted outline in the bar, at its offset; none before the window exists.
    HRGN TabRegion() const { return region_.Get(); }

    // Lays the group's tabs out along this page's bar and draws them, when the group shows a page.
    void DrawTabs();

protected:
    // Follows the mouse from a press on this tab: dropped over another group's page the tab joins
    // that group, dropped elsewhere it leaves its group for a place of its own.
    void TrackTab(POINT startScreenPoint);

private:
    void DrawTab(FloatingTab& tab, bool active);
    // The tab whose region holds the point of this page's bar, topmost first.
    FloatingTab* TabAt(Point16 point);
    void SetOffset(int32_t offset);
    // The group's tabs that have a window, in the group's order, laid out along this page's bar.
    std::vector<FloatingTab*> LayOutGroup();
    void ShiftItems(int16_t first, int16_t last, int dv);
    void SetGroupActive(FloatingTab* active);
    Point16 ClientOrigin() const;

    FloatingTab* next_ = nullptr;
    FloatingTab* head_ = this;
    FloatingTab* active_ = nullptr;
    int16_t tabWidth_ = 0;
    int32_t tabOffset_ = 0;
    RectRegion region_;
    Rect16 barRect_{};
    Rect16 pageRect_{};
    int16_t barHeight_ = 0;
    std::string label_;
};
