#include "SettingsTabs.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <new>

#include "Errors.h"
#include "FrameStackTab.h"
#include "HostServices.h"
#include "PSDialog.h"
#include "PendingSettingsTab.h"
#include "PreferenceSettings.h"
#include "TabPlacement.h"

namespace {

// The default groups start at these types; every other tab joins the tab before it.
constexpr std::array<TabType, 3> kDefaultGroupHeads{kFrameStackTab, kShapeTab, kBackgroundTab};
// The default places keep this far inside the work area, and the first row of tabs this much
// lower, under the preview dialog's menu bar.
constexpr int kScreenMargin = 2;
constexpr int kMenuBarRoom = 23;

RECT WindowRect(const MorvaneDialog& tab) {
    RECT r{};
    GetWindowRect(tab.Window(), &r);
    return r;
}

Point16 ClientOrigin(const MorvaneDialog& tab) {
    POINT origin{0, 0};
    ClientToScreen(tab.Window(), &origin);
    return Point16{ClampToInt16(origin.y), ClampToInt16(origin.x)};
}

// Moves the tab's window by (dx, dy).
void MoveTabBy(MorvaneDialog& tab, int dx, int dy) {
    const Point16 origin = ClientOrigin(tab);
    tab.MoveTo(Point16{ClampToInt16(origin.v + dy), ClampToInt16(origin.h + dx)});
}

class TabCompanions final : public DialogCompanions {
public:
    explicit TabCompanions(PreviewEditor& editor) {
        try {
            for (int type = 0; type < kTabTypeCount; ++type) {
                const auto t = static_cast<TabType>(type);
                if (t == kFrameStackTab)
                    tabs_[type] = std::make_unique<FrameStackTab>(editor);
                else
                    tabs_[type] = std::make_unique<PendingSettingsTab>(editor, t);
            }
        } catch (const std::bad_alloc&) {
            THROW_IF_ERROR(Err::MemoryFull);
        }
        for (auto& tab : tabs_) tab->CreateModeless();
        if (!RestorePlacement()) LayOutDefault();
    }

    ~TabCompanions() override {
        // Hidden first, so that no page of a group is shown in place of another as the group
        // comes apart.
        for (auto& tab : tabs_)
            if (tab) tab->FloatingTab::Hide();
        for (auto it = tabs_.rbegin(); it != tabs_.rend(); ++it) it->reset();
    }

    void UpdateAll() override {
        for (auto& tab : tabs_) tab->UpdateControls();
    }
    void ToggleTab(TabType type) override {
        if (QuorvelTab* tab = At(type)) tab->ToggleShown();
    }
    void ShowTab(TabType type) override {
        if (QuorvelTab* tab = At(type)) tab->Show(kShowInFront);
    }
    bool IsTabShown(TabType type) const override {
        const QuorvelTab* tab = At(type);
        return tab && tab->ActiveTab() == tab && tab->IsVisible();
    }
    void ClearPickModes() override { QuorvelTab::SetActiveTab(nullptr, PickKind::kNone); }
    bool HasFocusedItem() const override {
        const HWND focus = GetFocus();
        const HWND parent = focus ? GetParent(focus) : nullptr;
        if (!parent) return false;
        return std::any_of(tabs_.begin(), tabs_.end(),
                           [parent](const auto& tab) { return tab->Window() == parent && tab->GetFocusedItem() > 0; });
    }
    void SavePlacement() override;

private:
    QuorvelTab* At(TabType type) const {
        return type >= 0 && type < kTabTypeCount ? tabs_[static_cast<size_t>(type)].get() : nullptr;
    }
    // Other hosts offer no layered output: the Option tab is neither placed nor shown for them.
    static bool Offered(TabType type) { return type != kOptionTab || IsPhotoshopHost(); }
    TabPlacement PlacementOf(const QuorvelTab& tab) const;
    bool RestorePlacement();
    void LayOutDefault();

