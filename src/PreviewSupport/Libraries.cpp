#include "Libraries.h"

#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "Errors.h"
#include "File.h"
#include "QVDatabase.h"

namespace {

// The libraries open at the start of a host call, before the user sees anything. Another process
// holds a library only for the moment it writes (an import's record, a new library's schema);
// one that keeps it longer than this is waited for no further: the call goes on without that
// library and says so, rather than holding the host for a minute.
constexpr int kOpenWaitMs = 5000;

// What the process keeps of one library: the open database, or the host call (its number) in
// which it could not be opened (so that the call's later opens neither wait nor alert again).
template <class Library>
struct LibrarySlot {
    std::unique_ptr<Library> database;
    bool failed = false;
    uint32_t failedInCall = 0;

    bool FailedInCall(uint32_t call) const { return failed && failedInCall == call; }
    void MarkFailed(uint32_t call) {
        failed = true;
        failedInCall = call;
    }
    void Forget() {
        database.reset();
        failed = false;
    }
};

struct Libraries {
    LibrarySlot<QVDatabase> frames;
    LibrarySlot<QVPresetsDatabase> presets;
    std::string libraryPath;
};

Libraries& TheLibraries() {
    static Libraries libraries;
    return libraries;
}

// Names the library file that could not be opened. An alert that cannot be shown leaves the
// library absent all the same.
void ReportLibraryNotOpened(const std::string& path) {
    try {
        RunModalDialog(nullptr, Err::FileNotOpenable, path.c_str(), nullptr);
    } catch (const ErrorCodeException&) {
    } catch (const std::bad_alloc&) {
    }
}

// Keeps the library when `open` succeeds. A library that fails is deleted at once, so the rest of
// the program sees it absent, and reported once in this host call, by the path it was asked to
// open (its default place when that is empty). An error raised on the way has shown its alert
// already.
template <class Library, class OpenFunction>
void OpenLibrary(LibrarySlot<Library>& slot, uint32_t callNumber, const std::string& requestedPath, OpenFunction open) {
    if (slot.database || slot.FailedInCall(callNumber)) return;
    std::string failedPath;
    try {
        auto library = std::make_unique<Library>();
        library->SetBusyTimeout(kOpenWaitMs);
        if (open(*library) == 0) {
            // Once open, the library's work waits for other processes as long as it always has.
            library->SetBusyTimeout(CppSQLiteDB::kDefaultBusyTimeoutMs);
            slot.database = std::move(library);
            slot.failed = false;
            return;
        }
        // The library's path names the file it tried while an open has not succeeded.
        failedPath = *library->Path() ? library->Path() : requestedPath;
        slot.MarkFailed(callNumber);
    } catch (const ErrorCodeException&) {
        slot.MarkFailed(callNumber);
        return;
    } catch (const std::bad_alloc&) {
        return;
    }
    ReportLibraryNotOpened(failedPath);
}

}  // namespace

void OpenLibraries(uint32_t callNumber) {
    Libraries& libraries = TheLibraries();
    OpenLibrary(libraries.frames, callNumber, libraries.libraryPath,
                [&](QVDatabase& db) { return db.OpenAt(libraries.libraryPath.c_str()); });
    // Relative frame specs resolve against the folder of the open frames library.
    if (libraries.frames.database) SetFrameLibraryFolder(libraries.frames.database->Path());
    OpenLibrary(libraries.presets, callNumber, std::string(), [](QVPresetsDatabase& db) { return db.OpenDefault(); });
}

QVDatabase* FramesLibrary() { return TheLibraries().frames.database.get(); }

QVPresetsDatabase* PresetsLibrary() { return TheLibraries().presets.database.get(); }

void CloseLibraries() {
    TheLibraries().frames.Forget();
    TheLibraries().presets.Forget();
}

const std::string& LibraryPathSetting() { return TheLibraries().libraryPath; }

void SetLibraryPathSetting(std::string path) { TheLibraries().libraryPath = std::move(path); }
