#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ErrorCodes.h"
#include "HostMemory.h"
#include "ParameterHeader.h"
#include "UndoList.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The parameter block as the filter object holds it: the run-time prefix, the header the
// framework writes on every resize, a stack header whose first field is the layer count, and then
// a few bytes per layer.
struct BlockTarget final : UndoTarget {
    Bytes block;
    int32_t currentLayer = 0;
    bool failResize = false;

    std::span<uint8_t> Block() override { return block; }
    void ResizeBlock(int32_t size) override {
        if (failResize) throw ErrorCodeException{Err::MemoryFull};
        block.resize(static_cast<size_t>(size) + ParameterHeader::kRunTimePrefix);
        WriteHeader(block, size);
    }
    int32_t CurrentLayer() const override { return currentLayer; }
    void SetCurrentLayer(int32_t index) override { currentLayer = index; }

    static void WriteHeader(Bytes& bytes, int32_t size) {
        uint8_t* header = bytes.data() + ParameterHeader::kRunTimePrefix;
        header[0] = static_cast<uint8_t>(size >> 8);
        header[1] = static_cast<uint8_t>(size);
        header[2] = 0;
        header[3] = ParameterHeader::kHeaderLength;
        std::memcpy(header + 4, "QVRL", 4);
        std::memset(header + 8, 0, 4);
    }
};

constexpr int kBytesPerLayer = 6;

