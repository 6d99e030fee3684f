// XML property lists: reading through pugixml into typed values, and writing the standard text
// (the layout, document type and element names that other property-list tools expect).
#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "VantrelCoreFoundation.h"

namespace cf {

// ---- UTF-8 ----

bool IsXmlSafeUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const unsigned c = p[i];
        if (c < 0x80) {
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
            i += 1;
            continue;
        }
        size_t length;
        uint32_t code;
        uint32_t minimum;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2, code = c & 0x1F, minimum = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3, code = c & 0x0F, minimum = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4, code = c & 0x07, minimum = 0x10000;
        } else {
            return false;
        }
        if (n - i < length) return false;
        for (size_t k = 1; k < length; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            code = (code << 6) | (p[i + k] & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE || code == 0xFFFF) {
            return false;
        }
        i += length;
    }
    return true;
}

namespace {

// ---- base64 ----

constexpr char kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64DigitValue(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Decodes base64 text; white space anywhere is ignored, padding may end the text only.
bool DecodeBase64(std::string_view text, Data& out) {
    out.clear();
    out.reserve(text.size() / 4 * 3);
    uint32_t bits = 0;
    int bitCount = 0;
    size_t padding = 0;
    for (char c : text) {
        if (IsXmlSpace(c)) continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const int digit = Base64DigitValue(c);
        if (digit < 0 || padding > 0) return false;
        bits = (bits << 6) | static_cast<uint32_t>(digit);
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            out.push_back(static_cast<uint8_t>(bits >> bitCount));
        }
    }
    // Left-over bits are the zero fill of the last group; six or more mean a lone digit.
    return padding <= 2 && bitCount < 6;
}

void AppendBase64Lines(std::string& out, const Data& data, int indent) {
    constexpr size_t kDigitsPerLine = 68;
    std::string digits;
    digits.reserve((data.size() + 2) / 3 * 4);
    for (size_t i = 0; i < data.size(); i += 3) {
        const size_t available = std::min<size_t>(3, data.size() - i);
        uint32_t group = uint32_t{data[i]} << 16;
        if (available > 1) group |= uint32_t{data[i + 1]} << 8;
        if (available > 2) group |= data[i + 2];
        digits.push_back(kBase64Digits[(group >> 18) & 63]);
        digits.push_back(kBase64Digits[(group >> 12) & 63]);
        digits.push_back(available > 1 ? kBase64Digits[(group >> 6) & 63] : '=');
        digits.push_back(available > 2 ? kBase64Digits[group & 63] : '=');
    }
    for (size_t i = 0; i < digits.size(); i += kDigitsPerLine) {
        out.append(static_cast<size_t>(indent), '\t');
        out.append(digits, i, kDigitsPerLine);
        out.push_back('\n');
    }
}

// ---- dates: ISO 8601 "YYYY-MM-DDTHH:MM:SSZ", counted from 2001-01-01 ----

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kDaysFrom1970To2001 = 11323;

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

void CivilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2);
}

bool ParseDigits(std::string_view text, size_t offset, size_t count, unsigned& value) {
    value = 0;
    for (size_t i = offset; i < offset + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return true;
}

bool ParseDate(std::string_view text, Date& out) {
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text[19] != 'Z') {
        return false;
    }
    unsigned year, month, day, hour, minute, second;
    if (!ParseDigits(text, 0, 4, year) || !ParseDigits(text, 5, 2, month) || !ParseDigits(text, 8, 2, day) ||
        !ParseDigits(text, 11, 2, hour) || !ParseDigits(text, 14, 2, minute) || !ParseDigits(text, 17, 2, second)) {
        return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return false;
    const int64_t days = DaysFromCivil(year, month, day) - kDaysFrom1970To2001;
    out.sinceReferenceDate = static_cast<double>(days * kSecondsPerDay + hour * 3600 + minute * 60 + second);
    return true;
}

// Whole seconds only, as property lists store dates; years stay within four digits.
bool FormatDate(const Date& date, std::string& out) {
    const double seconds = std::floor(date.sinceReferenceDate);
    constexpr double kLimit = 8.0e3 * 366 * kSecondsPerDay;
    if (!std::isfinite(seconds) || std::fabs(seconds) > kLimit) return false;
    const int64_t total = static_cast<int64_t>(seconds);
    int64_t days = total / kSecondsPerDay;
    int64_t secondOfDay = total % kSecondsPerDay;
    if (secondOfDay < 0) secondOfDay += kSecondsPerDay, days -= 1;
    int64_t year;
    unsigned month, day;
    CivilFromDays(days + kDaysFrom1970To2001, year, month, day);
    if (year < 0 || year > 9999) return false;
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(year), month, day,
                  static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay / 60 % 60),
                  static_cast<int>(secondOfDay % 60));
    out += text;
    return true;
}

// ---- numbers ----

std::string_view TrimSpace(std::string_view text) {
    while (!text.empty() && IsXmlSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsXmlSpace(text.back())) text.remove_suffix(1);
    return text;
}

