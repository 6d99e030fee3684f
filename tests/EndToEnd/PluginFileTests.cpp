// Quorvel.8bf as a host finds it: a 64-bit DLL exporting ENTRYPOINT, with its property list and
// scripting terminology in the layout hosts read, that needs no DLL beside it but the system's.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "EndToEndSupport.h"
#include "QuorvelHostCore/FileIO.h"
#include "QuorvelHostCore/HostLog.h"
#include "QuorvelHostCore/PluginModule.h"

// Compiled here for its static checks: the codes the resources write are the literals read here.
#include "PiPLCodes.h"

namespace {

// A PE image read from its file, with the few directories the tests need.
class PeFile {
public:
    explicit PeFile(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    template <typename T>
    std::optional<T> At(uint64_t offset) const {
        if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T)) return std::nullopt;
        T value;
        std::memcpy(&value, bytes_.data() + offset, sizeof value);
        return value;
    }

    std::optional<IMAGE_NT_HEADERS64> Headers() const {
        const auto dos = At<IMAGE_DOS_HEADER>(0);
        if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE) return std::nullopt;
        const auto nt = At<IMAGE_NT_HEADERS64>(static_cast<uint32_t>(dos->e_lfanew));
        if (!nt || nt->Signature != IMAGE_NT_SIGNATURE) return std::nullopt;
        return nt;
    }

    // The file offset of a relative virtual address, through the section table.
    std::optional<uint64_t> OffsetOf(uint32_t rva) const {
        const auto dos = At<IMAGE_DOS_HEADER>(0);
        const auto nt = Headers();
        if (!dos || !nt) return std::nullopt;
        const uint64_t table = static_cast<uint64_t>(dos->e_lfanew) + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) +
                               nt->FileHeader.SizeOfOptionalHeader;
        for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const auto section = At<IMAGE_SECTION_HEADER>(table + i * sizeof(IMAGE_SECTION_HEADER));
            if (!section) return std::nullopt;
            const uint32_t start = section->VirtualAddress;
            if (rva >= start && rva < start + std::max(section->Misc.VirtualSize, section->SizeOfRawData))
                return uint64_t{section->PointerToRawData} + (rva - start);
        }
        return std::nullopt;
    }

    std::string StringAt(uint32_t rva) const {
        const auto offset = OffsetOf(rva);
        std::string text;
        for (uint64_t at = offset.value_or(bytes_.size()); at < bytes_.size() && bytes_[at]; ++at) text += bytes_[at];
        return text;
    }

    std::vector<std::string> ImportedLibraries() const {
        std::vector<std::string> names;
        const auto nt = Headers();
        const IMAGE_DATA_DIRECTORY directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        const auto offset = OffsetOf(directory.VirtualAddress);
        for (uint64_t at = offset.value_or(bytes_.size());; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto entry = At<IMAGE_IMPORT_DESCRIPTOR>(at);
            if (!entry || entry->Name == 0) break;
            names.push_back(StringAt(entry->Name));
        }
        return names;
    }

    std::vector<std::string> ExportedNames() const {
        std::vector<std::string> names;
        const auto nt = Headers();
        const IMAGE_DATA_DIRECTORY directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
        const auto offset = OffsetOf(directory.VirtualAddress);
        const auto exports = offset ? At<IMAGE_EXPORT_DIRECTORY>(*offset) : std::nullopt;
        if (!exports) return names;
        const auto nameTable = OffsetOf(exports->AddressOfNames);
        for (DWORD i = 0; nameTable && i < exports->NumberOfNames; ++i)
            if (const auto rva = At<uint32_t>(*nameTable + 4 * i)) names.push_back(StringAt(*rva));
        return names;
    }

private:
    std::vector<uint8_t> bytes_;
};

TEST(PlugInFile, IsA64BitDllThatExportsItsEntry) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(qvhost::ReadWholeFile(endtoend::BinPath("Quorvel.8bf"), bytes));
    const PeFile pe(std::move(bytes));
    const auto nt = pe.Headers();
    ASSERT_TRUE(nt);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);  // PE32+
    EXPECT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
    const std::vector<std::string> exports = pe.ExportedNames();
    EXPECT_NE(std::find(exports.begin(), exports.end(), "ENTRYPOINT"), exports.end());
}

