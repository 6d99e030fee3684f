// What the framework, the renderer and the stack edits ask of the preview dialog: drawing the
// preview buffers, showing progress, taking back a change that needs more memory than there is,
// the dialog's undo steps, alerts and menu commands. The dialog hands itself, as this, to every
// filter object it drives when it opens and takes itself back when it closes
// (PhotoshopFilter::SetDialog, SetOwner): code below the dialog reaches it through the object it
// runs, and finds no dialog once it has closed.
#pragma once

#include <cstdint>

class File;
class PhotoshopFilter;

class PreviewOwner {
public:
    virtual ~PreviewOwner() = default;
    // Shows the tile the instance just wrote into its preview buffers.
    virtual void ShowTile(PhotoshopFilter& instance) = 0;
    // Shows the progress of one instance.
    virtual void ShowProgress(PhotoshopFilter& instance, double done, double total) = 0;
    // Pops the last undo state into the parameter block; false when there is nothing to undo.
    virtual bool Undo() = 0;
    virtual void ReleaseSavedState() = 0;
    // Makes the parameter block as it is now an undo step; false when it was not kept.
    virtual bool PushUndoState() = 0;
    // Turns the composite-layer view off when its memory runs out.
    virtual void DisableCompositeView() = 0;
    // The dialog's settings file, which holds the dialog's own 1028 bytes before the settings.
    virtual File& SettingsFile() = 0;
    // Runs an alert over the dialog's window: the item that answered it.
    virtual int16_t AlertOverDialog(int16_t alertId) = 0;
    // Enables or greys one of the dialog's menu commands.
    virtual void EnableCommand(int16_t command, bool enabled) = 0;
};
