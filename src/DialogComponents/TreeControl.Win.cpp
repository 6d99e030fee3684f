// The category tree: building and deleting nodes, the layout of the visible rows, drawing, hit
// testing, clicks and keys, and the coupling to the scroll bar. The item window's procedure is a
// border: nothing thrown inside it leaves it.
#include "TreeControl.h"

#include <algorithm>

#include "Categories.h"
#include "DrawingGuards.h"
#include "MorvaneDialog.h"

namespace {

// The window property that leads from the item's window to its tree, and the one that keeps the
// procedure the tree replaced, for messages that arrive after the tree has gone while a later
// subclass still calls us.
constexpr char kTreeProperty[] = "QVTreeCtrl";
constexpr char kReplacedProperty[] = "QVTreeCtrl.Replaced";
// One notch of a mouse wheel.
constexpr int kWheelNotch = WHEEL_DELTA;
// The root the browser hangs its categories under.
constexpr char kRootName[] = "_root";

// Whether node lies strictly below ancestor.
bool IsInside(const TreeNode* node, const TreeNode* ancestor) {
    if (!node || !ancestor) return false;
    for (const TreeNode* p = node->parent; p; p = p->parent)
        if (p == ancestor) return true;
    return false;
}

bool IsSelfOrInside(const TreeNode* node, const TreeNode* ancestor) {
    return node && (node == ancestor || IsInside(node, ancestor));
}

// The dialog key code of a key the tree takes from its window, or 0.
int16_t TreeKeyOf(WPARAM virtualKey) {
    switch (virtualKey) {
        case VK_UP: return DialogKeyCode::kUp;
        case VK_DOWN: return DialogKeyCode::kDown;
        case VK_LEFT: return DialogKeyCode::kLeft;
        case VK_RIGHT: return DialogKeyCode::kRight;
        case VK_HOME: return DialogKeyCode::kHome;
        case VK_END: return DialogKeyCode::kEnd;
        case VK_PRIOR: return DialogKeyCode::kPageUp;
        case VK_NEXT: return DialogKeyCode::kPageDown;
        default: return 0;
    }
}

void AddCategoryNodes(QVTreeCtrl& tree, TreeNode* parent, const std::vector<CategoryNode>& categories) {
    for (const CategoryNode& category : categories) {
        TreeNode* node = tree.AppendChild(parent, category.name, nullptr, category.label);
        // The reader bounds the depth of the file's nesting.
        if (node) AddCategoryNodes(tree, node, category.children);
    }
}

}  // namespace

QVTreeCtrl::QVTreeCtrl(MorvaneDialog& owner, int16_t item, int16_t scrollBarItem, ComponentCallback callback)
    : DialogComponent(owner, item, callback), scrollBarItem_(scrollBarItem) {
    SetColors(kFace, kFace);
}

QVTreeCtrl::~QVTreeCtrl() {
    Unlink();
    if (window_) {
        RemovePropA(window_, kTreeProperty);
        // Put the old procedure back only while ours is the window's: someone who subclassed the
        // window after us keeps theirs, and ours then passes everything on to the replaced one.
        if (reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window_, GWLP_WNDPROC)) == &QVTreeCtrl::ItemWindowProc) {
            SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(replacedProc_));
            RemovePropA(window_, kReplacedProperty);
        }
    }
    selected_ = anchor_ = remembered_ = hover_ = nullptr;
    root_.reset();
}

void QVTreeCtrl::Init() {
    style_ = kBrowserStyle;
    if (root_ && HidesRoot()) root_->flags &= ~TreeNode::kCollapsed;
    const HWND window = Owner().ItemWindow(Item());
    if (window && !window_ && SetPropA(window, kTreeProperty, this)) {
        window_ = window;
        replacedProc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&QVTreeCtrl::ItemWindowProc)));
        SetPropA(window, kReplacedProperty, reinterpret_cast<HANDLE>(replacedProc_));
    }
    // The row height comes before the scroll bar's page, which counts whole rows.
    rowHeight_ = std::max<int32_t>(Owner().FontHeight(), 1) + kRowPadding;
    expandedGlyph_.LoadPNG(kInterfaceArtworkBase, kExpandedGlyph);
    collapsedGlyph_.LoadPNG(kInterfaceArtworkBase, kCollapsedGlyph);
    UpdateScroll();
}

// ---- Building

