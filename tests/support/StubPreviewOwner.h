// A preview owner that does nothing: it stands for the preview dialog where a test needs one to
// be there.
#pragma once

#include "File.h"
#include "PreviewOwner.h"

class StubPreviewOwner : public PreviewOwner {
public:
    void ShowTile(PhotoshopFilter&) override {}
    void ShowProgress(PhotoshopFilter&, double, double) override {}
    bool Undo() override { return false; }
    void ReleaseSavedState() override {}
    bool PushUndoState() override { return false; }
    void DisableCompositeView() override {}
    File& SettingsFile() override { return settings_; }
    int16_t AlertOverDialog(int16_t) override { return 1; }
    void EnableCommand(int16_t, bool) override {}

private:
    File settings_;
};