TEST(PlugInFile, ImportsNothingButSystemLibraries) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(qvhost::ReadWholeFile(endtoend::BinPath("Quorvel.8bf"), bytes));
    const std::vector<std::string> imports = PeFile(std::move(bytes)).ImportedLibraries();
    ASSERT_FALSE(imports.empty());
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    for (const std::string& name : imports) {
        // A system library lies in the system folder; nothing of the build may be needed.
        EXPECT_NE(GetFileAttributesA((std::string(system) + "\\" + name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
        EXPECT_EQ(GetFileAttributesA(endtoend::BinPath(name.c_str()).c_str()), INVALID_FILE_ATTRIBUTES) << name;
    }
}

// The built plug-in's resources, read from the file as data without running its code.
class PluginResources {
public:
    PluginResources()
        : module_(LoadLibraryExA(endtoend::BinPath("Quorvel.8bf").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    PluginResources(const PluginResources&) = delete;
    PluginResources& operator=(const PluginResources&) = delete;
    ~PluginResources() {
        if (module_) FreeLibrary(module_);
    }

    bool Loaded() const { return module_ != nullptr; }
    // A copy of a resource's data, empty when there is none.
    std::vector<uint8_t> Bytes(const wchar_t* type, int id) const {
        const auto data = qvhost::ResourceBytes(module_, type, MAKEINTRESOURCEW(id));
        return {data.begin(), data.end()};
    }

private:
    HMODULE module_;
};

constexpr int kPropertyListId = 16000;
constexpr size_t kListHeaderSize = 10;
constexpr size_t kPropertyHeaderSize = 16;

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> PropertyListBytes() {
    const PluginResources resources;
    EXPECT_TRUE(resources.Loaded());
    return resources.Bytes(L"PIPL", kPropertyListId);
}

uint32_t Get32(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t{bytes[at]} | (uint32_t{bytes[at + 1]} << 8) | (uint32_t{bytes[at + 2]} << 16) |
           (uint32_t{bytes[at + 3]} << 24);
}
void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Where the property of a key starts in a well-formed list, found by stepping over the stored
// lengths as the simplest host does.
size_t PropertyAt(const std::vector<uint8_t>& list, uint32_t key) {
    for (size_t at = kListHeaderSize; at + kPropertyHeaderSize <= list.size(); at += kPropertyHeaderSize + Get32(list, at + 12))
        if (Get32(list, at + 4) == key) return at;
    ADD_FAILURE() << "no property " << qvhost::FourCC(key);
    return 0;
}

TEST(PlugInFile, PropertyListIsInTheLayoutHostsRead) {
    const std::vector<uint8_t> list = PropertyListBytes();
    ASSERT_GE(list.size(), kListHeaderSize + kPropertyHeaderSize + 4);
    // Reserved word 1, version 0, nine properties; then the kind, with every code stored as the
    // little-endian number of its literal: '8BIM' reads "MIB8".
    const std::vector<uint8_t> start(list.begin(), list.begin() + kListHeaderSize + kPropertyHeaderSize + 4);
    const std::vector<uint8_t> expected = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00,  //
                                           'M',  'I',  'B',  '8',  'd',  'n',  'i',  'k',               //
                                           0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,              //
                                           'M',  'F',  'B',  '8'};
    EXPECT_EQ(start, expected);

    std::string error;
    const auto stored = qvhost::SplitPropertyList(list, error);
    ASSERT_TRUE(stored) << error;
    std::vector<uint32_t> keys;
    std::map<uint32_t, std::vector<uint8_t>> data;
    for (const qvhost::StoredProperty& property : *stored) {
        EXPECT_EQ(property.vendor, uint32_t{'8BIM'});
        EXPECT_EQ(property.id, 0);
        keys.push_back(property.key);
        data[property.key].assign(property.data.begin(), property.data.end());
    }
    EXPECT_EQ(keys, (std::vector<uint32_t>{'kind', 'name', 'catg', 'vers', '8664', 'mode', 'enbl', 'fici', 'hstm'}));
    // The filter interface version 4.0, not the product's 4.6.
    EXPECT_EQ(data['vers'], (std::vector<uint8_t>{0x00, 0x00, 0x04, 0x00}));
    // Gray, RGB, CMYK, duotone and their 16-bit forms, most significant bit first in each byte.
    EXPECT_EQ(data['mode'], (std::vector<uint8_t>{0x58, 0xB5, 0x00, 0x00}));
    EXPECT_EQ(data['name'], Bytes("\x0BQuorvel 4.6"));
    EXPECT_EQ(data['catg'], Bytes(std::string_view("\x0A**Hidden**\0", 12)));
    EXPECT_EQ(data['8664'], Bytes(std::string_view("ENTRYPOINT\0\0", 12)));
    // A plain expression: no length byte before it, a NUL and zero padding after it.
    const std::string_view enable = "in (PSHOP_ImageMode, GrayScaleMode, RGBMode, CMYKMode, DuotoneMode, Gray16Mode, "
                                    "RGB48Mode, CMYK64Mode, Duotone16Mode)";
    EXPECT_EQ(data['enbl'], Bytes(std::string(enable) + std::string(3, '\0')));
    // Straight data in and out in all seven filter cases.
    std::vector<uint8_t> cases;
    for (int filterCase = 1; filterCase <= 7; ++filterCase) cases.insert(cases.end(), {1, 1, 0, 0});
    EXPECT_EQ(data['fici'], cases);
    // Version 0, class and event 'qvxq', the 16-bit terminology id 16000, the scope, padding.
    const std::vector<uint8_t> terminology = {0, 0, 0, 0, 'q', 'x', 'v', 'q', 'q', 'x', 'v', 'q', 0x80, 0x3E};
    const auto scope = Bytes(std::string_view("Quorvel 4.6 Frames\0\0\0\0", 22));
    std::vector<uint8_t> expectedTerminology = terminology;
    expectedTerminology.insert(expectedTerminology.end(), scope.begin(), scope.end());
    EXPECT_EQ(data['hstm'], expectedTerminology);
}

TEST(PlugInFile, PropertyListReadsAsTheFiltersIdentity) {
    std::string error;
    const auto properties = qvhost::ParsePropertyList(PropertyListBytes(), error);
    ASSERT_TRUE(properties) << error;
    EXPECT_EQ(properties->kind, uint32_t{'8BFM'});
    EXPECT_EQ(properties->name, "Quorvel 4.6");
    EXPECT_EQ(properties->category, "**Hidden**");
    EXPECT_EQ(properties->entryName, "ENTRYPOINT");
    EXPECT_EQ(properties->interfaceVersion, 0x00040000u);
    ASSERT_TRUE(properties->hasModes);
    // Gray (1), RGB (3), CMYK (4), duotone (8) and their 16-bit forms (10, 11, 13, 15); bit n is
    // mode n.
    EXPECT_EQ(properties->modes, (1u << 1) | (1u << 3) | (1u << 4) | (1u << 8) | (1u << 10) | (1u << 11) |
                                     (1u << 13) | (1u << 15));
    EXPECT_EQ(properties->enableExpression,
              "in (PSHOP_ImageMode, GrayScaleMode, RGBMode, CMYKMode, DuotoneMode, Gray16Mode, RGB48Mode, "
              "CMYK64Mode, Duotone16Mode)");
    ASSERT_TRUE(properties->terminology);
    EXPECT_EQ(properties->terminology->version, 0u);
    EXPECT_EQ(properties->terminology->classId, uint32_t{'qvxq'});
    EXPECT_EQ(properties->terminology->eventId, uint32_t{'qvxq'});
    EXPECT_EQ(properties->terminology->terminologyId, 16000);
    EXPECT_EQ(properties->terminology->scope, "Quorvel 4.6 Frames");
}

TEST(PlugInFile, TerminologyDescribesTheFilterEventAndItsSettings) {
    const PluginResources resources;
    ASSERT_TRUE(resources.Loaded());
    std::string error;
    const auto properties = qvhost::ParsePropertyList(resources.Bytes(L"PIPL", kPropertyListId), error);
    ASSERT_TRUE(properties && properties->terminology) << error;
    // The terminology is the AETE resource the property list points at.
    const std::vector<uint8_t> bytes = resources.Bytes(L"AETE", properties->terminology->terminologyId);
    ASSERT_GE(bytes.size(), 10u);
    // Reserved word, version bytes 1 and 0, language 0, script 0, one suite.
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 2, bytes.begin() + 10),
              (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 1, 0}));
    const auto terminology = qvhost::ParseTerminology(bytes, error);
    ASSERT_TRUE(terminology) << error;
    EXPECT_EQ(terminology->suite.name, "Quorvel");
    EXPECT_EQ(terminology->suite.description, "Vantrel Software filters");
    EXPECT_EQ(terminology->suite.id, uint32_t{'qvxq'});
    EXPECT_EQ(terminology->event.name, "Quorvel");
    EXPECT_EQ(terminology->event.description, "Frames the photo with Quorvel.");
    EXPECT_EQ(terminology->event.classId, properties->terminology->classId);
    EXPECT_EQ(terminology->event.eventId, properties->terminology->eventId);
    EXPECT_EQ(terminology->event.replyType, uint32_t{'null'});
    EXPECT_EQ(terminology->event.replyDescription, "");
    EXPECT_EQ(terminology->event.directType, uint32_t{'#ImR'});
    EXPECT_EQ(terminology->event.directDescription, "");
    ASSERT_EQ(terminology->parameters.size(), 1u);
    EXPECT_EQ(terminology->parameters[0].name, "settings");
    EXPECT_EQ(terminology->parameters[0].key, uint32_t{'FrMP'});
    EXPECT_EQ(terminology->parameters[0].type, uint32_t{'tdta'});
    EXPECT_EQ(terminology->parameters[0].description, "The stored settings.");
    EXPECT_TRUE(terminology->enumerations.empty());
}