TreeNode* QVTreeCtrl::SetRoot(const std::string& name, std::unique_ptr<TreeItemData> data,
                              const std::optional<std::string>& displayText) {
    if (root_) return nullptr;
    root_ = std::make_unique<TreeNode>();
    root_->name = name;
    root_->displayText = displayText;
    if (data) {
        data->node = root_.get();
        root_->data = std::move(data);
    }
    layoutDirty_ = true;
    if (HidesRoot()) root_->flags &= ~TreeNode::kCollapsed;
    if (!(style_ & kNoAutomaticSelection)) {
        // The new root is the selection at once, without telling the owner of it.
        root_->flags |= TreeNode::kSelected;
        selected_ = anchor_ = root_.get();
    }
    return root_.get();
}

TreeNode* QVTreeCtrl::Insert(TreeNode* parent, size_t index, const std::string& name, std::unique_ptr<TreeItemData> data,
                             const std::optional<std::string>& displayText, bool rootGetsText) {
    if (!parent) return SetRoot(name, std::move(data), rootGetsText ? displayText : std::nullopt);
    auto node = std::make_unique<TreeNode>();
    node->name = name;
    node->displayText = displayText;
    node->parent = parent;
    if (data) {
        data->node = node.get();
        node->data = std::move(data);
    }
    TreeNode* made = node.get();
    index = std::min(index, parent->children.size());
    parent->children.insert(parent->children.begin() + static_cast<std::ptrdiff_t>(index), std::move(node));
    layoutDirty_ = true;
    return made;
}

TreeNode* QVTreeCtrl::InsertFirstChild(TreeNode* parent, const std::string& name, std::unique_ptr<TreeItemData> data,
                                       const std::optional<std::string>& displayText) {
    return Insert(parent, 0, name, std::move(data), displayText, false);
}

TreeNode* QVTreeCtrl::InsertChildAt(TreeNode* parent, size_t index, const std::string& name,
                                    std::unique_ptr<TreeItemData> data, const std::optional<std::string>& displayText) {
    return Insert(parent, index, name, std::move(data), displayText, true);
}

TreeNode* QVTreeCtrl::InsertAfter(TreeNode* parent, const TreeNode* sibling, const std::string& name,
                                  std::unique_ptr<TreeItemData> data, const std::optional<std::string>& displayText) {
    size_t index = 0;
    if (parent) {
        const int at = IndexOfChild(parent->children, sibling);
        if (at >= 0) index = static_cast<size_t>(at) + 1;
    }
    return Insert(parent, index, name, std::move(data), displayText, true);
}

TreeNode* QVTreeCtrl::AppendChild(TreeNode* parent, const std::string& name, std::unique_ptr<TreeItemData> data,
                                  const std::optional<std::string>& displayText) {
    const size_t end = parent ? parent->children.size() : 0;
    return Insert(parent, end, name, std::move(data), displayText, true);
}

void QVTreeCtrl::AddCategories(const std::vector<CategoryNode>& categories) {
    TreeNode* root = root_ ? root_.get() : SetRoot(kRootName);
    AddCategoryNodes(*this, root, categories);
}

void QVTreeCtrl::DeleteItem(TreeNode* node) {
    if (!node) return;
    layoutDirty_ = true;
    if (IsSelfOrInside(anchor_, node)) anchor_ = nullptr;
    if (IsSelfOrInside(remembered_, node)) remembered_ = node->parent;
    if (IsSelfOrInside(selected_, node)) {
        selected_ = nullptr;
        remembered_ = node->parent;
    }
    // The last click's row is only redrawn later: it must not outlive its node.
    if (IsSelfOrInside(hover_, node)) hover_ = nullptr;
    if (node == root_.get()) {
        root_.reset();
        return;
    }
    if (TreeNode* parent = node->parent) {
        const int at = IndexOfChild(parent->children, node);
        if (at >= 0) parent->children.erase(parent->children.begin() + at);
    }
}

// ---- Reading

TreeNode* QVTreeCtrl::NextNode(const TreeNode* node) {
    if (!node) return nullptr;
    if (!node->children.empty()) return node->children.front().get();
    for (const TreeNode* n = node; n->parent; n = n->parent) {
        const auto& siblings = n->parent->children;
        const int at = IndexOfChild(siblings, n);
        if (at >= 0 && static_cast<size_t>(at) + 1 < siblings.size()) return siblings[static_cast<size_t>(at) + 1].get();
    }
    return nullptr;
}

