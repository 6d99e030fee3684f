// The category tree on a real dialog: the library's category file read into rows under a hidden
// root, clicks, double clicks, keys and the wheel through the desktop's input, the scroll bar's
// whole rows, the selection kept sound through collapsing and deleting, pixel probes of the rows
// on screen, and a picture of the tree ("tree.png", kept when QUORVEL_SHOTS names a folder).
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ControlDrawing.h"
#include "DesktopInput.h"
#include "QuorvelHostCore/ImageFiles.h"
#include "QuorvelHostCore/UiScript.h"
#include "TempFolder.h"
#include "TreeDialog.h"
#include "UiShots.h"
#include "Utf.h"
#include "WindowShot.h"

namespace {

using namespace ControlLook;

// ---- The categories file

std::string Entry(const std::string& name, const std::string& children = "", const std::string& label = "") {
    std::string entry = "<dict><key>name</key><string>" + name + "</string>";
    if (!label.empty()) entry += "<key>displayName</key><string>" + label + "</string>";
    if (!children.empty()) entry += "<key>categories</key><array>" + children + "</array>";
    return entry + "</dict>";
}

// Twenty top-level rows, more than the tree shows at once: two with children, one nested twice.
std::vector<CategoryNode> LibraryCategories() {
    std::string entries = Entry("Classic", Entry("Wood") + Entry("Metal"), "Classic Frames") +
                          Entry("Film", Entry("35mm", Entry("Slide")) + Entry("Polaroid")) + Entry("Grunge") +
                          Entry("Cafe", "", "Café Ω");
    for (int n = 1; n <= 16; ++n) entries += Entry("Set " + std::string(n < 10 ? "0" : "") + std::to_string(n));
    const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><array>" + entries +
                            "</array></plist>\n";
    TempFolder folder;
    const std::string path = folder / "QuorvelCategories.xml";
    if (FILE* out = _wfopen(Utf8ToUtf16(path).c_str(), L"wb")) {
        std::fwrite(xml.data(), 1, xml.size(), out);
        std::fclose(out);
    }
    Categories categories;
    categories.LoadCategories(path);
    return categories.Tree();
}

// ---- The desktop

// Runs the messages for a while: input sent from another thread arrives, paints happen.
void Settle(int milliseconds = 120) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        PumpPending();
        Sleep(5);
    }
}

// Input from a second thread, as the user's hand gives it, while this thread runs its messages.
void FromTheHand(const std::function<void()>& hand) {
    std::thread thread(hand);
    thread.join();
    Settle();
}

// Presses and releases the left button at a screen point. Clicks further apart than a double
// click's time are two clicks.
void Click(POINT at) {
    Sleep(GetDoubleClickTime() + 60);
    FromTheHand([at] {
        SendPointerAt(at, 0);
        Sleep(30);
        SendPointerAt(at, MOUSEEVENTF_LEFTDOWN);
        Sleep(30);
        SendPointerAt(at, MOUSEEVENTF_LEFTUP);
    });
}

void DoubleClick(POINT at) {
    Sleep(GetDoubleClickTime() + 60);
    FromTheHand([at] {
        SendPointerAt(at, 0);
        for (int n = 0; n < 2; ++n) {
            Sleep(30);
            SendPointerAt(at, MOUSEEVENTF_LEFTDOWN);
            Sleep(30);
            SendPointerAt(at, MOUSEEVENTF_LEFTUP);
        }
    });
}

void Wheel(POINT at, int delta) {
    FromTheHand([at, delta] {
        SetCursorPos(at.x, at.y);
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = MOUSEEVENTF_WHEEL;
        input.mi.mouseData = static_cast<DWORD>(delta);
        SendInput(1, &input, sizeof input);
    });
}

void Type(WORD key) {
    SendKeys({key}, false);
    SendKeys({key}, true);
    Settle();
}

