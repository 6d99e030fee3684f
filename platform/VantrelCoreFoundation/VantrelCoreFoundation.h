// The CoreFoundation-style library: property-list values (booleans, numbers, strings, data, dates,
// arrays and dictionaries), file URLs, and XML property lists in the standard format that other
// tools read and write.
//
// Values have value semantics: copying a Value copies its whole tree. Every read is typed: an
// accessor answers null (or an empty optional) when the value is of another type, so data read from
// a file is never taken for what it is not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace cf {

class Value;

using Data = std::vector<uint8_t>;

// A point in time: seconds since 2001-01-01 00:00:00 UTC, as property lists count them.
struct Date {
    double sinceReferenceDate = 0;
    friend bool operator==(const Date&, const Date&) = default;
};

enum class Type { Boolean, Integer, Real, String, Data, Date, Array, Dictionary };

class Array {
public:
    Array() = default;

    size_t Count() const;
    bool Empty() const { return Count() == 0; }
    // The item at index, or null when index is out of range.
    const Value* At(size_t index) const;
    Value* At(size_t index);
    void Append(Value value);

    std::vector<Value>::const_iterator begin() const;
    std::vector<Value>::const_iterator end() const;

    friend bool operator==(const Array&, const Array&);

private:
    std::vector<Value> items_;
};

// Keys are UTF-8 strings, kept sorted (the order in which property lists write them); setting an
// existing key replaces its value.
class Dictionary {
public:
    struct Entry;

    Dictionary() = default;

    size_t Count() const;
    bool Empty() const { return Count() == 0; }
    bool Contains(std::string_view key) const { return Find(key) != nullptr; }
    // The value under key, or null.
    const Value* Find(std::string_view key) const;
    Value* Find(std::string_view key);

    void Set(std::string_view key, Value value);
    void SetBoolean(std::string_view key, bool value);
    void SetInteger(std::string_view key, int64_t value);
    void SetReal(std::string_view key, double value);
    void SetString(std::string_view key, std::string_view value);
    void SetData(std::string_view key, std::span<const uint8_t> value);
    bool Remove(std::string_view key);

    // Typed reads: empty or null when the key is missing or holds another type.
    std::optional<bool> GetBoolean(std::string_view key) const;
    std::optional<int32_t> GetInt32(std::string_view key) const;
    std::optional<int64_t> GetInt64(std::string_view key) const;
    std::optional<double> GetDouble(std::string_view key) const;
    const std::string* GetString(std::string_view key) const;
    const Data* GetData(std::string_view key) const;
    const Array* GetArray(std::string_view key) const;
    Array* GetArray(std::string_view key);
    const Dictionary* GetDictionary(std::string_view key) const;
    Dictionary* GetDictionary(std::string_view key);

    std::vector<Entry>::const_iterator begin() const;
    std::vector<Entry>::const_iterator end() const;

    // Builds a dictionary from entries in any order; of equal keys the last one counts.
    static Dictionary FromEntries(std::vector<Entry> entries);

    friend bool operator==(const Dictionary&, const Dictionary&);

private:
    std::vector<Entry>::iterator LowerBound(std::string_view key);
    std::vector<Entry>::const_iterator LowerBound(std::string_view key) const;

    std::vector<Entry> entries_;
};

class Value {
public:
    static Value Boolean(bool value) { return Value(value); }
    static Value Integer(int64_t value) { return Value(value); }
    static Value Real(double value) { return Value(value); }
    static Value String(std::string_view value) { return Value(std::string(value)); }
    static Value Bytes(std::span<const uint8_t> value) { return Value(Data(value.begin(), value.end())); }
    static Value FromDate(Date value) { return Value(value); }
    Value(Array value) : content_(std::in_place_index<6>, std::move(value)) {}
    Value(Dictionary value) : content_(std::in_place_index<7>, std::move(value)) {}

    Type GetType() const { return static_cast<Type>(content_.index()); }

    std::optional<bool> ToBoolean() const;
    // An integer within the 32-bit (64-bit) range; a real never converts to an integer.
    std::optional<int32_t> ToInt32() const;
    std::optional<int64_t> ToInt64() const;
    // An integer or a real.
    std::optional<double> ToDouble() const;
    const std::string* AsString() const { return std::get_if<std::string>(&content_); }
    const Data* AsData() const { return std::get_if<Data>(&content_); }
    const Date* AsDate() const { return std::get_if<Date>(&content_); }
    const Array* AsArray() const { return std::get_if<Array>(&content_); }
    Array* AsArray() { return std::get_if<Array>(&content_); }
    const Dictionary* AsDictionary() const { return std::get_if<Dictionary>(&content_); }
    Dictionary* AsDictionary() { return std::get_if<Dictionary>(&content_); }

    friend bool operator==(const Value&, const Value&) = default;

private:
    explicit Value(bool value) : content_(std::in_place_index<0>, value) {}
    explicit Value(int64_t value) : content_(std::in_place_index<1>, value) {}
    explicit Value(double value) : content_(std::in_place_index<2>, value) {}
    explicit Value(std::string value) : content_(std::in_place_index<3>, std::move(value)) {}
    explicit Value(Data value) : content_(std::in_place_index<4>, std::move(value)) {}
    explicit Value(Date value) : content_(std::in_place_index<5>, value) {}

    // In the order of Type.
    std::variant<bool, int64_t, double, std::string, Data, Date, Array, Dictionary> content_;
};

struct Dictionary::Entry {
    std::string key;
    Value value;
    friend bool operator==(const Entry&, const Entry&) = default;
};

// XML property lists.
namespace PropertyList {
// Containers nested deeper than this are refused when reading.
inline constexpr int kMaxNestingDepth = 64;

// Parses an XML property list (any encoding XML allows; the root may be any value). Malformed XML,
// an unknown element, a value that does not parse, text that is not valid UTF-8, a non-finite real
// or nesting beyond kMaxNestingDepth gives no value, and a reason in error when it is given.
std::optional<Value> FromXml(std::span<const uint8_t> xml, std::string* error = nullptr);

// Writes value as a UTF-8 XML property list. No text when a string or key is not valid UTF-8 or
// holds a character XML cannot carry, or when a real is not finite.
std::optional<std::string> ToXml(const Value& value);
std::optional<std::string> ToXml(const Dictionary& dictionary);
}  // namespace PropertyList

// True when text is well-formed UTF-8 (no overlong forms, no surrogates) with no character that XML
// cannot carry (control characters other than tab, line feed and carriage return).
bool IsXmlSafeUtf8(std::string_view text);

// A file named by its path in the file system (UTF-8).
class FileUrl {
public:
    // No URL for an empty path or one that is not valid UTF-8.
    static std::optional<FileUrl> FromFileSystemPath(std::string_view path);

    const std::string& Path() const { return path_; }

    enum class Status { Ok, NotFound, TooLarge, ReadFailed, WriteFailed };

    // Reads the whole file into out. Files beyond kMaxResourceSize are refused.
    Status ReadData(Data& out) const;
    // Replaces the file with data: the bytes go to a new file beside it that then takes the file's
    // place, so a failed write leaves the old file as it was.
    Status WriteData(std::span<const uint8_t> data) const;

    static constexpr uint64_t kMaxResourceSize = 256ull << 20;

private:
    explicit FileUrl(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

}  // namespace cf
