// A host call with a parameter block of a few layers and path records whose frames lie in a frame
// library folder, for the preset files and the batch hand-off.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "File.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "LayerState.h"
#include "Quorvel.h"
#include "QuorvelBase.h"
#include "SettingsDefaults.h"
#include "SettingsLayout.h"

class PresetFixture : public testing::Test {
protected:
    static constexpr const char* kLibrary = "C:\\Library";

    void SetUp() override {
        ResetHostMemoryForTesting();
        record_.filterRect = Rect16{0, 0, 100, 150};
        record_.planes = 3;
        record_.imageMode = 3;  // RGB
        hostCall_ = HostCall{.record = &record_};
        call_.emplace(hostCall_);
        SetFrameLibraryFolder(kLibrary);
        filter_.Stack().SetTargetLayerPos(0);
    }
    void TearDown() override {
        state_.layerStates.Release();
        DisposeHandle(record_.parameters);
        record_.parameters = nullptr;
        SetFrameLibraryFolder("");
        call_.reset();
    }

    // Layers: 0 and 2 frames of the library, 1 a shape, 3 a frame outside it; path record 1 a
    // texture of the library. The photo at row `photo`, the layers linked on each side of it.
    void MakeStack(int photo = 1) {
        filter_.SetDefaultParameters(0);
        ASSERT_EQ(filter_.ResizeStackStorage(4, false), 0);
        ASSERT_EQ(filter_.ResizeStackStorage(1, true), 0);
        for (int i = 0; i < 4; ++i) {
            filter_.Stack().InitLayerRecord(i, false);
            Layer(i).Set(LayerLayout::kRecordId, 11u + i);
        }
        SetSource(Layer(0), FileSpec::FromPath("C:\\Library\\Frames\\oak.jpg"));
        ShapeOf(Layer(1)).Set(ShapeLayout::kMarker, -1);
        ShapeOf(Layer(1)).Set(ShapeLayout::kKind, ShapeLayout::kStar);
        SettingsResetShape(ShapeOf(Layer(1)));
        SetSource(Layer(2), FileSpec::FromPath("C:\\Library\\Borders\\Café Ω.frm"));
        SetSource(Layer(3), FileSpec::FromPath("D:\\Elsewhere\\gilt.jpg"));
        SetSource(View().Path(1), FileSpec::FromPath("C:\\Library\\Textures\\linen.jpg"));
        filter_.Stack().SetTargetLayerPos(photo);
        filter_.Stack().LinkAllLayers();
    }

    ParameterBlockView View() {
        return ParameterBlockView(reinterpret_cast<uint8_t*>(*record_.parameters), GetHandleSize(record_.parameters));
    }
    std::vector<uint8_t> HandleBytes() {
        const ParameterBlockView view = View();
        return std::vector<uint8_t>(view.Bytes(), view.Bytes() + view.Length());
    }
    RecordRef Layer(int i) { return View().Layer(i); }
    static void SetSource(RecordRef record, const FileSpec& spec) {
        std::memcpy(record.At(LayerLayout::kSource), spec.bytes, LayerLayout::kSourceLength);
    }
    static FileSpec SourceOf(RecordRef record) {
        FileSpec spec;
        std::memcpy(spec.bytes, record.At(LayerLayout::kSource), FileSpec::kSize);
        return spec;
    }

    FilterRecord record_{};
    HostCall hostCall_;
    std::optional<HostCallScope> call_;
    StackState state_;
    Quorvel filter_{hostCall_, state_};
};