// The dialog's client area as the screen shows it.
class ClientShot {
public:
    explicit ClientShot(HWND window) {
        RECT client{};
        GetClientRect(window, &client);
        POINT origin{0, 0};
        ClientToScreen(window, &origin);
        width_ = client.right;
        height_ = client.bottom;
        pixels_.assign(static_cast<size_t>(width_) * height_, 0);
        const HDC screen = GetDC(nullptr);
        const OwnedMemoryDC memory(CreateCompatibleDC(screen));
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width_, -height_, 1, 32, BI_RGB};
        void* bits = nullptr;
        const OwnedBitmap bitmap(CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (memory && bitmap && bits) {
            const HGDIOBJ old = SelectObject(memory.Get(), bitmap.Get());
            BitBlt(memory.Get(), 0, 0, width_, height_, screen, origin.x, origin.y, SRCCOPY);
            GdiFlush();
            std::memcpy(pixels_.data(), bits, pixels_.size() * 4);
            SelectObject(memory.Get(), old);
        }
        ReleaseDC(nullptr, screen);
    }

    COLORREF At(int x, int y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
        const uint32_t bgra = pixels_[static_cast<size_t>(y) * width_ + x];
        return RGB((bgra >> 16) & 0xFF, (bgra >> 8) & 0xFF, bgra & 0xFF);
    }
    int Count(COLORREF color, const Rect16& r) const {
        int count = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) count += At(x, y) == color;
        return count;
    }

private:
    int width_ = 0, height_ = 0;
    std::vector<uint32_t> pixels_;
};

// ---- The dialog

class TreeOnScreen : public ::testing::Test {
protected:
    void SetUp() override {
        dialog_ = std::make_unique<TreeDialog>(LibraryCategories());
        ASSERT_NE(dialog_->CreateModeless(), nullptr);
        SetForegroundWindow(dialog_->Window());
        Redraw();
    }
    void TearDown() override {
        if (dialog_->Window()) dialog_->EndDialog(TREE_CANCEL);
        PumpPending();
        dialog_.reset();
    }

