// A picture of a window as the screen shows it, for looking at a dialog a test drives: the
// window's rectangle copied from the screen and written as a 24-bit BMP file. Tests take one when
// QUORVEL_SHOTS names a folder.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Utf.h"

// The folder QUORVEL_SHOTS names, or empty when no pictures are wanted.
inline std::string ShotFolder() {
    const char* folder = std::getenv("QUORVEL_SHOTS");
    return folder ? folder : "";
}

inline bool SaveWindowShot(HWND window, const std::string& path) {
    RECT r{};
    if (!GetWindowRect(window, &r)) return false;
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return false;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as BMP files keep their rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (bitmap && bits) {
        const HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
        SelectObject(memory, old);
        const DWORD rowBytes = ((width * 3 + 3) / 4) * 4, imageBytes = rowBytes * height;
        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42;  // "BM"
        file.bfOffBits = sizeof file + sizeof info.bmiHeader;
        file.bfSize = file.bfOffBits + imageBytes;
        if (FILE* out = _wfopen(Utf8ToUtf16(path).c_str(), L"wb")) {
            saved = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                    std::fwrite(bits, imageBytes, 1, out) == 1;
            saved = std::fclose(out) == 0 && saved;
        }
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}
