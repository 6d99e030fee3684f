// Loading a filter plug-in the way a host finds it: through its property lists (resources of type
// "PIPL"), which name the filter's kind, category, image modes, interface version and entry point,
// read in the layout real hosts read on Windows. Also reads the scripting terminology ("AETE").
//
// Four-character codes are read as hosts read them: little-endian 32-bit numbers whose value is
// the multi-character literal ('8BIM' is stored as the bytes "MIB8").
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "PluginInterface.h"
#include "Win32Owners.h"

namespace qvhost {

// The newest filter interface hosts run: 4.0 (major << 16 | minor).
constexpr uint32_t kNewestInterfaceVersion = 0x00040000;

// One property as stored: its data includes the zero padding the stored length counts.
struct StoredProperty {
    uint32_t vendor = 0;
    uint32_t key = 0;
    int32_t id = 0;
    std::span<const uint8_t> data;
};

// The 'hstm' property: where the filter's scripting terminology is.
struct TerminologyPointer {
    uint32_t version = 0;        // hosts use the pointer only when it is 0
    uint32_t classId = 0;
    uint32_t eventId = 0;
    int16_t terminologyId = 0;   // id of the AETE resource
    std::string scope;
};

struct PluginProperties {
    uint32_t kind = 0;               // '8BFM' for a filter
    std::string name;
    std::string category;
    std::string entryName;           // the 64-bit x86 entry ('8664')
    uint32_t modes = 0;              // bit n set: image mode n is supported
    bool hasModes = false;
    uint32_t interfaceVersion = 0;   // 'vers', major << 16 | minor; 0 when absent
    std::string enableExpression;    // 'enbl'
    std::optional<TerminologyPointer> terminology;
};

// Splits a property list into its properties: a 16-bit reserved word, a 32-bit version that must
// be 0, a 32-bit count, then each property as vendor, key, id and a length that counts the data's
// padding, so it must be a multiple of 4. Answers nothing when the list breaks any of that, runs
// past its end or carries bytes after its last property; error says why. The data spans point
// into bytes.
std::optional<std::vector<StoredProperty>> SplitPropertyList(std::span<const uint8_t> bytes, std::string& error);

// Reads a filter's property list as a careful host does, refusing (with the reason in error) a
// list that SplitPropertyList refuses, a property whose data does not hold what its key needs
// (strings that run past their data or lack their terminator, short codes and numbers), a kind
// other than '8BFM', an interface version above 4.0, and a list without a 64-bit entry point.
// Properties of vendors other than '8BIM' are skipped.
std::optional<PluginProperties> ParsePropertyList(std::span<const uint8_t> bytes, std::string& error);

// The scripting terminology, in the single-suite, single-event form hosts read from a filter.
struct TerminologyParameter {
    std::string name;
    uint32_t key = 0;
    uint32_t type = 0;
    std::string description;
    uint16_t flags = 0;
};

struct TerminologyEnumeration {
    struct Item {
        std::string name;
        uint32_t key = 0;
        std::string description;
    };
    uint32_t type = 0;
    std::vector<Item> items;
};

struct Terminology {
    uint8_t majorVersion = 0, minorVersion = 0;
    int16_t language = 0, script = 0;
    struct {
        std::string name, description;
        uint32_t id = 0;
        int16_t level = 0, version = 0;
    } suite;
    struct {
        std::string name, description;
        uint32_t classId = 0, eventId = 0;
        uint32_t replyType = 0;
        std::string replyDescription;
        uint16_t replyFlags = 0;
        uint32_t directType = 0;
        std::string directDescription;
        uint16_t directFlags = 0;
    } event;
    std::vector<TerminologyParameter> parameters;
    std::vector<TerminologyEnumeration> enumerations;
};

// Reads an AETE resource: a reserved 16-bit word, the version bytes 1, 0, language, script and a
// suite count, then the suite, its event, the event's reply, direct parameter and parameters, and
// the counts of classes, comparison operators and enumerations. Refuses (with the reason in error)
// what hosts ignore (another version, not exactly one suite of level 1 and version 1 with exactly
// one event, no parameter), classes and comparison operators (which filters do not declare),
// data that runs past the end, and bytes after the end.
std::optional<Terminology> ParseTerminology(std::span<const uint8_t> bytes, std::string& error);

// The data of a resource of a module, empty when there is none.
std::span<const uint8_t> ResourceBytes(HMODULE module, const wchar_t* type, const wchar_t* name);

// A loaded plug-in library and its entry. Frees the library when destroyed.
class PluginModule {
public:
    PluginModule() = default;
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    // Loads the library, reads its property lists (every PIPL resource, as hosts do; the first
    // one accepted names the filter) and finds the entry; false with a message in error when any
    // of that fails.
    bool Load(const std::string& utf8Path, std::string& error);

    PluginEntryProc Entry() const { return entry_; }
    const PluginProperties& Properties() const { return properties_; }
    HMODULE Module() const { return module_.Get(); }

private:
    OwnedModule module_;
    PluginEntryProc entry_ = nullptr;
    PluginProperties properties_;
};

}  // namespace qvhost
