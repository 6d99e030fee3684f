// What the framework asks of a dialog that shows an instance's tiles: drawing the preview buffers,
// showing progress, and taking back a change that needs more memory than there is.
#pragma once

#include <cstdint>

class File;
class PhotoshopFilter;

class PreviewOwner {
public:
    virtual ~PreviewOwner() = default;
    // Draws the instance's preview buffers after a tile was written into them.
    virtual void RenderPreview(PhotoshopFilter& instance) = 0;
    // Shows the progress of one instance.
    virtual void ShowProgress(PhotoshopFilter& instance, double done, double total) = 0;
    // Pops the last undo state into the parameter block; false when there is nothing to undo.
    virtual bool Undo() = 0;
    virtual void ReleaseSavedState() = 0;
    virtual bool PushUndoState() = 0;
    // Turns the composite-layer view off when its memory runs out.
    virtual void DisableCompositeView() = 0;
    // The dialog's settings file, which holds the dialog's own 1028 bytes before the settings.
    virtual File& SettingsFile() = 0;
};

// The preview dialog while it is open (null otherwise).
PreviewOwner* OpenPreviewDialog();
void SetOpenPreviewDialog(PreviewOwner* dialog);
