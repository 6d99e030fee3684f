#include "PhotoshopDialog.h"

#include <memory>
#include <new>

#include "ErrorCodes.h"
#include "File.h"
#include "QVDatabase.h"

namespace {

struct Libraries {
    std::unique_ptr<QVDatabase> frames;
    std::unique_ptr<QVPresetsDatabase> presets;
    std::string libraryPath;
};

Libraries& TheLibraries() {
    static Libraries libraries;
    return libraries;
}

// Keeps the library when `open` succeeds; a failed library is deleted at once, so the rest of
// the program sees it absent. An error raised on the way has shown its alert already.
template <class Library, class OpenFunction>
void OpenLibrary(std::unique_ptr<Library>& slot, OpenFunction open) {
    if (slot) return;
    try {
        auto library = std::make_unique<Library>();
        if (open(*library) == 0) slot = std::move(library);
    } catch (const ErrorCodeException&) {
    } catch (const std::bad_alloc&) {
    }
}

void OpenLibraries() {
    Libraries& libraries = TheLibraries();
    OpenLibrary(libraries.frames, [&](QVDatabase& db) { return db.OpenAt(libraries.libraryPath.c_str()); });
    // Relative frame specs resolve against the folder of the open frames library.
    if (libraries.frames) SetFrameLibraryFolder(libraries.frames->Path());
    OpenLibrary(libraries.presets, [](QVPresetsDatabase& db) { return db.OpenDefault(); });
}

}  // namespace

PhotoshopDialog::PhotoshopDialog(int16_t templateId, PhotoshopFilter* filter, PhotoshopFilter* secondPreview)
    : templateId_(templateId), filter_(filter), secondPreview_(secondPreview) {
    if (templateId_ == kWindowless) OpenLibraries();
}

PhotoshopDialog::~PhotoshopDialog() = default;

QVDatabase* FramesLibrary() { return TheLibraries().frames.get(); }

QVPresetsDatabase* PresetsLibrary() { return TheLibraries().presets.get(); }

void CloseLibraries() {
    TheLibraries().frames.reset();
    TheLibraries().presets.reset();
}

const std::string& LibraryPathSetting() { return TheLibraries().libraryPath; }

void SetLibraryPathSetting(std::string path) { TheLibraries().libraryPath = std::move(path); }
