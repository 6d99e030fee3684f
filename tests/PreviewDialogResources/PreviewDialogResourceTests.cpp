// The preview dialog's resources as the program's own module holds them: the window template and
// its items, the menu bar with its initial grey states, the shortcuts (the bracket keys and Return
// among them, translated as a key press would be), the toggle texts and help lines, and the
// cursors with their hot spots, drawn once on a light and a dark ground.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "PngWriter.h"
#include "Utf.h"
#include "WindowShot.h"

namespace {

constexpr WORD kPreviewDialog = 16000;

HMODULE Module() { return GetModuleHandleW(nullptr); }

std::wstring LoadText(UINT id) {
    const wchar_t* text = nullptr;
    const int length = LoadStringW(Module(), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

// ---- The dialog template, read field by field with every read checked against the resource's
// size: a DLGTEMPLATEEX header, then the items, each on a 4-byte boundary.

struct TemplateItem {
    DWORD id = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring className, text;
};

struct DialogTemplate {
    DWORD style = 0;
    short cx = 0, cy = 0;
    WORD menu = 0;
    std::wstring title;
    std::vector<TemplateItem> items;
};

class TemplateReader {
public:
    TemplateReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool ok() const { return ok_; }

    template <typename T> T Read() {
        T value{};
        if (!ok_ || size_ - offset_ < sizeof value) {
            ok_ = false;
            return value;
        }
        std::memcpy(&value, data_ + offset_, sizeof value);
        offset_ += sizeof value;
        return value;
    }

    std::wstring ReadString() {
        std::wstring text;
        for (wchar_t c = Read<wchar_t>(); ok_ && c != 0; c = Read<wchar_t>()) text.push_back(c);
        return text;
    }

    // A name or an ordinal (0xFFFF followed by the number); ordinals come back as "#number".
    std::wstring ReadNameOrOrdinal() {
        const WORD first = Read<WORD>();
        if (first == 0) return {};
        if (first == 0xFFFF) return L"#" + std::to_wstring(Read<WORD>());
        std::wstring text(1, static_cast<wchar_t>(first));
        return text + ReadString();
    }

    void AlignTo4() { offset_ = (offset_ + 3) & ~static_cast<size_t>(3); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
    bool ok_ = true;
};

bool ReadDialogTemplate(WORD id, DialogTemplate& out) {
    const HRSRC found = FindResourceW(Module(), MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));  // RT_DIALOG
    if (!found) return false;
    const HGLOBAL loaded = LoadResource(Module(), found);
    const auto* data = static_cast<const uint8_t*>(loaded ? LockResource(loaded) : nullptr);
    if (!data) return false;
    TemplateReader in(data, SizeofResource(Module(), found));
    if (in.Read<WORD>() != 1 || in.Read<WORD>() != 0xFFFF) return false;  // only the extended form
    in.Read<DWORD>();  // help id
    in.Read<DWORD>();  // extended style
    out.style = in.Read<DWORD>();
    const WORD count = in.Read<WORD>();
    in.Read<short>();
    in.Read<short>();
    out.cx = in.Read<short>();
    out.cy = in.Read<short>();
    const std::wstring menu = in.ReadNameOrOrdinal();
    out.menu = menu.size() > 1 && menu[0] == L'#' ? static_cast<WORD>(std::stoi(menu.substr(1))) : 0;
    in.ReadNameOrOrdinal();  // window class
    out.title = in.ReadString();
    if (out.style & DS_SETFONT) {
        in.Read<WORD>();  // point size
        in.Read<WORD>();  // weight
        in.Read<BYTE>();  // italic
        in.Read<BYTE>();  // character set
        in.ReadString();  // face
    }
    for (WORD i = 0; i < count && in.ok(); ++i) {
        in.AlignTo4();
        TemplateItem item;
        in.Read<DWORD>();  // help id
        in.Read<DWORD>();  // extended style
        item.style = in.Read<DWORD>();
        item.x = in.Read<short>();
        item.y = in.Read<short>();
        item.cx = in.Read<short>();
        item.cy = in.Read<short>();
        item.id = in.Read<DWORD>();
        item.className = in.ReadNameOrOrdinal();
        item.text = in.ReadNameOrOrdinal();
        const WORD extra = in.Read<WORD>();
        for (WORD b = 0; b < extra; ++b) in.Read<BYTE>();
        out.items.push_back(item);
    }
    return in.ok() && out.items.size() == count;
}

TEST(PreviewDialogTemplate, NineUserItemsInOrderLaidOutInsideAResizableWindow) {
    DialogTemplate dialog;
    ASSERT_TRUE(ReadDialogTemplate(kPreviewDialog, dialog));
    EXPECT_EQ(dialog.title, L"Quorvel 4.6");
    EXPECT_EQ(dialog.cx, 456);
    EXPECT_EQ(dialog.cy, 255);
    EXPECT_EQ(dialog.menu, kPreviewDialog);
    for (DWORD bit : {WS_THICKFRAME, WS_MAXIMIZEBOX, WS_MINIMIZEBOX, WS_SYSMENU, WS_CAPTION})
        EXPECT_EQ(dialog.style & bit, bit) << std::hex << bit;
    // The items are user items the dialog draws in its own paint: its drawing is not clipped
    // away from under them.
    EXPECT_EQ(dialog.style & WS_CLIPCHILDREN, 0u);

    const wchar_t* texts[] = {L"Apply", L"Cancel", L"zoom", L"Pan", L"Move", L"Open Library", L"", L"Proxy View",
                              L"Flicker Control"};
    ASSERT_EQ(dialog.items.size(), 9u);
    for (size_t i = 0; i < dialog.items.size(); ++i) {
        const TemplateItem& item = dialog.items[i];
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(item.id, i + 1);
        EXPECT_EQ(lstrcmpiW(item.className.c_str(), L"tUserItem"), 0) << Utf16ToUtf8(item.className);  // names of classes ignore case
        EXPECT_EQ(item.text, texts[i]);
        EXPECT_TRUE(item.style & WS_VISIBLE);
        EXPECT_GT(item.cx, 0);
        EXPECT_GT(item.cy, 0);
        EXPECT_GE(item.x, 0);
        EXPECT_GE(item.y, 0);
        EXPECT_LE(item.x + item.cx, dialog.cx);
        EXPECT_LE(item.y + item.cy, dialog.cy);
    }
    // No two items overlap: the preview, the column and the status bar share the window.
    for (size_t a = 0; a < dialog.items.size(); ++a)
        for (size_t b = a + 1; b < dialog.items.size(); ++b) {
            const TemplateItem &p = dialog.items[a], &q = dialog.items[b];
            const bool apart = p.x + p.cx <= q.x || q.x + q.cx <= p.x || p.y + p.cy <= q.y || q.y + q.cy <= p.y;
            EXPECT_TRUE(apart) << "items " << a + 1 << " and " << b + 1;
        }
    // The status bar spans the bottom edge; the preview takes the rest of the height above it.
    const TemplateItem &preview = dialog.items[7], &status = dialog.items[8];
    EXPECT_EQ(status.x, 0);
    EXPECT_EQ(status.cx, dialog.cx);
    EXPECT_EQ(status.y + status.cy, dialog.cy);
    EXPECT_EQ(preview.y + preview.cy, status.y);
}

// ---- The menu bar.

std::wstring MenuText(HMENU menu, UINT position) {
    wchar_t text[128] = {};
    GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
    return text;
}

TEST(PreviewDialogMenu, SixMenusWithApplyFirstAndTheEditingCommandsGreyed) {
    const HMENU bar = LoadMenuW(Module(), MAKEINTRESOURCEW(kPreviewDialog));
    ASSERT_NE(bar, nullptr);
    const wchar_t* titles[] = {L"&File", L"&Edit", L"F&rames", L"&View", L"&Window", L"&Help"};
    ASSERT_EQ(GetMenuItemCount(bar), 6);
    for (UINT i = 0; i < 6; ++i) EXPECT_EQ(MenuText(bar, i), titles[i]);
    EXPECT_EQ(GetMenuItemID(GetSubMenu(bar, 0), 0), 18102u);
    EXPECT_EQ(MenuText(GetSubMenu(bar, 0), 0), L"Apply\tENTER");

    // Every command of the bar, and exactly these start greyed.
    const std::set<UINT> greyed = {18201, 18202, 18204, 18205, 18206, 18208, 18209, 18210, 18301, 18302,
                                   18304, 18305, 18307, 18308, 18309, 18310, 18312};
    std::set<UINT> commands;
    for (int m = 0; m < 6; ++m) {
        const HMENU popup = GetSubMenu(bar, m);
        for (int i = 0; i < GetMenuItemCount(popup); ++i) {
            const UINT id = GetMenuItemID(popup, i);
            const UINT state = GetMenuState(popup, i, MF_BYPOSITION);
            if (state & MF_SEPARATOR) continue;
            EXPECT_TRUE(commands.insert(id).second) << "twice: " << id;
            EXPECT_EQ((state & MF_GRAYED) != 0, greyed.count(id) != 0) << id;
        }
    }
    std::set<UINT> expected = {18101, 18102, 18103, 18105, 18107, 18108, 18201, 18202, 18204, 18205, 18206,
                               18208, 18209, 18210, 18212, 16003, 18301, 18302, 18304, 18305, 18307, 18308,
                               18309, 18310, 18312, 18401, 18402, 18403, 18404, 18406, 18408, 18409, 18410,
                               18510, 18512, 18901, 18902, 18903, 18905, 16001};
    for (UINT id = 18501; id <= 18509; ++id) expected.insert(id);
    EXPECT_EQ(commands, expected);

    // The tab shortcuts read off the Window menu match the accelerators Ctrl+1..9.
    const HMENU window = GetSubMenu(bar, 4);
    EXPECT_EQ(MenuText(window, 0), L"Frame Stack\tCtrl+1");
    EXPECT_EQ(MenuText(window, 8), L"Option\tCtrl+9");
    DestroyMenu(bar);
}

// ---- The shortcuts.

std::vector<ACCEL> PreviewAccelerators() {
    const HACCEL table = LoadAcceleratorsW(Module(), MAKEINTRESOURCEW(kPreviewDialog));
    if (!table) return {};
    std::vector<ACCEL> entries(static_cast<size_t>(CopyAcceleratorTableW(table, nullptr, 0)));
    CopyAcceleratorTableW(table, entries.data(), static_cast<int>(entries.size()));
    DestroyAcceleratorTable(table);
    return entries;
}

TEST(PreviewDialogShortcuts, BracketsReturnAndTheZoomKeysCarryTheirModifiers) {
    const std::vector<ACCEL> entries = PreviewAccelerators();
    ASSERT_FALSE(entries.empty());
    struct Expected {
        WORD command, key;
        BYTE modifiers;
    };
    const Expected cases[] = {
        {18307, 0xDB, FCONTROL},          // Ctrl+[ turns clockwise, whatever the menu text prints
        {18308, 0xDD, FCONTROL},          // Ctrl+]
        {18102, VK_RETURN, 0},            // Return alone applies
        {18404, '0', FCONTROL | FALT},    // Actual Pixels
        {18403, '0', FCONTROL},           // Fit on Preview
        {18202, 'Z', FCONTROL | FSHIFT},  // Redo
        {18212, 'Z', FCONTROL | FALT},    // Reset All
        {18209, 'I', FCONTROL | FSHIFT},  // Inverse Selection
        {18305, VK_DELETE, FCONTROL},     // Delete Frame
        {18501, '1', FCONTROL},
        {18509, '9', FCONTROL},
    };
    for (const Expected& want : cases) {
        SCOPED_TRACE(want.command);
        int found = 0;
        for (const ACCEL& entry : entries) {
            if (entry.cmd != want.command) continue;
            ++found;
            EXPECT_EQ(entry.key, want.key);
            EXPECT_EQ(entry.fVirt, FVIRTKEY | want.modifiers);
        }
        EXPECT_EQ(found, 1);
    }
    // No key and modifier pair is given to two commands.
    std::set<std::pair<WORD, BYTE>> keys;
    for (const ACCEL& entry : entries) EXPECT_TRUE(keys.insert({entry.key, entry.fVirt}).second) << entry.cmd;
}

// The translation itself, as the dialog's message loop runs it: a key press with the thread's key
// state holding Ctrl (and Alt) comes out as the command. Only this thread's key state changes, and
// it is put back.
class KeyStateGuard {
public:
    KeyStateGuard() { GetKeyboardState(saved_); }
    ~KeyStateGuard() { SetKeyboardState(saved_); }
    static void Hold(std::initializer_list<int> keys) {
        BYTE state[256] = {};
        for (int key : keys) state[key] = 0x80;
        SetKeyboardState(state);
    }

private:
    BYTE saved_[256] = {};
};

LRESULT CALLBACK RecordCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) {
        SetWindowLongPtrW(window, GWLP_USERDATA, static_cast<LONG_PTR>(LOWORD(wParam)));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST(PreviewDialogShortcuts, KeyPressesTranslateToTheirCommands) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = RecordCommand;
    windowClass.hInstance = Module();
    windowClass.lpszClassName = L"PreviewShortcutTarget";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowW(windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                      Module(), nullptr);
    ASSERT_NE(window, nullptr);
    const HACCEL table = LoadAcceleratorsW(Module(), MAKEINTRESOURCEW(kPreviewDialog));
    ASSERT_NE(table, nullptr);
    struct Case {
        std::initializer_list<int> held;
        WPARAM key;
        WORD command;
    };
    const Case cases[] = {
        {{VK_CONTROL}, 0xDB, 18307}, {{VK_CONTROL}, 0xDD, 18308}, {{}, VK_RETURN, 18102},
        {{VK_CONTROL, VK_MENU}, '0', 18404}, {{VK_CONTROL}, '0', 18403}, {{VK_CONTROL, VK_SHIFT}, 'Z', 18202},
    };
    {
        KeyStateGuard guard;
        for (const Case& c : cases) {
            SCOPED_TRACE(c.command);
            KeyStateGuard::Hold(c.held);
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            const bool alt = GetKeyState(VK_MENU) < 0;
            MSG press{window, static_cast<UINT>(alt ? WM_SYSKEYDOWN : WM_KEYDOWN), c.key, 1, 0, {}};
            EXPECT_NE(TranslateAcceleratorW(window, table, &press), 0);
            EXPECT_EQ(GetWindowLongPtrW(window, GWLP_USERDATA), c.command);
        }
    }
    DestroyAcceleratorTable(table);
    DestroyWindow(window);
}

// ---- Strings.

TEST(PreviewDialogStrings, ToggleTextsSitAtBasePlusOnePlusStateAndHelpLinesFollowTheItems) {
    struct Toggle {
        UINT base;
        const wchar_t *off, *on;
    };
    for (const Toggle& t : {Toggle{17000, L"View Composite Layer", L"Hide Composite Layer"},
                            Toggle{17004, L"Show Rulers", L"Hide Rulers"},
                            Toggle{17006, L"Show Guides", L"Hide Guides"}}) {
        EXPECT_EQ(LoadText(t.base + 1 + 0), t.off);
        EXPECT_EQ(LoadText(t.base + 1 + 1), t.on);
    }
    EXPECT_EQ(LoadText(17091), L"Disable Hot Help");
    EXPECT_EQ(LoadText(17092), L"Enable Hot Help");
    EXPECT_EQ(LoadText(16791), L"hzv");
    for (UINT item : {1u, 2u, 3u, 4u, 5u, 6u, 8u}) EXPECT_FALSE(LoadText(16000 + item).empty()) << item;
    EXPECT_EQ(LoadText(16003), L"Zoom Tool (Z):  Use it to zoom the preview. Hold down the alt key to zoom-out.");
}

// ---- Cursors.

struct CursorCase {
    WORD id;
    POINT hotSpot;
};

const CursorCase kCursors[] = {
    {17000, {15, 16}}, {17001, {13, 13}}, {17002, {13, 13}}, {17003, {13, 13}}, {17004, {16, 16}},
    {17005, {16, 16}}, {16001, {16, 16}}, {16002, {16, 16}}, {16003, {16, 16}}, {16004, {16, 16}},
    {16005, {16, 16}}, {16006, {16, 16}}, {16007, {16, 16}}, {16008, {16, 16}}, {16009, {16, 16}},
    {16010, {16, 16}}, {16100, {3, 28}},  {16430, {16, 16}},
};

constexpr int kCursorSize = 32;
constexpr int kCell = kCursorSize + 8;
constexpr COLORREF kLight = RGB(0xC8, 0xC8, 0xC8), kDark = RGB(0x2F, 0x2F, 0x2F);

// The cursors drawn in a row on a light band above a dark one, read back as RGB rows.
std::vector<std::vector<uint8_t>> DrawCursorSheet(int& width, int& height) {
    const int count = static_cast<int>(std::size(kCursors));
    width = count * kCell;
    height = 2 * kCell;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const HDC memory = CreateCompatibleDC(nullptr);
    const HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<std::vector<uint8_t>> rows;
    if (bitmap && bits) {
        const HGDIOBJ old = SelectObject(memory, bitmap);
        for (int band = 0; band < 2; ++band) {
            const HBRUSH ground = CreateSolidBrush(band == 0 ? kLight : kDark);
            const RECT r{0, band * kCell, width, (band + 1) * kCell};
            FillRect(memory, &r, ground);
            DeleteObject(ground);
            for (int i = 0; i < count; ++i) {
                const HCURSOR cursor = LoadCursorW(Module(), MAKEINTRESOURCEW(kCursors[i].id));
                DrawIconEx(memory, i * kCell + 4, band * kCell + 4, cursor, kCursorSize, kCursorSize, 0, nullptr,
                           DI_NORMAL);
            }
        }
        GdiFlush();
        const auto* pixels = static_cast<const uint8_t*>(bits);
        for (int y = 0; y < height; ++y) {
            std::vector<uint8_t> row;
            for (int x = 0; x < width; ++x) {
                const uint8_t* bgra = pixels + (static_cast<size_t>(y) * width + x) * 4;
                row.insert(row.end(), {bgra[2], bgra[1], bgra[0]});
            }
            rows.push_back(std::move(row));
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    return rows;
}

TEST(PreviewDialogCursors, EveryCursorLoadsAt32PixelsWithItsHotSpot) {
    for (const CursorCase& c : kCursors) {
        SCOPED_TRACE(c.id);
        const HCURSOR cursor = LoadCursorW(Module(), MAKEINTRESOURCEW(c.id));
        ASSERT_NE(cursor, nullptr);
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(cursor, &info));
        EXPECT_FALSE(info.fIcon);
        EXPECT_EQ(info.xHotspot, static_cast<DWORD>(c.hotSpot.x));
        EXPECT_EQ(info.yHotspot, static_cast<DWORD>(c.hotSpot.y));
        BITMAP colour{};
        ASSERT_NE(info.hbmColor, nullptr);
        GetObjectW(info.hbmColor, sizeof colour, &colour);
        EXPECT_EQ(colour.bmWidth, kCursorSize);
        EXPECT_EQ(colour.bmHeight, kCursorSize);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
    }
}

TEST(PreviewDialogCursors, DrawnBlackWithAWhiteOutlineAndClearAroundThem) {
    int width = 0, height = 0;
    const std::vector<std::vector<uint8_t>> rows = DrawCursorSheet(width, height);
    ASSERT_EQ(rows.size(), static_cast<size_t>(height));
    auto at = [&](int x, int y) {
        const uint8_t* p = rows[y].data() + x * 3;
        return RGB(p[0], p[1], p[2]);
    };
    for (size_t i = 0; i < std::size(kCursors); ++i) {
        SCOPED_TRACE(kCursors[i].id);
        for (int band = 0; band < 2; ++band) {
            const int left = static_cast<int>(i) * kCell + 4, top = band * kCell + 4;
            // The picture's corner is clear: the ground shows through.
            EXPECT_EQ(at(left, top), band == 0 ? kLight : kDark);
            int black = 0, white = 0;
            for (int y = top; y < top + kCursorSize; ++y)
                for (int x = left; x < left + kCursorSize; ++x) {
                    black += at(x, y) == RGB(0, 0, 0);
                    white += at(x, y) == RGB(255, 255, 255);
                }
            EXPECT_GT(black, 20);
            EXPECT_GT(white, 20);  // the outline shows on the light ground as on the dark one
        }
    }
    if (ShotFolder().empty()) return;
    // A contact sheet, enlarged four times, to look at.
    constexpr int kZoom = 4;
    PngSpec sheet;
    sheet.width = static_cast<uint32_t>(width * kZoom);
    sheet.height = static_cast<uint32_t>(height * kZoom);
    for (const auto& row : rows) {
        std::vector<uint8_t> wide;
        for (int x = 0; x < width; ++x)
            for (int k = 0; k < kZoom; ++k) wide.insert(wide.end(), row.begin() + x * 3, row.begin() + x * 3 + 3);
        for (int k = 0; k < kZoom; ++k) sheet.rows.push_back(wide);
    }
    const std::vector<uint8_t> png = WritePng(sheet);
    ASSERT_FALSE(png.empty());
    const std::wstring path = Utf8ToUtf16(ShotFolder() + "/cursors.png");
    FILE* out = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::fwrite(png.data(), 1, png.size(), out), png.size());
    EXPECT_EQ(std::fclose(out), 0);
}

}  // namespace
