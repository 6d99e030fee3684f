// The host's log: every line is kept for the caller, and echoed to the console and a file when
// asked.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace qvhost {

class HostLog {
public:
    HostLog() = default;
    HostLog(const HostLog&) = delete;
    HostLog& operator=(const HostLog&) = delete;
    ~HostLog();

    // Opens (appends to) a log file; false when it cannot be opened.
    bool OpenFile(const std::string& utf8Path);
    void EchoToConsole(bool echo) { echo_ = echo; }

    void Line(const std::string& text);
    // printf-style; the text is cut at 4095 bytes.
    void Format(const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));

    const std::vector<std::string>& Lines() const { return lines_; }

private:
    std::vector<std::string> lines_;
    FILE* file_ = nullptr;
    bool echo_ = false;
};

// Four-character codes as text: 'FrMP' for 0x46724D50, or the number in hex when not printable.
std::string FourCC(uint32_t code);

}  // namespace qvhost
