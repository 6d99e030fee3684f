#include "PluginModule.h"

#include <cstdio>

#include "HostLog.h"
#include "TextConversion.h"

namespace qvhost {
namespace {

constexpr uint32_t kVendor = '8BIM';
constexpr uint32_t kFilterKind = '8BFM';

// The property list's header: reserved word, version, count; then each property's header.
constexpr size_t kListHeaderSize = 2 + 4 + 4;
constexpr size_t kPropertyHeaderSize = 4 + 4 + 4 + 4;
constexpr uint32_t kListVersion = 0;
constexpr size_t kPropertyAlignment = 4;

// 'hstm': version, class, event, 16-bit terminology id, then the scope as a C string.
constexpr size_t kTerminologyScopeOffset = 4 + 4 + 4 + 2;

// 'mode': modes 0 to 15 in bytes 0 and 1, the most significant bit first in each byte.
constexpr int kClassicModeCount = 16;
constexpr size_t kModeFlagsSize = 4;

// Little-endian reads that refuse to pass the end: the first read that would sets the error,
// naming the field, and every later read answers zero.
class ByteReader {
public:
    ByteReader(std::span<const uint8_t> bytes, std::string what) : bytes_(bytes), what_(std::move(what)) {}

    bool Failed() const { return !error_.empty(); }
    const std::string& Error() const { return error_; }
    size_t Remaining() const { return bytes_.size() - offset_; }
    void Fail(const std::string& message) {
        if (error_.empty()) error_ = message;
    }

    std::span<const uint8_t> Take(size_t count, const char* field) {
        if (Failed()) return {};
        if (count > Remaining()) {
            Fail(what_ + " ends inside " + field);
            return {};
        }
        const auto part = bytes_.subspan(offset_, count);
        offset_ += count;
        return part;
    }
    uint8_t Byte(const char* field) {
        const auto p = Take(1, field);
        return p.empty() ? 0 : p[0];
    }
    uint16_t Word16(const char* field) {
        const auto p = Take(2, field);
        return p.empty() ? 0 : static_cast<uint16_t>(p[0] | (p[1] << 8));
    }
    uint32_t Word32(const char* field) {
        const auto p = Take(4, field);
        if (p.empty()) return 0;
        return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
    }
    // A four-character code: the little-endian number whose value is the literal.
    uint32_t Code(const char* field) { return Word32(field); }
    // A length byte, then that many characters.
    std::string Pascal(const char* field) {
        const uint8_t length = Byte(field);
        const auto text = Take(length, field);
        return std::string(reinterpret_cast<const char*>(text.data()), text.size());
    }

private:
    std::span<const uint8_t> bytes_;
    std::string what_;
    size_t offset_ = 0;
    std::string error_;
};

std::string Quoted(const char* key) { return std::string("'") + key + "'"; }

// A Pascal string that fills part of a property's data.
std::optional<std::string> PascalData(std::span<const uint8_t> data, const char* key, std::string& error) {
    if (data.empty() || size_t{data[0]} + 1 > data.size()) {
        error = "the " + Quoted(key) + " property's string runs past its data";
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(data.data() + 1), data[0]);
}

// A NUL-terminated string within a property's data.
std::optional<std::string> TerminatedData(std::span<const uint8_t> data, const char* key, std::string& error) {
    for (size_t length = 0; length < data.size(); ++length)
        if (data[length] == 0) return std::string(reinterpret_cast<const char*>(data.data()), length);
    error = "the " + Quoted(key) + " property's string has no terminating NUL within its data";
    return std::nullopt;
}

// The first 32-bit number of a property's data.
std::optional<uint32_t> WordData(std::span<const uint8_t> data, const char* key, std::string& error) {
    ByteReader reader(data, "the " + Quoted(key) + " property's data");
    const uint32_t value = reader.Word32("its first 32-bit number");
    if (reader.Failed()) {
        error = reader.Error();
        return std::nullopt;
    }
    return value;
}

// Bit n of the answer is mode n, from the hosts' byte layout.
uint32_t ModesFromFlags(std::span<const uint8_t> flags) {
    uint32_t modes = 0;
    for (int mode = 0; mode < kClassicModeCount; ++mode)
        if (flags[mode / 8] & (0x80 >> (mode % 8))) modes |= 1u << mode;
    return modes;
}

std::optional<TerminologyPointer> TerminologyData(std::span<const uint8_t> data, std::string& error) {
    ByteReader reader(data, "the 'hstm' property's data");
    TerminologyPointer pointer;
    pointer.version = reader.Word32("its version");
    pointer.classId = reader.Code("its class");
    pointer.eventId = reader.Code("its event");
    pointer.terminologyId = static_cast<int16_t>(reader.Word16("its terminology id"));
    if (reader.Failed()) {
        error = reader.Error();
        return std::nullopt;
    }
    const auto scope = TerminatedData(data.subspan(kTerminologyScopeOffset), "hstm", error);
    if (!scope) return std::nullopt;
    pointer.scope = *scope;
    return pointer;
}

std::string VersionText(uint32_t version) {
    return std::to_string(version >> 16) + "." + std::to_string(version & 0xFFFF);
}

// A resource name as EnumResourceNames gives it: a number, or a text copied while it is valid.
struct ResourceName {
    WORD id = 0;
    std::wstring text;
    const wchar_t* Pointer() const { return text.empty() ? MAKEINTRESOURCEW(id) : text.c_str(); }
    std::string Label() const { return text.empty() ? std::to_string(id) : Narrow(text); }
};

// Called by the system: nothing may be thrown out of it.
BOOL CALLBACK CollectResourceName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) noexcept {
    try {
        ResourceName entry;
        if (IS_INTRESOURCE(name))
            entry.id = static_cast<WORD>(reinterpret_cast<uintptr_t>(name));
        else
            entry.text = name;
        reinterpret_cast<std::vector<ResourceName>*>(list)->push_back(std::move(entry));
        return TRUE;
    } catch (...) {
        return FALSE;  // out of memory: the names found so far are read
    }
}

}  // namespace

