// The test dialog of the tree and drop tests: template TREE_DIALOG in the interface's dark look,
// with a category tree in its user item coupled to the scroll bar beside it, and a drop target
// that records every event it hands on. The tests run it modeless and drive it from their own
// thread, or modally under ui steps.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Categories.h"
#include "DropTarget.h"
#include "GdiOwner.h"
#include "PSDialog.h"
#include "TreeControl.h"
#include "TreeTemplates.h"

// One event the drop handler received, with what the drop held.
struct RecordedDrop {
    DropEvent event;
    Point16 point;
    uint16_t modifiers;
    uint32_t kind;
    size_t count;
    std::vector<std::string> files;
    bool hadData;
};

class TreeDialog : public PSDialog {
public:
    // The categories the tree shows once the dialog is up.
    explicit TreeDialog(std::vector<CategoryNode> categories = {});
    ~TreeDialog() override;

    QVTreeCtrl& Tree() { return *tree_; }
    DropTargetHelper& Drops() { return *drops_; }

    // The names of the nodes the tree told of, in order.
    std::vector<std::string> selections;
    std::vector<RecordedDrop> drops;
    int idleTicks = 0;
    // Runs inside the drop handler, when set (a test that throws or revokes from there).
    std::function<void(DropTargetHelper&, DropEvent)> duringDrop;
    std::function<void(TreeDialog&)> onFirstIdle;

    void InitDialog() override;
    void EndDialog(int16_t result) override;
    void DrawItem(int16_t item) override;
    int16_t ItemHit(int16_t item) override;
    bool ForwardItemHit(int16_t item, double value) override;
    void Idle() override;

private:
    static bool TreeChanged(DialogComponent& component, int16_t code, intptr_t argument);

    std::vector<CategoryNode> categories_;
    std::unique_ptr<QVTreeCtrl> tree_;
    std::unique_ptr<DropTargetHelper> drops_;
};