template <typename T, typename... Format>
bool ParseWhole(std::string_view text, T& value, Format... format) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, format...);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Decimal with an optional sign, or hexadecimal after "0x".
bool ParseInteger(std::string_view text, int64_t& out) {
    text = TrimSpace(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    uint64_t magnitude;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (!ParseWhole(hex ? text.substr(2) : text, magnitude, hex ? 16 : 10)) return false;
    constexpr uint64_t kMaxPositive = uint64_t{INT64_MAX};
    if (negative) {
        if (magnitude > kMaxPositive + 1) return false;
        out = magnitude == kMaxPositive + 1 ? INT64_MIN : -static_cast<int64_t>(magnitude);
    } else {
        if (magnitude > kMaxPositive) return false;
        out = static_cast<int64_t>(magnitude);
    }
    return true;
}

bool ParseReal(std::string_view text, double& out) {
    text = TrimSpace(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    return ParseWhole(text, out) && std::isfinite(out);
}

// ---- reading ----

class XmlReader {
public:
    std::optional<Value> Read(pugi::xml_node node, int depth);
    std::string error;

private:
    std::optional<Value> Fail(std::string reason, pugi::xml_node node) {
        if (error.empty()) error = reason + " (at byte " + std::to_string(node.offset_debug()) + ")";
        return std::nullopt;
    }
    bool Text(pugi::xml_node node, std::string& out);
    std::optional<Value> ReadArray(pugi::xml_node node, int depth);
    std::optional<Value> ReadDictionary(pugi::xml_node node, int depth);
};

bool IsBlank(const char* text) {
    for (; *text; ++text) {
        if (!IsXmlSpace(*text)) return false;
    }
    return true;
}

// The element children of a container; text other than white space between them is an error.
bool ElementChildren(pugi::xml_node node, std::vector<pugi::xml_node>& out) {
    for (pugi::xml_node child : node.children()) {
        switch (child.type()) {
        case pugi::node_element:
            out.push_back(child);
            break;
        case pugi::node_pcdata:
        case pugi::node_cdata:
            if (!IsBlank(child.value())) return false;
            break;
        default:
            break;
        }
    }
    return true;
}

// The text of a leaf element: its character data joined; an element inside it is an error.
bool XmlReader::Text(pugi::xml_node node, std::string& out) {
    out.clear();
    for (pugi::xml_node child : node.children()) {
        if (child.type() == pugi::node_element) return false;
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) out += child.value();
    }
    return true;
}

std::optional<Value> XmlReader::ReadArray(pugi::xml_node node, int depth) {
    std::vector<pugi::xml_node> children;
    if (!ElementChildren(node, children)) return Fail("text inside an array", node);
    Array array;
    for (pugi::xml_node child : children) {
        std::optional<Value> item = Read(child, depth + 1);
        if (!item) return std::nullopt;
        array.Append(std::move(*item));
    }
    return Value(std::move(array));
}

std::optional<Value> XmlReader::ReadDictionary(pugi::xml_node node, int depth) {
    std::vector<pugi::xml_node> children;
    if (!ElementChildren(node, children)) return Fail("text inside a dictionary", node);
    if (children.size() % 2 != 0) return Fail("a key without a value", node);
    std::vector<Dictionary::Entry> entries;
    entries.reserve(children.size() / 2);
    for (size_t i = 0; i < children.size(); i += 2) {
        std::string key;
        if (std::strcmp(children[i].name(), "key") != 0 || !Text(children[i], key)) {
            return Fail("a dictionary entry without a key", children[i]);
        }
        if (!IsXmlSafeUtf8(key)) return Fail("a key that is not UTF-8 text", children[i]);
        std::optional<Value> value = Read(children[i + 1], depth + 1);
        if (!value) return std::nullopt;
        entries.push_back(Dictionary::Entry{std::move(key), std::move(*value)});
    }
    return Value(Dictionary::FromEntries(std::move(entries)));
}

std::optional<Value> XmlReader::Read(pugi::xml_node node, int depth) {
    const std::string_view name = node.name();
    if (name == "dict" || name == "array") {
        if (depth >= PropertyList::kMaxNestingDepth) return Fail("containers nested too deeply", node);
        return name == "dict" ? ReadDictionary(node, depth) : ReadArray(node, depth);
    }
    std::string text;
    if (!Text(node, text)) return Fail("an element inside a value", node);
    if (name == "string") {
        if (!IsXmlSafeUtf8(text)) return Fail("a string that is not UTF-8 text", node);
        return Value::String(text);
    }
    if (name == "integer") {
        int64_t value;
        if (!ParseInteger(text, value)) return Fail("an integer that does not parse", node);
        return Value::Integer(value);
    }
    if (name == "real") {
        double value;
        if (!ParseReal(text, value)) return Fail("a real that does not parse or is not finite", node);
        return Value::Real(value);
    }
    if (name == "true" || name == "false") {
        if (!IsBlank(text.c_str())) return Fail("text inside a boolean", node);
        return Value::Boolean(name == "true");
    }
    if (name == "data") {
        Data data;
        if (!DecodeBase64(text, data)) return Fail("data that is not base64", node);
        return Value::Bytes(data);
    }
    if (name == "date") {
        Date date;
        if (!ParseDate(TrimSpace(text), date)) return Fail("a date that does not parse", node);
        return Value::FromDate(date);
    }
    return Fail("an unknown element <" + std::string(name) + ">", node);
}

// ---- writing ----

void AppendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\r': out += "&#13;"; break;  // a raw carriage return would be read back as a line feed
        default: out.push_back(c); break;
        }
    }
}