std::optional<std::vector<StoredProperty>> SplitPropertyList(std::span<const uint8_t> bytes, std::string& error) {
    ByteReader reader(bytes, "the property list");
    reader.Word16("its header");  // reserved: 1, checked by no host
    const uint32_t version = reader.Word32("its header");
    const uint32_t count = reader.Word32("its header");
    if (reader.Failed()) {
        error = reader.Error();
        return std::nullopt;
    }
    if (version != kListVersion) {
        error = "the property list's version is " + std::to_string(version) + "; hosts read only version 0";
        return std::nullopt;
    }
    std::vector<StoredProperty> properties;
    for (uint32_t i = 0; i < count; ++i) {
        const std::string which = "property " + std::to_string(i);
        StoredProperty property;
        property.vendor = reader.Code("a property's header");
        property.key = reader.Code("a property's header");
        property.id = static_cast<int32_t>(reader.Word32("a property's header"));
        const uint32_t length = reader.Word32("a property's header");
        if (reader.Failed()) {
            error = reader.Error() + " (" + which + " of " + std::to_string(count) + ")";
            return std::nullopt;
        }
        const std::string named = which + " (" + FourCC(property.key) + ")";
        if (length % kPropertyAlignment != 0) {
            // Some hosts step to the next property by the stored length alone, others round it
            // up: only a padded length reads the same in both.
            error = named + " has the length " + std::to_string(length) +
                    ", which is not a multiple of 4: the length must count the data's padding";
            return std::nullopt;
        }
        if (length > reader.Remaining()) {
            error = "the data of " + named + " runs past the end of the property list (" + std::to_string(length) +
                    " bytes, " + std::to_string(reader.Remaining()) + " left)";
            return std::nullopt;
        }
        property.data = reader.Take(length, "a property's data");
        properties.push_back(property);
    }
    if (reader.Remaining() != 0) {
        error = std::to_string(reader.Remaining()) + " bytes follow the last of the " + std::to_string(count) +
                " properties the list's count names";
        return std::nullopt;
    }
    return properties;
}