    QVTreeCtrl& Tree() { return dialog_->Tree(); }
    TreeNode& Node(const std::string& name) {
        TreeNode* node = Tree().FindNode(name);
        EXPECT_NE(node, nullptr) << name;
        return *node;
    }
    void Redraw() {
        RedrawWindow(dialog_->Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        Settle(150);
    }
    POINT OnScreen(int x, int y) {
        POINT p{x, y};
        ClientToScreen(dialog_->Window(), &p);
        return p;
    }
    int RowMiddle(const TreeNode& node) {
        const Rect16 row = Tree().RowRect(node);
        return (row.top + row.bottom) / 2;
    }
    POINT TextOf(const std::string& name) {
        const TreeNode& node = Node(name);
        return OnScreen(Tree().ItemRect().left + node.x + 4, RowMiddle(node));
    }
    POINT GlyphOf(const std::string& name) {
        const TreeNode& node = Node(name);
        return OnScreen(Tree().ItemRect().left + node.x - QVTreeCtrl::kLeftMargin + 4, RowMiddle(node));
    }
    int ScrollValue() { return dialog_->GetItemRounded(TREE_SCROLL_BAR); }
    int ScrollMaximum() {
        double low = 0, high = 0;
        dialog_->GetItemRange(TREE_SCROLL_BAR, low, high);
        return static_cast<int>(high);
    }

    std::unique_ptr<TreeDialog> dialog_;
};

TEST_F(TreeOnScreen, TheCategoriesAreRowsUnderAHiddenRootIndentedByLevel) {
    QVTreeCtrl& tree = Tree();
    ASSERT_NE(tree.Root(), nullptr);
    EXPECT_EQ(tree.Root()->name, "_root");
    EXPECT_EQ(tree.Root()->children.size(), 20u);
    // The new root is the selection without a word to the owner; nothing else is selected.
    EXPECT_EQ(tree.Selection(), tree.Root());
    EXPECT_TRUE(dialog_->selections.empty());
    EXPECT_EQ(Node("Classic").Text(), "Classic Frames");
    EXPECT_EQ(Node("Cafe").Text(), "Café Ω");
    EXPECT_EQ(tree.RowHeight(), dialog_->FontHeight() + QVTreeCtrl::kRowPadding);

    // Top-level text at margin + indent, its glyph from 8; the rows stack from the top.
    EXPECT_EQ(Node("Classic").x, 23);
    EXPECT_EQ(Node("Classic").y, 2);
    EXPECT_EQ(Node("Film").y, 2 + tree.RowHeight());
    const Rect16 box = tree.ItemRect();
    const int16_t film = static_cast<int16_t>(RowMiddle(Node("Film")));
    const auto partAt = [&](int h) { return tree.HitTest(Point16{film, static_cast<int16_t>(box.left + h)}); };
    EXPECT_EQ(partAt(8).node, &Node("Film"));
    EXPECT_TRUE(partAt(8).flags & TreeHitPart::kGlyph);
    EXPECT_TRUE(partAt(25).flags & TreeHitPart::kOnText);
    EXPECT_TRUE(partAt(3).flags & TreeHitPart::kLeftOfText);
    EXPECT_TRUE(partAt(RectWidth(box) - 2).flags & TreeHitPart::kRightOfText);
    // Grunge has no children: no glyph to hit where Film has one.
    const int16_t grunge = static_cast<int16_t>(RowMiddle(Node("Grunge")));
    EXPECT_FALSE(tree.HitTest(Point16{grunge, static_cast<int16_t>(box.left + 8)}).flags & TreeHitPart::kGlyph);
    // The row's top pixel belongs to the row as drawn, not to the one above.
    EXPECT_EQ(tree.HitTest(Point16{tree.RowRect(Node("Film")).top, static_cast<int16_t>(box.left + 30)}).node,
              &Node("Film"));

    // A second level stands one indent further right, once its parent opens.
    tree.SelectItem(&Node("Wood"));
    EXPECT_FALSE(Node("Classic").Collapsed());
    EXPECT_EQ(Node("Wood").x, 31);
    EXPECT_EQ(dialog_->selections, (std::vector<std::string>{"Wood"}));
}

TEST_F(TreeOnScreen, TheRowsDrawInTheDarkLookWithTheSelectionBarTheRulesAndTheGlyphs) {
    Tree().SelectItem(&Node("Grunge"));
    Redraw();
    const ClientShot shot(dialog_->Window());
    const Rect16 box = Tree().ItemRect();
    const Rect16 grunge = Tree().RowRect(Node("Grunge"));
    const Rect16 film = Tree().RowRect(Node("Film"));
    const int middle = (grunge.top + grunge.bottom) / 2;
    const int textLeft = box.left + Node("Grunge").x;
    // The bar runs from two pixels left of the text; a row without selection keeps the face.
    EXPECT_EQ(shot.At(textLeft - 1, middle), kSurface);
    EXPECT_EQ(shot.At(textLeft - 1, (film.top + film.bottom) / 2), kBackground);
    EXPECT_EQ(shot.At(box.right - 3, middle), kBackground);
    EXPECT_GT(shot.Count(kText, Rect16{grunge.top, static_cast<int16_t>(textLeft), grunge.bottom,
                                       static_cast<int16_t>(textLeft + Node("Grunge").width)}),
              5);
    // A rule under every row and along the tree's top.
    EXPECT_EQ(shot.At(box.right - 3, grunge.bottom - 1), kSeparator);
    EXPECT_EQ(shot.At(box.left + 3, film.bottom - 1), kSeparator);
    EXPECT_EQ(shot.At(box.right - 3, box.top), kSeparator);
    // The collapsed glyph before Film, none before Grunge.
    const Rect16 filmGlyph{film.top, static_cast<int16_t>(box.left + 8), static_cast<int16_t>(film.bottom - 1),
                           static_cast<int16_t>(box.left + 17)};
    const Rect16 grungeGlyph{grunge.top, static_cast<int16_t>(box.left + 8), static_cast<int16_t>(grunge.bottom - 1),
                             static_cast<int16_t>(box.left + 17)};
    EXPECT_GT(shot.Count(kText, filmGlyph), 6);
    EXPECT_EQ(shot.Count(kText, grungeGlyph), 0);
}

TEST_F(TreeOnScreen, TheGlyphOpensTheTextSelectsAndADoubleClickDoesBoth) {
    const HWND treeWindow = dialog_->ItemWindow(TREE_VIEW);

    // The glyph opens Film and leaves the selection alone.
    Click(GlyphOf("Film"));
    EXPECT_FALSE(Node("Film").Collapsed());
    EXPECT_EQ(Tree().Selection(), Tree().Root());
    EXPECT_TRUE(dialog_->selections.empty());
    EXPECT_EQ(GetFocus(), treeWindow);

    // The text selects, and tells the owner once; the selected row clicked again tells nothing.
    Click(TextOf("35mm"));
    EXPECT_EQ(Tree().Selection(), &Node("35mm"));
    EXPECT_TRUE(Node("35mm").Selected());
    EXPECT_FALSE(Tree().Root()->Selected());
    Click(TextOf("35mm"));
    EXPECT_EQ(dialog_->selections, (std::vector<std::string>{"35mm"}));

    // Closing Film while Slide, deep inside it, is selected moves the selection to Film at once.
    Click(GlyphOf("35mm"));
    Click(TextOf("Slide"));
    ASSERT_EQ(Tree().Selection(), &Node("Slide"));
    Click(GlyphOf("Film"));
    EXPECT_TRUE(Node("Film").Collapsed());
    EXPECT_EQ(Tree().Selection(), &Node("Film"));
    EXPECT_FALSE(Node("Slide").Selected());
    EXPECT_EQ(dialog_->selections, (std::vector<std::string>{"35mm", "Slide", "Film"}));

    // A double click on a row's text selects it and opens it; on a row without children it only
    // selects.
    DoubleClick(TextOf("Classic"));
    EXPECT_EQ(Tree().Selection(), &Node("Classic"));
    EXPECT_FALSE(Node("Classic").Collapsed());
    DoubleClick(TextOf("Grunge"));
    EXPECT_EQ(Tree().Selection(), &Node("Grunge"));
    EXPECT_EQ(dialog_->selections, (std::vector<std::string>{"35mm", "Slide", "Film", "Classic", "Grunge"}));
}

TEST_F(TreeOnScreen, KeysStepThroughTheVisibleRowsOpenCloseAndScrollTheSelectionIntoView) {
    Click(TextOf("Classic"));
    ASSERT_EQ(GetFocus(), dialog_->ItemWindow(TREE_VIEW));
    Type(VK_DOWN);
    EXPECT_EQ(Tree().Selection(), &Node("Film"));
    Type(VK_RIGHT);
    EXPECT_FALSE(Node("Film").Collapsed());
    EXPECT_EQ(Tree().Selection(), &Node("Film"));
    Type(VK_RIGHT);
    EXPECT_EQ(Tree().Selection(), &Node("35mm"));
    Type(VK_LEFT);
    EXPECT_EQ(Tree().Selection(), &Node("Film"));
    Type(VK_LEFT);
    EXPECT_TRUE(Node("Film").Collapsed());
    Type(VK_UP);
    EXPECT_EQ(Tree().Selection(), &Node("Classic"));
    EXPECT_EQ(dialog_->selections, (std::vector<std::string>{"Classic", "Film", "35mm", "Film", "Classic"}));

    // The last row lies below the rows that show: End scrolls it into view in whole rows.
    Type(VK_END);
    ASSERT_EQ(Tree().Selection(), &Node("Set 16"));
    EXPECT_GT(ScrollValue(), 0);
    EXPECT_EQ(Tree().ScrollOffset(), ScrollValue() * Tree().RowHeight());
    const Rect16 row = Tree().RowRect(Node("Set 16"));
    EXPECT_GE(row.top, Tree().ItemRect().top);
    EXPECT_LE(row.bottom, Tree().ItemRect().bottom);
    Type(VK_HOME);
    EXPECT_EQ(Tree().Selection(), &Node("Classic"));
    EXPECT_EQ(Tree().ScrollOffset(), 0);
}

TEST_F(TreeOnScreen, TheWheelAndTheScrollBarMoveWholeRows) {
    const int rowHeight = Tree().RowHeight();
    Click(TextOf("Grunge"));
    const POINT inside = TextOf("Grunge");
    Wheel(inside, -WHEEL_DELTA);
    EXPECT_EQ(ScrollValue(), 1);
    EXPECT_EQ(Tree().ScrollOffset(), rowHeight);
    Wheel(inside, WHEEL_DELTA);
    Wheel(inside, WHEEL_DELTA);  // at the top nothing moves
    EXPECT_EQ(ScrollValue(), 0);
    EXPECT_EQ(Tree().ScrollOffset(), 0);

    // The scroll bar's arrow moves one row and its page the rows that show.
    const HWND bar = dialog_->ItemWindow(TREE_SCROLL_BAR);
    const auto scroll = [&](WORD code) {
        SendMessageW(dialog_->Window(), WM_VSCROLL, MAKEWPARAM(code, 0), reinterpret_cast<LPARAM>(bar));
        SendMessageW(dialog_->Window(), WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), reinterpret_cast<LPARAM>(bar));
    };
    scroll(SB_LINEDOWN);
    EXPECT_EQ(Tree().ScrollOffset(), rowHeight);
    const int visibleRows = RectHeight(Tree().ItemRect()) / rowHeight;
    scroll(SB_PAGEDOWN);
    EXPECT_EQ(Tree().ScrollOffset(), std::min(1 + visibleRows, ScrollMaximum()) * rowHeight);
    // The bottom of the range shows the last row within the tree. The range was last set by
    // the click's selection, which leaves a row of room below the rows it scrolls into view.
    for (int n = 0; n < 5; ++n) scroll(SB_PAGEDOWN);
    EXPECT_EQ(ScrollValue(), ScrollMaximum());
    EXPECT_EQ(ScrollMaximum(), 20 + 1 - visibleRows);
    const Rect16 last = Tree().RowRect(Node("Set 16"));
    EXPECT_LE(last.bottom, Tree().ItemRect().bottom);
    EXPECT_GT(last.bottom, Tree().ItemRect().bottom - 2 * rowHeight);
}

