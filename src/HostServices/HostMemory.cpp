#include "HostMemory.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "Errors.h"

namespace {

enum class HandleMode { Undecided, Host, Global };
HandleMode gHandleMode = HandleMode::Undecided;

BufferRecord* gHeldBuffers = nullptr;
int64_t gGlobalBytesHeld = 0;
int64_t gReserve = kDefaultBufferReserve;

// The record of the call in progress, whose procedures serve host memory (HostMemoryScope). Its
// procedures are read at each use: a host may take them away in the middle of a call.
const FilterRecord* gServingRecord = nullptr;

const HandleProcs* HostHandleProcs() { return gServingRecord ? gServingRecord->handleProcs : nullptr; }

bool HasAllHandleProcs(const HandleProcs* p) {
    using P = HandleProcs;
    return HasProc(p, &P::newHandle) && HasProc(p, &P::disposeHandle) && HasProc(p, &P::getSize) &&
           HasProc(p, &P::setSize) && HasProc(p, &P::lock) && HasProc(p, &P::unlock);
}

}  // namespace

bool HasAllBufferProcs(const BufferProcs* p) {
    using P = BufferProcs;
    return HasProc(p, &P::allocate) && HasProc(p, &P::lock) && HasProc(p, &P::unlock) && HasProc(p, &P::free) &&
           HasProc(p, &P::space);
}

namespace {

const BufferProcs* HostBufferProcs() {
    const BufferProcs* p = gServingRecord ? gServingRecord->bufferProcs : nullptr;
    return HasAllBufferProcs(p) ? p : nullptr;
}

// A handle procedure that is missing while host handles are in force.
const HandleProcs& RequireHandleProcs() {
    const HandleProcs* p = HostHandleProcs();
    if (!p) THROW_IF_ERROR(Err::HostUnsupported);
    return *p;
}

// Fallback handles: a master block whose one word is the address of the data block.
struct GlobalHandle {
    static Handle New(int64_t size) {
        auto master = static_cast<char**>(GlobalAlloc(GMEM_FIXED, sizeof(char*)));
        if (!master) return nullptr;
        *master = static_cast<char*>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(std::max<int64_t>(size, 1))));
        if (!*master) {
            GlobalFree(master);
            return nullptr;
        }
        return master;
    }
    static void Dispose(Handle h) {
        if (*h) GlobalFree(*h);
        GlobalFree(h);
    }
    static int64_t Size(Handle h) { return *h ? static_cast<int64_t>(GlobalSize(*h)) : 0; }
};

}  // namespace

HostMemoryScope::HostMemoryScope(const FilterRecord* record) : previous_(gServingRecord) { gServingRecord = record; }

HostMemoryScope::~HostMemoryScope() { gServingRecord = previous_; }

// Some hosts fill the handle table with stand-in procedures that answer nothing (a size of 0 for
// every handle): the table is tried once with a small handle before the call's handles rely on it.
bool HostHandleProcsWork(const HandleProcs& procs) {
    constexpr int32_t kProbeSize = 16;
    Handle probe = procs.newHandle(kProbeSize);
    if (!probe) return false;
    const bool sized = procs.getSize(probe) == kProbeSize;
    procs.disposeHandle(probe);
    return sized;
}

bool HostUsesGlobalHandles() {
    if (gHandleMode == HandleMode::Undecided) {
        const HandleProcs* procs = HostHandleProcs();
        gHandleMode = HasAllHandleProcs(procs) && HostHandleProcsWork(*procs) ? HandleMode::Host : HandleMode::Global;
    }
    return gHandleMode == HandleMode::Global;
}

Handle NewHandle(int64_t size) {
    if (size < 0 || size > INT32_MAX) return nullptr;
    if (HostUsesGlobalHandles()) return GlobalHandle::New(size);
    return RequireHandleProcs().newHandle(static_cast<int32_t>(size));
}

void DisposeHandle(Handle h) {
    if (!h) return;
    if (HostUsesGlobalHandles()) GlobalHandle::Dispose(h);
    else RequireHandleProcs().disposeHandle(h);
}

int64_t GetHandleSize(Handle h) {
    if (!h) return 0;
    if (HostUsesGlobalHandles()) return GlobalHandle::Size(h);
    return RequireHandleProcs().getSize(h);
}

ErrorCode SetHandleSize(Handle h, int64_t size) {
    if (HostUsesGlobalHandles()) THROW_IF_ERROR(Err::HostUnsupported);
    if (size < 0 || size > INT32_MAX) return Err::MemoryFull;
    return RequireHandleProcs().setSize(h, static_cast<int32_t>(size));
}

char* LockHandle(Handle h) {
    if (!h) return nullptr;
    if (HostUsesGlobalHandles()) return *h;  // global data never moves
    return RequireHandleProcs().lock(h, false);
}

