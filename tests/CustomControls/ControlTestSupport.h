// What the control tests share: a top-level window that holds controls and records what they
// tell it, a picture of a window's client area for probing pixels, and keys typed from a second
// thread while a menu tracks.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <thread>
#include <vector>

#include "ControlDrawing.h"
#include "CustomControl.h"
#include "DesktopInput.h"
#include "MenuHand.h"
#include "GdiOwner.h"
#include "ThisModule.h"

// A message a control sent its parent.
struct Notice {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

inline bool operator==(const Notice& a, const Notice& b) {
    return a.message == b.message && a.wParam == b.wParam && a.lParam == b.lParam;
}

inline std::ostream& operator<<(std::ostream& out, const Notice& n) {
    return out << "{0x" << std::hex << n.message << std::dec << ", code " << LOWORD(n.wParam) << ", value "
               << static_cast<int16_t>(HIWORD(n.wParam)) << " (wParam " << n.wParam << "), lParam " << n.lParam << "}";
}

// WM_HSCROLL as a control sends it: the code, the 16-bit value and the control.
inline Notice Scroll(WORD code, int16_t value, HWND control) {
    return {WM_HSCROLL, MAKEWPARAM(code, static_cast<WORD>(value)), reinterpret_cast<LPARAM>(control)};
}

// The messages a parent learns of: value changes and clicks, and the clicks of buttons.
inline bool IsNotice(UINT message, WPARAM wParam) {
    return message == WM_HSCROLL || message == WM_APP || message == WM_APP + 3 || message == WM_APP + 4 ||
           (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED);
}

// Makes the window the active one and waits (two seconds at most) until the desktop agrees: an
// activation that arrives late would raise the window over popups shown meanwhile.
inline void BringToFront(HWND window) {
    SetForegroundWindow(window);
    PumpUntil([window] { return GetForegroundWindow() == window && GetActiveWindow() == window; });
    PumpUntil([] {
        MSG message;
        return !PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    });
}

// A visible top-level window holding the controls of one test.
class ControlHost {
public:
    ControlHost() {
        static const ATOM atom = [] {
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = &ControlHost::Proc;
            wc.hInstance = ThisModule();
            wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
            wc.lpszClassName = L"QuorvelControlTestHost";
            return RegisterClassExW(&wc);
        }();
        EXPECT_NE(atom, 0);
        // A tool window: Wine maps it without a window manager's part, so showing and destroying it
        // wait for nothing.
        window_ = CreateWindowExW(WS_EX_TOOLWINDOW, L"QuorvelControlTestHost", L"Controls", WS_POPUP | WS_VISIBLE, 60, 60, 420, 260,
                                  nullptr, nullptr, ThisModule(), this);
        EXPECT_NE(window_, nullptr);
        BringToFront(window_);
    }
    ~ControlHost() {
        if (window_) DestroyWindow(window_);
    }
    ControlHost(const ControlHost&) = delete;
    ControlHost& operator=(const ControlHost&) = delete;

    HWND Window() const { return window_; }

    HWND Add(const char* className, int id, RECT r, DWORD style = 0, const char* text = "") {
        const HWND control = CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                                             r.right - r.left, r.bottom - r.top, window_,
                                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ThisModule(), nullptr);
        EXPECT_NE(control, nullptr) << className;
        return control;
    }

    std::vector<Notice> notices;

    // Paints every window at once, so that a picture taken next shows it.
    void Paint() const {
        RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* host = reinterpret_cast<ControlHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (host && IsNotice(message, wParam)) {
            host->notices.push_back({message, wParam, lParam});
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window_ = nullptr;
};

inline LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageA(window, message, wParam, lParam);
}

inline void Press(HWND control, int x, int y, WPARAM keys = 0) {
    Send(control, WM_LBUTTONDOWN, MK_LBUTTON | keys, MAKELPARAM(x, y));
}
inline void Drag(HWND control, int x, int y) { Send(control, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y)); }
inline void Release(HWND control, int x, int y) { Send(control, WM_LBUTTONUP, 0, MAKELPARAM(x, y)); }

// The client area of a window, for probing pixels: as the window drew it (its device context),
// or as the desktop shows it (the screen's), where a window lying over it would show too.
class ClientPicture {
public:
    enum class Source { kWindow, kScreen };

    explicit ClientPicture(HWND window, Source from = Source::kWindow) {
        RECT client{};
        GetClientRect(window, &client);
        width_ = client.right;
        height_ = client.bottom;
        pixels_.assign(static_cast<size_t>(std::max(width_, 0)) * std::max(height_, 0), 0);
        if (width_ <= 0 || height_ <= 0) return;
        POINT origin{0, 0};
        if (from == Source::kScreen) ClientToScreen(window, &origin);
        const WindowDC source(from == Source::kScreen ? nullptr : window);
        const OwnedMemoryDC memory(CreateCompatibleDC(source.Get()));
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        const OwnedBitmap bitmap(CreateDIBSection(source.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!bitmap || !bits) return;
        {
            const ControlLook::SelectionScope selected(memory.Get(), bitmap.Get());
            BitBlt(memory.Get(), 0, 0, width_, height_, source.Get(), origin.x, origin.y, SRCCOPY);
        }
        GdiFlush();
        const auto* row = static_cast<const uint32_t*>(bits);
        for (size_t i = 0; i < pixels_.size(); ++i) {
            const uint32_t p = row[i];
            pixels_[i] = RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
        }
    }

    COLORREF At(int x, int y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
        return pixels_[static_cast<size_t>(y) * width_ + x];
    }
    // How many pixels of r (clipped to the picture) have the colour.
    int Count(const RECT& r, COLORREF color) const {
        int count = 0;
        for (int y = std::max<int>(r.top, 0); y < std::min<int>(r.bottom, height_); ++y)
            for (int x = std::max<int>(r.left, 0); x < std::min<int>(r.right, width_); ++x) count += At(x, y) == color;
        return count;
    }
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool operator==(const ClientPicture& other) const {
        return width_ == other.width_ && height_ == other.height_ && pixels_ == other.pixels_;
    }

private:
    int width_ = 0, height_ = 0;
    std::vector<COLORREF> pixels_;
};

// The window's client area as the desktop shows it, once the screen has caught up with what the
// window drew (messages run meanwhile; two seconds at most). A window that lies over it, or a
// drawing the window lost, shows as a difference.
inline ClientPicture OnScreen(HWND window, bool* settled = nullptr) {
    const auto deadline = GetTickCount64() + 2000;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        ClientPicture screen(window, ClientPicture::Source::kScreen);
        const bool same = screen == ClientPicture(window);
        if (same || GetTickCount64() > deadline) {
            if (settled) *settled = same;
            return screen;
        }
        Sleep(10);
    }
}

// The rectangle of a child in its parent's client coordinates.
inline RECT ChildRect(HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

