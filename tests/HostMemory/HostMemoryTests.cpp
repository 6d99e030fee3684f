#include <optional>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "Errors.h"
#include "HostMemory.h"
#include "HostCall.h"

namespace {

// A host whose handle and buffer procedures count their calls and locks and whose free space is
// set by the test. It stays beside the stand-in host (QuorvelHostCore) because these tests need a
// host the stand-in cannot be: one that lacks a single handle or buffer procedure of its tables
// (the stand-in offers all of them or none), that counts every handle call and every lock not yet
// given back, and whose free space a test sets to the byte whatever it holds.
struct CountingHost {
    static inline int handleCalls = 0;
    static inline int bufferAllocations = 0;
    static inline int handleLocks = 0;  // locks not yet given back
    static inline int bufferLocks = 0;
    static inline int32_t space = 0;
    static inline std::map<BufferID, std::vector<char>> buffers;

    static Handle NewH(int32_t size) {
        ++handleCalls;
        auto master = new char*;
        *master = new char[size > 0 ? size : 1]();
        sizes()[master] = size;
        return master;
    }
    static void DisposeH(Handle h) {
        ++handleCalls;
        delete[] *h;
        sizes().erase(h);
        delete h;
    }
    static int32_t SizeH(Handle h) { return sizes()[h]; }
    static OSErr16 SetSizeH(Handle, int32_t) { return 0; }
    static char* LockH(Handle h, Boolean8) {
        ++handleLocks;
        return *h;
    }
    static void UnlockH(Handle) { --handleLocks; }
    static std::map<Handle, int32_t>& sizes() {
        static std::map<Handle, int32_t> s;
        return s;
    }

    static OSErr16 Allocate(int32_t size, BufferID* id) {
        ++bufferAllocations;
        auto key = reinterpret_cast<BufferID>(static_cast<intptr_t>(bufferAllocations));
        buffers[key].resize(static_cast<size_t>(size));
        *id = key;
        return 0;
    }
    static char* LockB(BufferID id, Boolean8) {
        ++bufferLocks;
        return buffers[id].data();
    }
    static void UnlockB(BufferID) { --bufferLocks; }
    static void FreeB(BufferID id) { buffers.erase(id); }
    static int32_t Space() { return space; }
};

class HostMemoryTest : public testing::Test {
protected:
    void SetUp() override {
        ResetHostMemoryForTesting();
        handleProcs = {1, 6, CountingHost::NewH, CountingHost::DisposeH, CountingHost::SizeH, CountingHost::SetSizeH,
                       CountingHost::LockH, CountingHost::UnlockH, nullptr, nullptr};
        bufferProcs = {1, 5, CountingHost::Allocate, CountingHost::LockB, CountingHost::UnlockB, CountingHost::FreeB, CountingHost::Space};
        record = FilterRecord{};
        record.handleProcs = &handleProcs;
        record.bufferProcs = &bufferProcs;
        call.emplace(HostCall{.record = &record});
        CountingHost::handleCalls = 0;
        CountingHost::bufferAllocations = 0;
        CountingHost::handleLocks = 0;
        CountingHost::bufferLocks = 0;
        CountingHost::space = 1 << 24;
    }
    void TearDown() override {
        ResetHostMemoryForTesting();
        call.reset();
    }

