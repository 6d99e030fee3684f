// The preview dialog's undo and redo: whole copies of the parameter block, taken after each change
// the dialog, its tabs and its tools make, so that any of them can be taken back and brought back
// again. The list knows no window: the dialog greys its Edit commands from CanUndo and CanRedo,
// raises the codes the list answers and sends the filter object its notices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "ErrorCodes.h"

// Where the saved copies live. An allocation that cannot be had answers an empty block rather
// than raising, so that the list can give up its oldest steps and try again.
class UndoMemory {
public:
    struct Block {
        void* id = nullptr;        // the allocator's own handle of the block
        uint8_t* bytes = nullptr;  // null when memory is short
        size_t size = 0;
    };

    virtual ~UndoMemory() = default;
    virtual Block Allocate(size_t size) noexcept = 0;
    virtual void Free(const Block& block) noexcept = 0;
};

// The host's handles (or the process's global memory when the host lacks handle procedures),
// each held locked for as long as its copy lives.
UndoMemory& HostHandleUndoMemory();

// The live parameter block the list saves and restores, as the filter object holds it.
class UndoTarget {
public:
    virtual ~UndoTarget() = default;
    // The whole handle: the run-time prefix, the framework's header and the settings.
    virtual std::span<uint8_t> Block() = 0;
    // Sizes the block to hold S bytes from the header on and rewrites the header. Raises when it
    // cannot, leaving the block as it was.
    virtual void ResizeBlock(int32_t size) = 0;
    // The selected layer, 0 for none.
    virtual int32_t CurrentLayer() const = 0;
    virtual void SetCurrentLayer(int32_t index) = 0;
};

class UndoList {
public:
    // The most undo steps kept behind the current state; the oldest go first.
    static constexpr int kMaxUndoSteps = 101;

    struct PushResult {
        bool pushed = false;
        ErrorCode error = Err::None;  // MemoryFull or SettingsCorrupt; nothing was changed but
                                      // the oldest steps given up for memory
    };

    explicit UndoList(UndoMemory& memory = HostHandleUndoMemory());
    UndoList(const UndoList&) = delete;
    UndoList& operator=(const UndoList&) = delete;
    ~UndoList();

    // Saves the block as the new current state when it differs from the last one saved, and
    // discards every redo state. Short of memory, the oldest undo steps are given up one by one;
    // when none is left to give, MemoryFull is answered with the block, the current state and the
    // redo states as they were.
    PushResult Push(UndoTarget& target);

    // Restores the state before the current one (Undo) or the one undone last (Redo); false when
    // there is none. The block comes back byte for byte from its header on, and the selected
    // layer follows the layers the restore added or took away. Raises what ResizeBlock raises,
    // with the lists and the block unchanged.
    bool Undo(UndoTarget& target);
    bool Redo(UndoTarget& target);

    // Frees every saved state.
    void Release() noexcept;

    bool CanUndo() const { return UndoSteps() > 0; }
    bool CanRedo() const { return !redo_.empty(); }
    // The saved states behind the current one.
    int UndoSteps() const { return undo_.empty() ? 0 : static_cast<int>(undo_.size()) - 1; }
    int RedoSteps() const { return static_cast<int>(redo_.size()); }

    // The copies alive in the process, over every list: none once each list is released.
    static int64_t LiveCopies();

private:
    void FreeCopy(const UndoMemory::Block& copy) noexcept;
    void DropOldest() noexcept;
    // Copies a saved state into the block, moving the selected layer from `leaving`'s layer count
    // to the restored one's; false when the resized block cannot hold the copy.
    bool Restore(UndoTarget& target, const UndoMemory::Block& copy, const UndoMemory::Block& leaving);

    UndoMemory& memory_;
    // Oldest first; the last is the current state.
    std::vector<UndoMemory::Block> undo_;
    // Undone states, the one undone first at the front, so the last is the next to redo.
    std::vector<UndoMemory::Block> redo_;
};

// Where the selected layer goes when a restore changes the layer count from `leavingLayers` to
// `restoredLayers`: it moves by the difference, to 0 below the first layer, and is never left past
// the last restored layer.
int32_t MoveLayerIndex(int32_t index, int32_t leavingLayers, int32_t restoredLayers);
