#include "FileIO.h"

#include "TextConversion.h"

namespace qvhost {

UniqueFile OpenFile(const std::string& utf8Path, const wchar_t* mode) {
    return UniqueFile(_wfopen(Widen(utf8Path).c_str(), mode));
}

bool ReadWholeFile(const std::string& utf8Path, std::vector<uint8_t>& bytes, int64_t maxBytes) {
    UniqueFile file = OpenFile(utf8Path, L"rb");
    if (!file || _fseeki64(file.get(), 0, SEEK_END) != 0) return false;
    const int64_t size = _ftelli64(file.get());
    if (size < 0 || size > maxBytes || _fseeki64(file.get(), 0, SEEK_SET) != 0) return false;
    bytes.resize(static_cast<size_t>(size));
    return std::fread(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
}

bool WriteWholeFile(const std::string& utf8Path, std::span<const uint8_t> bytes) {
    UniqueFile file = OpenFile(utf8Path, L"wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    return std::fflush(file.get()) == 0 && written;
}

}  // namespace qvhost
