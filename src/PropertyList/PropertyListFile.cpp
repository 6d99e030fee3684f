#include "PropertyListFile.h"

#include <windows.h>

#include "Utf.h"

namespace {

// The longest prefix of text of at most maxBytes bytes that does not cut a UTF-8 sequence.
size_t WholeCharacterPrefix(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text.size();
    size_t length = maxBytes;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    return length;
}

// Runs a dictionary operation; failures of any kind (memory included) become false.
template <typename Operation>
bool Guarded(Operation&& operation) {
    try {
        return operation();
    } catch (...) {
        return false;
    }
}

}  // namespace

PropertyListFile::PropertyListFile() : dictionary_(cf::Dictionary()) {}

PropertyListFile::PropertyListFile(std::string_view path) {
    try {
        path_ = std::string(path);
        url_ = cf::FileUrl::FromFileSystemPath(path);
        const bool exists = GetFileAttributesW(Utf8ToUtf16(path).c_str()) != INVALID_FILE_ATTRIBUTES;
        if (exists) {
            if (url_) dictionary_ = Read(*url_);
        } else {
            dictionary_ = cf::Dictionary();
        }
    } catch (...) {
        // The object keeps what was set so far; without a dictionary every call answers false.
    }
}

std::optional<cf::Dictionary> PropertyListFile::Read(const cf::FileUrl& url) {
    try {
        cf::Data data;
        if (url.ReadData(data) != cf::FileUrl::Status::Ok) return std::nullopt;
        std::optional<cf::Value> root = cf::PropertyList::FromXml(data);
        if (!root || !root->AsDictionary()) return std::nullopt;
        return std::move(*root->AsDictionary());
    } catch (...) {
        return std::nullopt;
    }
}

bool PropertyListFile::SetInt(std::string_view key, uint32_t value) {
    return dictionary_ && Guarded([&] {
        dictionary_->SetInteger(key, static_cast<int32_t>(value));
        return true;
    });
}

bool PropertyListFile::SetFloat(std::string_view key, float value) {
    return dictionary_ && Guarded([&] {
        dictionary_->SetReal(key, value);
        return true;
    });
}

bool PropertyListFile::GetInt(std::string_view key, int32_t& value) const {
    if (!dictionary_) return false;
    const std::optional<int32_t> stored = dictionary_->GetInt32(key);
    if (!stored) return false;
    value = *stored;
    return true;
}

bool PropertyListFile::SetString(std::string_view key, std::string_view text) {
    return dictionary_ && cf::IsXmlSafeUtf8(text) && Guarded([&] {
        dictionary_->SetString(key, text);
        return true;
    });
}

bool PropertyListFile::GetString(std::string_view key, std::string& text, size_t maxBytes) const {
    if (!dictionary_) return false;
    const std::string* stored = dictionary_->GetString(key);
    if (!stored || stored->empty()) return false;
    return Guarded([&] {
        text.assign(*stored, 0, WholeCharacterPrefix(*stored, maxBytes));
        return true;
    });
}

bool PropertyListFile::SetData(std::string_view key, std::span<const uint8_t> bytes) {
    return dictionary_ && Guarded([&] {
        dictionary_->SetData(key, bytes);
        return true;
    });
}

bool PropertyListFile::GetData(std::string_view key, std::vector<uint8_t>& bytes) const {
    if (!dictionary_) return false;
    const cf::Data* stored = dictionary_->GetData(key);
    return stored && Guarded([&] {
        bytes = *stored;
        return true;
    });
}

bool PropertyListFile::Save() const { return url_ && Save(*url_); }

bool PropertyListFile::Save(const cf::FileUrl& url) const {
    if (!dictionary_) return false;
    return Guarded([&] {
        const std::optional<std::string> xml = cf::PropertyList::ToXml(*dictionary_);
        if (!xml) return false;
        return url.WriteData(std::span(reinterpret_cast<const uint8_t*>(xml->data()), xml->size())) ==
               cf::FileUrl::Status::Ok;
    });
}
