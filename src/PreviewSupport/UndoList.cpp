#include "UndoList.h"

#include <algorithm>
#include <cstring>

#include "HostMemory.h"
#include "ParameterHeader.h"

namespace {
using namespace ParameterHeader;

// Where the header's size field and the layer count lie in the handle.
constexpr size_t kSizeAt = kRunTimePrefix + kSizeField;
constexpr size_t kSignatureAt = kRunTimePrefix + kSignatureField;
constexpr size_t kLayerCountAt = kSettingsOffset;
static_assert(kSizeAt + 2 <= kSignatureAt && kSignatureAt < kLayerCountAt);

int64_t gLiveCopies = 0;

uint16_t ReadU16BE(const uint8_t* at) { return static_cast<uint16_t>(at[0] << 8 | at[1]); }

// The handle bytes the block's own size field claims, or 0 when the field claims less than a
// header or more than the handle holds.
size_t ClaimedLength(std::span<const uint8_t> bytes) {
    if (bytes.size() < kSettingsOffset) return 0;
    const size_t size = ReadU16BE(bytes.data() + kSizeAt);
    if (size < kHeaderLength) return 0;
    const size_t length = size + kRunTimePrefix;
    return length <= bytes.size() ? length : 0;
}

// A copy's layer count; 0 for a copy that holds no stack header.
int32_t LayerCount(const UndoMemory::Block& copy) {
    return copy.size >= kLayerCountAt + 2 ? ReadU16BE(copy.bytes + kLayerCountAt) : 0;
}

class HostHandleMemory final : public UndoMemory {
public:
    Block Allocate(size_t size) noexcept override {
        try {
            UniqueHandle handle(NewHandle(static_cast<int64_t>(size)));
            if (!handle) return {};
            auto* bytes = reinterpret_cast<uint8_t*>(LockHandle(handle.Get()));
            if (!bytes) return {};
            return {handle.Release(), bytes, size};
        } catch (...) {
            // a host whose handle procedures fail is as short of memory as one without any
            return {};
        }
    }
    void Free(const Block& block) noexcept override {
        if (!block.id) return;
        HostHandleLockPolicy::Close(static_cast<Handle>(block.id));
        HostHandlePolicy::Close(static_cast<Handle>(block.id));
    }
};
}  // namespace

UndoMemory& HostHandleUndoMemory() {
    static HostHandleMemory memory;
    return memory;
}

int32_t MoveLayerIndex(int32_t index, int32_t leavingLayers, int32_t restoredLayers) {
    const int64_t moved = int64_t{index} + restoredLayers - leavingLayers;
    if (moved < 1) return 0;
    // Past the restored stack the index stays, but never beyond its last layer: an index from a
    // larger stack would otherwise name a layer that is not there.
    if (moved > restoredLayers) return std::clamp(index, 0, std::max(restoredLayers, 0));
    return static_cast<int32_t>(moved);
}

UndoList::UndoList(UndoMemory& memory) : memory_(memory) {
    // Every copy is in one list or the other, and there are never more than the steps and the
    // current state: moving a copy between them must not allocate, so an undo cannot fail halfway.
    undo_.reserve(kMaxUndoSteps + 2);
    redo_.reserve(kMaxUndoSteps + 2);
}

UndoList::~UndoList() { Release(); }

int64_t UndoList::LiveCopies() { return gLiveCopies; }

void UndoList::FreeCopy(const UndoMemory::Block& copy) noexcept {
    memory_.Free(copy);
    --gLiveCopies;
}

void UndoList::DropOldest() noexcept {
    FreeCopy(undo_.front());
    undo_.erase(undo_.begin());
}

UndoList::PushResult UndoList::Push(UndoTarget& target) {
    const std::span<uint8_t> block = target.Block();
    const size_t length = ClaimedLength(block);
    if (length == 0) return {false, Err::SettingsCorrupt};

    // A click that changed nothing leaves the lists, and the redo states, alone. The run-time
    // prefix and the size field are no part of the state; equal sizes mean equal size fields.
    if (!undo_.empty()) {
        const UndoMemory::Block& head = undo_.back();
        if (head.size == length &&
            std::memcmp(head.bytes + kSignatureAt, block.data() + kSignatureAt, length - kSignatureAt) == 0)
            return {false, Err::None};
    }

    // Allocate before anything is given up: only the oldest steps are traded for memory, and only
    // while one is left to trade.
    UndoMemory::Block copy = memory_.Allocate(length);
    while (!copy.bytes) {
        if (UndoSteps() == 0) return {false, Err::MemoryFull};
        DropOldest();
        copy = memory_.Allocate(length);
    }
    ++gLiveCopies;
    copy.size = length;

    for (const UndoMemory::Block& undone : redo_) FreeCopy(undone);
    redo_.clear();
    if (UndoSteps() >= kMaxUndoSteps) DropOldest();

    std::memcpy(copy.bytes, block.data(), length);
    undo_.push_back(copy);
    return {true, Err::None};
}

bool UndoList::Restore(UndoTarget& target, const UndoMemory::Block& copy, const UndoMemory::Block& leaving) {
    const size_t length = copy.size;
    target.ResizeBlock(static_cast<int32_t>(length - kRunTimePrefix));
    // The resize rewrote the prefix-side header; the rest comes from the copy. The block may
    // have moved.
    const std::span<uint8_t> block = target.Block();
    if (block.size() < length) return false;
    std::memcpy(block.data() + kSettingsOffset, copy.bytes + kSettingsOffset, length - kSettingsOffset);
    target.SetCurrentLayer(MoveLayerIndex(target.CurrentLayer(), LayerCount(leaving), LayerCount(copy)));
    return true;
}

bool UndoList::Undo(UndoTarget& target) {
    if (UndoSteps() == 0) return false;
    if (!Restore(target, undo_[undo_.size() - 2], undo_.back())) return false;
    redo_.push_back(undo_.back());
    undo_.pop_back();
    return true;
}

bool UndoList::Redo(UndoTarget& target) {
    if (redo_.empty() || undo_.empty()) return false;
    if (!Restore(target, redo_.back(), undo_.back())) return false;
    undo_.push_back(redo_.back());
    redo_.pop_back();
    return true;
}

void UndoList::Release() noexcept {
    for (const UndoMemory::Block& copy : undo_) FreeCopy(copy);
    undo_.clear();
    for (const UndoMemory::Block& copy : redo_) FreeCopy(copy);
    redo_.clear();
}
