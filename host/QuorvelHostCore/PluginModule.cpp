#include "PluginModule.h"

#include "TextConversion.h"

namespace qvhost {
namespace {

constexpr int kPropertyListId = 16000;
constexpr uint32_t kVendor = '8BIM';

class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool Has(size_t count) const { return count <= bytes_.size() - offset_; }
    uint32_t Little32() {
        const uint8_t* p = bytes_.data() + offset_;
        offset_ += 4;
        return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
    }
    // A four-character code stored as its characters in reading order.
    uint32_t Code() {
        const uint8_t* p = bytes_.data() + offset_;
        offset_ += 4;
        return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
    }
    std::span<const uint8_t> Take(size_t count) {
        auto part = bytes_.subspan(offset_, count);
        offset_ += count;
        return part;
    }

private:
    std::span<const uint8_t> bytes_;
    size_t offset_ = 0;
};

std::string PascalString(std::span<const uint8_t> data) {
    if (data.empty()) return {};
    const size_t length = std::min<size_t>(data[0], data.size() - 1);
    return std::string(reinterpret_cast<const char*>(data.data() + 1), length);
}

std::string TerminatedString(std::span<const uint8_t> data) {
    size_t length = 0;
    while (length < data.size() && data[length] != 0) ++length;
    return std::string(reinterpret_cast<const char*>(data.data()), length);
}

uint32_t DataWord(std::span<const uint8_t> data) { return Reader(data).Little32(); }
uint32_t DataCode(std::span<const uint8_t> data) { return Reader(data).Code(); }

}  // namespace

std::optional<PluginProperties> ParsePropertyList(std::span<const uint8_t> bytes, std::string& error) {
    Reader reader(bytes);
    if (!reader.Has(8)) {
        error = "the property list is shorter than its header";
        return std::nullopt;
    }
    if (reader.Little32() != 0) {
        error = "the property list has an unknown version";
        return std::nullopt;
    }
    const uint32_t count = reader.Little32();
    PluginProperties properties;
    for (uint32_t i = 0; i < count; ++i) {
        if (!reader.Has(16)) {
            error = "property " + std::to_string(i) + " lies past the end of the list";
            return std::nullopt;
        }
        const uint32_t vendor = reader.Code(), key = reader.Code();
        reader.Little32();  // id
        const uint64_t length = reader.Little32();
        const uint64_t padded = (length + 3) & ~uint64_t{3};
        if (!reader.Has(padded)) {
            error = "the data of property " + std::to_string(i) + " lies past the end of the list";
            return std::nullopt;
        }
        const std::span<const uint8_t> data = reader.Take(padded).first(length);
        if (vendor != kVendor) continue;
        const bool word = length >= 4;
        switch (key) {
        case 'kind': if (word) properties.kind = DataCode(data); break;
        case 'name': properties.name = PascalString(data); break;
        case 'catg': properties.category = PascalString(data); break;
        case '8664': properties.entryName = TerminatedString(data); break;
        case 'mode':
            if (word) properties.modes = DataWord(data), properties.hasModes = true;
            break;
        case 'vers': if (word) properties.version = DataWord(data); break;
        default: break;
        }
    }
    return properties;
}

PluginModule::~PluginModule() {
    if (module_) FreeLibrary(module_);
}

bool PluginModule::Load(const std::string& utf8Path, std::string& error) {
    module_ = LoadLibraryW(Widen(utf8Path).c_str());
    if (!module_) {
        error = "cannot load the plug-in " + utf8Path + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    HRSRC resource = FindResourceW(module_, MAKEINTRESOURCEW(kPropertyListId), L"PIPL");
    HGLOBAL loaded = resource ? LoadResource(module_, resource) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) {
        error = utf8Path + " is not a filter plug-in: it has no property list (PIPL 16000)";
        return false;
    }
    const std::span<const uint8_t> bytes(static_cast<const uint8_t*>(data), SizeofResource(module_, resource));
    std::string why;
    const std::optional<PluginProperties> properties = ParsePropertyList(bytes, why);
    if (!properties) {
        error = utf8Path + ": " + why;
        return false;
    }
    if (properties->kind != '8BFM') {
        error = utf8Path + " is not a filter plug-in (its kind is not '8BFM')";
        return false;
    }
    if (properties->entryName.empty()) {
        error = utf8Path + " names no 64-bit entry point ('8664') in its property list";
        return false;
    }
    entry_ = reinterpret_cast<PluginEntryProc>(
        reinterpret_cast<void*>(GetProcAddress(module_, properties->entryName.c_str())));
    if (!entry_) {
        error = utf8Path + " does not export its entry point " + properties->entryName;
        return false;
    }
    properties_ = *properties;
    return true;
}

}  // namespace qvhost
