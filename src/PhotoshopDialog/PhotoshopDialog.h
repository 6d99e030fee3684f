// The preview dialog. Built so far: its windowless form, through which the start routine and the
// script-parameter reader open the frames and presets libraries.
#pragma once

#include <cstdint>
#include <string>

class PhotoshopFilter;
class QVDatabase;
class QVPresetsDatabase;

class PhotoshopDialog {
public:
    // The template id of the dialog that creates no window and only opens the libraries.
    static constexpr int16_t kWindowless = 0;

    // With kWindowless: opens whichever library is not open yet, the frames library at the
    // library-path setting (its default place when the setting is empty) and the presets library
    // at its default place. An open waits a few seconds at most for another process's lock. A
    // library that fails to open stays absent and is left as it is; the alert "Could not open the
    // file" names it once in a host call, and the call's later dialogs do not try it again.
    // Nothing is raised.
    PhotoshopDialog(int16_t templateId, PhotoshopFilter* filter, PhotoshopFilter* secondPreview);
    PhotoshopDialog(const PhotoshopDialog&) = delete;
    PhotoshopDialog& operator=(const PhotoshopDialog&) = delete;
    virtual ~PhotoshopDialog();

    // The filter object the dialog drives.
    PhotoshopFilter* GetFilter() const { return filter_; }

private:
    int16_t templateId_;
    PhotoshopFilter* filter_;
    PhotoshopFilter* secondPreview_;
};

// The process-wide libraries, open from the first windowless dialog on for as long as the plug-in
// is loaded; null while absent (a library that could not be opened is treated as empty).
QVDatabase* FramesLibrary();
QVPresetsDatabase* PresetsLibrary();
// Closes both libraries and forgets their failures; the next windowless dialog opens them again
// (after the library moved).
void CloseLibraries();

// The library-path setting: the full path of the frames library file, or empty for its default
// place. The preferences set it when they load.
const std::string& LibraryPathSetting();
void SetLibraryPathSetting(std::string path);
