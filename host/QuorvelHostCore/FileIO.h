// Files by UTF-8 path.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace qvhost {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

UniqueFile OpenFile(const std::string& utf8Path, const wchar_t* mode);
// Reads a whole file of at most maxBytes; false when it cannot be read or is larger.
bool ReadWholeFile(const std::string& utf8Path, std::vector<uint8_t>& bytes, int64_t maxBytes = int64_t{1} << 30);
bool WriteWholeFile(const std::string& utf8Path, std::span<const uint8_t> bytes);

}  // namespace qvhost
