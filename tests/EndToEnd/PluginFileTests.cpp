// Quorvel.8bf as a host finds it: a 64-bit DLL exporting ENTRYPOINT, with its property list and
// scripting terminology, that needs no DLL beside it but the system's.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <optional>
#include <set>
#include <vector>

#include "EndToEndSupport.h"
#include "QuorvelHostCore/FileIO.h"

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

TEST(PlugInFile, CarriesItsPropertyListAndTerminology) {
    HMODULE module = LoadLibraryExA(endtoend::BinPath("Quorvel.8bf").c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_TRUE(module);
    EXPECT_TRUE(FindResourceA(module, MAKEINTRESOURCEA(16000), "PIPL"));
    EXPECT_TRUE(FindResourceA(module, MAKEINTRESOURCEA(16000), "AETE"));
    FreeLibrary(module);
}

}  // namespace
