// The drop target: the walk of shell file lists, the helper that opens both roads of a drop for
// one dialog, and the OLE target object. The OLE methods are borders: nothing thrown inside them
// leaves them.
#include "DropTarget.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <new>
#include <utility>

#include "MorvaneDialog.h"
#include "Utf.h"
#include "WindowServices.h"

static_assert(sizeof(DROPFILES) == 20, "a shell file list starts with the 20-byte DROPFILES header");
static_assert(CF_HDROP == 15, "shell file lists are clipboard format 15");

namespace {

// The first clipboard format number the system hands out to registered formats.
constexpr uint32_t kFirstRegisteredFormat = 0xC000;

// Reads one character of `width` bytes at `offset` (the block's names need not be aligned).
unsigned CharacterAt(const unsigned char* bytes, size_t offset, size_t width) {
    if (width == 1) return bytes[offset];
    uint16_t unit = 0;
    std::memcpy(&unit, bytes + offset, sizeof unit);
    return unit;
}

// Locks global memory for the guard's life.
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL memory) : memory_(memory), data_(memory ? GlobalLock(memory) : nullptr) {}
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    ~GlobalLockGuard() {
        if (data_) GlobalUnlock(memory_);
    }
    const void* Data() const { return data_; }

private:
    HGLOBAL memory_;
    void* data_;
};

// Releases a storage medium that GetData filled, whatever happens after.
class MediumGuard {
public:
    MediumGuard() = default;
    MediumGuard(const MediumGuard&) = delete;
    MediumGuard& operator=(const MediumGuard&) = delete;
    ~MediumGuard() {
        if (filled) ReleaseStgMedium(&medium);
    }
    STGMEDIUM medium{};
    bool filled = false;
};

// Hands a shell drop handle back to the shell after the drop, however the drop went.
class DragFinishGuard {
public:
    explicit DragFinishGuard(HDROP drop) : drop_(drop) {}
    DragFinishGuard(const DragFinishGuard&) = delete;
    DragFinishGuard& operator=(const DragFinishGuard&) = delete;
    ~DragFinishGuard() {
        if (drop_) DragFinish(drop_);
    }

private:
    HDROP drop_;
};

// Holds a reference for a method's length: a handler that revokes the target while it is being
// called must not delete the object under the method.
class KeepAlive {
public:
    explicit KeepAlive(IUnknown* object) : object_(object) { object_->AddRef(); }
    KeepAlive(const KeepAlive&) = delete;
    KeepAlive& operator=(const KeepAlive&) = delete;
    ~KeepAlive() { object_->Release(); }

private:
    IUnknown* object_;
};

// The answer of an OLE method left by an exception: COM callers know only HRESULTs, and a
// failed drag is no reason to end the program that dragged.
HRESULT ResultOfCurrentException() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace

// ---- Shell file lists

std::optional<DropFilesShape> WalkDropFilesBlock(const void* block, size_t size) {
    if (!block || size < sizeof(DROPFILES)) return std::nullopt;
    DROPFILES header{};
    std::memcpy(&header, block, sizeof header);
    const size_t first = header.pFiles;
    if (first < sizeof(DROPFILES) || first >= size) return std::nullopt;
    DropFilesShape shape;
    shape.point = header.pt;
    shape.nonClient = header.fNC != FALSE;
    shape.wide = header.fWide != FALSE;
    const size_t width = shape.wide ? 2 : 1;
    const auto* bytes = static_cast<const unsigned char*>(block);
    size_t offset = first;
    for (;;) {
        size_t length = 0;
        for (;;) {
            // The whole character lies inside the block, or the block is cut short.
            if (size - offset < width) return std::nullopt;
            const unsigned character = CharacterAt(bytes, offset, width);
            offset += width;
            if (character == 0) break;
            if (++length > DropLimits::kMaxNameUnits) return std::nullopt;
        }
        if (length == 0) return shape;  // the empty name that ends the list
        if (++shape.count > DropLimits::kMaxFiles) return std::nullopt;
    }
}

std::optional<std::vector<std::string>> ReadDroppedFiles(HGLOBAL block, DropFilesShape* shapeOut) {
    if (!block) return std::nullopt;
    std::optional<DropFilesShape> shape;
    {
        const size_t size = GlobalSize(block);
        GlobalLockGuard lock(block);
        if (!lock.Data()) return std::nullopt;
        shape = WalkDropFilesBlock(lock.Data(), size);
    }
    if (!shape) return std::nullopt;
    // The walk proved every name ends inside the block: the shell's reader stays within it.
    const auto drop = static_cast<HDROP>(block);
    if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) != shape->count) return std::nullopt;
    std::vector<std::string> names;
    names.reserve(shape->count);
    std::wstring name;
    for (UINT i = 0; i < shape->count; ++i) {
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        if (length == 0 || length > DropLimits::kMaxNameUnits) return std::nullopt;
        name.assign(size_t{length} + 1, L'\0');
        const UINT copied = DragQueryFileW(drop, i, name.data(), length + 1);
        if (copied != length) return std::nullopt;
        name.resize(copied);
        names.push_back(Utf16ToUtf8(name));
    }
    if (shapeOut) *shapeOut = *shape;
    return names;
}

