// The category tree of the library browser: a tree of named rows that a dialog draws into one of
// its "tUserItem" items, with an expand glyph before every row that has children, whole-row
// scrolling through a vertical scroll-bar item beside it, clicks, the mouse wheel and the arrow
// keys. It tells its owner of every selection (code kTreeSelectionChanged, the node).
//
// The tree owns its nodes. Node pointers handed out stay valid until DeleteItem removes them or
// the tree goes; the tree forgets every reference it keeps into a subtree that is deleted.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DialogComponent.h"
#include "Geometry.h"
#include "ResourceImage.h"

struct CategoryNode;
struct TreeNode;

// What a caller hangs on a node. The tree deletes it with the node, and stores the node's address
// in it at the insertion, so that the data can find its row.
struct TreeItemData {
    virtual ~TreeItemData() = default;
    TreeNode* node = nullptr;
};

struct TreeNode {
    enum Flags : uint32_t {
        kCollapsed = 1u << 0,   // new nodes are collapsed
        kSelected = 1u << 1,
        kExpandable = 1u << 2,  // shows a glyph and opens even without children
    };

    std::string name;                       // the node's key ("_root" for the browser's root)
    std::optional<std::string> displayText; // what the row shows, else the name
    std::unique_ptr<TreeItemData> data;
    std::vector<std::unique_ptr<TreeNode>> children;
    TreeNode* parent = nullptr;
    // The layout: text left (from the tree's left), row top plus 2 from the top of the whole
    // tree before scrolling, text width plus 2, the row height it was laid out with.
    int32_t x = 0, y = 0, width = 0, rowHeight = 0;
    uint32_t flags = kCollapsed;

    const std::string& Text() const { return displayText ? *displayText : name; }
    bool Collapsed() const { return (flags & kCollapsed) != 0; }
    bool Selected() const { return (flags & kSelected) != 0; }
    // Has children, or says it will have: it shows a glyph and can open.
    bool Opens() const { return !children.empty() || (flags & kExpandable) != 0; }
};

// Where a point lies on a row (TreeHit::flags).
namespace TreeHitPart {
inline constexpr uint32_t kGlyph = 8;
inline constexpr uint32_t kLeftOfText = 32;
inline constexpr uint32_t kOnText = 64;
inline constexpr uint32_t kRightOfText = 128;
inline constexpr uint32_t kUpperHalf = 0x800;
inline constexpr uint32_t kLowerHalf = 0x1000;
}  // namespace TreeHitPart

struct TreeHit {
    TreeNode* node = nullptr;
    uint32_t flags = 0;
};

// The owner callback's code for a selection; the argument is the node.
inline constexpr int16_t kTreeSelectionChanged = 4;

class QVTreeCtrl : public DialogComponent {
public:
    enum Style : uint32_t {
        kShowsGlyphs = 0x1,
        kNoAutomaticSelection = 0x20,
        kHidesRoot = 0x800,
    };
    static constexpr uint32_t kBrowserStyle = kShowsGlyphs | kHidesRoot;
    static constexpr int16_t kIndent = 8;
    static constexpr int16_t kLeftMargin = 15;
    static constexpr int32_t kInitialRowHeight = 10;
    // Text above and below the font in a row.
    static constexpr int32_t kRowPadding = 5;
    // The expanded and collapsed glyphs among the interface pictures, 9 x 9.
    static constexpr int16_t kExpandedGlyph = 21;
    static constexpr int16_t kCollapsedGlyph = 19;
    static constexpr int32_t kGlyphWidth = 9;
    // Where the first row's y starts: the row's top is two pixels above y.
    static constexpr int32_t kTopInset = 2;
    static constexpr COLORREF kRowRule = RGB(0x56, 0x56, 0x56);
    static constexpr COLORREF kSelectionBar = RGB(0x2F, 0x2F, 0x2F);
    static constexpr COLORREF kTextColor = RGB(0xBA, 0xBA, 0xBA);
    static constexpr COLORREF kFace = RGB(0x3F, 0x3F, 0x3F);

    // The tree in `item` of `owner`, scrolled by the vertical scroll bar `scrollBarItem` (0:
    // none). Bind it with Init once the owner's window exists.
    QVTreeCtrl(MorvaneDialog& owner, int16_t item, int16_t scrollBarItem, ComponentCallback callback);
    ~QVTreeCtrl() override;

    // Takes the item's window (focus on click, the wheel, the arrow keys), the browser's style,
    // the rectangle, the scroll bar, the row height of the owner's font and the glyphs.
    void Init();

    void Draw() override;
    // A press in the tree (the owner's client coordinates): the hit row is selected, its glyph
    // or a double click opens or closes it. Answers false: the press is not used up.
    bool Track(Point16 point) override;

