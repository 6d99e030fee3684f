// Loading a filter plug-in the way a host finds it: through its property list (resource type
// "PIPL", id 16000), which names the filter's kind, category, image modes and its entry point.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "PluginInterface.h"

namespace qvhost {

struct PluginProperties {
    uint32_t kind = 0;           // '8BFM' for a filter
    std::string name;
    std::string category;
    std::string entryName;       // the 64-bit x86 entry ('8664')
    uint32_t modes = 0;          // bit n set: image mode n is supported
    bool hasModes = false;
    uint32_t version = 0;        // the 'vers' property, 0 when absent
};

// Parses a property list: version 0, a property count, then each property as vendor code, key,
// id, data length and data padded to four bytes (numbers little-endian, codes in reading order).
// Answers nothing when the list is malformed or lies about its sizes; error says why.
std::optional<PluginProperties> ParsePropertyList(std::span<const uint8_t> bytes, std::string& error);

// A loaded plug-in library and its entry. Frees the library when destroyed.
class PluginModule {
public:
    PluginModule() = default;
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;
    ~PluginModule();

    // Loads the library, reads its property list and finds the entry; false with a message in
    // error when any of that fails.
    bool Load(const std::string& utf8Path, std::string& error);

    PluginEntryProc Entry() const { return entry_; }
    const PluginProperties& Properties() const { return properties_; }
    HMODULE Module() const { return module_; }

private:
    HMODULE module_ = nullptr;
    PluginEntryProc entry_ = nullptr;
    PluginProperties properties_;
};

}  // namespace qvhost
