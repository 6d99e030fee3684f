// Host memory: handles (relocatable blocks the host can keep between calls) and buffers (large
// scratch blocks), through the host's procedures when it offers all of them, else from the
// process's global memory.
//
// Host memory is the one service that stays process-wide for a call's length: every floor holds
// handles and buffers (the stack model, the kernels, the libraries, the image files) in owners
// whose destructors give them back, and an owner cannot be handed the procedures at its end. So
// the call's scope (HostCallScope, opened by the entry) names the record whose handle and buffer
// procedures serve, through HostMemoryScope, and nothing else.
#pragma once

#include <cstdint>
#include <utility>

#include "ErrorCodes.h"
#include "PluginInterface.h"
#include "UniqueOwner.h"

// Makes the record's handle and buffer procedures (none without a record) those of host memory
// for the scope's life, then puts back the record before. Opened by HostCallScope only.
class HostMemoryScope {
public:
    explicit HostMemoryScope(const FilterRecord* record);
    HostMemoryScope(const HostMemoryScope&) = delete;
    HostMemoryScope& operator=(const HostMemoryScope&) = delete;
    ~HostMemoryScope();

private:
    const FilterRecord* previous_;
};

// ---- Handles

// True when the fallback to global memory is in force; decided once per process.
// Whether the host's buffer procedures are all there (allocate, lock, unlock, free, space).
bool HasAllBufferProcs(const BufferProcs* procs);

bool HostUsesGlobalHandles();
Handle NewHandle(int64_t size);
void DisposeHandle(Handle h);
int64_t GetHandleSize(Handle h);
ErrorCode SetHandleSize(Handle h, int64_t size);
char* LockHandle(Handle h);
void UnlockHandle(Handle h);
// Copies from offset up to the smaller of the two sizes, then zeroes the rest of the destination.
void CopyHandleData(Handle source, Handle destination, int64_t offset);

// The kit's owner policies for host memory. Giving back never throws: a host whose handle
// procedures went missing mid-call loses the handle rather than the process.
struct HostHandlePolicy {
    using Handle = ::Handle;
    static constexpr Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept;
};
struct HostHandleLockPolicy {
    using Handle = ::Handle;
    static constexpr Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept;
};

// Owns a handle for as long as it is not handed over with Release.
using UniqueHandle = UniqueOwner<HostHandlePolicy>;

// Holds a handle locked for a scope: its bytes stay where they are until the owner goes. A null
// handle, or one the host will not lock, gives no bytes and is not unlocked.
class LockedHandle {
public:
    LockedHandle() = default;
    explicit LockedHandle(Handle h) : bytes_(LockHandle(h)) {
        if (bytes_) lock_.Reset(h);
    }
    LockedHandle(LockedHandle&&) = delete;
    LockedHandle& operator=(LockedHandle&&) = delete;

    char* Get() const { return bytes_; }
    template <typename T>
    T* As() const {
        return reinterpret_cast<T*>(bytes_);
    }
    explicit operator bool() const { return bytes_ != nullptr; }

private:
    UniqueOwner<HostHandleLockPolicy> lock_;
    char* bytes_ = nullptr;
};

// ---- Buffers

// The bytes every buffer allocation must leave free.
inline constexpr int64_t kDefaultBufferReserve = 65536;
int64_t BufferReserve();
void SetBufferReserve(int64_t bytes);

// Free buffer space: the host's figure, or half the physical memory less what the fallback holds.
int64_t BufferSpace();

// A held block of memory: a host buffer, a global-memory block, or a handle. Records sit on one
// process-wide list while they hold something, so FreeAllBuffers can release what a call left.
// A record releases what it holds when it goes away, so the list never keeps a dead record.
struct BufferRecord {
    BufferRecord() = default;
    BufferRecord(const BufferRecord&) = delete;
    BufferRecord& operator=(const BufferRecord&) = delete;
    ~BufferRecord() { Free(); }

    BufferRecord* next = nullptr;
    void* id = nullptr;
    bool isHandle = false;
    uint64_t size = 0;
    char* address = nullptr;

    // Grows the record to hold size bytes (an equal or smaller request keeps what is held).
    ErrorCode Allocate(int64_t size);
    char* Lock(bool moveHigh = false);
    void Unlock();
    ErrorCode Free();
};

// Holds a buffer record locked for a scope, and unlocks it however the scope ends. A record
// without memory gives no address. A record an outer scope holds locked already stays locked
// for it: only the owner that took a lock gives it back.
class LockedBuffer {
public:
    LockedBuffer() = default;
    explicit LockedBuffer(BufferRecord& record, bool moveHigh = false) {
        const bool lockedAlready = record.address != nullptr;
        address_ = record.Lock(moveHigh);
        if (address_ && !lockedAlready) lock_.Reset(&record);
    }
    // A null record gives no address.
    explicit LockedBuffer(BufferRecord* record) : LockedBuffer() {
        if (record) *this = LockedBuffer(*record);
    }
    LockedBuffer(LockedBuffer&& other) noexcept
        : lock_(std::move(other.lock_)), address_(std::exchange(other.address_, nullptr)) {}
    LockedBuffer& operator=(LockedBuffer&& other) noexcept {
        if (this != &other) {
            lock_ = std::move(other.lock_);
            address_ = std::exchange(other.address_, nullptr);
        }
        return *this;
    }

    char* Get() const { return address_; }
    template <typename T>
    T* As() const {
        return reinterpret_cast<T*>(address_);
    }
    explicit operator bool() const { return address_ != nullptr; }
    // Gives the lock back before the scope ends; the address is gone with it.
    void Unlock() noexcept {
        lock_.Reset();
        address_ = nullptr;
    }

private:
    struct UnlockPolicy {
        using Handle = BufferRecord*;
        static constexpr Handle Empty() noexcept { return nullptr; }
        static void Close(Handle record) noexcept;
    };
    UniqueOwner<UnlockPolicy> lock_;
    char* address_ = nullptr;
};

void FreeBufferMemory(void* id);
void FreeAllBuffers();

// The process state of host memory, for tests: forget the cached handle mode and list.
void ResetHostMemoryForTesting();