int QVTreeCtrl::IndexOfChild(const std::vector<std::unique_ptr<TreeNode>>& children, const TreeNode* node) {
    for (size_t i = 0; i < children.size(); ++i)
        if (children[i].get() == node) return static_cast<int>(i);
    return -1;
}

TreeNode* QVTreeCtrl::FindNode(const std::string& name) const {
    for (TreeNode* n = root_.get(); n; n = NextNode(n))
        if (n->name == name) return n;
    return nullptr;
}

std::vector<TreeNode*> QVTreeCtrl::VisibleNodes() const {
    std::vector<TreeNode*> nodes;
    if (!root_) return nodes;
    // Depth first with an explicit stack: no recursion depth follows from the tree's shape.
    std::vector<TreeNode*> stack{root_.get()};
    while (!stack.empty()) {
        TreeNode* node = stack.back();
        stack.pop_back();
        const bool hiddenRoot = IsHiddenRoot(node);
        if (!hiddenRoot) nodes.push_back(node);
        if (node->Collapsed() && !hiddenRoot) continue;
        for (auto child = node->children.rbegin(); child != node->children.rend(); ++child) stack.push_back(child->get());
    }
    return nodes;
}

// ---- Layout

void QVTreeCtrl::LayOut() {
    int32_t y = kTopInset;
    if (!root_) return;
    if (HidesRoot()) {
        for (auto& child : root_->children) LayOutNode(*child, 1, y);
    } else {
        LayOutNode(*root_, 0, y);
    }
}

void QVTreeCtrl::LayOutNode(TreeNode& node, int level, int32_t& y) {
    // With the root shown every level stands one indent further right.
    const int32_t depth = HidesRoot() ? level : level + 1;
    node.x = margin_ + indent_ * depth;
    node.y = y;
    node.rowHeight = rowHeight_;
    y += rowHeight_;
    node.width = std::max<int32_t>(MeasureTextWidth(Port(), node.Text()), 0) + 2;
    if (node.Collapsed()) return;
    for (auto& child : node.children) LayOutNode(*child, level + 1, y);
}

int32_t QVTreeCtrl::ContentHeight() const {
    int32_t height = 0;
    for (const TreeNode* node : VisibleNodes()) height = std::max(height, node->y + rowHeight_);
    return height;
}

int32_t QVTreeCtrl::VisibleRows() const { return rowHeight_ > 0 ? ClampedHeight(treeRect_) / rowHeight_ : 0; }

Rect16 QVTreeCtrl::RowRect(const TreeNode& node) const {
    const int32_t top = treeRect_.top + node.y - scrollOffset_ - kTopInset;
    return Rect16{ClampToInt16(top), treeRect_.left, ClampToInt16(top + rowHeight_), treeRect_.right};
}

// ---- Drawing

void QVTreeCtrl::Draw() {
    if (!root_ || !Owner().Window()) return;
    LayOut();
    DrawingPort& port = Port();
    ColorState colors(*this);
    ClipState clip(*this);
    EraseRect(port, treeRect_);
    for (const TreeNode* node : VisibleNodes()) {
        const Rect16 row = RowRect(*node);
        if (!IsEmptyRect(IntersectRects(row, treeRect_))) DrawRow(*node, row);
    }
    PortColorState rule(port, kFace, kRowRule);
    PortLineTo(port, Point16{treeRect_.top, treeRect_.left}, Point16{treeRect_.top, treeRect_.right});
}

void QVTreeCtrl::DrawRow(const TreeNode& node, const Rect16& row) {
    DrawingPort& port = Port();
    const int32_t textLeft = treeRect_.left + node.x;
    const COLORREF face = node.Selected() ? kSelectionBar : kFace;
    if (node.Selected()) {
        PortColorState bar(port, kSelectionBar, kSelectionBar);
        PaintRect(port, Rect16{row.top, ClampToInt16(textLeft - 2), row.bottom, ClampToInt16(textLeft + node.width)});
    }
    {
        PortColorState text(port, face, kTextColor);
        const int32_t ascent = Owner().FontAscent(), descent = Owner().FontDescent();
        const int32_t baseline = row.top + (rowHeight_ - (ascent + descent)) / 2 + ascent;
        DrawStringAt(port, Point16{ClampToInt16(baseline), ClampToInt16(textLeft)}, node.Text());
    }
    {
        PortColorState rule(port, kFace, kRowRule);
        const int16_t bottom = ClampToInt16(row.bottom - 1);
        PortLineTo(port, Point16{bottom, treeRect_.left}, Point16{bottom, treeRect_.right});
    }
    if (ShowsGlyphs() && node.Opens()) {
        const int32_t left = treeRect_.left + node.x - margin_;
        const Rect16 glyph{row.top, ClampToInt16(left), row.bottom, ClampToInt16(left + kGlyphWidth)};
        (node.Collapsed() ? collapsedGlyph_ : expandedGlyph_).Draw(&port, &glyph, &treeRect_);
    }
}

