// Files dragged onto a dialog from the shell. They arrive by two roads: OLE drag and drop (an
// IDropTarget registered on the dialog's window) and the older WM_DROPFILES message. The
// DropTargetHelper opens both for one dialog and turns them into one stream of events for the
// dialog's own handler: enter, over, leave, drop.
//
// Whatever is dropped comes from another program: a file list is walked within the bounds of
// its memory block before a name is read from it, names are bounded and handed on as UTF-8, and
// a block that is malformed, or holds more names or longer names than a file system has, is
// refused whole.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Geometry.h"

class MorvaneDialog;
class DropTargetHelper;
class WinDropTarget;

// The events a drop handler receives, in the order of a drag.
enum class DropEvent : int16_t {
    kEnter = 0,  // an acceptable drag came in (modifiers)
    kOver = 1,   // it moved (point)
    kLeave = 2,  // it left, or the hover ended because it is being dropped
    kDrop = 3,   // it was dropped: the data can be read during this event only
};

// The data kind that takes shell file lists (CF_HDROP) and, when a drag carries none, the first
// registered format (numbers from 0xC000) it offers in global memory.
inline constexpr uint32_t kDropKindFileUrls = 'url ';

// The owner's handler: the helper (which holds the dropped data during kDrop), the event, the
// point in the owner's client coordinates and the modifier keys (ModifierKey bits: Ctrl 1,
// Shift 2, Alt 8). Its answer is the owner's own; the helper does not read it.
using DropHandler = std::function<int16_t(DropTargetHelper& helper, DropEvent event, Point16 point, uint16_t modifiers)>;

// What the walk of a shell file list (a DROPFILES block) found.
struct DropFilesShape {
    size_t count = 0;         // the names in it
    POINT point{};            // where it was dropped, as the block says
    bool nonClient = false;   // the point is in screen coordinates
    bool wide = false;        // UTF-16 names, else names in the ANSI code page
};

namespace DropLimits {
// More names than any real selection carries: a block that claims more is refused.
inline constexpr size_t kMaxFiles = 16384;
// The longest path a Windows file system takes, in characters without the terminator.
inline constexpr size_t kMaxNameUnits = 32767;
}  // namespace DropLimits

// Walks a DROPFILES block of `size` bytes without reading past it: the header must fit, the
// names start inside the block after the header, every name ends with a terminator inside the
// block, the list ends with an empty name inside the block, and the counts stay within
// DropLimits. None when the block fails any of these; the shell's reader may then not touch it.
std::optional<DropFilesShape> WalkDropFilesBlock(const void* block, size_t size);

// The paths (UTF-8) of a file list in global memory (a shell drop handle or a CF_HDROP medium):
// walked first within the size the memory manager reports, then read through the shell's wide
// reader, which converts narrow names as the shell does. None for a refused block.
std::optional<std::vector<std::string>> ReadDroppedFiles(HGLOBAL block, DropFilesShape* shape = nullptr);

class DropTargetHelper {
public:
    // wantedKind: a clipboard format number, or kDropKindFileUrls.
    DropTargetHelper(MorvaneDialog& owner, DropHandler handler, uint32_t wantedKind = kDropKindFileUrls);
    DropTargetHelper(const DropTargetHelper&) = delete;
    DropTargetHelper& operator=(const DropTargetHelper&) = delete;
    // Revokes what is still registered.
    ~DropTargetHelper();

    // Opens both roads on the owner's window (which must exist): OLE drag and drop (needs OLE
    // initialised on the thread, as hosts do) and shell drops through WM_DROPFILES. Each road
    // that could be opened is marked; a second call does nothing.
    void Register();
    // Closes what Register opened; the owner calls it while its window still exists.
    void Revoke() noexcept;

    bool RegisteredForOle() const { return (flags_ & kOleRegistered) != 0; }
    bool AcceptsShellDrops() const { return (flags_ & kShellDropsAccepted) != 0; }
    MorvaneDialog& Owner() const { return owner_; }
    uint32_t WantedKind() const { return wantedKind_; }
    // The OLE target while registered (what OLE calls during a drag), else null.
    WinDropTarget* Target() const { return target_; }

    // ---- The drop, valid during the kDrop event only.
    // The clipboard format of the data (CF_HDROP for a file list); 0 outside a drop.
    uint32_t DroppedKind() const { return droppedKind_; }
    // The number of files of a file list; 1 for other data; 0 outside a drop.
    size_t FileCount() const { return fileCount_; }
    // The dropped files' paths (UTF-8) of a file list; empty for other data.
    const std::vector<std::string>& DroppedFiles() const { return files_; }
    // The data's global memory: a file list's DROPFILES block, or another format's bytes.
    HGLOBAL DroppedData() const { return droppedData_; }

    // The road of WM_DROPFILES, installed as the owner's drop callback.
    static void RouteShellDrop(void* context, UINT message, WPARAM wParam, LPARAM lParam);

private:
    friend class WinDropTarget;
    enum Flags : uint32_t { kOleRegistered = 1, kShellDropsAccepted = 2 };

    int16_t Send(DropEvent event, Point16 point, uint16_t modifiers);
    // Hands a drop's data to the handler as kDrop and forgets it after; the owner's next idle
    // tick is skipped so that the handler's work is not cut into by a preview slice.
    void DeliverDrop(uint32_t kind, HGLOBAL data, std::vector<std::string> files, Point16 point, uint16_t modifiers);
    Point16 ScreenToOwner(POINTL screen) const;

    MorvaneDialog& owner_;
    DropHandler handler_;
    uint32_t wantedKind_;
    HGLOBAL droppedData_ = nullptr;
    size_t fileCount_ = 0;
    uint32_t flags_ = 0;
    uint32_t droppedKind_ = 0;
    std::vector<std::string> files_;
    WinDropTarget* target_ = nullptr;  // one reference of ours while registered
    HWND registeredWindow_ = nullptr;
};

// The OLE drop target behind a DropTargetHelper. A COM object counted as COM counts: OLE holds
// references while the window is registered and a drag source may hold one through a drag, so
// the object lives until the last reference goes, and a call that comes after the helper
// revoked it answers "no drop" without reaching the helper. No exception leaves its methods.
class WinDropTarget final : public IDropTarget {
public:
    // Starts with one reference, the creator's.
    explicit WinDropTarget(DropTargetHelper* helper) : helper_(helper) {}
    WinDropTarget(const WinDropTarget&) = delete;
    WinDropTarget& operator=(const WinDropTarget&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;

    // The format taken from the drag being hovered; 0 when none is.
    uint32_t AcceptedKind() const { return acceptedKind_; }
    // The helper goes: later calls answer without it.
    void Detach() noexcept { helper_ = nullptr; }

    // The format a drag with this data is taken in for the wanted kind, or 0: the wanted format
    // itself, and for kDropKindFileUrls a shell file list before anything else, else the first
    // registered format. Only data offered in global memory counts.
    static uint32_t ReadFormats(IDataObject* data, uint32_t wantedKind);

private:
    ~WinDropTarget() = default;

    LONG references_ = 1;
    DropTargetHelper* helper_;
    uint32_t acceptedKind_ = 0;
};

// The modifier bits (ModifierKey) of an OLE key state.
uint16_t ModifiersOfKeyState(DWORD keyState);
