// The settings tabs whose controls this version does not offer yet: each stands in its place in
// the Window menu, in its group, in the saved placement and under the Tab key, with its title and
// a line saying that its settings are not available.
#pragma once

#include "QuorvelTab.h"

class PendingSettingsTab : public QuorvelTab {
public:
    PendingSettingsTab(PreviewEditor& editor, TabType type) : QuorvelTab(editor, type) {}

    void InitDialog() override {
        QuorvelTab::InitDialog();
        SetPageColors();
    }
};