// The product's property list with one fault each: what the reader must refuse, and a part of the
// reason it must give.
struct ListFault {
    const char* fault;
    void (*apply)(std::vector<uint8_t>& list);
    const char* reason;
};

const ListFault kListFaults[] = {
    {"version 1", [](std::vector<uint8_t>& list) { Put32(list, 2, 1); }, "version is 1;"},
    {"no reserved word before the version",
     [](std::vector<uint8_t>& list) { list.erase(list.begin(), list.begin() + 2); }, "version is"},
    {"count one too high", [](std::vector<uint8_t>& list) { Put32(list, 6, Get32(list, 6) + 1); }, "ends inside"},
    {"last length past the end",
     [](std::vector<uint8_t>& list) {
         const size_t at = PropertyAt(list, 'hstm');
         Put32(list, at + 12, Get32(list, at + 12) + 4);
     },
     "runs past the end"},
    {"length without its padding",
     [](std::vector<uint8_t>& list) { Put32(list, PropertyAt(list, 'name') + 12, 11); }, "not a multiple of 4"},
    {"kind in reading order",
     [](std::vector<uint8_t>& list) { std::memcpy(&list[PropertyAt(list, 'kind') + 16], "8BFM", 4); },
     "kind is 'MFB8', not '8BFM'"},
    {"interface version 4.1", [](std::vector<uint8_t>& list) { Put32(list, PropertyAt(list, 'vers') + 16, 0x00040001); },
     "interface 4.1"},
    {"product version as interface version",
     [](std::vector<uint8_t>& list) { Put32(list, PropertyAt(list, 'vers') + 16, 0x00040006); }, "interface 4.6"},
    {"only a 32-bit entry", [](std::vector<uint8_t>& list) { Put32(list, PropertyAt(list, '8664') + 4, 'wx86'); },
     "no 64-bit entry point"},
    {"entry without its terminator",
     [](std::vector<uint8_t>& list) { std::memset(&list[PropertyAt(list, '8664') + 16], 'X', 12); },
     "no terminating NUL"},
    {"name longer than its data", [](std::vector<uint8_t>& list) { list[PropertyAt(list, 'name') + 16] = 200; },
     "runs past its data"},
};