    HandleProcs handleProcs{};
    BufferProcs bufferProcs{};
    FilterRecord record{};
    std::optional<HostCallScope> call;
};

TEST_F(HostMemoryTest, HandlesGoToTheHostWhenAllSixProceduresExist) {
    Handle h = NewHandle(100);
    ASSERT_NE(h, nullptr);
    EXPECT_FALSE(HostUsesGlobalHandles());
    EXPECT_EQ(GetHandleSize(h), 100);
    DisposeHandle(h);
    // The procedures are tried once with a small handle before the first one is relied on.
    EXPECT_EQ(CountingHost::handleCalls, 4);
}

// A host whose procedures answer no size for a handle they made cannot keep a block: the
// module's own handles stand in, as for a host without the procedures.
TEST_F(HostMemoryTest, HandleProceduresThatAnswerNoSizeFallBackToGlobalMemory) {
    handleProcs.getSize = [](Handle) -> int32_t { return 0; };
    Handle h = NewHandle(100);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(HostUsesGlobalHandles());
    EXPECT_GE(GetHandleSize(h), 100);
    DisposeHandle(h);
}

TEST_F(HostMemoryTest, AMissingHandleProcedureFallsBackToGlobalMemory) {
    handleProcs.unlock = nullptr;
    Handle h = NewHandle(100);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(HostUsesGlobalHandles());
    EXPECT_EQ(CountingHost::handleCalls, 0);
    EXPECT_GE(GetHandleSize(h), 100);
    EXPECT_EQ(LockHandle(h), *h);  // global data never moves
    try {
        SetHandleSize(h, 200);
        ADD_FAILURE() << "resizing a global handle must be refused";
    } catch (const ErrorCodeException& e) {
        EXPECT_EQ(e.code, Err::HostUnsupported);
    }
    DisposeHandle(h);
}

TEST_F(HostMemoryTest, CopyHandleDataCopiesTheCommonPartAndZeroesTheTail) {
    UniqueHandle small(NewHandle(4)), large(NewHandle(8));
    std::memcpy(*small.Get(), "abcd", 4);
    std::memset(*large.Get(), 'x', 8);
    CopyHandleData(small.Get(), large.Get(), 1);
    EXPECT_EQ(std::string(*large.Get(), 8), std::string("xbcd\0\0\0\0", 8));

    std::memset(*large.Get(), 'x', 8);
    CopyHandleData(small.Get(), large.Get(), 6);  // an offset beyond the smaller size copies nothing
    EXPECT_EQ(std::string(*large.Get(), 8), std::string("xxxx\0\0\0\0", 8));
}

TEST_F(HostMemoryTest, LockedHandlesAreUnlockedHoweverTheirScopeEnds) {
    UniqueHandle h(NewHandle(16));
    {
        const LockedHandle bytes(h.Get());
        ASSERT_TRUE(bytes);
        EXPECT_EQ(bytes.Get(), *h.Get());
        EXPECT_EQ(CountingHost::handleLocks, 1);
    }
    EXPECT_EQ(CountingHost::handleLocks, 0);
    try {
        const LockedHandle bytes(h.Get());
        THROW_IF_ERROR(Err::MemoryFull);
    } catch (const ErrorCodeException&) {
    }
    EXPECT_EQ(CountingHost::handleLocks, 0);
    const LockedHandle none(nullptr);
    EXPECT_FALSE(none);
    EXPECT_EQ(CountingHost::handleLocks, 0);
}

TEST_F(HostMemoryTest, LockedBuffersAreUnlockedHoweverTheirScopeEndsAndLeaveAnOuterLockAlone) {
    BufferRecord record;
    ASSERT_EQ(record.Allocate(100), 0);
    {
        const LockedBuffer bytes(record);
        ASSERT_TRUE(bytes);
        EXPECT_EQ(bytes.Get(), record.address);
        EXPECT_EQ(CountingHost::bufferLocks, 1);
    }
    EXPECT_EQ(CountingHost::bufferLocks, 0);
    EXPECT_EQ(record.address, nullptr);
    try {
        const LockedBuffer bytes(record);
        THROW_IF_ERROR(Err::MemoryFull);
    } catch (const ErrorCodeException&) {
    }
    EXPECT_EQ(CountingHost::bufferLocks, 0);

    // A scope inside one that holds the lock leaves it held; a move hands the lock on.
    LockedBuffer outer(record);
    { const LockedBuffer inner(record); EXPECT_EQ(inner.Get(), outer.Get()); }
    EXPECT_EQ(CountingHost::bufferLocks, 1);
    LockedBuffer moved = std::move(outer);
    EXPECT_FALSE(outer);
    EXPECT_EQ(CountingHost::bufferLocks, 1);
    moved.Unlock();
    EXPECT_EQ(CountingHost::bufferLocks, 0);

    // A record without memory, or none at all, gives no address and takes no lock.
    BufferRecord empty;
    EXPECT_FALSE(LockedBuffer(empty));
    EXPECT_FALSE(LockedBuffer(static_cast<BufferRecord*>(nullptr)));
    EXPECT_EQ(CountingHost::bufferLocks, 0);
}

TEST_F(HostMemoryTest, BufferRecordsOnlyGrowAndKeepTheirLock) {
    BufferRecord record;
    ASSERT_EQ(record.Allocate(1000), 0);
    char* address = record.Lock();
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(record.Allocate(500), 0);
    EXPECT_EQ(record.address, address);
    EXPECT_EQ(record.size, 1000u);
    EXPECT_EQ(CountingHost::bufferAllocations, 1);
    EXPECT_EQ(record.Free(), 0);
    EXPECT_EQ(record.Free(), 0);  // freeing an empty record is harmless
    EXPECT_EQ(record.id, nullptr);
}

TEST_F(HostMemoryTest, TheReserveRuleRefusesAndRecovers) {
    CountingHost::space = 1000000;
    BufferRecord record;
    EXPECT_EQ(record.Allocate(CountingHost::space - BufferReserve()), Err::MemoryFull);
    EXPECT_EQ(record.id, nullptr);
    EXPECT_EQ(record.Allocate(CountingHost::space - BufferReserve() - 1), 0);
    record.Free();

    SetBufferReserve(CountingHost::space);
    EXPECT_EQ(record.Allocate(1), Err::MemoryFull);
    SetBufferReserve(kDefaultBufferReserve);
    EXPECT_EQ(record.Allocate(1), 0);
}

TEST_F(HostMemoryTest, RequestsBeyondTheHostsThirtyTwoBitSizesAreRefused) {
    CountingHost::space = INT32_MAX;
    BufferRecord record;
    EXPECT_EQ(record.Allocate(int64_t{1} << 31), Err::MemoryFull);
    EXPECT_EQ(CountingHost::bufferAllocations, 0);
}

TEST_F(HostMemoryTest, WithoutAllFiveBufferProceduresBuffersComeFromGlobalMemory) {
    bufferProcs.space = nullptr;
    const int64_t before = BufferSpace();
    MEMORYSTATUSEX status{sizeof status};
    GlobalMemoryStatusEx(&status);
    EXPECT_EQ(before, static_cast<int64_t>(status.ullTotalPhys / 2));

    BufferRecord record;
    ASSERT_EQ(record.Allocate(1 << 20), 0);
    EXPECT_EQ(CountingHost::bufferAllocations, 0);
    EXPECT_LE(BufferSpace(), before - (1 << 20));
    ASSERT_NE(record.Lock(), nullptr);
    FreeAllBuffers();
    EXPECT_EQ(BufferSpace(), before);
}

}  // namespace