class XmlWriter {
public:
    XmlWriter();
    bool Write(const Value& value, int indent);
    bool WriteDictionary(const Dictionary& dictionary, int indent);
    std::optional<std::string> Finish(bool written);

private:
    std::string out;

private:
    void Line(int indent, std::string_view text) {
        out.append(static_cast<size_t>(indent), '\t');
        out += text;
        out.push_back('\n');
    }
    bool LeafText(int indent, std::string_view element, std::string_view text) {
        out.append(static_cast<size_t>(indent), '\t');
        out += '<';
        out += element;
        out += '>';
        AppendEscaped(out, text);
        out += "</";
        out += element;
        out += ">\n";
        return true;
    }
};

bool XmlWriter::Write(const Value& value, int indent) {
    switch (value.GetType()) {
    case Type::Boolean:
        Line(indent, *value.ToBoolean() ? "<true/>" : "<false/>");
        return true;
    case Type::Integer:
        return LeafText(indent, "integer", std::to_string(*value.ToInt64()));
    case Type::Real: {
        const double real = *value.ToDouble();
        if (!std::isfinite(real)) return false;
        char text[32];
        const auto result = std::to_chars(text, text + sizeof text, real);
        return LeafText(indent, "real", std::string_view(text, static_cast<size_t>(result.ptr - text)));
    }
    case Type::String:
        return IsXmlSafeUtf8(*value.AsString()) && LeafText(indent, "string", *value.AsString());
    case Type::Data:
        Line(indent, "<data>");
        AppendBase64Lines(out, *value.AsData(), indent);
        Line(indent, "</data>");
        return true;
    case Type::Date: {
        std::string text;
        return FormatDate(*value.AsDate(), text) && LeafText(indent, "date", text);
    }
    case Type::Array: {
        const Array& array = *value.AsArray();
        if (array.Empty()) {
            Line(indent, "<array/>");
            return true;
        }
        Line(indent, "<array>");
        for (const Value& item : array) {
            if (!Write(item, indent + 1)) return false;
        }
        Line(indent, "</array>");
        return true;
    }
    case Type::Dictionary:
        return WriteDictionary(*value.AsDictionary(), indent);
    }
    return false;
}

bool XmlWriter::WriteDictionary(const Dictionary& dictionary, int indent) {
    if (dictionary.Empty()) {
        Line(indent, "<dict/>");
        return true;
    }
    Line(indent, "<dict>");
    for (const Dictionary::Entry& entry : dictionary) {
        if (!IsXmlSafeUtf8(entry.key)) return false;
        LeafText(indent + 1, "key", entry.key);
        if (!Write(entry.value, indent + 1)) return false;
    }
    Line(indent, "</dict>");
    return true;
}

XmlWriter::XmlWriter()
    : out("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
          "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
          "<plist version=\"1.0\">\n") {}

std::optional<std::string> XmlWriter::Finish(bool written) {
    if (!written) return std::nullopt;
    out += "</plist>\n";
    return std::move(out);
}

}  // namespace

namespace PropertyList {

std::optional<Value> FromXml(std::span<const uint8_t> xml, std::string* error) {
    auto fail = [error](std::string reason) -> std::optional<Value> {
        if (error) *error = std::move(reason);
        return std::nullopt;
    };
    pugi::xml_document document;
    // Keep the white space of a string that holds nothing else; the document type is skipped.
    const pugi::xml_parse_result parsed =
        document.load_buffer(xml.data(), xml.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
    if (!parsed) return fail(std::string("not XML: ") + parsed.description());
    pugi::xml_node root = document.document_element();
    if (!root) return fail("no root element");
    if (std::strcmp(root.name(), "plist") == 0) {
        std::vector<pugi::xml_node> children;
        if (!ElementChildren(root, children) || children.size() != 1) return fail("a plist element without one value");
        root = children.front();
    }
    XmlReader reader;
    std::optional<Value> value = reader.Read(root, 0);
    if (!value) return fail(reader.error);
    return value;
}

std::optional<std::string> ToXml(const Value& value) {
    XmlWriter writer;
    return writer.Finish(writer.Write(value, 0));
}

std::optional<std::string> ToXml(const Dictionary& dictionary) {
    XmlWriter writer;
    return writer.Finish(writer.WriteDictionary(dictionary, 0));
}

}  // namespace PropertyList
}  // namespace cf