    // ---- Building. Each answers the new node, or null. Insertions mark the layout dirty;
    // nothing is redrawn until Invalidate.
    // The root, only when there is none.
    virtual TreeNode* SetRoot(const std::string& name, std::unique_ptr<TreeItemData> data = nullptr,
                              const std::optional<std::string>& displayText = std::nullopt);
    // With a null parent these make the root (InsertFirstChild's root without display text).
    virtual TreeNode* InsertFirstChild(TreeNode* parent, const std::string& name,
                                       std::unique_ptr<TreeItemData> data = nullptr,
                                       const std::optional<std::string>& displayText = std::nullopt);
    // An index beyond the children appends.
    virtual TreeNode* InsertChildAt(TreeNode* parent, size_t index, const std::string& name,
                                    std::unique_ptr<TreeItemData> data = nullptr,
                                    const std::optional<std::string>& displayText = std::nullopt);
    // After sibling; a sibling that is not the parent's child puts the node first.
    virtual TreeNode* InsertAfter(TreeNode* parent, const TreeNode* sibling, const std::string& name,
                                  std::unique_ptr<TreeItemData> data = nullptr,
                                  const std::optional<std::string>& displayText = std::nullopt);
    virtual TreeNode* AppendChild(TreeNode* parent, const std::string& name,
                                  std::unique_ptr<TreeItemData> data = nullptr,
                                  const std::optional<std::string>& displayText = std::nullopt);
    // The library's categories under the root ("_root", made when there is none): each entry's
    // name as the node's name, its label as the row's text, in the file's order.
    void AddCategories(const std::vector<CategoryNode>& categories);

    // Removes the node and its subtree. A selection inside goes (without notice) and the parent
    // is remembered, to be selected at the next Invalidate.
    void DeleteItem(TreeNode* node);
    // Selects the node, opens its ancestors, scrolls it into view and tells the owner; a node
    // already selected changes nothing.
    void SelectItem(TreeNode* node);
    // Opens every collapsed ancestor and scrolls the node into view.
    void EnsureVisible(TreeNode* node);
    // Opens or closes a node, as a click on its glyph does.
    void Toggle(TreeNode* node);
    // Applies what changed: without a selection (and unless automatic selection is off) selects
    // the remembered node, else the root; then lays out, redraws and sets the scroll range.
    void Invalidate();
    // The owner's arrow keys while the tree has the focus (DialogKeyCode): Up and Down step
    // through the visible rows, Home and End go to the first and last, Page Up and Page Down by
    // a page, Right opens a node or goes to its first child, Left closes it or goes to its
    // parent. True when the key was the tree's.
    bool HandleKey(int16_t key);

    // ---- Scrolling.
    // The scroll offset follows the scroll bar's value (in rows).
    void SyncScroll();
    // Reads the item's rectangle again (after the owner resized it) and sets the scroll bar.
    void UpdateScroll();

    // ---- Reading.
    TreeNode* Root() const { return root_.get(); }
    TreeNode* Selection() const { return selected_; }
    TreeNode* Anchor() const { return anchor_; }
    TreeNode* Remembered() const { return remembered_; }
    // The first node of that name in pre-order, or null.
    TreeNode* FindNode(const std::string& name) const;
    // Pre-order successor: the first child, else the next sibling of the node or of its nearest
    // ancestor that has one, else null.
    static TreeNode* NextNode(const TreeNode* node);
    static int IndexOfChild(const std::vector<std::unique_ptr<TreeNode>>& children, const TreeNode* node);
    // The node and the part of its row at a point in the owner's client coordinates.
    TreeHit HitTest(Point16 point);
    // The row of a laid-out node on the owner's window (its top moves with the scroll offset).
    Rect16 RowRect(const TreeNode& node) const;
    int32_t RowHeight() const { return rowHeight_; }
    int32_t ScrollOffset() const { return scrollOffset_; }
    uint32_t Style() const { return style_; }
    void SetStyle(uint32_t style) { style_ = style; }
    // While non-zero, Invalidate leaves the layout and the window alone (the owner batches).
    void SuspendDrawing(uint32_t value) { drawingSuspended_ = value; }

    static LRESULT CALLBACK ItemWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    TreeNode* Insert(TreeNode* parent, size_t index, const std::string& name, std::unique_ptr<TreeItemData> data,
                     const std::optional<std::string>& displayText, bool rootGetsText);
    bool HidesRoot() const { return (style_ & kHidesRoot) != 0; }
    bool ShowsGlyphs() const { return (style_ & kShowsGlyphs) != 0; }
    bool IsHiddenRoot(const TreeNode* node) const { return node == root_.get() && HidesRoot(); }
    // The visible nodes in order (the hidden root left out).
    std::vector<TreeNode*> VisibleNodes() const;
    void LayOut();
    void LayOutNode(TreeNode& node, int level, int32_t& y);
    void Expand(TreeNode& node);
    void Collapse(TreeNode& node);
    void OpenAncestors(TreeNode& node);
    void InvalidateRow(const TreeNode* node);
    void InvalidateFrom(const TreeNode& node);
    void InvalidateTree();
    // Sets the scroll bar from the content's size and a scroll position in pixels.
    void SetScrollRange(int32_t contentHeight, int32_t position);
    void UpdateRangeAfterChange();
    int32_t ContentHeight() const;
    int32_t VisibleRows() const;
    bool GlyphHit(const TreeNode& node, int32_t h) const;
    void DrawRow(const TreeNode& node, const Rect16& row);
    LRESULT WindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::unique_ptr<TreeNode> root_;
    TreeNode* selected_ = nullptr;
    TreeNode* anchor_ = nullptr;
    TreeNode* remembered_ = nullptr;
    TreeNode* hover_ = nullptr;
    int16_t indent_ = kIndent;
    int16_t margin_ = kLeftMargin;
    int32_t rowHeight_ = kInitialRowHeight;
    bool layoutDirty_ = false;
    uint32_t drawingSuspended_ = 0;
    int16_t scrollBarItem_;
    uint32_t style_ = 0;
    Rect16 treeRect_{};
    int32_t scrollOffset_ = 0;
    ResourceImage expandedGlyph_;
    ResourceImage collapsedGlyph_;
    HWND window_ = nullptr;
    WNDPROC replacedProc_ = nullptr;
};
