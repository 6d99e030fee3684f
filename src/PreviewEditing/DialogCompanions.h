// The settings tabs that float beside the preview dialog, as the dialog's side of the filter sees
// them. The tabs stand above it (they edit the stack through it): the preview dialog builds them
// over its editor and hands them to it.
#pragma once

#include <cstdint>

// Tab types, in the order the tabs are built.
enum TabType : int32_t {
    kFrameStackTab = 0,
    kOptionTab = 1,
    kShapeTab = 2,
    kEdgeTab = 3,
    kBevelTab = 4,
    kBackgroundTab = 5,
    kBorderTab = 6,
    kGlowTab = 7,
    kShadowTab = 8,
    kTabTypeCount = 9,
};

class DialogCompanions {
public:
    virtual ~DialogCompanions() = default;
    // Every tab's controls follow the parameter block again.
    virtual void UpdateAll() = 0;
    // The Window menu: shows the tab unless it is its group's active page, else hides it.
    virtual void ToggleTab(TabType type) = 0;
    virtual void ShowTab(TabType type) = 0;
    virtual bool IsTabShown(TabType type) const = 0;
    // Ends every tab's pick of a colour or an offset on the preview.
    virtual void ClearPickModes() = 0;
    // Whether the keyboard focus is in an item of one of the tabs.
    virtual bool HasFocusedItem() const = 0;
    // Writes where the tabs are, and which are shown, into the preference record.
    virtual void SavePlacement() = 0;
};
