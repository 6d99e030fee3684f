// What the tab tests share: a host call over a parameter block with a small stack, a stand-in
// preview dialog with the Window menu that counts its undo steps and remembers its tool, the
// editor over it and the filter, and the nine tabs built over the editor.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "DesktopInput.h"
#include "File.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "LayerState.h"
#include "PSDialog.h"
#include "PreferenceSettings.h"
#include "PreviewEditor.h"
#include "Quorvel.h"
#include "QuorvelBase.h"
#include "QuorvelTab.h"
#include "SettingsTabs.h"
#include "StubPreviewOwner.h"
#include "TabTestTemplates.h"
#include "WindowServices.h"

class TestPreview : public PSDialog {
public:
    TestPreview() : PSDialog(TEST_PREVIEW_DIALOG, DialogKind::Modal) {}

    bool PushUndoState() override {
        ++undoSteps;
        return true;
    }
    void SetTool(int16_t t) override { tool = t; }
    int16_t GetTool() override { return tool; }

    int undoSteps = 0;
    int16_t tool = 3;
};

class TabsTest : public testing::Test {
protected:
    void SetUp() override {
        ResetHostMemoryForTesting();
        record_.filterRect = Rect16{0, 0, 300, 400};
        record_.planes = 3;
        hostCall_ = HostCall{.record = &record_};
        call_.emplace(hostCall_);
        filter_.Stack().SetTargetLayerPos(0);
        filter_.SetDefaultParameters(0);
        SetDefaultPreferences(Preferences());
        preview_ = std::make_unique<TestPreview>();
        ASSERT_TRUE(preview_->CreateModeless());
        filter_.SetDialog(&previewOwner_);
        editor_ = std::make_unique<PreviewEditor>(*preview_, filter_);
    }
    void TearDown() override {
        tabs_.reset();
        editor_.reset();
        filter_.SetDialog(nullptr);
        if (preview_ && preview_->IsOpen()) preview_->EndDialog(0);
        preview_.reset();
        PumpPending();
        state_.layerStates.Release();
        DisposeHandle(record_.parameters);
        record_.parameters = nullptr;
        call_.reset();
    }

    void BuildTabs() {
        tabs_ = CreateSettingsTabs(*editor_);
        PumpPending();
    }
    QuorvelTab& Tab(TabType type) { return *QuorvelTab::FindTab(*preview_, type); }

    // `layers` frame layers named "Frame 0.jpg" .. with record ids 11, 12, ..., the photo at row
    // `photo`, the photo row selected.
    void MakeStack(int layers, int photo = 0) {
        filter_.SetDefaultParameters(0);
        ASSERT_EQ(filter_.ResizeStackStorage(layers, false), 0);
        for (int i = 0; i < layers; ++i) {
            filter_.Stack().InitLayerRecord(i, false);
            Layer(i).Set(LayerLayout::kRecordId, 11u + i);
            const FileSpec spec = FileSpec::FromPath("C:\\Frames\\Frame " + std::to_string(i) + ".jpg");
            std::memcpy(Layer(i).At(LayerLayout::kSource), spec.bytes, LayerLayout::kSourceLength);
            // As if loaded: the stack edits load what they do not hold yet.
            state_.layerStates.At(i)->framePath = spec;
        }
        filter_.Stack().SetTargetLayerPos(photo);
        Select(-1);
    }
    ParameterBlockView View() {
        return ParameterBlockView(reinterpret_cast<uint8_t*>(*record_.parameters), GetHandleSize(record_.parameters));
    }
    RecordRef Layer(int i) { return View().Layer(i); }
    int LayerCount() { return View().LayerCount(); }
    void Select(int layer) { View().Block().Set(BlockLayout::kSelectedLayer, static_cast<int16_t>(layer)); }
    int Selected() { return View().Block().Get(BlockLayout::kSelectedLayer); }
    // The record ids of the layers, bottom first.
    std::vector<uint32_t> LayerIds() {
        std::vector<uint32_t> ids;
        for (int i = 0; i < LayerCount(); ++i) ids.push_back(Layer(i).Get(LayerLayout::kRecordId));
        return ids;
    }
    std::string MenuText(int16_t command) { return GetMenuItemText(GetMenu(preview_->Window()), command); }

    FilterRecord record_{};
    HostCall hostCall_;
    std::optional<HostCallScope> call_;
    StackState state_;
    Quorvel filter_{hostCall_, state_};
    std::unique_ptr<TestPreview> preview_;
    StubPreviewOwner previewOwner_;
    std::unique_ptr<PreviewEditor> editor_;
    std::unique_ptr<DialogCompanions> tabs_;
};
