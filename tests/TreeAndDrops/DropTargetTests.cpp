// The drop target on a real dialog: shell drops posted as WM_DROPFILES with file lists built by
// hand (wide and narrow names, cut and malformed blocks), and OLE drags played against the
// registered target by a data object of the test's own, with and without a file list.
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "DesktopInput.h"
#include "TreeDialog.h"
#include "Utf.h"
#include "WindowServices.h"

namespace {

// ---- File lists built by hand

// A DROPFILES block: the header, then the names, each terminated, then an empty name. Narrow
// names are written as their bytes.
std::vector<unsigned char> FileList(const std::vector<std::string>& names, bool wide, POINT at = {40, 30}) {
    DROPFILES header{};
    header.pFiles = sizeof header;
    header.pt = at;
    header.fWide = wide;
    std::vector<unsigned char> block(sizeof header);
    std::memcpy(block.data(), &header, sizeof header);
    const auto append = [&](const void* data, size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        block.insert(block.end(), bytes, bytes + size);
    };
    for (const std::string& name : names) {
        if (wide) {
            const std::wstring text = Utf8ToUtf16(name);
            append(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        } else {
            append(name.c_str(), name.size() + 1);
        }
    }
    const wchar_t end = 0;
    append(&end, wide ? sizeof end : 1);
    return block;
}

// The block in global memory of exactly its size, as the shell hands it over.
HGLOBAL InGlobalMemory(const std::vector<unsigned char>& block) {
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, block.size());
    if (!memory) return nullptr;
    std::memcpy(GlobalLock(memory), block.data(), block.size());
    GlobalUnlock(memory);
    return memory;
}

// ---- A data object of our own

class FakeFormats final : public IEnumFORMATETC {
public:
    FakeFormats(std::vector<CLIPFORMAT> formats, int& live) : formats_(std::move(formats)), live_(live) { ++live_; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumFORMATETC)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            --live_;
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, FORMATETC* out, ULONG* fetched) override {
        ULONG n = 0;
        for (; n < count && next_ < formats_.size(); ++n, ++next_)
            out[n] = FORMATETC{formats_[next_], nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        next_ += count;
        return next_ <= formats_.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        next_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC**) override { return E_NOTIMPL; }

private:
    std::vector<CLIPFORMAT> formats_;
    size_t next_ = 0;
    ULONG references_ = 1;
    int& live_;
};

// Offers its formats in the given order; each gives a copy of its bytes in global memory.
class FakeData final : public IDataObject {
public:
    struct Offer {
        CLIPFORMAT format;
        std::vector<unsigned char> bytes;
    };
    explicit FakeData(std::vector<Offer> offers) : offers_(std::move(offers)) {}

    int liveEnumerators = 0;
    int fetches = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }  // lives on the test's stack
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        for (const Offer& offer : offers_) {
            if (offer.format != format->cfFormat || !(format->tymed & TYMED_HGLOBAL)) continue;
            ++fetches;
            medium->tymed = TYMED_HGLOBAL;
            medium->hGlobal = InGlobalMemory(offer.bytes);
            medium->pUnkForRelease = nullptr;
            return medium->hGlobal ? S_OK : E_OUTOFMEMORY;
        }
        return DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        for (const Offer& offer : offers_)
            if (offer.format == format->cfFormat) return S_OK;
        return DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
        if (direction != DATADIR_GET) return E_NOTIMPL;
        std::vector<CLIPFORMAT> formats;
        for (const Offer& offer : offers_) formats.push_back(offer.format);
        *out = new FakeFormats(std::move(formats), liveEnumerators);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    std::vector<Offer> offers_;
    ULONG references_ = 1;
};

// ---- The dialog

class Drops : public ::testing::Test {
protected:
    void SetUp() override {
        // The host initialises OLE on its thread before it calls the plug-in; the test is the host.
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        dialog_ = std::make_unique<TreeDialog>();
        ASSERT_NE(dialog_->CreateModeless(), nullptr);
        PumpPending();
    }
    void TearDown() override {
        if (dialog_->Window()) dialog_->EndDialog(TREE_CANCEL);
        PumpPending();
        dialog_.reset();
        OleUninitialize();
    }

