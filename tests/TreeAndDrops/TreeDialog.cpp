#include "TreeDialog.h"

#include "ControlDrawing.h"

TreeDialog::TreeDialog(std::vector<CategoryNode> categories)
    : PSDialog(TREE_DIALOG, DialogKind::Modal),
      categories_(std::move(categories)) {}

TreeDialog::~TreeDialog() {
    drops_.reset();
    tree_.reset();
}

void TreeDialog::InitDialog() {
    PSDialog::InitDialog();
    port_.backColor = ControlLook::kBackground;
    UpdateBackBrush(port_);
    tree_ = std::make_unique<QVTreeCtrl>(*this, TREE_VIEW, TREE_SCROLL_BAR, &TreeDialog::TreeChanged);
    tree_->Init();
    tree_->AddCategories(categories_);
    tree_->Invalidate();
    drops_ = std::make_unique<DropTargetHelper>(
        *this, [this](DropTargetHelper& helper, DropEvent event, Point16 point, uint16_t modifiers) -> int16_t {
            drops.push_back(RecordedDrop{event, point, modifiers, helper.DroppedKind(), helper.FileCount(),
                                         helper.DroppedFiles(), helper.DroppedData() != nullptr});
            if (duringDrop) duringDrop(helper, event);
            return 0;
        });
    drops_->Register();
}

void TreeDialog::EndDialog(int16_t result) {
    // Both leave the window as they found it while it still exists.
    drops_.reset();
    tree_.reset();
    PSDialog::EndDialog(result);
}

void TreeDialog::DrawItem(int16_t item) {
    if (item == TREE_VIEW && tree_) tree_->Draw();
}

int16_t TreeDialog::ItemHit(int16_t item) {
    if (item == TREE_VIEW && tree_) {
        POINT cursor{};
        GetCursorPos(&cursor);
        ScreenToClient(Window(), &cursor);
        tree_->Track(Point16{ClampToInt16(cursor.y), ClampToInt16(cursor.x)});
        return 0;
    }
    if (item == TREE_SCROLL_BAR && tree_) {
        tree_->SyncScroll();
        return 0;
    }
    return PSDialog::ItemHit(item);
}

bool TreeDialog::ForwardItemHit(int16_t item, double value) {
    if (item != TREE_SCROLL_BAR || !tree_) return false;
    SetItemValue(TREE_SCROLL_BAR, value);
    tree_->SyncScroll();
    return true;
}

void TreeDialog::Idle() {
    ++idleTicks;
    if (onFirstIdle) {
        auto once = std::move(onFirstIdle);
        onFirstIdle = nullptr;
        once(*this);
    }
}

bool TreeDialog::TreeChanged(DialogComponent& component, int16_t code, intptr_t argument) {
    auto& dialog = static_cast<TreeDialog&>(component.Owner());
    if (code == kTreeSelectionChanged && argument)
        dialog.selections.push_back(reinterpret_cast<const TreeNode*>(argument)->name);
    return true;
}
