#include "HostLog.h"

#include <cstdarg>
#include <cstdint>

#include "TextConversion.h"

namespace qvhost {

HostLog::~HostLog() {
    if (file_) std::fclose(file_);
}

bool HostLog::OpenFile(const std::string& utf8Path) {
    if (file_) std::fclose(file_);
    file_ = _wfopen(Widen(utf8Path).c_str(), L"ab");
    return file_ != nullptr;
}

void HostLog::Line(const std::string& text) {
    lines_.push_back(text);
    if (echo_) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    if (file_) {
        std::fwrite(text.data(), 1, text.size(), file_);
        std::fputs("\r\n", file_);
        std::fflush(file_);
    }
}

void HostLog::Format(const char* format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Line(text);
}

std::string FourCC(uint32_t code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((code >> shift) & 0xFF);
        if (c < 0x20 || c > 0x7E) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", code);
            return hex;
        }
        text += c;
    }
    return "'" + text + "'";
}

}  // namespace qvhost