void QVTreeCtrl::InvalidateRow(const TreeNode* node) {
    if (!node || IsHiddenRoot(node) || drawingSuspended_) return;
    const Rect16 row = IntersectRects(RowRect(*node), treeRect_);
    if (!IsEmptyRect(row)) Owner().InvalidateRect(row);
}

void QVTreeCtrl::InvalidateFrom(const TreeNode& node) {
    if (drawingSuspended_) return;
    Rect16 below = treeRect_;
    if (!IsHiddenRoot(&node)) below.top = std::max(treeRect_.top, RowRect(node).top);
    if (!IsEmptyRect(below)) Owner().InvalidateRect(below);
}

void QVTreeCtrl::InvalidateTree() {
    if (!drawingSuspended_ && !IsEmptyRect(treeRect_)) Owner().InvalidateRect(treeRect_);
}

// ---- Hit testing, clicks and keys

bool QVTreeCtrl::GlyphHit(const TreeNode& node, int32_t h) const {
    const int32_t left = node.x - margin_;
    return ShowsGlyphs() && node.Opens() && h >= left && h < left + kGlyphWidth;
}

TreeHit QVTreeCtrl::HitTest(Point16 point) {
    TreeHit hit;
    if (!root_ || point.h < treeRect_.left || point.h >= treeRect_.right || point.v < treeRect_.top ||
        point.v >= treeRect_.bottom)
        return hit;
    if (layoutDirty_) LayOut();
    const int32_t h = point.h - treeRect_.left;
    const int32_t v = point.v - treeRect_.top + scrollOffset_;
    for (TreeNode* node : VisibleNodes()) {
        // The row as it is drawn: from two pixels above y, one row high.
        const int32_t top = node->y - kTopInset;
        if (v < top || v >= top + rowHeight_) continue;
        hit.node = node;
        hit.flags = v < top + rowHeight_ / 2 ? TreeHitPart::kUpperHalf : TreeHitPart::kLowerHalf;
        if (GlyphHit(*node, h)) {
            hit.flags |= TreeHitPart::kGlyph;
        } else if (h >= node->x && h <= node->x + node->width) {
            hit.flags |= TreeHitPart::kOnText;
        } else {
            hit.flags |= h > node->x + node->width ? TreeHitPart::kRightOfText : TreeHitPart::kLeftOfText;
        }
        return hit;
    }
    return hit;
}

bool QVTreeCtrl::Track(Point16 point) {
    const TreeHit hit = HitTest(point);
    const bool onGlyph = (hit.flags & TreeHitPart::kGlyph) != 0;
    TreeNode* const before = hover_;
    hover_ = onGlyph ? nullptr : hit.node;
    InvalidateRow(before);
    InvalidateRow(hover_);
    if (!hit.node) return false;
    bool toggle = onGlyph;
    if (!onGlyph) {
        if (!hit.node->Selected()) SelectItem(hit.node);
        toggle = MorvaneDialog::DoubleClicked() && hit.node->Opens();
    }
    if (toggle) Toggle(hit.node);
    return false;
}

void QVTreeCtrl::Toggle(TreeNode* node) {
    if (!node || IsHiddenRoot(node)) return;
    if (node->Collapsed()) {
        if (!node->Opens()) return;
        Expand(*node);
    } else {
        Collapse(*node);
    }
    LayOut();
    InvalidateFrom(*node);
    UpdateRangeAfterChange();
    // A selection that the closing hid moves to the closed node now, not at some later
    // Invalidate: the owner shows what the tree shows selected.
    Invalidate();
}

void QVTreeCtrl::Expand(TreeNode& node) {
    if (node.Opens()) node.flags &= ~TreeNode::kCollapsed;
}

