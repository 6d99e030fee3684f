#include "SettingsFile.h"

#include <charconv>
#include <cstring>
#include <string_view>

#include "FileIO.h"

namespace qvhost {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int64_t kMaxSettingsFile = 64 << 20;

int DigitValue(char c) {
    const char* at = c ? std::strchr(kAlphabet, c) : nullptr;
    return at ? static_cast<int>(at - kAlphabet) : -1;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

std::string EncodeBase64(std::span<const uint8_t> bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const uint32_t group = (uint32_t{bytes[i]} << 16) | (i + 1 < bytes.size() ? uint32_t{bytes[i + 1]} << 8 : 0) |
                               (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        text += kAlphabet[(group >> 18) & 63];
        text += kAlphabet[(group >> 12) & 63];
        text += i + 1 < bytes.size() ? kAlphabet[(group >> 6) & 63] : '=';
        text += i + 2 < bytes.size() ? kAlphabet[group & 63] : '=';
        if ((i / 3 + 1) % 17 == 0 && i + 3 < bytes.size()) text += "\n\t";
    }
    return text;
}

bool DecodeBase64(std::string_view text, std::vector<uint8_t>& bytes) {
    bytes.clear();
    uint32_t group = 0;
    int count = 0, padding = 0;
    for (char c : text) {
        if (IsSpace(c)) continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const int value = DigitValue(c);
        if (value < 0 || padding > 0) return false;
        group = (group << 6) | static_cast<uint32_t>(value);
        if (++count == 4) {
            bytes.push_back(static_cast<uint8_t>(group >> 16));
            bytes.push_back(static_cast<uint8_t>(group >> 8));
            bytes.push_back(static_cast<uint8_t>(group));
            group = 0;
            count = 0;
        }
    }
    if (count == 1 || padding > 2) return false;
    if (count == 2) bytes.push_back(static_cast<uint8_t>(group >> 4));
    if (count == 3) {
        bytes.push_back(static_cast<uint8_t>(group >> 10));
        bytes.push_back(static_cast<uint8_t>(group >> 2));
    }
    return true;
}

bool ReadSettingsFile(const std::string& utf8Path, std::vector<uint8_t>& block, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(utf8Path, bytes, kMaxSettingsFile)) {
        error = "cannot read the settings file " + utf8Path;
        return false;
    }
    const std::string_view xml(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const size_t key = xml.find("<key>QuorvelSettings</key>");
    const size_t open = key == std::string_view::npos ? key : xml.find("<data>", key);
    const size_t close = open == std::string_view::npos ? open : xml.find("</data>", open);
    // Only white space may stand between the key and its data.
    if (close == std::string_view::npos ||
        !Trimmed(xml.substr(key + std::strlen("<key>QuorvelSettings</key>"),
                            open - key - std::strlen("<key>QuorvelSettings</key>")))
             .empty()) {
        error = utf8Path + " holds no \"QuorvelSettings\" data";
        return false;
    }
    const size_t start = open + std::strlen("<data>");
    if (!DecodeBase64(xml.substr(start, close - start), block)) {
        error = "the \"QuorvelSettings\" data of " + utf8Path + " is not valid base64";
        return false;
    }
    return true;
}

bool ReadSettingsPhotoPosition(const std::string& utf8Path, int32_t& position) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(utf8Path, bytes, kMaxSettingsFile)) return false;
    const std::string_view xml(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    constexpr std::string_view kKey = "<key>TargetLayerPos</key>", kOpen = "<integer>";
    const size_t key = xml.find(kKey);
    const size_t open = key == std::string_view::npos ? key : xml.find(kOpen, key);
    if (open == std::string_view::npos || !Trimmed(xml.substr(key + kKey.size(), open - key - kKey.size())).empty())
        return false;
    const char* first = xml.data() + open + kOpen.size();
    const auto [end, status] = std::from_chars(first, xml.data() + xml.size(), position);
    return status == std::errc{} && std::string_view(end, xml.data() + xml.size()).starts_with("</integer>");
}

bool WriteSettingsFile(const std::string& utf8Path, std::span<const uint8_t> block, std::string& error) {
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n<dict>\n"
        "\t<key>PresetVersion</key>\n\t<real>1</real>\n"
        "\t<key>QuorvelSettings</key>\n\t<data>\n\t" +
        EncodeBase64(block) + "\n\t</data>\n</dict>\n</plist>\n";
    if (WriteWholeFile(utf8Path, {reinterpret_cast<const uint8_t*>(xml.data()), xml.size()})) return true;
    error = "cannot write the settings file " + utf8Path;
    return false;
}

}  // namespace qvhost