void UnlockHandle(Handle h) {
    if (!h || HostUsesGlobalHandles()) return;
    RequireHandleProcs().unlock(h);
}

void HostHandlePolicy::Close(Handle h) noexcept {
    try {
        DisposeHandle(h);
    } catch (...) {
        // the host took the procedures away: the handle is the host's now
    }
}

void HostHandleLockPolicy::Close(Handle h) noexcept {
    try {
        UnlockHandle(h);
    } catch (...) {
        // the host took the procedures away: nothing is left to unlock through
    }
}

void LockedBuffer::UnlockPolicy::Close(BufferRecord* record) noexcept { record->Unlock(); }

void CopyHandleData(Handle source, Handle destination, int64_t offset) {
    if (!source || !destination) return;
    const int64_t sourceSize = GetHandleSize(source);
    const int64_t destinationSize = GetHandleSize(destination);
    const int64_t smaller = std::min(sourceSize, destinationSize);
    const LockedHandle from(source);
    const LockedHandle to(destination);
    if (from && to) {
        if (offset >= 0 && offset < smaller)
            std::memmove(to.Get() + offset, from.Get() + offset, static_cast<size_t>(smaller - offset));
        if (destinationSize > smaller) std::memset(to.Get() + smaller, 0, static_cast<size_t>(destinationSize - smaller));
    }
}

int64_t BufferReserve() { return gReserve; }
void SetBufferReserve(int64_t bytes) { gReserve = bytes; }

int64_t BufferSpace() {
    if (const BufferProcs* p = HostBufferProcs()) return static_cast<int64_t>(p->space());
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    GlobalMemoryStatusEx(&status);
    return static_cast<int64_t>(status.ullTotalPhys / 2) - gGlobalBytesHeld;
}

ErrorCode BufferRecord::Allocate(int64_t wanted) {
    if (id && wanted >= 0 && size >= static_cast<uint64_t>(wanted)) return 0;  // records only grow
    if (id) Free();
    // The host's buffer sizes are 32-bit: a larger request is refused, never cut short.
    if (wanted < 0 || wanted > INT32_MAX) return Err::MemoryFull;
    if (gReserve + wanted >= BufferSpace()) return Err::MemoryFull;
    if (const BufferProcs* p = HostBufferProcs()) {
        BufferID hostId = nullptr;
        if (const OSErr16 error = p->allocate(static_cast<int32_t>(wanted), &hostId)) return error;
        id = hostId;
    } else {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(std::max<int64_t>(wanted, 1)));
        if (!block) return Err::MemoryFull;
        gGlobalBytesHeld += static_cast<int64_t>(GlobalSize(block));
        id = block;
    }
    size = static_cast<uint64_t>(wanted);
    isHandle = false;
    address = nullptr;
    next = gHeldBuffers;
    gHeldBuffers = this;
    return 0;
}

char* BufferRecord::Lock(bool moveHigh) {
    if (id && !address && !isHandle) {
        if (const BufferProcs* p = HostBufferProcs()) address = p->lock(static_cast<BufferID>(id), moveHigh);
        else address = static_cast<char*>(GlobalLock(static_cast<HGLOBAL>(id)));
    }
    return address;
}

void BufferRecord::Unlock() {
    if (!id || !address) return;
    if (!isHandle) {
        if (const BufferProcs* p = HostBufferProcs()) p->unlock(static_cast<BufferID>(id));
        else GlobalUnlock(static_cast<HGLOBAL>(id));
    }
    address = nullptr;
}

ErrorCode BufferRecord::Free() {
    if (id) {
        if (isHandle) DisposeHandle(static_cast<Handle>(id));
        else FreeBufferMemory(id);
        for (BufferRecord** link = &gHeldBuffers; *link; link = &(*link)->next) {
            if (*link == this) {
                *link = next;
                break;
            }
        }
    }
    next = nullptr;
    id = nullptr;
    isHandle = false;
    size = 0;
    address = nullptr;
    return 0;
}

void FreeBufferMemory(void* id) {
    if (const BufferProcs* p = HostBufferProcs()) {
        p->free(static_cast<BufferID>(id));
        return;
    }
    gGlobalBytesHeld -= static_cast<int64_t>(GlobalSize(static_cast<HGLOBAL>(id)));
    while (GlobalUnlock(static_cast<HGLOBAL>(id))) {
    }
    GlobalFree(static_cast<HGLOBAL>(id));
}

void FreeAllBuffers() {
    while (gHeldBuffers) gHeldBuffers->Free();
}

void ResetHostMemoryForTesting() {
    FreeAllBuffers();
    gHandleMode = HandleMode::Undecided;
    gGlobalBytesHeld = 0;
    gReserve = kDefaultBufferReserve;
}
