// The groups of floating tabs: which page a group shows, joining and leaving a group, and moving
// a group as one.
#include "FloatingTab.h"

namespace {

// Set while a group follows one of its pages: the moves it makes come back as Moved calls of the
// other pages, which must not move the group again.
bool gGroupMoving = false;

class GroupMoveScope {
public:
    GroupMoveScope() { gGroupMoving = true; }
    GroupMoveScope(const GroupMoveScope&) = delete;
    GroupMoveScope& operator=(const GroupMoveScope&) = delete;
    ~GroupMoveScope() { gGroupMoving = false; }
};

}  // namespace

FloatingTab::FloatingTab(int16_t templateId) : MorvaneDialog(templateId, DialogKind::Floating) {}

FloatingTab::~FloatingTab() {
    try {
        LeaveGroup();
    } catch (...) {
        // The neighbour that should have been shown stays hidden; the chain is already mended,
        // as LeaveGroup unlinks before it shows anything.
    }
}

void FloatingTab::SetGroupActive(FloatingTab* active) {
    for (FloatingTab* t = head_; t; t = t->next_) t->active_ = active;
}

Point16 FloatingTab::ClientOrigin() const {
    POINT origin{0, 0};
    if (const HWND window = Window()) ClientToScreen(window, &origin);
    return Point16{ClampToInt16(origin.y), ClampToInt16(origin.x)};
}

void FloatingTab::Show(MorvaneDialog* behind) {
    // A tab without its window is no page of its group yet: it only forgets a pending hide.
    if (!Window()) {
        MorvaneDialog::Show(behind);
        return;
    }
    if (active_ == this) return;
    FloatingTab* previous = active_;
    MorvaneDialog::Show(behind);
    // A page shown in front stands before the front dialog, where floating windows take input; a
    // tab deactivated while it was hidden (a modal dialog that came to the front disables the
    // floating windows behind it) would otherwise come back disabled, deaf to clicks on its bar.
    if (!IsActive()) SetActive(true);
    // Shown first, hidden after: the place never stands empty in between.
    if (previous) previous->MorvaneDialog::Hide();
    SetGroupActive(this);
}

void FloatingTab::Hide() {
    if (active_ != this) {
        // Before its window exists a tab records the hide like any dialog, so that it opens hidden.
        if (!Window()) MorvaneDialog::Hide();
        return;
    }
    MorvaneDialog::Hide();
    SetGroupActive(nullptr);
}

bool FloatingTab::ToggleShown() {
    if (active_ != this) {
        Show(kShowInFront);
        return true;
    }
    Hide();
    return false;
}

int16_t FloatingTab::Close() {
    Hide();
    return 0;
}

void FloatingTab::AddToGroup(FloatingTab& tab) {
    if (&tab == this || tab.head_ == head_) return;
    if (tab.HasCompany()) tab.LeaveGroup();
    if (Window()) tab.MoveTo(ClientOrigin());
    FloatingTab* last = head_;
    while (last->next_) last = last->next_;
    last->next_ = &tab;
    tab.next_ = nullptr;
    tab.head_ = head_;
    tab.active_ = active_;
    // A group shows one page: a visible newcomer takes the place of the page that was shown, which
    // would otherwise stay open beside it with no tab left to hide it by.
    if (tab.IsVisible() && tab.Window()) tab.Show(kShowInFront);
}

void FloatingTab::LeaveGroup() {
    if (!HasCompany()) return;
    FloatingTab* before = nullptr;
    for (FloatingTab* t = head_; t && t != this; t = t->next_) before = t;
    FloatingTab* const after = next_;
    FloatingTab* const wasActive = active_;
    FloatingTab* const remainingHead = head_ == this ? after : head_;
    if (before) before->next_ = after;
    for (FloatingTab* t = remainingHead; t; t = t->next_) {
        t->head_ = remainingHead;
        t->active_ = nullptr;
    }
    next_ = nullptr;
    head_ = this;
    active_ = wasActive == this ? this : nullptr;

    if (wasActive == this) {
        // The neighbour takes the page's place, right behind it.
        if (FloatingTab* replacement = after ? after : before) replacement->Show(this);
    } else if (wasActive) {
        wasActive->SetGroupActive(wasActive);
    }
}

void FloatingTab::Moved(int h, int v) {
    if (gGroupMoving || !HasCompany()) return;
    GroupMoveScope moving;
    const Point16 origin{ClampToInt16(v), ClampToInt16(h)};
    for (FloatingTab* t = head_; t; t = t->next_)
        if (t != this) t->MoveTo(origin);
}