void QVTreeCtrl::Collapse(TreeNode& node) {
    if (IsInside(anchor_, &node)) anchor_ = nullptr;
    if (IsInside(remembered_, &node)) remembered_ = &node;
    if (IsInside(selected_, &node)) {
        selected_->flags &= ~TreeNode::kSelected;
        selected_ = nullptr;
        remembered_ = &node;
    }
    node.flags |= TreeNode::kCollapsed;
}

void QVTreeCtrl::OpenAncestors(TreeNode& node) {
    bool opened = false;
    for (TreeNode* p = node.parent; p; p = p->parent) {
        if (p->Collapsed() && p->Opens() && !IsHiddenRoot(p)) {
            p->flags &= ~TreeNode::kCollapsed;
            opened = true;
        }
    }
    if (opened) {
        LayOut();
        InvalidateTree();
    }
}

void QVTreeCtrl::SelectItem(TreeNode* node) {
    if (!node) return;
    remembered_ = nullptr;
    if (node->Selected()) return;
    OpenAncestors(*node);
    if (selected_) {
        selected_->flags &= ~TreeNode::kSelected;
        InvalidateRow(selected_);
    }
    anchor_ = selected_ = node;
    node->flags |= TreeNode::kSelected;
    InvalidateRow(node);
    EnsureVisible(node);
    Notify(kTreeSelectionChanged, reinterpret_cast<intptr_t>(node));
}

void QVTreeCtrl::EnsureVisible(TreeNode* node) {
    if (!node) return;
    OpenAncestors(*node);
    if (layoutDirty_) {
        layoutDirty_ = false;
        LayOut();
        InvalidateTree();
    }
    const int32_t visibleHeight = ClampedHeight(treeRect_);
    const int32_t top = node->y - kTopInset;
    int32_t position = scrollOffset_;
    if (node->y >= scrollOffset_ + 3 && top - scrollOffset_ + rowHeight_ <= visibleHeight) {
        // It shows already.
    } else if (node->y >= scrollOffset_ + 3) {
        position = node->y + 2 * rowHeight_ + 2 - visibleHeight;
    } else {
        position = node->y;
    }
    SetScrollRange(ContentHeight() + rowHeight_ + 2, position);
}

void QVTreeCtrl::Invalidate() {
    if (!(style_ & kNoAutomaticSelection) && !selected_ && root_) SelectItem(remembered_ ? remembered_ : root_.get());
    if (layoutDirty_ && !drawingSuspended_) {
        layoutDirty_ = false;
        LayOut();
        InvalidateTree();
        UpdateRangeAfterChange();
    }
}

bool QVTreeCtrl::HandleKey(int16_t key) {
    const std::vector<TreeNode*> rows = VisibleNodes();
    if (rows.empty()) return false;
    const auto current = std::find(rows.begin(), rows.end(), selected_);
    const bool onRow = current != rows.end();
    const std::ptrdiff_t at = onRow ? current - rows.begin() : -1;
    const std::ptrdiff_t last = static_cast<std::ptrdiff_t>(rows.size()) - 1;
    const std::ptrdiff_t page = std::max<int32_t>(VisibleRows() - 1, 1);
    auto go = [&](std::ptrdiff_t index) { SelectItem(rows[static_cast<size_t>(std::clamp<std::ptrdiff_t>(index, 0, last))]); };
    switch (key) {
        case DialogKeyCode::kDown: go(onRow ? at + 1 : 0); return true;
        case DialogKeyCode::kUp: go(onRow ? at - 1 : 0); return true;
        case DialogKeyCode::kHome: go(0); return true;
        case DialogKeyCode::kEnd: go(last); return true;
        case DialogKeyCode::kPageDown: go(onRow ? at + page : 0); return true;
        case DialogKeyCode::kPageUp: go(onRow ? at - page : 0); return true;
        case DialogKeyCode::kRight:
            if (!onRow || !selected_->Opens()) return true;
            if (selected_->Collapsed()) {
                Toggle(selected_);
            } else if (!selected_->children.empty()) {
                SelectItem(selected_->children.front().get());
            }
            return true;
        case DialogKeyCode::kLeft:
            if (!onRow) return true;
            if (!selected_->Collapsed() && selected_->Opens()) {
                Toggle(selected_);
            } else if (selected_->parent && !IsHiddenRoot(selected_->parent)) {
                SelectItem(selected_->parent);
            }
            return true;
        default:
            return false;
    }
}

