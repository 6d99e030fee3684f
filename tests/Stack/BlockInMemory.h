// A parameter block in a handle of its own, with no host call: the frame-stack model over it and
// over a stack state of its own, and the stack edits' host as the filter class would be it. Every
// resize puts the block in a new handle, as the framework's does, so the model must find it
// again.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "BigEndian.h"
#include "HostMemory.h"
#include "QuorvelBase.h"
#include "SettingsDefaults.h"
#include "StackEdits.h"
#include "StackLimits.h"
#include "StackState.h"

class BlockInMemory final : public StackEditHost {
public:
    static constexpr uint32_t kSignature = 'qvxq';

    BlockInMemory() = default;
    BlockInMemory(const BlockInMemory&) = delete;
    BlockInMemory& operator=(const BlockInMemory&) = delete;
    ~BlockInMemory() {
        state.layerStates.Release();
        DisposeHandle(parameters);
    }

    // The default block grown to `layers` default layers and `paths` empty path records, with the
    // photo at `photo`.
    void Make(int layers, int paths, int photo = 0) {
        DisposeHandle(parameters);
        parameters = nullptr;
        Resize(ParameterBlockView::SizeFor(0, 0));
        {
            const LockedParameters lock = stack.Lock();
            const ParameterBlockView block = lock.View();
            block.Block().Set(BlockLayout::kOutputOption, BlockLayout::kOutputEachFrameToNewLayer);
            SettingsResetBackgroundPlacement(block);
            SettingsInitPlaceholder(block);
        }
        ASSERT_EQ(ResizeStackStorage(layers, false), 0);
        ASSERT_EQ(ResizeStackStorage(paths, true), 0);
        for (int i = 0; i < layers; ++i) stack.InitLayerRecord(i, false);
        stack.SetTargetLayerPos(photo);
        ASSERT_EQ(stack.TargetLayerPos(), photo);
    }
    ParameterBlockView View() const {
        return ParameterBlockView(reinterpret_cast<uint8_t*>(*parameters), GetHandleSize(parameters));
    }

    // ---- The stack edits' host
    ErrorCode ResizeStackStorage(int32_t delta, bool pathRecords) override {
        ++resizes;
        if (failResizes) return Err::MemoryFull;
        int64_t layers = 0, paths = 0;
        {
            const ParameterBlockView block = View();
            layers = block.LayerCount() + (pathRecords ? 0 : delta);
            paths = block.PathCount() + (pathRecords ? delta : 0);
            if (!StackLimits::Holds(layers, paths)) return Err::BadParameters;
            block.Block().Set(BlockLayout::kLayerCount, static_cast<int16_t>(layers));
            block.Block().Set(BlockLayout::kPathCount, static_cast<int16_t>(paths));
        }
        Resize(ParameterBlockView::SizeFor(layers, paths));
        return state.layerStates.Resize(static_cast<int32_t>(std::max<int64_t>(layers, 1) + paths));
    }
    void FrameSourceChanged(bool keepRotation) override {
        if (!keepRotation) ++rotationRequests;
    }
    void RestartPreviews() override { ++restarts; }

    Handle parameters = nullptr;
    StackState state;
    QuorvelBase stack{parameters, state};
    StackEdits edits{stack, *this};
    int resizes = 0, rotationRequests = 0, restarts = 0;
    bool failResizes = false;

private:
    // A new handle of S + 8 bytes holding what the old one held, with the header written.
    void Resize(int64_t size) {
        Handle grown = NewHandle(size + ParameterHeader::kRunTimePrefix);
        ASSERT_NE(grown, nullptr);
        std::memset(*grown, 0, static_cast<size_t>(size + ParameterHeader::kRunTimePrefix));
        if (parameters) {
            std::memcpy(*grown, *parameters,
                        static_cast<size_t>(std::min(GetHandleSize(parameters), GetHandleSize(grown))));
            DisposeHandle(parameters);
        }
        auto* header = reinterpret_cast<uint8_t*>(*grown) + ParameterHeader::kRunTimePrefix;
        BigEndian::Write16(header + ParameterHeader::kSizeField, static_cast<uint16_t>(size));
        header[ParameterHeader::kLengthByte] = ParameterHeader::kHeaderLength;
        BigEndian::Write32(header + ParameterHeader::kSignatureField, kSignature);
        parameters = grown;
    }
};
