#include "RelativePaths.h"

#include <cerrno>
#include <cstring>
#include <string_view>

namespace {

constexpr char kSeparator = '\\';

// Writes into a caller's buffer of fixed size, always terminated; an append that would not fit
// fails and leaves the text as it was.
class BoundedText {
public:
    BoundedText(char* out, size_t size) : out_(out), size_(size) {
        if (size_) out_[0] = 0;
    }
    bool Append(std::string_view text) {
        if (length_ + text.size() >= size_) return false;
        std::memcpy(out_ + length_, text.data(), text.size());
        length_ += text.size();
        out_[length_] = 0;
        return true;
    }
    void DropLast() {
        if (length_) out_[--length_] = 0;
    }

private:
    char* out_;
    size_t size_;
    size_t length_ = 0;
};

char* Fail(int error) {
    errno = error;
    return nullptr;
}

bool IsDriveRooted(const char* path) { return path[0] && path[1] == ':' && path[2] == kSeparator; }

bool IsRooted(const char* path) { return IsDriveRooted(path) || path[0] == kSeparator; }

// The position in a rooted path below which ".." never goes: the "X:" of a drive, or the start.
size_t RootEnd(const char* path) { return IsDriveRooted(path) ? 2 : 0; }

char* CopyWhole(const char* path, char* result, size_t size) {
    BoundedText out(result, size);
    return out.Append(path) ? result : Fail(ERANGE);
}

// True when the text ends at i: at its terminator, or at a final backslash.
bool EndsAt(const char* text, size_t i) { return text[i] == 0 || (text[i] == kSeparator && text[i + 1] == 0); }

}  // namespace

char* MakeRelativePath(const char* path, const char* base, char* result, size_t size) {
    if (!path || !base) return Fail(EINVAL);
    if (!IsDriveRooted(path)) return CopyWhole(path, result, size);
    if (!IsDriveRooted(base)) return Fail(EINVAL);
    // No relative form leads from one drive to another.
    if (path[0] != base[0]) return Fail(EINVAL);

    size_t i = 0;
    size_t branch = 0;  // the last backslash the two share
    while (path[i] && path[i] == base[i]) {
        if (path[i] == kSeparator) branch = i;
        ++i;
    }

    BoundedText out(result, size);
    if (EndsAt(path, i) && EndsAt(base, i)) {
        const bool separatorAround = path[i] == kSeparator || (i > 0 && path[i - 1] == kSeparator);
        if (!out.Append(".") || (separatorAround && !out.Append("\\"))) return Fail(ERANGE);
        return result;
    }
    // One ended where the other goes on into a sub-folder: they share the whole folder.
    if ((path[i] == 0 && base[i] == kSeparator) || (base[i] == 0 && path[i] == kSeparator)) branch = i;

    // One step up for every folder of the base below the shared part.
    for (size_t k = branch; base[k]; ++k) {
        if (base[k] == kSeparator && base[k + 1] != 0 && !out.Append("..\\")) return Fail(ERANGE);
    }
    if (path[branch] == 0) {
        out.DropLast();  // the path is the shared folder itself: "..\" becomes ".."
    } else if (!out.Append(path + branch + 1)) {
        return Fail(ERANGE);
    }
    return result;
}

char* MakeAbsolutePath(const char* path, const char* base, char* result, size_t size) {
    if (!base) return Fail(ERANGE);
    if (!path) return Fail(EINVAL);
    if (IsRooted(path)) return CopyWhole(path, result, size);
    if (!IsRooted(base)) return Fail(EINVAL);

    const size_t rootEnd = RootEnd(base);
    const size_t rootLength = rootEnd + 1;  // the root with its backslash: "X:\" or "\"
    size_t end = std::strlen(base);
    if (end > rootLength && base[end - 1] == kSeparator) --end;

    BoundedText out(result, size);
    const std::string_view whole(path);
    if (whole == "." || whole == ".\\") {
        // The base folder itself; a root keeps its backslash.
        if (!out.Append(std::string_view(base, end))) return Fail(ERANGE);
        const bool endsWithSeparator = base[end - 1] == kSeparator;
        if (whole == ".\\" && !endsWithSeparator && !out.Append("\\")) return Fail(ERANGE);
        return result;
    }
    if (end == rootLength) end = rootEnd;  // the root's own backslash is written below

    auto up = [&] {
        size_t k = end;
        while (k > 0 && base[k - 1] != kSeparator) --k;
        end = k > 0 ? k - 1 : 0;
        if (end < rootEnd) end = rootEnd;
    };
    std::string_view rest = whole;
    bool consumedWithoutSeparator = true;  // nothing consumed counts as ending without one
    for (;;) {
        if (rest.starts_with("..\\")) {
            up();
            rest.remove_prefix(3);
            consumedWithoutSeparator = false;
        } else if (rest == "..") {
            up();
            rest.remove_prefix(2);
            consumedWithoutSeparator = true;
        } else if (rest.starts_with(".\\")) {
            rest.remove_prefix(2);
            consumedWithoutSeparator = false;
        } else {
            break;
        }
    }
    const bool bareFolder = rest.empty() && consumedWithoutSeparator && end > rootEnd;
    if (!out.Append(std::string_view(base, end)) || (!bareFolder && !out.Append("\\")) || !out.Append(rest)) {
        return Fail(ERANGE);
    }
    return result;
}
