// The host's scripting descriptor: keys with typed values (integers, 64-bit integers, reals,
// booleans, strings, data blobs and lists), kept in the order they were first put.
//
// Flat form (the handle a plug-in receives, and the --descriptor-in/--descriptor-out files), every
// number big-endian:
//   "QVDS", format version 1, entry count, then per entry: key, value
//   value: type code, payload length, payload
//     'long' 4 bytes; 'comp' 8 bytes; 'doub' the 8 bytes of the IEEE double; 'bool' 1 byte;
//     'TEXT' UTF-8 bytes; 'tdta' the bytes; 'VlLs' item count, then each item as a value.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace qvhost {

struct DescriptorValue;
using DescriptorList = std::vector<DescriptorValue>;
using DescriptorBlob = std::vector<uint8_t>;

struct DescriptorValue {
    std::variant<int32_t, int64_t, double, bool, std::string, DescriptorBlob, DescriptorList> value;

    uint32_t Type() const;
    bool operator==(const DescriptorValue& other) const = default;
};

class Descriptor {
public:
    struct Entry {
        uint32_t key;
        DescriptorValue value;
        bool operator==(const Entry& other) const = default;
    };

    // Replaces the value of a key already present, keeping its place.
    void Put(uint32_t key, DescriptorValue value);
    const DescriptorValue* Find(uint32_t key) const;
    const std::vector<Entry>& Entries() const { return entries_; }
    bool operator==(const Descriptor& other) const = default;

private:
    std::vector<Entry> entries_;
};

std::vector<uint8_t> Flatten(const Descriptor& descriptor);
// Answers nothing for a flat form that is not well formed: wrong magic or version, a length that
// runs past the end, a payload of the wrong size for its type, an unknown type, lists nested
// deeper than 8, or bytes left over.
std::optional<Descriptor> Unflatten(std::span<const uint8_t> flat);

// One line a key for the log: 'FrMP' tdta 2396 bytes, 'Rslt' long 3, ...
std::string Describe(const Descriptor& descriptor);

bool ReadDescriptorFile(const std::string& utf8Path, Descriptor& descriptor, std::string& error);
bool WriteDescriptorFile(const std::string& utf8Path, const Descriptor& descriptor, std::string& error);

}  // namespace qvhost