TEST_F(TreeOnScreen, SelectingARowBelowTheVisibleOnesScrollsItJustIntoView) {
    QVTreeCtrl& tree = Tree();
    TreeNode& target = Node("Set 10");
    const int visibleHeight = RectHeight(tree.ItemRect());
    ASSERT_GT(target.y + tree.RowHeight(), visibleHeight) << "the row starts out of view";
    tree.SelectItem(&target);
    const int expected = (target.y + 2 * tree.RowHeight() + 2 - visibleHeight) / tree.RowHeight();
    EXPECT_EQ(ScrollValue(), expected);
    EXPECT_EQ(tree.ScrollOffset(), expected * tree.RowHeight());
    // And back above: the row comes to the top.
    tree.SelectItem(&Node("Film"));
    EXPECT_EQ(ScrollValue(), 1);
    EXPECT_EQ(tree.RowRect(Node("Film")).top, tree.ItemRect().top);
}

TEST_F(TreeOnScreen, ALostSelectionComesBackToTheNearestNodeLeftAtTheNextInvalidate) {
    QVTreeCtrl& tree = Tree();
    tree.SelectItem(&Node("Slide"));
    TreeNode* film = &Node("Film");
    dialog_->selections.clear();

    // Deleting the selection's parent leaves no selection and no notice until Invalidate, which
    // selects the grandparent; nothing dangles meanwhile.
    tree.DeleteItem(&Node("35mm"));
    EXPECT_EQ(tree.Selection(), nullptr);
    EXPECT_EQ(tree.Anchor(), nullptr);
    EXPECT_EQ(tree.Remembered(), film);
    EXPECT_EQ(tree.FindNode("Slide"), nullptr);
    EXPECT_TRUE(dialog_->selections.empty());
    tree.Invalidate();
    EXPECT_EQ(tree.Selection(), film);
    EXPECT_EQ(dialog_->selections, (std::vector<std::string>{"Film"}));
    ASSERT_EQ(film->children.size(), 1u);
    EXPECT_EQ(film->children[0]->name, "Polaroid");

    // Deleting the selected node itself: its parent at the next Invalidate.
    tree.SelectItem(&Node("Polaroid"));
    tree.DeleteItem(&Node("Polaroid"));
    tree.Invalidate();
    EXPECT_EQ(tree.Selection(), film);
    // Film has no children left: no glyph, no opening.
    EXPECT_FALSE(film->Opens());
    EXPECT_EQ(tree.NextNode(film), &Node("Grunge"));
}

