// The base of the nine settings tabs that float beside the preview dialog. A tab keeps no settings
// of its own: its controls are loaded from the current layer's record in the parameter block and
// written back to it, and every change it makes refreshes the preview and becomes an undo step.
// The base binds a tab type to its template, string base and Window menu command, keeps the menu
// text in step with the tab's visibility, enables the controls by whether the current layer can be
// edited, owns the hand-over of the preview's pick (eyedropper, shadow offset) to a tab, and keeps
// the edit, spinner and slider of one numeric setting in step.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "DialogCompanions.h"
#include "FloatingPalettes.h"
#include "PreviewEditor.h"
#include "FloatingTab.h"
#include "QuorvelBase.h"
#include "Thumbnails.h"

class PSDialog;
class Quorvel;
struct ColorRecord;

// What binds a tab type to its resources.
struct TabBinding {
    int16_t templateId;
    int16_t stringBase;   // label and help texts: string base + item
    int16_t menuCommand;  // its Window menu command
};

namespace TabIds {
inline constexpr std::array<TabBinding, kTabTypeCount> kBindings{{
    {16790, 15790, 18501},  // Frame Stack
    {16780, 15780, 18509},  // Options
    {16500, 15500, 18506},  // Razezev Urude
    {16550, 15550, 18507},  // Edge
    {16400, 15400, 18508},  // Bevel
    {16200, 15200, 18502},  // Background
    {16250, 15250, 18503},  // Border
    {16300, 15300, 18504},  // Glow
    {16350, 15350, 18505},  // Shadow
}};
// Each of the Window menu's tab commands (PreviewIds) has a Show and a Hide text, from this string
// on, two strings per command.
inline constexpr int16_t kFirstMenuText = 16041;
// The texts of a frame whose thumbnail cannot be drawn.
inline constexpr int16_t kFrameNotLoadedText = 16081;
inline constexpr int16_t kShapeNotDrawnText = 16082;
}  // namespace TabIds

// The tab type whose template this is, or TabPlacement's "no type" (255).
uint8_t TabTypeOfTemplate(int16_t templateId);
// Sets the Window menu item of command to its Show (shown false) or Hide text, on the preview
// dialog's menu. A menu without the item is left as it is.
void SetWindowMenuText(PSDialog& preview, int16_t command, bool shown);

// The kinds of pick a tab may own on the preview.
enum class PickKind : int32_t { kNone = 0, kEyedropper = 1, kShadowOffset = 2 };

class QuorvelTab : public FloatingTab {
public:
    // The preview's tools the tabs set: none while a tab owns the pick, move after it.
    static constexpr int16_t kNoTool = 0;
    static constexpr int16_t kMoveTool = 3;

    // Built hidden over the type's template (or another one, given its id), owned by the preview
    // dialog of the editor, in the editor's palette set.
    QuorvelTab(PreviewEditor& editor, TabType type, int16_t templateId = 0);
    ~QuorvelTab() override;

    TabType Type() const { return type_; }
    PreviewEditor& Editor() const { return editor_; }
    Quorvel& Filter() const { return editor_.Filter(); }
    // The frame-stack model the tab edits: its filter's.
    QuorvelBase& Stack() const;
    PSDialog& Preview() const { return editor_.Dialog(); }
    // The string base of types 1 to 8; the template id of any other.
    int16_t ControlBase() const;

    // ---- The dialog's operations
    // The tab's bar carries its label and moves it: the window keeps no caption of its own.
    void InitDialog() override;
    // Shows the tab as its group's page (unless it is already) and says "Hide" in the Window menu;
    // the page it replaced says "Show".
    void Show(MorvaneDialog* behind) override;
    // Hides the tab when it is its group's page; a tab that owned the preview's pick gives it up.
    void Hide() override;
    // HandleItem, then the preview redone when it changed the block, and an undo step unless a
    // mouse-tracking loop runs (its end makes the step).
    int16_t ItemHit(int16_t item) override;
    // The preview's ruler marks and overlay go while the mouse is over a tab.
    int16_t CursorForItem(int16_t item) override;
    // The tick of a tracking loop in a tab keeps the preview's render going.
    void Idle() override;