// A state with `layers` layers whose settings bytes all come from `seed`; the prefix holds bytes
// that are no part of any state.
Bytes MakeState(int layers, uint8_t seed) {
    const int32_t size = ParameterHeader::kHeaderLength + 2 + layers * kBytesPerLayer;
    Bytes bytes(static_cast<size_t>(size) + ParameterHeader::kRunTimePrefix);
    std::memset(bytes.data(), 0xEE, ParameterHeader::kRunTimePrefix);
    BlockTarget::WriteHeader(bytes, size);
    bytes[ParameterHeader::kSettingsOffset] = 0;
    bytes[ParameterHeader::kSettingsOffset + 1] = static_cast<uint8_t>(layers);
    for (size_t i = ParameterHeader::kSettingsOffset + 2; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(seed + i);
    return bytes;
}

// Memory that can be made to refuse: the next `refusals` allocations fail (-1: every one).
struct TestMemory final : UndoMemory {
    int refusals = 0;
    int live = 0;
    Block Allocate(size_t size) noexcept override {
        if (refusals != 0) {
            if (refusals > 0) --refusals;
            return {};
        }
        auto* bytes = static_cast<uint8_t*>(std::malloc(size));
        ++live;
        return {bytes, bytes, size};
    }
    void Free(const Block& block) noexcept override {
        std::free(block.id);
        --live;
    }
};

class UndoListTest : public ::testing::Test {
protected:
    TestMemory memory;
    UndoList list{memory};
    BlockTarget target;

    // Makes `state` the live block and pushes it.
    bool Change(const Bytes& state) {
        target.block = state;
        const UndoList::PushResult result = list.Push(target);
        EXPECT_EQ(result.error, Err::None);
        return result.pushed;
    }
};

TEST_F(UndoListTest, SequencesRestoreEachStateByteForByte) {
    // States of different sizes, so every restore resizes the block.
    const std::vector<Bytes> states = {MakeState(1, 10), MakeState(3, 20), MakeState(2, 30), MakeState(0, 40)};
    struct Step {
        char op;         // 'u' undo, 'r' redo
        bool answer;
        int state;       // the state the block holds afterwards
    };
    const std::vector<std::vector<Step>> sequences = {
        {{'u', true, 2}, {'u', true, 1}, {'u', true, 0}, {'u', false, 0}},
        {{'u', true, 2}, {'u', true, 1}, {'r', true, 2}, {'r', true, 3}, {'r', false, 3}},
        {{'r', false, 3}, {'u', true, 2}, {'r', true, 3}, {'u', true, 2}, {'u', true, 1}, {'r', true, 2}},
    };
    for (size_t s = 0; s < sequences.size(); ++s) {
        UndoList fresh(memory);
        for (const Bytes& state : states) {
            target.block = state;
            ASSERT_TRUE(fresh.Push(target).pushed);
        }
        for (size_t i = 0; i < sequences[s].size(); ++i) {
            const Step& step = sequences[s][i];
            SCOPED_TRACE("sequence " + std::to_string(s) + " step " + std::to_string(i));
            const bool answer = step.op == 'u' ? fresh.Undo(target) : fresh.Redo(target);
            EXPECT_EQ(answer, step.answer);
            EXPECT_EQ(target.block, states[step.state]);
            EXPECT_EQ(fresh.UndoSteps(), step.state);
            EXPECT_EQ(fresh.CanUndo(), step.state > 0);
            EXPECT_EQ(fresh.CanRedo(), step.state < 3);
        }
    }
    EXPECT_EQ(memory.live, 0);
}

TEST_F(UndoListTest, NothingToUndoOrRedoLeavesTheBlockAlone) {
    target.block = MakeState(2, 5);
    EXPECT_FALSE(list.Undo(target));
    EXPECT_FALSE(list.Redo(target));
    ASSERT_TRUE(Change(MakeState(2, 5)));
    EXPECT_FALSE(list.CanUndo());
    EXPECT_FALSE(list.Undo(target));
    EXPECT_FALSE(list.Redo(target));
    EXPECT_EQ(target.block, MakeState(2, 5));
}

TEST_F(UndoListTest, AnUnchangedBlockIsNotPushedAndKeepsTheRedoStates) {
    ASSERT_TRUE(Change(MakeState(1, 1)));
    ASSERT_TRUE(Change(MakeState(1, 2)));
    ASSERT_TRUE(list.Undo(target));
    const int allocated = memory.live;
    // Only the run-time prefix differs: that is no change of state.
    target.block[0] ^= 0xFF;
    EXPECT_FALSE(list.Push(target).pushed);
    EXPECT_EQ(memory.live, allocated);
    EXPECT_TRUE(list.CanRedo());
    ASSERT_TRUE(list.Redo(target));
    EXPECT_EQ(std::memcmp(target.block.data() + 8, MakeState(1, 2).data() + 8, target.block.size() - 8), 0);
}

TEST_F(UndoListTest, AChangeAfterAnUndoDiscardsTheRedoStates) {
    ASSERT_TRUE(Change(MakeState(1, 1)));
    ASSERT_TRUE(Change(MakeState(1, 2)));
    ASSERT_TRUE(Change(MakeState(1, 3)));
    ASSERT_TRUE(list.Undo(target));
    ASSERT_TRUE(list.Undo(target));
    ASSERT_TRUE(Change(MakeState(2, 9)));
    EXPECT_FALSE(list.CanRedo());
    EXPECT_FALSE(list.Redo(target));
    EXPECT_EQ(memory.live, 2);
    ASSERT_TRUE(list.Undo(target));
    EXPECT_EQ(target.block, MakeState(1, 1));
}

TEST_F(UndoListTest, KeepsTheNewestUndoStepsUpToTheLimit) {
    const int changes = UndoList::kMaxUndoSteps + 1;
    for (int i = 0; i <= changes; ++i) ASSERT_TRUE(Change(MakeState(1 + i % 3, static_cast<uint8_t>(i))));
    EXPECT_EQ(list.UndoSteps(), UndoList::kMaxUndoSteps);
    EXPECT_EQ(memory.live, UndoList::kMaxUndoSteps + 1);
    for (int i = 0; i < UndoList::kMaxUndoSteps; ++i) ASSERT_TRUE(list.Undo(target));
    EXPECT_FALSE(list.Undo(target));
    // The starting state is the one given up.
    EXPECT_EQ(target.block, MakeState(2, 1));
}

TEST_F(UndoListTest, ShortOfMemoryGivesUpTheOldestStepsFirst) {
    for (uint8_t i = 0; i < 4; ++i) ASSERT_TRUE(Change(MakeState(1, i)));
    memory.refusals = 2;
    ASSERT_TRUE(Change(MakeState(1, 4)));
    EXPECT_EQ(list.UndoSteps(), 2);
    EXPECT_EQ(memory.live, 3);
    ASSERT_TRUE(list.Undo(target));
    ASSERT_TRUE(list.Undo(target));
    EXPECT_EQ(target.block, MakeState(1, 2));
    EXPECT_FALSE(list.Undo(target));
}

TEST_F(UndoListTest, AFailedPushLosesNothing) {
    ASSERT_TRUE(Change(MakeState(1, 1)));
    ASSERT_TRUE(Change(MakeState(2, 2)));
    ASSERT_TRUE(list.Undo(target));
    const int allocated = memory.live;
    target.block = MakeState(3, 3);
    memory.refusals = -1;
    const UndoList::PushResult result = list.Push(target);
    EXPECT_FALSE(result.pushed);
    EXPECT_EQ(result.error, Err::MemoryFull);
    EXPECT_EQ(target.block, MakeState(3, 3));
    EXPECT_EQ(memory.live, allocated);
    EXPECT_EQ(UndoList::LiveCopies(), allocated);
    ASSERT_TRUE(list.CanRedo());
    memory.refusals = 0;
    ASSERT_TRUE(list.Redo(target));
    EXPECT_EQ(target.block, MakeState(2, 2));
}

TEST_F(UndoListTest, AFailedResizeLeavesTheListsAndTheBlock) {
    ASSERT_TRUE(Change(MakeState(1, 1)));
    ASSERT_TRUE(Change(MakeState(2, 2)));
    target.failResize = true;
    EXPECT_THROW(list.Undo(target), ErrorCodeException);
    EXPECT_EQ(target.block, MakeState(2, 2));
    EXPECT_EQ(list.UndoSteps(), 1);
    EXPECT_FALSE(list.CanRedo());
    target.failResize = false;
    ASSERT_TRUE(list.Undo(target));
    EXPECT_EQ(target.block, MakeState(1, 1));
}

TEST_F(UndoListTest, ABlockWhoseSizeFieldLiesIsNotSaved) {
    Bytes state = MakeState(1, 1);
    for (const uint16_t size : {uint16_t{0}, uint16_t{11}, static_cast<uint16_t>(state.size() - 7)}) {
        Bytes lying = state;
        lying[8] = static_cast<uint8_t>(size >> 8);
        lying[9] = static_cast<uint8_t>(size);
        target.block = lying;
        const UndoList::PushResult result = list.Push(target);
        EXPECT_FALSE(result.pushed) << size;
        EXPECT_EQ(result.error, Err::SettingsCorrupt) << size;
    }
    EXPECT_EQ(memory.live, 0);
}

TEST_F(UndoListTest, TheSelectedLayerFollowsTheRestoredStack) {
    ASSERT_TRUE(Change(MakeState(3, 1)));
    // A layer added and selected as the last one; undoing the addition selects the new last.
    target.currentLayer = 4;
    ASSERT_TRUE(Change(MakeState(4, 1)));
    ASSERT_TRUE(list.Undo(target));
    EXPECT_EQ(target.currentLayer, 3);
    ASSERT_TRUE(list.Redo(target));
    EXPECT_EQ(target.currentLayer, 4);
}

TEST(MoveLayerIndex, MovesByTheChangeNeverOutOfTheStack) {
    struct Case {
        int32_t index, leaving, restored, expected;
    };
    const Case cases[] = {
        {4, 4, 3, 3},  // an added last layer undone
        {2, 3, 4, 3},  // a deletion undone: the index moves up
        {3, 2, 3, 3},  // moving up would pass the restored stack: it stays
        {1, 3, 1, 0},  // below the first layer: none
        {0, 2, 2, 0},
        {5, 3, 3, 3},  // an index already past the stack is brought back into it
        {2, 0, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MoveLayerIndex(c.index, c.leaving, c.restored), c.expected)
            << c.index << " " << c.leaving << " " << c.restored;
}

// Without a host's handle procedures the copies live in the process's global memory.
TEST(UndoListInHandles, SavesAndRestoresThroughTheHandleLayer) {
    ResetHostMemoryForTesting();
    const int64_t before = UndoList::LiveCopies();
    BlockTarget target;
    {
        UndoList list;
        for (uint8_t i = 0; i < 3; ++i) {
            target.block = MakeState(i, i);
            ASSERT_TRUE(list.Push(target).pushed);
        }
        EXPECT_EQ(UndoList::LiveCopies(), before + 3);
        ASSERT_TRUE(list.Undo(target));
        ASSERT_TRUE(list.Undo(target));
        EXPECT_EQ(target.block, MakeState(0, 0));
        ASSERT_TRUE(list.Redo(target));
        EXPECT_EQ(target.block, MakeState(1, 1));
    }
    EXPECT_EQ(UndoList::LiveCopies(), before);
    ResetHostMemoryForTesting();
}

}  // namespace
