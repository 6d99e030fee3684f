// The frame stack's tab: the stack as a list of rows, one per layer and one for the photo, with the
// buttons that add frames from the library, remove the current frame, save a preset, add a
// Razezev Urude and stack random frames. The list asks the tab everything about its rows; the tab
// answers from the parameter block and the layers' run-time states, and holds no rows itself.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>

#include "FrameStackControl.h"
#include "QuorvelTab.h"

class DropTargetHelper;
class ImageControl;

class FrameStackTab : public QuorvelTab, public FrameStackThumbnails {
public:
    enum Item : int16_t {
        kList = 1,
        kScrollBar = 2,
        kAddFrames = 3,
        kRemoveFrame = 4,
        kSavePreset = 5,
        kAddInstant = 6,
        kAddRandom = 7,
        kCover = 8,
    };
    // The list window's property that leads its replaced procedure back to the tab.
    static constexpr const wchar_t* kListProperty = L"QVStackCtrl";
    // The help text of item k is string kHelpBase + k.
    static constexpr int16_t kHelpBase = 15790;
    // The artwork of the + and - buttons, normal and pressed.
    static constexpr int16_t kAddPicture = 59, kAddPressedPicture = 60;
    static constexpr int16_t kRemovePicture = 62, kRemovePressedPicture = 63;

    explicit FrameStackTab(PreviewEditor& editor);
    ~FrameStackTab() override;

    void InitDialog() override;
    int32_t HelpStringId(int16_t item) override;
    void DrawItem(int16_t item) override;
    // The stack stays reachable when no layer can be edited: nothing here is disabled by it.
    void EnableControls() override {}
    // The buttons, then the list re-synchronised with the stack and drawn.
    void UpdateControls() override;
    bool HandleItem(int16_t item) override;
    virtual void Refresh() { UpdateControls(); }

    // What a completed click on button 3..7 does; true when it changed the stack.
    bool RunButton(int16_t item);
    // The list's question or event `code` about the query's row (FrameStackCode).
    bool StackChanged(int16_t code, FrameStackQuery& query);

    void DrawPhotoThumbnail(const Rect16& rect) override { QuorvelTab::DrawPhotoThumbnail(rect); }
    void DrawLayerThumbnail(int32_t layer, const Rect16& rect) override { QuorvelTab::DrawLayerThumbnail(layer, rect); }

    FrameStackControl& List() { return list_; }
    // The list window's procedure while the tab lives.
    static LRESULT CALLBACK StackListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    static bool OnListEvent(DialogComponent& component, int16_t code, intptr_t argument);
    void InitButtons();
    // Shortens the list to whole rows and brings what stands below it up after it.
    void FitListToRows();
    // Remove needs a current layer, Add Instant room for one more.
    void UpdateButtons();
    // Mouse wheel notches move the list by rows, within the scroll bar's range.
    void ScrollByWheel(int delta);
    void RestoreListProc() noexcept;
    Point16 MouseInClient() const;

    FrameStackControl list_;
    std::array<std::unique_ptr<ImageControl>, 5> buttons_;  // items 3..7
    HWND listWindow_ = nullptr;
    WNDPROC formerListProc_ = nullptr;
    std::unique_ptr<DropTargetHelper> drops_;
};
