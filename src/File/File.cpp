// The stored layout of file specs, type lists, extension codes and the filter text of the
// open-file dialog.
#include "File.h"

#include <algorithm>
#include <cstring>

#include "Alerts.h"
#include "BigEndian.h"

namespace {

std::string gFrameLibraryFolder;

// The NUL-terminated text at offset, never read past the block's end.
std::string_view BoundedText(const uint8_t* bytes, size_t offset) {
    const auto* text = reinterpret_cast<const char*>(bytes + offset);
    const size_t capacity = FileSpec::kSize - offset;
    const void* terminator = std::memchr(text, 0, capacity);
    return {text, terminator ? static_cast<size_t>(static_cast<const char*>(terminator) - text) : capacity};
}

// Writes text and its terminator at offset; false when they do not fit the block.
bool StoreText(FileSpec& spec, size_t offset, std::string_view text) {
    if (text.size() >= FileSpec::kSize - offset) return false;
    std::memcpy(spec.bytes + offset, text.data(), text.size());
    spec.bytes[offset + text.size()] = 0;
    return true;
}

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The characters of a code shown in filter texts: neither control nor space, nor ".", nor a
// lower-case letter.
std::string ShownCharacters(uint32_t code) {
    std::string shown;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((code >> shift) & 0x7F);
        if (c >= 33 && c != '.' && !(c >= 'a' && c <= 'z')) shown.push_back(c);
    }
    return shown;
}

}  // namespace

// ---- FileSpec: layout ----

FileSpec FileSpec::FromPath(std::string_view path) {
    FileSpec spec;
    if (!StoreText(spec, 0, path)) spec.Clear();
    return spec;
}

FileSpec FileSpec::FromResource(uint32_t type, uint16_t id) {
    FileSpec spec;
    BigEndian::Write32(spec.bytes, kResourceKind);
    BigEndian::Write32(spec.bytes + 4, type);
    BigEndian::Write32(spec.bytes + 8, id);
    return spec;
}

FileSpec FileSpec::FromRelativePath(std::string_view path) {
    FileSpec spec;
    BigEndian::Write32(spec.bytes, kRelativeKind);
    if (!StoreText(spec, kTextOffset, path)) spec.Clear();
    return spec;
}

FileSpec::Kind FileSpec::GetKind() const {
    switch (BigEndian::Read32(bytes)) {
    case kResourceKind: return Kind::Resource;
    case kRelativeKind: return Kind::Relative;
    default: return Kind::Path;
    }
}

std::string_view FileSpec::Text() const {
    switch (GetKind()) {
    case Kind::Path: return BoundedText(bytes, 0);
    case Kind::Relative: return BoundedText(bytes, kTextOffset);
    case Kind::Resource: break;
    }
    return {};
}

uint32_t FileSpec::ResourceType() const { return GetKind() == Kind::Resource ? BigEndian::Read32(bytes + 4) : 0; }

uint16_t FileSpec::ResourceId() const { return GetKind() == Kind::Resource ? BigEndian::Read16(bytes + 10) : 0; }

// ---- FileSpec: names and extensions ----

size_t FileSpec::NameOffset(std::string_view path) {
    const size_t separator = path.rfind('\\');
    return separator == std::string_view::npos ? 0 : separator + 1;
}

size_t FileSpec::ExtensionOffset(std::string_view path) {
    constexpr size_t kMaxExtension = 5;  // the dot included
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot < NameOffset(path) || path.size() - dot > kMaxExtension) {
        return path.size();
    }
    return dot;
}

uint32_t FileSpec::ExtensionCode(std::string_view path) {
    const std::string_view extension = path.substr(ExtensionOffset(path));
    if (extension.empty()) return 0;
    uint32_t code = 0;
    for (size_t i = 0; i < 4; ++i) {
        const uint8_t c = i < extension.size() ? static_cast<uint8_t>(UpperAscii(extension[i])) : 0;
        code |= uint32_t{c} << (24 - 8 * i);
    }
    if (extension.size() == 5) code = (code << 8) | static_cast<uint8_t>(UpperAscii(extension[4]));
    return code;
}

ErrorCode FileSpec::GetName(std::string& name) const {
    name.clear();
    if (GetKind() == Kind::Resource) {
        char text[256];
        if (!LoadResourceString(ResourceId(), text, sizeof text)) return Err::ResourceMissing;
        name = text;
        return 0;
    }
    const std::string_view text = Text();
    name = text.substr(NameOffset(text));
    return 0;
}

std::string FileSpec::JoinPath(std::string_view folder, std::string_view name) {
    std::string result(folder);
    if (result.empty() || result.back() != '\\') result += '\\';
    result += name;
    return result;
}

int FileSpec::TypeIndex(const File& file, const uint32_t* list) {
    if (!list) return 0;
    std::string name;
    file.Spec().GetName(name);
    const uint32_t extension = ExtensionCode(name);
    int group = 1;
    for (const uint32_t* code = list; *code != 0; ++code) {
        const uint32_t masked = *code & FileTypeList::kCodeMask;
        if (masked == file.TypeCode() || (extension != 0 && masked == extension)) return group;
        if (*code & FileTypeList::kGroupEnd) ++group;
    }
    return 0;
}

// ---- type lists ----

bool FileTypeList::HoldsExtensionOf(const uint32_t* list, std::string_view path) {
    const uint32_t extension = FileSpec::ExtensionCode(path.substr(FileSpec::NameOffset(path)));
    if (!list || extension == 0) return false;
    for (const uint32_t* code = list; *code != 0; ++code)
        if ((*code & kCodeMask) == extension) return true;
    return false;
}

uint32_t FileTypeList::Get(const uint32_t* list, int group) {
    if (!list || group < 1) return 0;
    int current = 1;
    for (const uint32_t* code = list; *code != 0; ++code) {
        if (*code & kGroupEnd) {
            if (current == group) return *code & kCodeMask;
            ++current;
        }
    }
    return 0;
}

void SetFrameLibraryFolder(std::string_view folder) { gFrameLibraryFolder = folder; }

const std::string& FrameLibraryFolder() { return gFrameLibraryFolder; }

// ---- File: the parts without the operating system ----

bool File::DialogTitle(int, std::string&) { return false; }

void File::MakeFilterString(int style, const uint32_t* list, std::string& filter, int& selectedGroup) {
    if (!list) return;
    filter.clear();
    if (*list == 0) return;

    // Each group's patterns ("*.FRM;*.JPEG"), and its label from the code that ends it.
    std::vector<std::pair<std::string, std::string>> groups(1);
    const uint32_t typeCode = typeCode_;
    for (const uint32_t* code = list; *code != 0; ++code) {
        const uint32_t masked = *code & FileTypeList::kCodeMask;
        std::string& patterns = groups.back().second;
        if (!patterns.empty()) patterns += ';';
        patterns += "*." + ShownCharacters(masked);
        if (masked == typeCode) selectedGroup = static_cast<int>(groups.size());
        if (*code & FileTypeList::kGroupEnd) {
            groups.back().first = ShownCharacters(masked);
            if (code[1] != 0) groups.emplace_back();
        }
    }
    auto append = [&filter](const std::string& text) {
        filter += text;
        filter += '\0';
    };
    if (style == kFilterPerGroup) {
        for (const auto& [label, patterns] : groups) {
            append(label + " (" + patterns + ")");
            append(patterns);
        }
    } else {
        std::string all;
        for (const auto& group : groups) all += (all.empty() ? "" : ";") + group.second;
        append(all);
        append(all);
    }
    filter += '\0';
}