TEST_F(TreeOnScreen, InsertionsPlaceNodesAndHandTheirDataTheirNode) {
    QVTreeCtrl& tree = Tree();
    TreeNode* grunge = &Node("Grunge");
    struct Tag : TreeItemData {
        explicit Tag(bool& gone) : gone(gone) {}
        ~Tag() override { gone = true; }
        bool& gone;
    };
    bool tagGone = false;
    auto tag = std::make_unique<Tag>(tagGone);
    Tag* data = tag.get();
    TreeNode* b = tree.AppendChild(grunge, "B", std::move(tag), std::string("Second"));
    TreeNode* a = tree.InsertFirstChild(grunge, "A");
    TreeNode* c = tree.InsertAfter(grunge, b, "C");
    TreeNode* first = tree.InsertAfter(grunge, &Node("Film"), "Z");  // not Grunge's child: goes first
    TreeNode* last = tree.InsertChildAt(grunge, 99, "End");
    ASSERT_TRUE(a && b && c && first && last);
    EXPECT_EQ(data->node, b);
    EXPECT_EQ(b->Text(), "Second");
    std::vector<std::string> order;
    for (const auto& child : grunge->children) order.push_back(child->name);
    EXPECT_EQ(order, (std::vector<std::string>{"Z", "A", "B", "C", "End"}));
    // A second root is refused: the tree has one.
    EXPECT_EQ(tree.SetRoot("other"), nullptr);
    EXPECT_EQ(tree.AppendChild(nullptr, "other"), nullptr);
    tree.Invalidate();
    tree.DeleteItem(grunge);
    EXPECT_TRUE(tagGone);
    EXPECT_EQ(tree.FindNode("B"), nullptr);
}

