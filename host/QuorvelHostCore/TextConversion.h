// UTF-8 <-> UTF-16 for the host's calls of the operating system.
#pragma once

#include <string>
#include <string_view>

namespace qvhost {
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);
}  // namespace qvhost