    DropTargetHelper& Helper() { return dialog_->Drops(); }
    WinDropTarget& Target() { return *Helper().Target(); }
    std::vector<DropEvent> Events() const {
        std::vector<DropEvent> events;
        for (const RecordedDrop& drop : dialog_->drops) events.push_back(drop.event);
        return events;
    }
    POINTL ScreenPoint(int x, int y) {
        POINT p{x, y};
        ClientToScreen(dialog_->Window(), &p);
        return POINTL{p.x, p.y};
    }
    void PostDrop(const std::vector<unsigned char>& block) {
        const HGLOBAL memory = InGlobalMemory(block);
        ASSERT_NE(memory, nullptr);
        // The shell hands the handle over with the message; the dialog gives it back (DragFinish).
        PostMessageW(dialog_->Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
        PumpPending();
    }

    std::unique_ptr<TreeDialog> dialog_;
};

TEST_F(Drops, BothRoadsOpenOnTheDialogsWindow) {
    EXPECT_TRUE(Helper().RegisteredForOle());
    EXPECT_TRUE(Helper().AcceptsShellDrops());
    EXPECT_TRUE(GetWindowLongW(dialog_->Window(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    // The window has its target: a second one is refused until ours is revoked.
    EXPECT_EQ(RegisterDragDrop(dialog_->Window(), &Target()), DRAGDROP_E_ALREADYREGISTERED);
}

TEST_F(Drops, ShellDropsHandTheirNamesOnAsUtf8WithThePointAndSkipTheNextIdleTick) {
    struct Case {
        bool wide;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {true, {"C:\\Frames\\Käse.jpg", "C:\\Frames\\写真 Ω.png", "D:\\a"}},
        {false, {"C:\\Frames\\narrow one.jpg", "C:\\x.png"}},
    };
    // Only the ticks the test posts: the timer's own would race them.
    KillTimer(dialog_->Window(), DialogIds::kIdleTimer);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wide ? "wide" : "narrow");
        dialog_->drops.clear();
        int ticksAtDrop = -1;
        dialog_->duringDrop = [&](DropTargetHelper&, DropEvent) { ticksAtDrop = dialog_->idleTicks; };
        PostDrop(FileList(c.names, c.wide, POINT{40, 30}));
        ASSERT_EQ(dialog_->drops.size(), 1u);
        const RecordedDrop& drop = dialog_->drops[0];
        EXPECT_EQ(drop.event, DropEvent::kDrop);
        EXPECT_EQ(drop.kind, static_cast<uint32_t>(CF_HDROP));
        EXPECT_EQ(drop.count, c.names.size());
        EXPECT_EQ(drop.files, c.names);
        EXPECT_TRUE(drop.hadData);
        EXPECT_EQ(drop.point.h, 40);
        EXPECT_EQ(drop.point.v, 30);
        // The data is the event's only.
        EXPECT_EQ(Helper().DroppedData(), nullptr);
        EXPECT_TRUE(Helper().DroppedFiles().empty());
        EXPECT_EQ(Helper().FileCount(), 0u);

        // The first idle tick after the drop is skipped, the next one runs.
        PostMessageW(dialog_->Window(), WM_TIMER, DialogIds::kIdleTimer, 0);
        PumpPending();
        EXPECT_EQ(dialog_->idleTicks, ticksAtDrop);
        PostMessageW(dialog_->Window(), WM_TIMER, DialogIds::kIdleTimer, 0);
        PumpPending();
        EXPECT_GT(dialog_->idleTicks, ticksAtDrop);
    }
}

// A block whose bytes are `block` with its last `cut` bytes taken away.
std::vector<unsigned char> Cut(std::vector<unsigned char> block, size_t cut) {
    block.resize(block.size() - cut);
    return block;
}

TEST(DropFilesBlocks, MalformedBlocksAreRefusedWithinTheirBytes) {
    const std::vector<unsigned char> wide = FileList({"C:\\one.jpg", "C:\\two.jpg"}, true);
    const std::vector<unsigned char> narrow = FileList({"C:\\one.jpg"}, false);
    std::vector<unsigned char> beyond = wide;
    reinterpret_cast<DROPFILES*>(beyond.data())->pFiles = static_cast<DWORD>(beyond.size());
    std::vector<unsigned char> intoHeader = wide;
    reinterpret_cast<DROPFILES*>(intoHeader.data())->pFiles = 8;
    std::vector<unsigned char> huge = wide;
    reinterpret_cast<DROPFILES*>(huge.data())->pFiles = 0xFFFFFFF0u;
    // A name longer than any path, terminated inside its block.
    const std::vector<unsigned char> tooLong = FileList({std::string(DropLimits::kMaxNameUnits + 1, 'a')}, false);
    const std::vector<unsigned char> longest = FileList({std::string(DropLimits::kMaxNameUnits, 'a')}, false);
    const std::vector<std::string> most(DropLimits::kMaxFiles, "a");
    std::vector<std::string> tooMany = most;
    tooMany.push_back("a");

    struct Case {
        const char* what;
        std::vector<unsigned char> block;
        std::optional<size_t> count;  // none: refused
    };
    const std::vector<Case> cases = {
        {"wide", wide, 2},
        {"narrow", narrow, 1},
        {"the longest path", longest, 1},
        {"no names", FileList({}, true), 0},
        {"header cut short", std::vector<unsigned char>(wide.begin(), wide.begin() + 12), std::nullopt},
        {"no list terminator", Cut(wide, 2), std::nullopt},
        {"half a terminator", Cut(wide, 1), std::nullopt},
        {"last name cut", Cut(wide, 6), std::nullopt},
        {"narrow name cut", Cut(narrow, 2), std::nullopt},
        {"names beyond the block", beyond, std::nullopt},
        {"names inside the header", intoHeader, std::nullopt},
        {"names at an absurd offset", huge, std::nullopt},
        {"a name longer than a path", tooLong, std::nullopt},
        {"the most names", FileList(most, false), DropLimits::kMaxFiles},
        {"more names than a selection carries", FileList(tooMany, false), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A copy of exactly its size: reading past it is reading past the allocation.
        std::vector<unsigned char> exact(c.block);
        const std::optional<DropFilesShape> shape = WalkDropFilesBlock(exact.data(), exact.size());
        ASSERT_EQ(shape.has_value(), c.count.has_value());
        if (shape) {
            EXPECT_EQ(shape->count, *c.count);
        }
    }
    EXPECT_FALSE(WalkDropFilesBlock(nullptr, 100).has_value());
}

TEST_F(Drops, ACutOrEmptyShellDropReachesNoHandler) {
    PostDrop(Cut(FileList({"C:\\one.jpg", "C:\\two.jpg"}, true), 2));
    PostDrop(FileList({}, true));
    EXPECT_TRUE(dialog_->drops.empty());
    // The road stays open for the next sound drop.
    PostDrop(FileList({"C:\\three.jpg"}, true));
    ASSERT_EQ(dialog_->drops.size(), 1u);
    EXPECT_EQ(dialog_->drops[0].files, (std::vector<std::string>{"C:\\three.jpg"}));
}

TEST_F(Drops, AnOleDragPrefersTheFileListAndEndsTheHoverBeforeTheDrop) {
    const CLIPFORMAT url = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"UniformResourceLocatorW"));
    // The browser's URL comes first, the file list after it: the list is what is taken.
    FakeData data({{url, {'h', 0, 't', 0, 0, 0}}, {CF_HDROP, FileList({"C:\\Frames\\Œuvre.jpg"}, true)}});
    WinDropTarget& target = Target();
    DWORD effect = 0xFF;
    EXPECT_EQ(target.DragEnter(&data, MK_CONTROL | MK_SHIFT, ScreenPoint(10, 20), &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(target.AcceptedKind(), static_cast<uint32_t>(CF_HDROP));
    EXPECT_EQ(target.DragOver(MK_ALT, ScreenPoint(11, 22), &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(target.Drop(&data, 0, ScreenPoint(12, 24), &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));

    EXPECT_EQ(Events(), (std::vector<DropEvent>{DropEvent::kEnter, DropEvent::kOver, DropEvent::kOver,
                                                DropEvent::kLeave, DropEvent::kDrop}));
    const std::vector<RecordedDrop>& drops = dialog_->drops;
    EXPECT_EQ(drops[0].modifiers, kModifierControl | kModifierShift);
    EXPECT_EQ(drops[2].modifiers, kModifierAlt);
    EXPECT_EQ(drops[2].point.h, 11);
    EXPECT_EQ(drops[2].point.v, 22);
    const RecordedDrop& drop = drops.back();
    EXPECT_EQ(drop.kind, static_cast<uint32_t>(CF_HDROP));
    EXPECT_EQ(drop.files, (std::vector<std::string>{"C:\\Frames\\Œuvre.jpg"}));
    EXPECT_EQ(drop.point.h, 12);
    EXPECT_EQ(drop.point.v, 24);
    EXPECT_EQ(data.fetches, 1);
    EXPECT_EQ(data.liveEnumerators, 0);
    EXPECT_EQ(target.AcceptedKind(), 0u);
}

TEST_F(Drops, WithoutAFileListADragTakesARegisteredFormatOrNothing) {
    WinDropTarget& target = Target();
    DWORD effect = 0;

    // Text alone is nothing to drop here: no effect, no event, at any step of the drag.
    FakeData text({{CF_TEXT, {'a', 0}}});
    EXPECT_EQ(target.DragEnter(&text, 0, ScreenPoint(5, 5), &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(target.DragOver(0, ScreenPoint(6, 6), &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(target.Drop(&text, 0, ScreenPoint(6, 6), &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(target.DragLeave(), S_OK);
    EXPECT_TRUE(dialog_->drops.empty());
    EXPECT_EQ(text.fetches, 0);
    EXPECT_EQ(text.liveEnumerators, 0);

    // A registered format after the text: taken, handed on whole as one item.
    const CLIPFORMAT url = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"UniformResourceLocator"));
    FakeData link({{CF_TEXT, {'a', 0}}, {url, {'h', 't', 't', 'p', 0}}});
    EXPECT_EQ(target.DragEnter(&link, 0, ScreenPoint(5, 5), &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(target.DragLeave(), S_OK);
    EXPECT_EQ(Events(), (std::vector<DropEvent>{DropEvent::kEnter, DropEvent::kOver, DropEvent::kLeave}));
    dialog_->drops.clear();
    EXPECT_EQ(target.DragEnter(&link, 0, ScreenPoint(5, 5), &effect), S_OK);
    EXPECT_EQ(target.Drop(&link, 0, ScreenPoint(7, 8), &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    ASSERT_EQ(dialog_->drops.size(), 4u);
    EXPECT_EQ(dialog_->drops.back().kind, url);
    EXPECT_EQ(dialog_->drops.back().count, 1u);
    EXPECT_TRUE(dialog_->drops.back().files.empty());
    EXPECT_TRUE(dialog_->drops.back().hadData);

    // A file list wanted by its number takes nothing else.
    EXPECT_EQ(WinDropTarget::ReadFormats(&link, CF_HDROP), 0u);
    EXPECT_EQ(WinDropTarget::ReadFormats(&link, CF_TEXT), static_cast<uint32_t>(CF_TEXT));
    EXPECT_EQ(link.liveEnumerators, 0);
}

TEST_F(Drops, FailuresInsideTheTargetStayInsideIt) {
    WinDropTarget& target = Target();
    DWORD effect = 0;
    // A cut file list: the hover ends, nothing is dropped, the medium goes back.
    FakeData cut({{CF_HDROP, Cut(FileList({"C:\\one.jpg"}, true), 4)}});
    EXPECT_EQ(target.DragEnter(&cut, 0, ScreenPoint(1, 1), &effect), S_OK);
    EXPECT_EQ(target.Drop(&cut, 0, ScreenPoint(1, 1), &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(Events(), (std::vector<DropEvent>{DropEvent::kEnter, DropEvent::kOver, DropEvent::kLeave}));

    // A handler that throws: the method answers a failure, the exception stays in.
    dialog_->drops.clear();
    FakeData files({{CF_HDROP, FileList({"C:\\one.jpg"}, true)}});
    dialog_->duringDrop = [](DropTargetHelper&, DropEvent event) {
        if (event == DropEvent::kDrop) throw std::runtime_error("the handler failed");
    };
    EXPECT_EQ(target.DragEnter(&files, 0, ScreenPoint(1, 1), &effect), S_OK);
    EXPECT_EQ(target.Drop(&files, 0, ScreenPoint(1, 1), &effect), E_UNEXPECTED);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(Helper().DroppedData(), nullptr);
    // Arguments no caller may pass.
    EXPECT_EQ(target.DragEnter(&files, 0, ScreenPoint(1, 1), nullptr), E_INVALIDARG);
    void* object = nullptr;
    EXPECT_EQ(target.QueryInterface(IID_IDataObject, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(target.QueryInterface(IID_IDropTarget, &object), S_OK);
    EXPECT_EQ(object, static_cast<IDropTarget*>(&target));
    target.Release();
}

TEST_F(Drops, RevokingClosesBothRoadsAndTheTargetOutlivesItsLastReferenceOnly) {
    WinDropTarget* target = Helper().Target();
    ASSERT_NE(target, nullptr);
    target->AddRef();  // a drag source still holding the target
    Helper().Revoke();
    EXPECT_FALSE(Helper().RegisteredForOle());
    EXPECT_FALSE(Helper().AcceptsShellDrops());
    EXPECT_EQ(Helper().Target(), nullptr);
    EXPECT_FALSE(GetWindowLongW(dialog_->Window(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);

    // The late call answers without the helper.
    FakeData files({{CF_HDROP, FileList({"C:\\one.jpg"}, true)}});
    DWORD effect = 0xFF;
    EXPECT_EQ(target->DragEnter(&files, 0, POINTL{0, 0}, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(target->Drop(&files, 0, POINTL{0, 0}, &effect), S_OK);
    EXPECT_TRUE(dialog_->drops.empty());
    // Ours was the last reference.
    EXPECT_EQ(target->Release(), 0u);

    // Shell drops no longer reach the dialog's handler, and the window takes a new target.
    PostDrop(FileList({"C:\\one.jpg"}, true));
    EXPECT_TRUE(dialog_->drops.empty());
    Helper().Register();
    EXPECT_TRUE(Helper().RegisteredForOle());
    PostDrop(FileList({"C:\\two.jpg"}, true));
    EXPECT_EQ(dialog_->drops.size(), 1u);
}

}  // namespace
