#include "Descriptor.h"

#include <cstdio>
#include <cstring>

#include "HostLog.h"
#include "HostSuites.h"
#include "FileIO.h"

namespace qvhost {
namespace {

constexpr uint32_t kMagic = 'QVDS';
constexpr uint32_t kFormatVersion = 1;
constexpr int kMaxDepth = 8;
// 64-bit integers live in descriptor files; the descriptor suites offer no procedure for them.
constexpr uint32_t kTypeLargeInteger = 'comp';

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
void Put64(std::vector<uint8_t>& out, uint64_t v) {
    Put32(out, static_cast<uint32_t>(v >> 32));
    Put32(out, static_cast<uint32_t>(v));
}

void PutValue(std::vector<uint8_t>& out, const DescriptorValue& value) {
    Put32(out, value.Type());
    const size_t lengthAt = out.size();
    Put32(out, 0);
    std::visit(
        [&out](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, int32_t>) Put32(out, static_cast<uint32_t>(v));
            else if constexpr (std::is_same_v<T, int64_t>) Put64(out, static_cast<uint64_t>(v));
            else if constexpr (std::is_same_v<T, double>) {
                uint64_t bits;
                std::memcpy(&bits, &v, sizeof bits);
                Put64(out, bits);
            } else if constexpr (std::is_same_v<T, bool>) out.push_back(v ? 1 : 0);
            else if constexpr (std::is_same_v<T, DescriptorList>) {
                Put32(out, static_cast<uint32_t>(v.size()));
                for (const DescriptorValue& item : v) PutValue(out, item);
            } else out.insert(out.end(), v.begin(), v.end());
        },
        value.value);
    const uint32_t length = static_cast<uint32_t>(out.size() - lengthAt - 4);
    for (int i = 0; i < 4; ++i) out[lengthAt + i] = static_cast<uint8_t>(length >> (24 - 8 * i));
}

class FlatReader {
public:
    explicit FlatReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool AtEnd() const { return offset_ == bytes_.size(); }
    bool Read32(uint32_t& v) {
        if (bytes_.size() - offset_ < 4) return false;
        const uint8_t* p = bytes_.data() + offset_;
        v = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
        offset_ += 4;
        return true;
    }
    bool Read64(uint64_t& v) {
        uint32_t high, low;
        if (!Read32(high) || !Read32(low)) return false;
        v = (uint64_t{high} << 32) | low;
        return true;
    }
    bool Take(size_t count, std::span<const uint8_t>& part) {
        if (bytes_.size() - offset_ < count) return false;
        part = bytes_.subspan(offset_, count);
        offset_ += count;
        return true;
    }

private:
    std::span<const uint8_t> bytes_;
    size_t offset_ = 0;
};

bool ReadValue(FlatReader& reader, DescriptorValue& value, int depth) {
    uint32_t type, length;
    std::span<const uint8_t> payload;
    if (!reader.Read32(type) || !reader.Read32(length) || !reader.Take(length, payload)) return false;
    FlatReader inner(payload);
    uint64_t wide = 0;
    uint32_t word = 0;
    switch (type) {
    case kTypeInteger:
        if (length != 4 || !inner.Read32(word)) return false;
        value.value = static_cast<int32_t>(word);
        return true;
    case kTypeLargeInteger:
        if (length != 8 || !inner.Read64(wide)) return false;
        value.value = static_cast<int64_t>(wide);
        return true;
    case kTypeFloat: {
        if (length != 8 || !inner.Read64(wide)) return false;
        double real;
        std::memcpy(&real, &wide, sizeof real);
        value.value = real;
        return true;
    }
    case kTypeBoolean:
        if (length != 1 || payload[0] > 1) return false;
        value.value = payload[0] == 1;
        return true;
    case kTypeText:
        value.value = std::string(payload.begin(), payload.end());
        return true;
    case kTypeRawData:
        value.value = DescriptorBlob(payload.begin(), payload.end());
        return true;
    case kTypeList: {
        uint32_t count;
        if (depth >= kMaxDepth || !inner.Read32(count)) return false;
        DescriptorList list;
        for (uint32_t i = 0; i < count; ++i) {
            DescriptorValue item;
            if (!ReadValue(inner, item, depth + 1)) return false;
            list.push_back(std::move(item));
        }
        if (!inner.AtEnd()) return false;
        value.value = std::move(list);
        return true;
    }
    default:
        return false;
    }
}

std::string DescribeValue(const DescriptorValue& value) {
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, int32_t> || std::is_same_v<T, int64_t>) return std::to_string(v);
            else if constexpr (std::is_same_v<T, double>) {
                char text[32];
                std::snprintf(text, sizeof text, "%g", v);
                return text;
            } else if constexpr (std::is_same_v<T, bool>) return v ? "true" : "false";
            else if constexpr (std::is_same_v<T, std::string>) return "\"" + v + "\"";
            else if constexpr (std::is_same_v<T, DescriptorBlob>) return std::to_string(v.size()) + " bytes";
            else {
                std::string text = "[";
                for (size_t i = 0; i < v.size(); ++i) text += (i ? ", " : "") + DescribeValue(v[i]);
                return text + "]";
            }
        },
        value.value);
}

}  // namespace

