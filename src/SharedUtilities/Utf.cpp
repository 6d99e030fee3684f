#include "Utf.h"

std::wstring Utf8ToUtf16(std::string_view utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        auto continuation = [&](size_t k) -> unsigned {
            return i + k < utf8.size() ? static_cast<unsigned char>(utf8[i + k]) & 0x3Fu : 0u;
        };
        if (c < 0x80) {
            out.push_back(static_cast<wchar_t>(c));
            i += 1;
        } else if (c < 0xC0 || c >= 0xF0) {
            i += 1;  // a stray continuation byte, or a sequence beyond the basic plane
        } else if (c < 0xE0) {
            out.push_back(static_cast<wchar_t>(((c & 0x1Fu) << 6) | continuation(1)));
            i += 2;
        } else {
            out.push_back(static_cast<wchar_t>(((c & 0x0Fu) << 12) | (continuation(1) << 6) | continuation(2)));
            i += 3;
        }
    }
    return out;
}

void Utf16ToUtf8(std::string& out, std::wstring_view text) {
    size_t length = 0;
    for (wchar_t w : text) length += w < 0x80 ? 1 : w < 0x800 ? 2 : 3;
    out.reserve(out.size() + length);
    for (wchar_t wc : text) {
        const unsigned w = static_cast<unsigned>(wc) & 0xFFFFu;
        if (w < 0x80) {
            out.push_back(static_cast<char>(w));
        } else if (w < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (w >> 6)));
            out.push_back(static_cast<char>(0x80 | (w & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (w >> 12)));
            out.push_back(static_cast<char>(0x80 | ((w >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (w & 0x3F)));
        }
    }
}

std::string Utf16ToUtf8(std::wstring_view text) {
    std::string out;
    Utf16ToUtf8(out, text);
    return out;
}