    std::array<std::unique_ptr<QuorvelTab>, kTabTypeCount> tabs_;
};

TabPlacement TabCompanions::PlacementOf(const QuorvelTab& tab) const {
    TabPlacement p;
    p.type = TabTypeOfTemplate(tab.TemplateId());
    const bool shown = tab.ActiveTab() == &tab && tab.IsVisible();
    // A tab the Tab key put away counts as shown, unless the user showed another page of its
    // group since.
    p.shown = shown || (tab.HiddenByPaletteToggle() && tab.GroupHead()->ActiveTab() == nullptr);
    p.nextTemplate = tab.NextInGroup() ? static_cast<uint16_t>(tab.NextInGroup()->TemplateId()) : 0;
    const Point16 origin = ClientOrigin(tab);
    p.top = origin.v;
    p.left = origin.h;
    RECT client{};
    GetClientRect(tab.Window(), &client);
    p.rows = PlacementRows(client.bottom - client.top, tab.MinimumHeight(), tab.RowHeight());
    return p;
}

void TabCompanions::SavePlacement() {
    TabPlacements placements{};
    size_t count = 0;
    // In the order of the dialog list, as the tabs stand on the screen.
    for (MorvaneDialog* d = MorvaneDialog::FirstDialog(); d && count < placements.size(); d = d->NextDialog()) {
        const auto found = std::find_if(tabs_.begin(), tabs_.end(), [d](const auto& tab) { return tab.get() == d; });
        if (found != tabs_.end() && (*found)->Window()) placements[count++] = PlacementOf(**found);
    }
    WriteTabPlacements(Preferences(), placements);
}

bool TabCompanions::RestorePlacement() {
    const TabPlacements entries = ReadTabPlacements(Preferences());
    // The entry each tab takes; of two entries for one tab the earlier one counts.
    std::array<const TabPlacement*, kTabTypeCount> entryOf{};
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->type >= kTabTypeCount || it->top == 0 || !Offered(static_cast<TabType>(it->type))) continue;
        entryOf[it->type] = &*it;
    }
    if (std::none_of(entryOf.begin(), entryOf.end(), [](const TabPlacement* e) { return e != nullptr; })) return false;

    // The next page each placed tab names, when that is another tab that may be shown.
    std::array<QuorvelTab*, kTabTypeCount> next{};
    std::array<bool, kTabTypeCount> named{};
    for (int type = 0; type < kTabTypeCount; ++type) {
        const TabPlacement* entry = entryOf[type];
        if (!entry) continue;
        tabs_[type]->MoveTo(Point16{entry->top, entry->left});
        const uint8_t nextType = TabTypeOfTemplate(static_cast<int16_t>(entry->nextTemplate));
        if (entry->nextTemplate == 0 || nextType >= kTabTypeCount || nextType == type ||
            !Offered(static_cast<TabType>(nextType)))
            continue;
        next[type] = tabs_[nextType].get();
        named[nextType] = true;
    }
    // Each group is rebuilt from its first page along the chain of next pages, so that the order
    // of the entries does not matter; a chain that runs in a circle has no first page and leaves
    // its tabs alone.
    for (int type = 0; type < kTabTypeCount; ++type) {
        if (!entryOf[type] || named[type] || !next[type]) continue;
        QuorvelTab& head = *tabs_[type];
        int steps = 0;
        for (int page = type; next[page] && steps < kTabTypeCount; ++steps) {
            QuorvelTab& joining = *next[page];
            if (joining.GroupHead() == head.GroupHead()) break;
            head.AddToGroup(joining);
            page = joining.Type();
        }
    }
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        if (it->type < kTabTypeCount && entryOf[it->type] == &*it && it->shown) tabs_[it->type]->Show(kShowInFront);
    return true;
}

void TabCompanions::LayOutDefault() {
    for (int type = 1; type < kTabTypeCount; ++type) {
        const auto t = static_cast<TabType>(type);
        if (std::find(kDefaultGroupHeads.begin(), kDefaultGroupHeads.end(), t) != kDefaultGroupHeads.end()) continue;
        if (!Offered(t)) continue;
        int before = type - 1;
        while (before > 0 && !Offered(static_cast<TabType>(before))) --before;
        tabs_[before]->AddToGroup(*tabs_[type]);
    }

    const Rect16 work = GetMonitorWorkRect();
    // The frame stack at the work area's top left, below the preview dialog's menu bar.
    QuorvelTab& stack = *tabs_[kFrameStackTab];
    const RECT stackWindow = WindowRect(stack);
    const int captionRoom = ClientOrigin(stack).v - stackWindow.top;
    const int firstRowTop = work.top + kScreenMargin + captionRoom + kMenuBarRoom;
    MoveTabBy(stack, work.left + kScreenMargin - stackWindow.left, firstRowTop - stackWindow.top);

    // The shape group at the top right, level with it.
    QuorvelTab& shape = *tabs_[kShapeTab];
    const RECT shapeWindow = WindowRect(shape);
    MoveTabBy(shape, (work.right - kScreenMargin) - shapeWindow.right, firstRowTop - shapeWindow.top);

    // The effect group under the shape group's tallest page.
    LONG lowest = WindowRect(shape).bottom;
    for (TabType t : {kEdgeTab, kBevelTab}) lowest = std::max(lowest, WindowRect(*tabs_[t]).bottom);
    QuorvelTab& background = *tabs_[kBackgroundTab];
    const RECT backgroundWindow = WindowRect(background);
    MoveTabBy(background, (work.right - kScreenMargin) - backgroundWindow.right,
              (lowest + kScreenMargin) - backgroundWindow.top);

    for (TabType head : kDefaultGroupHeads) tabs_[head]->Show(kShowInFront);
}

}  // namespace

std::unique_ptr<DialogCompanions> CreateSettingsTabs(PreviewEditor& editor) {
    try {
        return std::make_unique<TabCompanions>(editor);
    } catch (const std::bad_alloc&) {
        THROW_IF_ERROR(Err::MemoryFull);
    }
    return nullptr;
}