uint16_t ModifiersOfKeyState(DWORD keyState) {
    uint16_t modifiers = 0;
    if (keyState & MK_CONTROL) modifiers |= kModifierControl;
    if (keyState & MK_SHIFT) modifiers |= kModifierShift;
    if (keyState & MK_ALT) modifiers |= kModifierAlt;
    return modifiers;
}

// ---- The helper

DropTargetHelper::DropTargetHelper(MorvaneDialog& owner, DropHandler handler, uint32_t wantedKind)
    : owner_(owner), handler_(std::move(handler)), wantedKind_(wantedKind) {}

DropTargetHelper::~DropTargetHelper() { Revoke(); }

void DropTargetHelper::Register() {
    const HWND window = owner_.Window();
    if (!window || flags_ != 0) return;
    registeredWindow_ = window;
    target_ = new WinDropTarget(this);
    if (SUCCEEDED(RegisterDragDrop(window, target_))) {
        flags_ |= kOleRegistered;
    }
    DragAcceptFiles(window, TRUE);
    owner_.SetDropCallback(&DropTargetHelper::RouteShellDrop, this);
    flags_ |= kShellDropsAccepted;
}

void DropTargetHelper::Revoke() noexcept {
    if (flags_ & kOleRegistered) RevokeDragDrop(registeredWindow_);
    if (target_) {
        // OLE or a drag in progress may still hold the object: it outlives us, without us.
        target_->Detach();
        target_->Release();
        target_ = nullptr;
    }
    if (flags_ & kShellDropsAccepted) {
        if (IsWindow(registeredWindow_)) DragAcceptFiles(registeredWindow_, FALSE);
        owner_.SetDropCallback(nullptr, nullptr);
    }
    flags_ = 0;
    registeredWindow_ = nullptr;
}

int16_t DropTargetHelper::Send(DropEvent event, Point16 point, uint16_t modifiers) {
    return handler_ ? handler_(*this, event, point, modifiers) : 0;
}

Point16 DropTargetHelper::ScreenToOwner(POINTL screen) const {
    POINT point{screen.x, screen.y};
    if (const HWND window = owner_.Window()) ScreenToClient(window, &point);
    return Point16{ClampToInt16(point.y), ClampToInt16(point.x)};
}

void DropTargetHelper::DeliverDrop(uint32_t kind, HGLOBAL data, std::vector<std::string> files, Point16 point,
                                   uint16_t modifiers) {
    // Whatever the handler does, the data is forgotten after it: the caller frees it.
    struct Forget {
        DropTargetHelper& helper;
        ~Forget() {
            helper.droppedData_ = nullptr;
            helper.droppedKind_ = 0;
            helper.fileCount_ = 0;
            helper.files_.clear();
        }
    } forget{*this};
    droppedData_ = data;
    droppedKind_ = kind;
    fileCount_ = kind == CF_HDROP ? files.size() : 1;
    files_ = std::move(files);
    owner_.SkipNextIdleTick();
    Send(DropEvent::kDrop, point, modifiers);
}

void DropTargetHelper::RouteShellDrop(void* context, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    auto* helper = static_cast<DropTargetHelper*>(context);
    const auto drop = reinterpret_cast<HDROP>(wParam);
    if (message != WM_DROPFILES || !drop) return;
    const DragFinishGuard finish(drop);
    if (!helper) return;
    DropFilesShape shape;
    std::optional<std::vector<std::string>> files = ReadDroppedFiles(reinterpret_cast<HGLOBAL>(drop), &shape);
    if (!files || files->empty()) return;
    POINT point{};
    DragQueryPoint(drop, &point);
    if (shape.nonClient && helper->owner_.Window()) ScreenToClient(helper->owner_.Window(), &point);
    helper->DeliverDrop(CF_HDROP, reinterpret_cast<HGLOBAL>(drop), std::move(*files),
                        Point16{ClampToInt16(point.y), ClampToInt16(point.x)}, GetModifierKeys());
}

// ---- The OLE target