std::optional<PluginProperties> ParsePropertyList(std::span<const uint8_t> bytes, std::string& error) {
    const auto stored = SplitPropertyList(bytes, error);
    if (!stored) return std::nullopt;
    PluginProperties properties;
    bool hasKind = false;
    for (const StoredProperty& property : *stored) {
        if (property.vendor != kVendor) continue;
        const auto data = property.data;
        switch (property.key) {
        case 'kind': {
            const auto kind = WordData(data, "kind", error);
            if (!kind) return std::nullopt;
            properties.kind = *kind;
            hasKind = true;
            break;
        }
        case 'name':
        case 'catg': {
            const bool isName = property.key == 'name';
            const auto text = PascalData(data, isName ? "name" : "catg", error);
            if (!text) return std::nullopt;
            (isName ? properties.name : properties.category) = *text;
            break;
        }
        case '8664':
        case 'enbl': {
            const bool isEntry = property.key == '8664';
            const auto text = TerminatedData(data, isEntry ? "8664" : "enbl", error);
            if (!text) return std::nullopt;
            (isEntry ? properties.entryName : properties.enableExpression) = *text;
            break;
        }
        case 'mode':
            if (data.size() < kModeFlagsSize) {
                error = "the 'mode' property holds " + std::to_string(data.size()) + " bytes, not the 4 of its flags";
                return std::nullopt;
            }
            properties.modes = ModesFromFlags(data);
            properties.hasModes = true;
            break;
        case 'vers': {
            const auto version = WordData(data, "vers", error);
            if (!version) return std::nullopt;
            properties.interfaceVersion = *version;
            break;
        }
        case 'hstm': {
            auto pointer = TerminologyData(data, error);
            if (!pointer) return std::nullopt;
            properties.terminology = std::move(*pointer);
            break;
        }
        default:
            break;
        }
    }
    if (!hasKind) {
        error = "the property list names no kind ('kind'): not a filter";
        return std::nullopt;
    }
    if (properties.kind != kFilterKind) {
        error = "the plug-in's kind is " + FourCC(properties.kind) + ", not '8BFM': not a filter";
        return std::nullopt;
    }
    if (properties.interfaceVersion > kNewestInterfaceVersion) {
        error = "the plug-in needs the filter interface " + VersionText(properties.interfaceVersion) +
                " ('vers'); hosts run filters of interface 4.0 at most";
        return std::nullopt;
    }
    if (properties.entryName.empty()) {
        error = "the property list names no 64-bit entry point ('8664')";
        return std::nullopt;
    }
    return properties;
}

