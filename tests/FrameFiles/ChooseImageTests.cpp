// The choose-image dialog as a person uses it: a frame file is selected, its thumbnail shows in the
// preview pane, and the check box hides it.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ImageFile.h"
#include "JpegFixtures.h"
#include "FileDialogs.h"
#include "TempFolder.h"
#include "WindowShot.h"
#include "Utf.h"

namespace {

// The first descendant of window of the class, or (with an id) of the class and id.
HWND FindDescendant(HWND window, const wchar_t* className, int id = -1) {
    struct Search {
        const wchar_t* className;
        int id;
        HWND found;
    } search{className, id, nullptr};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM data) {
            auto* s = reinterpret_cast<Search*>(data);
            wchar_t name[64] = {};
            GetClassNameW(child, name, 64);
            if (_wcsicmp(name, s->className) != 0 || (s->id >= 0 && GetDlgCtrlID(child) != s->id)) return TRUE;
            s->found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Selects the named file in the dialog's file list, as a click would.
bool SelectInList(HWND dialog, const std::wstring& name) {
    const HWND list = FindDescendant(dialog, L"SysListView32");
    if (!list) return false;
    LVFINDINFOW find{};
    find.flags = LVFI_STRING;
    find.psz = name.c_str();
    const int item = static_cast<int>(SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
    if (item < 0) return false;
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    return SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&state)) != FALSE;
}

// The pane's pixel at its centre, as the screen shows it.
COLORREF PaneCentre(HWND pane) {
    RECT client{};
    GetClientRect(pane, &client);
    const HDC dc = GetDC(pane);
    const COLORREF colour = GetPixel(dc, client.right / 2, client.bottom / 2);
    ReleaseDC(pane, dc);
    return colour;
}

bool Reddish(COLORREF c) { return GetRValue(c) > 200 && GetGValue(c) < 60 && GetBValue(c) < 60; }

std::vector<std::pair<int, bool>> gPreviewRequests;
bool RememberPreviewState(ImageFile&, int request, bool value) {
    gPreviewRequests.emplace_back(request, value);
    return true;  // the preview starts shown
}

}  // namespace

TEST(ChooseImage, ThePreviewShowsTheSelectedFramesThumbnailUntilItIsHidden) {
    TempFolder folder("Quorvel Choose Image");
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    RawThumbnailSpec red;
    red.width = 64;
    red.height = 48;
    red.dataSize = 64 * 48 * 3;
    for (uint32_t i = 0; i < 64 * 48; ++i) Append(red.data, {230, 10, 20});
    const Bytes jpeg = EncodeJpeg(FlatImage(32, 24, {40, 200, 40}));
    ASSERT_TRUE(WriteBytes(folder / "Red.afx", MakeAfx(jpeg, 1024 + 24 + red.dataSize, &red)));

    ImageFile file(FileSpec::FromPath(folder / "Red.afx"), 0);
    file.SetPreviewStateCallback(RememberPreviewState);
    gPreviewRequests.clear();
    std::atomic<COLORREF> shown{CLR_INVALID}, hidden{CLR_INVALID};
    std::atomic<bool> selected{false};
    std::thread driver([&, owner = GetCurrentThreadId()] {
        const HWND dialog = WaitForFileDialog(owner);
        if (!dialog) return;
        Sleep(400);
        selected = SelectInList(dialog, L"Red.afx");
        Sleep(400);
        if (const HWND pane = FindDescendant(dialog, L"Static", ImageFile::kPreviewPaneItem)) {
            shown = PaneCentre(pane);
            if (!ShotFolder().empty()) SaveWindowShot(dialog, ShotFolder() + "\\choose-image.bmp");
            if (const HWND box = FindDescendant(dialog, L"Button", ImageFile::kShowPreviewItem)) {
                SendMessageW(box, BM_CLICK, 0, 0);
                Sleep(300);
                hidden = PaneCentre(pane);
            }
        }
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(file.ChooseImage(nullptr, ImageTypeList::kFrameFiles, -1), 1);
    driver.join();
    SetCurrentDirectoryW(current);

    EXPECT_TRUE(selected);
    EXPECT_TRUE(Reddish(shown)) << std::hex << shown;
    EXPECT_NE(hidden, CLR_INVALID);
    EXPECT_FALSE(Reddish(hidden)) << std::hex << hidden;
    const std::vector<std::pair<int, bool>> expected = {{ImageFile::kPreviewQuery, false},
                                                        {ImageFile::kPreviewStore, false}};
    EXPECT_EQ(gPreviewRequests, expected);
    EXPECT_FALSE(file.PreviewShown());
}