uint32_t WinDropTarget::ReadFormats(IDataObject* data, uint32_t wantedKind) {
    if (!data) return 0;
    IEnumFORMATETC* formats = nullptr;
    if (FAILED(data->EnumFormatEtc(DATADIR_GET, &formats)) || !formats) return 0;
    struct ReleaseEnumerator {
        IEnumFORMATETC* formats;
        ~ReleaseEnumerator() { formats->Release(); }
    } release{formats};
    const bool fileUrls = wantedKind == kDropKindFileUrls;
    uint32_t registered = 0;
    FORMATETC format{};
    ULONG fetched = 0;
    while (formats->Next(1, &format, &fetched) == S_OK && fetched == 1) {
        // The enumerator hands us a target device to free with each description.
        if (format.ptd) CoTaskMemFree(format.ptd);
        if (!(format.tymed & TYMED_HGLOBAL)) continue;
        const uint32_t kind = format.cfFormat;
        if (fileUrls ? kind == CF_HDROP : kind == wantedKind) return kind;
        // A file list is what a drop of files is about; a registered format that comes first
        // (a browser's URL, the shell's descriptors) is taken only when no list comes at all.
        if (fileUrls && kind >= kFirstRegisteredFormat && registered == 0) registered = kind;
    }
    return registered;
}

HRESULT STDMETHODCALLTYPE WinDropTarget::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IDropTarget) || IsEqualIID(iid, IID_IUnknown)) {
        *object = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE WinDropTarget::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG STDMETHODCALLTYPE WinDropTarget::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE WinDropTarget::DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) {
    if (!effect) return E_INVALIDARG;
    const KeepAlive alive(this);
    try {
        *effect = DROPEFFECT_NONE;
        acceptedKind_ = helper_ ? ReadFormats(data, helper_->wantedKind_) : 0;
        if (acceptedKind_ == 0) return S_OK;
        *effect = DROPEFFECT_COPY;
        const Point16 at = helper_->ScreenToOwner(point);
        helper_->Send(DropEvent::kEnter, at, ModifiersOfKeyState(keyState));
        if (helper_) helper_->Send(DropEvent::kOver, at, ModifiersOfKeyState(keyState));
        return S_OK;
    } catch (...) {
        *effect = DROPEFFECT_NONE;
        return ResultOfCurrentException();
    }
}

HRESULT STDMETHODCALLTYPE WinDropTarget::DragOver(DWORD keyState, POINTL point, DWORD* effect) {
    if (!effect) return E_INVALIDARG;
    const KeepAlive alive(this);
    try {
        *effect = DROPEFFECT_NONE;
        if (acceptedKind_ == 0 || !helper_) return S_OK;
        *effect = DROPEFFECT_COPY;
        helper_->Send(DropEvent::kOver, helper_->ScreenToOwner(point), ModifiersOfKeyState(keyState));
        return S_OK;
    } catch (...) {
        *effect = DROPEFFECT_NONE;
        return ResultOfCurrentException();
    }
}

HRESULT STDMETHODCALLTYPE WinDropTarget::DragLeave() {
    const KeepAlive alive(this);
    const uint32_t accepted = std::exchange(acceptedKind_, 0);
    try {
        if (accepted != 0 && helper_) helper_->Send(DropEvent::kLeave, Point16{}, 0);
        return S_OK;
    } catch (...) {
        return ResultOfCurrentException();
    }
}

HRESULT STDMETHODCALLTYPE WinDropTarget::Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) {
    if (!effect) return E_INVALIDARG;
    const KeepAlive alive(this);
    const uint32_t accepted = std::exchange(acceptedKind_, 0);
    try {
        *effect = DROPEFFECT_NONE;
        if (accepted == 0 || !helper_ || !data) return S_OK;
        const Point16 at = helper_->ScreenToOwner(point);
        const uint16_t modifiers = ModifiersOfKeyState(keyState);
        // The hover ends before the drop is handled, whatever the data turns out to be.
        helper_->Send(DropEvent::kLeave, at, modifiers);
        if (!helper_) return S_OK;
        FORMATETC format{static_cast<CLIPFORMAT>(accepted), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        MediumGuard fetched;
        if (FAILED(data->GetData(&format, &fetched.medium))) return S_OK;
        fetched.filled = true;
        if (fetched.medium.tymed != TYMED_HGLOBAL || !fetched.medium.hGlobal) return S_OK;
        std::vector<std::string> files;
        if (accepted == CF_HDROP) {
            std::optional<std::vector<std::string>> names = ReadDroppedFiles(fetched.medium.hGlobal);
            if (!names || names->empty()) return S_OK;
            files = std::move(*names);
        }
        *effect = DROPEFFECT_COPY;
        helper_->DeliverDrop(accepted, fetched.medium.hGlobal, std::move(files), at, modifiers);
        return S_OK;
    } catch (...) {
        *effect = DROPEFFECT_NONE;
        return ResultOfCurrentException();
    }
}
