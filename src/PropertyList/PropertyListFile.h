// A dictionary of typed values bound to a file that holds it as an XML property list: the
// preferences, preset, category and batch settings files.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "VantrelCoreFoundation.h"

class PropertyListFile {
public:
    // No file, an empty dictionary.
    PropertyListFile();
    // Binds the object to path (UTF-8). An existing file is read: when it cannot be read or is not a
    // property list whose root is a dictionary, the object holds no dictionary. A missing file gives
    // an empty dictionary, written by a later Save.
    explicit PropertyListFile(std::string_view path);

    PropertyListFile(PropertyListFile&&) noexcept = default;
    PropertyListFile& operator=(PropertyListFile&&) noexcept = default;

    // Every operation below answers false (and does nothing) when there is no dictionary, and none
    // throws.
    bool HasDictionary() const { return dictionary_.has_value(); }
    // The dictionary itself, for values beyond the typed calls (arrays, nested dictionaries).
    cf::Dictionary* Dictionary() { return dictionary_ ? &*dictionary_ : nullptr; }
    const cf::Dictionary* Dictionary() const { return dictionary_ ? &*dictionary_ : nullptr; }
    const std::string& Path() const { return path_; }
    const std::optional<cf::FileUrl>& Url() const { return url_; }

    // A 32-bit integer; the unsigned value is kept as its signed reading.
    bool SetInt(std::string_view key, uint32_t value);
    bool SetFloat(std::string_view key, float value);
    // False, with value unchanged, when the key is missing or is not an integer of 32 bits.
    bool GetInt(std::string_view key, int32_t& value) const;

    // Texts are UTF-8; a text that is not valid UTF-8 is refused.
    bool SetString(std::string_view key, std::string_view text);
    // At most maxBytes bytes of the string (cut at a whole character). A missing key, a value of
    // another type or an empty string answers false and leaves text as it was.
    bool GetString(std::string_view key, std::string& text, size_t maxBytes = kMaxStringBytes) const;
    static constexpr size_t kMaxStringBytes = 255;

    bool SetData(std::string_view key, std::span<const uint8_t> bytes);
    // False, with bytes unchanged, when the key is missing or holds no data.
    bool GetData(std::string_view key, std::vector<uint8_t>& bytes) const;

    // Writes the dictionary as an XML property list to the object's own file, or to url.
    bool Save() const;
    bool Save(const cf::FileUrl& url) const;

    // The dictionary at the root of the property list in url's file; none when the file cannot be
    // read, does not parse or has another root.
    static std::optional<cf::Dictionary> Read(const cf::FileUrl& url);

private:
    std::optional<cf::FileUrl> url_;
    std::optional<cf::Dictionary> dictionary_;
    std::string path_;
};
