// Host memory: handles (relocatable blocks the host can keep between calls) and buffers (large
// scratch blocks), through the host's procedures when it offers all of them, else from the
// process's global memory.
#pragma once

#include <cstdint>

#include "ErrorCodes.h"
#include "PluginInterface.h"

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

// Owns a handle for as long as it is not handed over with Release.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle h) : handle_(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    Handle Release() {
        Handle h = handle_;
        handle_ = nullptr;
        return h;
    }
    void Reset(Handle h = nullptr) {
        if (handle_) DisposeHandle(handle_);
        handle_ = h;
    }

private:
    Handle handle_ = nullptr;
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

void FreeBufferMemory(void* id);
void FreeAllBuffers();

// The process state of host memory, for tests: forget the cached handle mode and list.
void ResetHostMemoryForTesting();
