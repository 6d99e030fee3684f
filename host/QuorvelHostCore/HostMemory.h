// The host's memory for plug-ins: relocatable handles and buffers drawn from a byte budget.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "PluginInterface.h"

namespace qvhost {

// Handles: the handle is the address of a master word holding the data's address, as the plug-in
// interface has them. Every handle the store made is known to it, so a foreign or disposed handle
// is refused instead of followed.
class HandleStore {
public:
    HandleStore() = default;
    HandleStore(const HandleStore&) = delete;
    HandleStore& operator=(const HandleStore&) = delete;
    ~HandleStore();

    Handle New(int64_t size);
    Handle NewWithData(std::span<const uint8_t> data);
    void Dispose(Handle h);
    bool Owns(Handle h) const;
    // -1 for a handle the store does not own.
    int64_t Size(Handle h) const;
    // Resizes (the data may move unless the handle is locked); keeps the common bytes, zero-fills
    // growth. 0, -108 when memory runs out or a locked handle would have to move, -50 for a
    // foreign handle.
    int16_t SetSize(Handle h, int64_t size);
    char* Lock(Handle h);
    void Unlock(Handle h);
    bool IsLocked(Handle h) const;
    // A copy of the handle's bytes; empty for a foreign handle.
    std::vector<uint8_t> Bytes(Handle h) const;
    size_t LiveCount() const { return blocks_.size(); }

private:
    struct Block {
        char* data = nullptr;  // the master word: must stay the first member
        int64_t size = 0;
        int lockCount = 0;
    };
    std::map<Handle, std::unique_ptr<Block>> blocks_;
};

// Buffers counted against a budget: an allocation fails with -108 when it would take the bytes
// held over the budget.
class BufferStore {
public:
    explicit BufferStore(int64_t budget) : budget_(budget) {}
    BufferStore(const BufferStore&) = delete;
    BufferStore& operator=(const BufferStore&) = delete;

    int16_t Allocate(int64_t size, BufferID* id);
    char* Lock(BufferID id);
    void Unlock(BufferID id);
    void Free(BufferID id);
    bool Owns(BufferID id) const { return buffers_.count(id) != 0; }
    int64_t SizeOf(BufferID id) const;
    // Bytes still free under the budget.
    int64_t Space() const { return budget_ - held_; }
    int64_t Budget() const { return budget_; }
    // A new budget: what is held stays, later allocations count against it.
    void SetBudget(int64_t budget) { budget_ = budget; }
    int64_t Held() const { return held_; }
    int64_t PeakHeld() const { return peak_; }
    size_t LiveCount() const { return buffers_.size(); }

private:
    struct Buffer {
        std::unique_ptr<char[]> data;
        int64_t size = 0;
    };
    std::map<BufferID, Buffer> buffers_;
    int64_t budget_;
    int64_t held_ = 0;
    int64_t peak_ = 0;
};

}  // namespace qvhost