// ---- The picture

TEST(TreePicture, TheUiStepsPhotographTheTreeAndCloseItsDialog) {
    TempFolder temporary("QuorvelTree");
    const std::string folder = ShotFolder().empty() ? std::string(temporary / "") : ShotFolder();
    const std::string shot = (std::filesystem::path(folder) / "tree.png").string();
    TreeDialog dialog(LibraryCategories());
    dialog.onFirstIdle = [](TreeDialog& d) {
        QVTreeCtrl& tree = d.Tree();
        tree.SelectItem(tree.FindNode("Slide"));
        tree.SelectItem(tree.FindNode("Wood"));
        // Drawn at once, so that the picture shows the rows whatever the paint order.
        RedrawWindow(d.Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    };
    int16_t result = 0;
    const qvhost::UiReport report = qvhost::DriveDialogs(UiSteps("wait 600; shot \"" + shot + "\"; press 2"), {},
                                                         [&] { result = dialog.RunModal(); });
    EXPECT_TRUE(report.completed) << report.error;
    EXPECT_EQ(result, TREE_CANCEL);
    EXPECT_EQ(dialog.selections, (std::vector<std::string>{"Slide", "Wood"}));

    qvhost::RasterImage image;
    std::string error;
    ASSERT_TRUE(qvhost::ReadImageFile(shot, image, error)) << error;
    ASSERT_GT(image.width, 200);
    ASSERT_GT(image.height, 200);
    int background = 0, bar = 0, rule = 0, text = 0, probes = 0;
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x, ++probes) {
            const COLORREF c = PixelAt(image, x, y);
            background += c == kBackground;
            bar += c == kSurface;
            rule += c == kSeparator;
            text += c == kText;
        }
    }
    EXPECT_GT(background, probes / 3);
    EXPECT_GT(bar, 100);                // the selected row's bar
    EXPECT_GT(rule, 10 * 200);          // a rule under each of the rows that show
    EXPECT_GT(text, probes / 400);
}

}  // namespace
