// A fixed-capacity table of run-time records that grows and shrinks at its end. Records are
// created zeroed and destroyed (with whatever they hold) from the last live one down.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <new>

#include "ErrorCodes.h"

template <typename Record, int32_t Capacity>
class RecordTable {
public:
    static constexpr int32_t kCapacity = Capacity;

    RecordTable() = default;
    RecordTable(const RecordTable&) = delete;
    RecordTable& operator=(const RecordTable&) = delete;
    ~RecordTable() { Release(); }

    int32_t Count() const { return count_; }
    // The live record at index, or null.
    Record* At(int32_t index) const { return index >= 0 && index < count_ ? entries_[index].get() : nullptr; }

    // Creates records at the end while there are fewer than count, destroys them from the end
    // while there are more (count is held to 0..Capacity): 0, or -108 when a record cannot be
    // made, the records made so far staying.
    ErrorCode Resize(int32_t count) {
        count = std::clamp(count, 0, Capacity);
        ShrinkTo(count);
        for (int32_t i = count_; i < count; ++i) {
            entries_[i].reset(new (std::nothrow) Record());
            if (!entries_[i]) return Err::MemoryFull;
            count_ = i + 1;
        }
        return Err::None;
    }
    void Release() { ShrinkTo(0); }

    // Moves the live record at `from` to `to`, the records between shifting one place towards
    // `from`; nothing happens unless both are live.
    void Move(int32_t from, int32_t to) {
        if (!At(from) || !At(to) || from == to) return;
        if (from < to) std::rotate(entries_.begin() + from, entries_.begin() + from + 1, entries_.begin() + to + 1);
        else std::rotate(entries_.begin() + to, entries_.begin() + from, entries_.begin() + from + 1);
    }

private:
    void ShrinkTo(int32_t count) {
        for (int32_t i = count_ - 1; i >= count; --i) entries_[i].reset();
        count_ = std::min(count_, count);
    }

    std::array<std::unique_ptr<Record>, Capacity> entries_{};
    int32_t count_ = 0;
};