uint32_t DescriptorValue::Type() const {
    static constexpr uint32_t kTypes[] = {kTypeInteger, kTypeLargeInteger, kTypeFloat, kTypeBoolean,
                                          kTypeText,    kTypeRawData,      kTypeList};
    return kTypes[value.index()];
}

void Descriptor::Put(uint32_t key, DescriptorValue value) {
    for (Entry& entry : entries_)
        if (entry.key == key) {
            entry.value = std::move(value);
            return;
        }
    entries_.push_back({key, std::move(value)});
}

const DescriptorValue* Descriptor::Find(uint32_t key) const {
    for (const Entry& entry : entries_)
        if (entry.key == key) return &entry.value;
    return nullptr;
}

std::vector<uint8_t> Flatten(const Descriptor& descriptor) {
    std::vector<uint8_t> out;
    Put32(out, kMagic);
    Put32(out, kFormatVersion);
    Put32(out, static_cast<uint32_t>(descriptor.Entries().size()));
    for (const Descriptor::Entry& entry : descriptor.Entries()) {
        Put32(out, entry.key);
        PutValue(out, entry.value);
    }
    return out;
}

std::optional<Descriptor> Unflatten(std::span<const uint8_t> flat) {
    FlatReader reader(flat);
    uint32_t magic, version, count;
    if (!reader.Read32(magic) || magic != kMagic || !reader.Read32(version) || version != kFormatVersion ||
        !reader.Read32(count))
        return std::nullopt;
    Descriptor descriptor;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t key;
        DescriptorValue value;
        if (!reader.Read32(key) || !ReadValue(reader, value, 0)) return std::nullopt;
        descriptor.Put(key, std::move(value));
    }
    if (!reader.AtEnd()) return std::nullopt;
    return descriptor;
}

std::string Describe(const Descriptor& descriptor) {
    if (descriptor.Entries().empty()) return "(empty)";
    std::string text;
    for (const Descriptor::Entry& entry : descriptor.Entries()) {
        if (!text.empty()) text += "; ";
        text += FourCC(entry.key) + " " + FourCC(entry.value.Type()) + " " + DescribeValue(entry.value);
    }
    return text;
}

bool ReadDescriptorFile(const std::string& utf8Path, Descriptor& descriptor, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(utf8Path, bytes)) {
        error = "cannot read " + utf8Path;
        return false;
    }
    std::optional<Descriptor> read = Unflatten(bytes);
    if (!read) {
        error = utf8Path + " is not a well-formed descriptor file";
        return false;
    }
    descriptor = std::move(*read);
    return true;
}

bool WriteDescriptorFile(const std::string& utf8Path, const Descriptor& descriptor, std::string& error) {
    return WriteWholeFile(utf8Path, Flatten(descriptor), error);
}

}  // namespace qvhost