    // ---- The tab's own operations
    // Every item enabled exactly when the current layer can be edited; the focus leaves an item
    // that is disabled.
    virtual void EnableControls();
    // The controls follow the parameter block.
    virtual void UpdateControls() { EnableControls(); }
    // A group of three choices in one state byte (TabNumbers::ChoiceState), then its items shown.
    virtual bool SetChoiceGroup(uint8_t& state, int16_t onItem, int16_t hitItem, bool setFirst);
    // Whether the tab took a colour picked on the preview.
    virtual bool SetPickedColor(const ColorRecord& /*color*/) { return false; }
    virtual void SetPickMode(PickKind /*kind*/) {}
    // True when the item's hit changed the parameter block.
    virtual bool HandleItem(int16_t /*item*/) { return false; }
    // The ranges of edit n+1 (with its format for scales 1, 10, 100), spinner n+2 and slider n+3.
    virtual void SetRange(int16_t n, double minimum, double maximum, int32_t scale, bool withSlider);
    // The same without the slider; the spinner only withSpinner.
    virtual void SetEditRange(int16_t n, double minimum, double maximum, int32_t scale, bool withSpinner);
    // Brings the setting's items in step after changedItem changed (TabNumbers::LinkedValue);
    // answers the value in user units.
    virtual double SetLinkedValue(int16_t n, int16_t changedItem, double value, int32_t scale, bool withSlider);
    virtual double SetPairedValue(int16_t n, int16_t changedItem, double value, int32_t scale, bool withControl);
    // The height of one row of a tab that grows by rows (0: it does not), and its least height.
    virtual int16_t RowHeight() const { return 0; }
    virtual int16_t MinimumHeight() const { return 0; }

    // The Window menu item of the tab says Show or Hide (the Option tab's only for the hosts that
    // offer it).
    void UpdateWindowMenuText(bool shown);
    // A change made outside ItemHit: the same refresh and undo step.
    void NotifyChanged(bool changed);

    // The tab (or none) that owns the preview's pick, and its kind. Giving the pick to a tab sets
    // the preview's tool to none and ends every other tab's pick.
    static void SetActiveTab(QuorvelTab* tab, PickKind kind);
    static QuorvelTab* ActivePickTab();
    static PickKind ActivePickKind();
    // The tab of that type beside the preview dialog, or none.
    static QuorvelTab* FindTab(const PSDialog& preview, TabType type);

    // A layer's or the photo's thumbnail in rect: a frame line, the back colour, and the picture,
    // or a text saying why there is none.
    void DrawLayerThumbnail(int32_t layer, const Rect16& rect);
    void DrawPhotoThumbnail(const Rect16& rect);

    // Whether the Tab key hid this tab, and it has not been shown since.
    bool HiddenByPaletteToggle() const { return palette_.hiddenByToggle; }

protected:
    // The interface's dark faces for the tab's statics and buttons.
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, int16_t& item) override;
    // The page colours of the port: everything the tab draws stands on the page.
    void SetPageColors();

private:
    // The tab as the Tab key sees it.
    struct Palette : FloatingPalette {
        explicit Palette(QuorvelTab& tab) : tab(tab) {}
        bool IsShown() const override { return tab.IsVisible(); }
        void Show() override { tab.Show(nullptr); }
        void Hide() override {
            tab.Hide();
            hiddenByToggle = true;
        }
        QuorvelTab& tab;
        bool hiddenByToggle = false;
    };

    // Draws the text of stringId centred in rect, in black, cut with an ellipsis.
    void DrawCentredMessage(int16_t stringId, const Rect16& rect);
    void FrameThumbnailCell(const Rect16& rect);

    PreviewEditor& editor_;
    TabType type_;
    Palette palette_{*this};
    OwnedBrush face_;
    std::unique_ptr<PhotoThumbnail> photo_;  // made when the photo's row is first drawn
    bool photoTried_ = false;
    bool undoPending_ = false;  // a change made inside a tracking loop waits for its end
};
