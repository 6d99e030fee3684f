// Compile-time checks of the binary layouts the system stores and exchanges: the fields of a
// record, listed in order, follow on one from the next without a gap or an overlap and fill the
// record exactly. A field added, moved or resized without its neighbours fails the build.
#pragma once

#include <cstdint>
#include <initializer_list>

// Where one field lies in its record, and how many bytes it takes.
struct FieldSpan {
    uint32_t offset;
    uint32_t width;
};

// Whether the fields, in order, start at `start`, each at the end of the one before, and the last
// ends at `end`.
constexpr bool FieldsFollowOn(uint32_t start, std::initializer_list<FieldSpan> fields, uint32_t end) {
    uint32_t at = start;
    for (const FieldSpan& field : fields) {
        if (field.offset != at) return false;
        at += field.width;
    }
    return at == end;
}