std::optional<Terminology> ParseTerminology(std::span<const uint8_t> bytes, std::string& error) {
    ByteReader reader(bytes, "the terminology");
    Terminology t;
    reader.Word16("its header");  // reserved, skipped by hosts
    t.majorVersion = reader.Byte("its header");
    t.minorVersion = reader.Byte("its header");
    t.language = static_cast<int16_t>(reader.Word16("its header"));
    t.script = static_cast<int16_t>(reader.Word16("its header"));
    const uint16_t suites = reader.Word16("its header");
    if (!reader.Failed()) {
        if (t.majorVersion != 1 || t.minorVersion != 0)
            reader.Fail("the terminology's version is " + std::to_string(t.majorVersion) + "." +
                        std::to_string(t.minorVersion) + "; hosts read only 1.0");
        else if (suites != 1)
            reader.Fail("the terminology holds " + std::to_string(suites) + " suites; hosts read a filter's only with one");
    }

    t.suite.name = reader.Pascal("the suite's name");
    t.suite.description = reader.Pascal("the suite's description");
    t.suite.id = reader.Code("the suite's id");
    t.suite.level = static_cast<int16_t>(reader.Word16("the suite's level"));
    t.suite.version = static_cast<int16_t>(reader.Word16("the suite's version"));
    const uint16_t events = reader.Word16("the suite's event count");
    if (!reader.Failed()) {
        if (t.suite.level != 1 || t.suite.version != 1)
            reader.Fail("the suite's level and version are " + std::to_string(t.suite.level) + " and " +
                        std::to_string(t.suite.version) + "; hosts read only 1 and 1");
        else if (events != 1)
            reader.Fail("the suite holds " + std::to_string(events) + " events; hosts read a filter's only with one");
    }

    t.event.name = reader.Pascal("the event's name");
    t.event.description = reader.Pascal("the event's description");
    t.event.classId = reader.Code("the event's class");
    t.event.eventId = reader.Code("the event's id");
    t.event.replyType = reader.Code("the event's reply");
    t.event.replyDescription = reader.Pascal("the event's reply");
    t.event.replyFlags = reader.Word16("the event's reply");
    t.event.directType = reader.Code("the event's direct parameter");
    t.event.directDescription = reader.Pascal("the event's direct parameter");
    t.event.directFlags = reader.Word16("the event's direct parameter");
    const uint16_t parameters = reader.Word16("the event's parameter count");
    if (!reader.Failed() && parameters == 0) reader.Fail("the event has no parameter; hosts need at least one");
    for (uint16_t i = 0; i < parameters && !reader.Failed(); ++i) {
        TerminologyParameter parameter;
        parameter.name = reader.Pascal("a parameter");
        parameter.key = reader.Code("a parameter");
        parameter.type = reader.Code("a parameter");
        parameter.description = reader.Pascal("a parameter");
        parameter.flags = reader.Word16("a parameter");
        t.parameters.push_back(std::move(parameter));
    }

    const uint16_t classes = reader.Word16("the suite's class count");
    const uint16_t comparisons = reader.Word16("the suite's comparison operator count");
    const uint16_t enumerations = reader.Word16("the suite's enumeration count");
    if (!reader.Failed() && (classes != 0 || comparisons != 0))
        reader.Fail("the suite declares " + std::to_string(classes) + " classes and " + std::to_string(comparisons) +
                    " comparison operators; a filter's terminology declares none");
    for (uint16_t i = 0; i < enumerations && !reader.Failed(); ++i) {
        TerminologyEnumeration enumeration;
        enumeration.type = reader.Code("an enumeration");
        const uint16_t items = reader.Word16("an enumeration");
        for (uint16_t k = 0; k < items && !reader.Failed(); ++k) {
            TerminologyEnumeration::Item item;
            item.name = reader.Pascal("an enumeration item");
            item.key = reader.Code("an enumeration item");
            item.description = reader.Pascal("an enumeration item");
            enumeration.items.push_back(std::move(item));
        }
        t.enumerations.push_back(std::move(enumeration));
    }
    if (!reader.Failed() && reader.Remaining() != 0)
        reader.Fail(std::to_string(reader.Remaining()) + " bytes follow the end of the terminology");
    if (reader.Failed()) {
        error = reader.Error();
        return std::nullopt;
    }
    return t;
}

std::span<const uint8_t> ResourceBytes(HMODULE module, const wchar_t* type, const wchar_t* name) {
    HRSRC resource = FindResourceW(module, name, type);
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return {};
    return {static_cast<const uint8_t*>(data), SizeofResource(module, resource)};
}

bool PluginModule::Load(const std::string& utf8Path, std::string& error) {
    module_.Reset(LoadLibraryW(Widen(utf8Path).c_str()));
    if (!module_) {
        error = "cannot load the plug-in " + utf8Path + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    // Every property list of the module, as hosts look for them; the type's name is
    // case-insensitive (resource compilers store it upper-cased).
    std::vector<ResourceName> names;
    EnumResourceNamesW(module_.Get(), L"PIPL", CollectResourceName, reinterpret_cast<LONG_PTR>(&names));
    if (names.empty()) {
        error = utf8Path + " is not a filter plug-in: it has no property list (no PIPL resource)";
        return false;
    }
    std::string refusals;
    for (const ResourceName& name : names) {
        const auto bytes = ResourceBytes(module_.Get(), L"PIPL", name.Pointer());
        std::string why;
        std::optional<PluginProperties> properties;
        if (bytes.empty())
            why = "the resource cannot be read";
        else
            properties = ParsePropertyList(bytes, why);
        if (!properties) {
            refusals += (refusals.empty() ? "" : "; ") + std::string("PIPL ") + name.Label() + ": " + why;
            continue;
        }
        entry_ = reinterpret_cast<PluginEntryProc>(
            reinterpret_cast<void*>(GetProcAddress(module_.Get(), properties->entryName.c_str())));
        if (!entry_) {
            error = utf8Path + " does not export its entry point " + properties->entryName;
            return false;
        }
        properties_ = std::move(*properties);
        return true;
    }
    error = utf8Path + " has no property list a host accepts: " + refusals;
    return false;
}

}  // namespace qvhost
