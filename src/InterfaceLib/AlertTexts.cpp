#include "AlertTexts.h"

#include <cstring>

namespace {

// Texts are UTF-8 inside the system: the length of the sequence a byte starts.
size_t SequenceLength(unsigned char c) {
    if (c >= 0xF0) return 4;
    if (c >= 0xE0) return 3;
    if (c >= 0xC0) return 2;
    return 1;
}

// Appends text to out[n..] a whole UTF-8 sequence at a time while it fits before the terminator;
// a sequence cut short by the end of the text is dropped, never read past. False when out is full.
bool AppendBounded(const char* text, size_t length, char* out, size_t outSize, size_t& n) {
    for (size_t i = 0; i < length;) {
        size_t len = SequenceLength(static_cast<unsigned char>(text[i]));
        if (i + len > length) break;
        bool complete = true;
        for (size_t k = 1; k < len; ++k)
            if (text[i + k] == '\0') complete = false;
        if (!complete) break;
        if (n + len >= outSize) return false;
        std::memcpy(out + n, text + i, len);
        n += len;
        i += len;
    }
    return true;
}

}  // namespace

void CopyBoundedUtf8(const char* text, size_t length, char* out, size_t outSize) {
    if (!out || outSize == 0) return;
    size_t n = 0;
    if (text) AppendBounded(text, length, out, outSize, n);
    out[n] = '\0';
}

const char* SourceFileName(const char* path) {
    if (!path) return "";
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/') name = p + 1;
    return name;
}

bool FillPlaceholders(const char* source, const PlaceholderTable& table, char* out, size_t outSize) {
    if (!out || outSize == 0) return false;
    size_t n = 0;
    bool replaced = false;
    const char* p = source ? source : "";
    while (*p) {
        if (p[0] == '^' && p[1] >= '0' && p[1] <= '3') {
            const char* t = table.text[p[1] - '0'];
            replaced = true;
            p += 2;
            if (t && !AppendBounded(t, std::strlen(t), out, outSize, n)) break;
            continue;
        }
        const char* run = p;  // the text up to the next caret or the end
        while (*p && *p != '^') ++p;
        if (p == run) ++p;    // a caret that starts no placeholder is copied as it is
        if (!AppendBounded(run, static_cast<size_t>(p - run), out, outSize, n)) break;
    }
    out[n] = '\0';
    return replaced;
}