TEST(PlugInFile, ReaderRefusesTheListWithAnyOneFault) {
    const std::vector<uint8_t> good = PropertyListBytes();
    std::string error;
    ASSERT_TRUE(qvhost::ParsePropertyList(good, error)) << error;
    for (const ListFault& fault : kListFaults) {
        std::vector<uint8_t> list = good;
        fault.apply(list);
        error.clear();
        EXPECT_FALSE(qvhost::ParsePropertyList(list, error)) << fault.fault;
        EXPECT_NE(error.find(fault.reason), std::string::npos) << fault.fault << ": " << error;
    }
}

TEST(PlugInFile, TerminologyReaderRefusesEveryCutAndAnyAddition) {
    const PluginResources resources;
    const std::vector<uint8_t> good = resources.Bytes(L"AETE", 16000);
    std::string error;
    ASSERT_TRUE(qvhost::ParseTerminology(good, error)) << error;
    for (size_t length = 0; length < good.size(); ++length) {
        error.clear();
        EXPECT_FALSE(qvhost::ParseTerminology(std::span(good.data(), length), error)) << length;
        EXPECT_FALSE(error.empty()) << length;
    }
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    EXPECT_FALSE(qvhost::ParseTerminology(longer, error));
    EXPECT_NE(error.find("follow the end"), std::string::npos) << error;
    std::vector<uint8_t> otherVersion = good;
    otherVersion[2] = 2;
    EXPECT_FALSE(qvhost::ParseTerminology(otherVersion, error));
    EXPECT_NE(error.find("version is 2.0"), std::string::npos) << error;
}

}  // namespace
