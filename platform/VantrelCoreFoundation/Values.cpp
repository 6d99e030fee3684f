// Property-list values: typed reads over arrays and dictionaries.
#include <algorithm>
#include <limits>

#include "VantrelCoreFoundation.h"

namespace cf {

// ---- Array ----

size_t Array::Count() const { return items_.size(); }

const Value* Array::At(size_t index) const { return index < items_.size() ? &items_[index] : nullptr; }

Value* Array::At(size_t index) { return index < items_.size() ? &items_[index] : nullptr; }

void Array::Append(Value value) { items_.push_back(std::move(value)); }

std::vector<Value>::const_iterator Array::begin() const { return items_.begin(); }

std::vector<Value>::const_iterator Array::end() const { return items_.end(); }

bool operator==(const Array& a, const Array& b) { return a.items_ == b.items_; }

// ---- Dictionary ----

size_t Dictionary::Count() const { return entries_.size(); }

std::vector<Dictionary::Entry>::iterator Dictionary::LowerBound(std::string_view key) {
    return std::lower_bound(entries_.begin(), entries_.end(), key,
                            [](const Entry& entry, std::string_view k) { return entry.key < k; });
}

std::vector<Dictionary::Entry>::const_iterator Dictionary::LowerBound(std::string_view key) const {
    return std::lower_bound(entries_.begin(), entries_.end(), key,
                            [](const Entry& entry, std::string_view k) { return entry.key < k; });
}

const Value* Dictionary::Find(std::string_view key) const {
    const auto it = LowerBound(key);
    return it != entries_.end() && it->key == key ? &it->value : nullptr;
}

Value* Dictionary::Find(std::string_view key) {
    const auto it = LowerBound(key);
    return it != entries_.end() && it->key == key ? &it->value : nullptr;
}

void Dictionary::Set(std::string_view key, Value value) {
    const auto it = LowerBound(key);
    if (it != entries_.end() && it->key == key) {
        it->value = std::move(value);
    } else {
        entries_.insert(it, Entry{std::string(key), std::move(value)});
    }
}

void Dictionary::SetBoolean(std::string_view key, bool value) { Set(key, Value::Boolean(value)); }
void Dictionary::SetInteger(std::string_view key, int64_t value) { Set(key, Value::Integer(value)); }
void Dictionary::SetReal(std::string_view key, double value) { Set(key, Value::Real(value)); }
void Dictionary::SetString(std::string_view key, std::string_view value) { Set(key, Value::String(value)); }
void Dictionary::SetData(std::string_view key, std::span<const uint8_t> value) { Set(key, Value::Bytes(value)); }

bool Dictionary::Remove(std::string_view key) {
    const auto it = LowerBound(key);
    if (it == entries_.end() || it->key != key) return false;
    entries_.erase(it);
    return true;
}

std::optional<bool> Dictionary::GetBoolean(std::string_view key) const {
    const Value* value = Find(key);
    return value ? value->ToBoolean() : std::nullopt;
}

std::optional<int32_t> Dictionary::GetInt32(std::string_view key) const {
    const Value* value = Find(key);
    return value ? value->ToInt32() : std::nullopt;
}

std::optional<int64_t> Dictionary::GetInt64(std::string_view key) const {
    const Value* value = Find(key);
    return value ? value->ToInt64() : std::nullopt;
}

std::optional<double> Dictionary::GetDouble(std::string_view key) const {
    const Value* value = Find(key);
    return value ? value->ToDouble() : std::nullopt;
}

const std::string* Dictionary::GetString(std::string_view key) const {
    const Value* value = Find(key);
    return value ? value->AsString() : nullptr;
}

const Data* Dictionary::GetData(std::string_view key) const {
    const Value* value = Find(key);
    return value ? value->AsData() : nullptr;
}

const Array* Dictionary::GetArray(std::string_view key) const {
    const Value* value = Find(key);
    return value ? value->AsArray() : nullptr;
}

Array* Dictionary::GetArray(std::string_view key) {
    Value* value = Find(key);
    return value ? value->AsArray() : nullptr;
}

const Dictionary* Dictionary::GetDictionary(std::string_view key) const {
    const Value* value = Find(key);
    return value ? value->AsDictionary() : nullptr;
}

Dictionary* Dictionary::GetDictionary(std::string_view key) {
    Value* value = Find(key);
    return value ? value->AsDictionary() : nullptr;
}

std::vector<Dictionary::Entry>::const_iterator Dictionary::begin() const { return entries_.begin(); }

std::vector<Dictionary::Entry>::const_iterator Dictionary::end() const { return entries_.end(); }

Dictionary Dictionary::FromEntries(std::vector<Entry> entries) {
    // A stable sort keeps equal keys in their order; of each run of equal keys the last is kept.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.key < b.key; });
    Dictionary dictionary;
    dictionary.entries_.reserve(entries.size());
    for (Entry& entry : entries) {
        if (!dictionary.entries_.empty() && dictionary.entries_.back().key == entry.key) {
            dictionary.entries_.back().value = std::move(entry.value);
        } else {
            dictionary.entries_.push_back(std::move(entry));
        }
    }
    return dictionary;
}

bool operator==(const Dictionary& a, const Dictionary& b) { return a.entries_ == b.entries_; }

// ---- Value ----

std::optional<bool> Value::ToBoolean() const {
    if (const bool* value = std::get_if<bool>(&content_)) return *value;
    return std::nullopt;
}

std::optional<int32_t> Value::ToInt32() const {
    const std::optional<int64_t> value = ToInt64();
    if (!value || *value < std::numeric_limits<int32_t>::min() || *value > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<int32_t>(*value);
}

std::optional<int64_t> Value::ToInt64() const {
    if (const int64_t* value = std::get_if<int64_t>(&content_)) return *value;
    return std::nullopt;
}

std::optional<double> Value::ToDouble() const {
    if (const double* value = std::get_if<double>(&content_)) return *value;
    if (const int64_t* value = std::get_if<int64_t>(&content_)) return static_cast<double>(*value);
    return std::nullopt;
}

}  // namespace cf