// ---- Scrolling

void QVTreeCtrl::SetScrollRange(int32_t contentHeight, int32_t position) {
    if (scrollBarItem_ <= 0 || rowHeight_ <= 0 || !Owner().ItemRecord(scrollBarItem_)) return;
    const int32_t maximum = std::max(contentHeight / rowHeight_ - VisibleRows(), 0);
    Owner().SetItemRange(scrollBarItem_, 0, maximum);
    const int32_t value = position < 0 ? 0 : std::min(contentHeight, position) / rowHeight_;
    Owner().SetItemValue(scrollBarItem_, std::clamp(value, 0, maximum));
    SyncScroll();
}

void QVTreeCtrl::UpdateRangeAfterChange() { SetScrollRange(ContentHeight(), scrollOffset_); }

void QVTreeCtrl::SyncScroll() {
    if (scrollBarItem_ <= 0 || !Owner().ItemRecord(scrollBarItem_)) return;
    const int32_t rows = std::max(RoundToInt(Owner().GetItemValue(scrollBarItem_)), 0);
    const int32_t offset = rows * rowHeight_;
    if (offset == scrollOffset_) return;
    scrollOffset_ = offset;
    InvalidateTree();
}

void QVTreeCtrl::UpdateScroll() {
    treeRect_ = ItemRect();
    if (DialogItemRecord* record = Owner().ItemRecord(scrollBarItem_)) {
        // The scroll bar counts rows: an arrow moves one, a page the rows that show.
        record->pageStep = static_cast<uint16_t>(std::clamp<int32_t>(VisibleRows(), 1, UINT16_MAX));
        record->lineStep = 1;
        double minimum = 0, maximum = 0;
        Owner().GetItemRange(scrollBarItem_, minimum, maximum);
        Owner().SetItemRange(scrollBarItem_, minimum, maximum);
    }
    LayOut();
    InvalidateTree();
    UpdateRangeAfterChange();
}

// ---- The item's window

LRESULT CALLBACK QVTreeCtrl::ItemWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* tree = static_cast<QVTreeCtrl*>(GetPropA(window, kTreeProperty));
    if (!tree) {
        const auto replaced = reinterpret_cast<WNDPROC>(GetPropA(window, kReplacedProperty));
        if (message == WM_NCDESTROY) RemovePropA(window, kReplacedProperty);
        return replaced ? CallWindowProcA(replaced, window, message, wParam, lParam)
                        : DefWindowProcA(window, message, wParam, lParam);
    }
    try {
        return tree->WindowMessage(window, message, wParam, lParam);
    } catch (...) {
        // A failed message (a pen that could not be made) is a message not acted on: the user
        // may try again, the host goes on.
        return 0;
    }
}

LRESULT QVTreeCtrl::WindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_VSCROLL:
            // The owner couples the scroll bar and calls SyncScroll.
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            SetFocus(window);
            break;
        case WM_MOUSEWHEEL: {
            double minimum = 0, maximum = 0;
            Owner().GetItemRange(scrollBarItem_, minimum, maximum);
            const int notches = -GET_WHEEL_DELTA_WPARAM(wParam) / kWheelNotch;
            const double value = std::clamp(Owner().GetItemValue(scrollBarItem_) + notches, minimum, std::max(minimum, maximum));
            Owner().SetItemValue(scrollBarItem_, value);
            SyncScroll();
            return 0;
        }
        case WM_NCDESTROY: {
            // The window goes before the tree: the tree holds no window any more.
            RemovePropA(window, kTreeProperty);
            RemovePropA(window, kReplacedProperty);
            const WNDPROC replaced = replacedProc_;
            window_ = nullptr;
            return CallWindowProcA(replaced, window, message, wParam, lParam);
        }
        case WM_GETDLGCODE:
            // The arrow keys move through the rows rather than to the next control.
            return CallWindowProcA(replacedProc_, window, message, wParam, lParam) | DLGC_WANTARROWS;
        case WM_KEYDOWN:
            if (const int16_t key = TreeKeyOf(wParam); key != 0 && HandleKey(key)) return 0;
            break;
        default:
            break;
    }
    return CallWindowProcA(replacedProc_, window, message, wParam, lParam);
}
