// UTF-8 <-> UTF-16 conversion. Paths and texts are UTF-8 inside the system and widened at every
// call of the operating system.
#pragma once

#include <string>
#include <string_view>

// Decodes one-, two- and three-byte sequences; a stray continuation byte and a four-byte lead are
// skipped. Paths never need the characters beyond the basic plane.
std::wstring Utf8ToUtf16(std::string_view utf8);

// Appends the UTF-8 form of text to out: 1, 2 or 3 bytes per UTF-16 unit (surrogates unit by unit).
void Utf16ToUtf8(std::string& out, std::wstring_view text);
std::string Utf16ToUtf8(std::wstring_view text);
