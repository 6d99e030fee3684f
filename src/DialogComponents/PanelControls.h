// The panel controls that dialogs draw into their items on the dark interface: a row of tabs, a
// line of text, an image slider, a favourite-and-rating strip and a strip of add buttons with an
// item count. Each is made in its owner's InitDialog, when the owner's port has its colours, and
// tells its owner of the user's changes through the component callback.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "DialogComponent.h"
#include "DrawingGuards.h"
#include "PanelLayout.h"
#include "ResourceImage.h"

// ---- Tabs

class TabControl : public DialogComponent {
public:
    static constexpr int kMaxTabs = 8;
    // The callback's codes are 16-bit: the low halves of 'tCHI' and 'tCHD'. kMayChange asks
    // whether the selection may move to the tab in the argument (false refuses); kChanged tells
    // that it did.
    static constexpr int16_t kMayChange = static_cast<int16_t>('tCHI' & 0xFFFF);
    static constexpr int16_t kChanged = static_cast<int16_t>('tCHD' & 0xFFFF);
    // Pixels a label adds to its width, and from the item's left to the first tab.
    static constexpr int16_t kLabelPadding = 6;
    static constexpr int16_t kFirstTabInset = 4;
    // Rows between the item's top and the tabs' tops.
    static constexpr int16_t kTabTop = 2;

    // Without a callback a click selects a tab unasked.
    TabControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback = nullptr);
    ~TabControl() override;

    void Draw() override;
    // A click on a tab other than the selected one asks the owner and selects it. Always false.
    bool Track(Point16 point) override;

    // Takes the port's colours.
    void Init();
    // Adds a tab named `label` (with select set, the selected one). False with 8 tabs already.
    // Raises -108 when its outline cannot be made.
    bool AddTab(const char* label, bool select);

    void SetCallback(ComponentCallback callback) {
        hasCallback_ = callback != nullptr;
        DialogComponent::SetCallback(callback);
    }
    int TabCount() const { return count_; }
    int Selected() const { return selected_; }
    // Selects a tab without asking or telling the owner; redraws when shown. False outside the tabs.
    bool SetSelected(int tab);
    const std::string& Label(int tab) const { return tabs_[static_cast<size_t>(tab)].label; }
    // The tab's left edge in the dialog once laid out, and its outline's width (label + padding).
    Point16 TabPosition(int tab) const { return tabs_[static_cast<size_t>(tab)].at; }
    int16_t TabWidth(int tab) const { return tabs_[static_cast<size_t>(tab)].width; }
    // The tab under a dialog point, or -1.
    int TabAt(Point16 point);

private:
    struct Tab {
        RectRegion region;   // the outline, lying at `at`
        Point16 at{};
        int16_t width = 0;
        std::string label;
    };

    // Moves every outline to where the tabs lie in the item now.
    void LayOut();
    void DrawTab(int tab);

    std::array<Tab, kMaxTabs> tabs_;
    int count_ = 0;
    int selected_ = 0;
    bool hasCallback_ = false;
};

// ---- A line of text

class StaticTextControl : public DialogComponent {
public:
    // The style Init sets: none of MorvaneDialog::DrawItemText's alignments, so the text stands
    // at the item's top-left.
    static constexpr uint16_t kDefaultStyle = 0x8000;

    StaticTextControl(MorvaneDialog& owner, int16_t item);
    ~StaticTextControl() override;

    void Draw() override;

    // Takes the port's colours and the default style.
    void Init();
    // Copies the text (null: none) and redraws when shown.
    void SetText(const char* text);
    const std::string& Text() const { return text_; }
    // MorvaneDialog::DrawItemText's style bits.
    void SetStyle(uint16_t style) { style_ = style; }
    uint16_t Style() const { return style_; }

private:
    std::string text_;
    uint16_t style_ = kDefaultStyle;
};

// ---- An image slider

class SlideControl : public DialogComponent {
public:
    // Artwork offsets: start cap, end cap, thumb.
    static constexpr int16_t kHorizontalArt[3] = {12, 13, 16};
    static constexpr int16_t kVerticalArt[3] = {14, 15, 17};
    // Pixels of the track that each cap covers, and of a tick mark's length.
    static constexpr int16_t kCapLength = 5;
    static constexpr int16_t kTickLength = 4;

    SlideControl(MorvaneDialog& owner, int16_t item, ComponentCallback callback = nullptr);
    ~SlideControl() override;

    void Draw() override;
    // A press beside the thumb moves it there; a press on the thumb drags it while the button is
    // down, telling the owner (code 0, the value) of every new value. Always false.
    bool Track(Point16 point) override;

    // Takes the port's colours, loads the orientation's pictures and lays the thumb out.
    void Init(bool vertical);
    // The thumb's position again, from the value (after the owner set the range or the value).
    void UpdateLayout();

    void SetRange(int16_t minimum, int16_t maximum) {
        minimum_ = minimum;
        maximum_ = maximum;
    }
    void SetValue(int16_t value) { value_ = value; }
    int16_t Minimum() const { return minimum_; }
    int16_t Maximum() const { return maximum_; }
    int16_t Value() const { return value_; }
    bool Vertical() const { return (flags_ & kVertical) != 0; }
    int32_t ThumbPosition() const { return thumbPosition_; }
    // Where the thumb lies now, in dialog coordinates.
    Rect16 ThumbRect() const;
    // The first thumb position and how far the thumb travels, along the slider's axis.
    int32_t TrackStart() const;
    int32_t TrackSpan() const;

private:
    static constexpr uint16_t kVertical = 1;

    int16_t ThumbWidth() const;
    int16_t ThumbHeight() const;
    int16_t ThumbLength() const { return Vertical() ? ThumbHeight() : ThumbWidth(); }
    int16_t Along(Point16 point) const { return Vertical() ? point.v : point.h; }
    // Takes a value from a thumb position; tells the owner when it changed.
    void TakePosition(int32_t position);

    int16_t minimum_ = 0;
    int16_t maximum_ = 100;
    int16_t value_ = 0;
    uint16_t flags_ = 0;
    int32_t thumbPosition_ = 0;
    ResourceImage startCap_;
    ResourceImage endCap_;
    ResourceImage thumb_;
};

// ---- Favourite and rating

class FavPanel : public DialogComponent {
public:
    // Artwork offsets.
    static constexpr int16_t kFavouriteOn = 22;
    static constexpr int16_t kFavouriteOff = 23;
    static constexpr int16_t kStarOn = 24;
    static constexpr int16_t kStarOff = 25;
    static constexpr int16_t kGap = 5;

    FavPanel(MorvaneDialog& owner, int16_t item, ComponentCallback callback = nullptr);
    ~FavPanel() override;

    void Draw() override;
    // The mark toggles the favourite flag; a star sets the rating (the lit top star clears it).
    // After a change: redraw and the callback (0, 0). Always false.
    bool Track(Point16 point) override;

    // Takes the port's colours, loads the pictures and lays out the mark and the stars.
    void Init();
    // The rectangles again, after the item moved.
    void UpdateLayout();

    int16_t Rating() const { return rating_; }
    bool Favourite() const { return favourite_; }
    // Owners set both without being told; a rating outside 0..5 is held at its end.
    void SetRating(int16_t rating);
    void SetFavourite(bool favourite) { favourite_ = favourite; }
    // 0 the favourite mark, 1..5 the stars.
    const Rect16& PartRect(int part) const { return parts_[static_cast<size_t>(part)]; }

private:
    std::array<Rect16, 1 + RatingLayout::kStars> parts_{};
    int16_t rating_ = 0;
    bool favourite_ = false;
    ResourceImage favouriteOn_;
    ResourceImage favouriteOff_;
    ResourceImage starOn_;
    ResourceImage starOff_;
};

// ---- Add buttons and the item count

class ARPanel : public DialogComponent {
public:
    // The library browser's item that holds the panel.
    static constexpr int16_t kLibraryItem = 9;
    // Artwork offsets: the first icon (normal, pressed) and the second.
    static constexpr int16_t kFirstIcon[2] = {59, 60};
    static constexpr int16_t kSecondIcon[2] = {62, 63};
    // Pixels between the count's end and the item's right edge.
    static constexpr int16_t kCountInset = 5;

    // The panel of the library browser is item kLibraryItem, told to the browser's callback.
    ARPanel(MorvaneDialog& owner, ComponentCallback callback, int16_t item = kLibraryItem);
    ~ARPanel() override;

    void Draw() override;
    // Follows a press on a segment with its pressed look; a release inside tells the owner the
    // segment's number (1..4, argument 0) and answers true.
    bool Track(Point16 point) override;

    // Takes the port's colours and loads the four pictures.
    void Init();

    // AddPanelLayout's flag bits.
    void SetFlags(uint16_t flags) { flags_ = flags; }
    uint16_t Flags() const { return flags_; }
    void SetItemCount(int32_t count) { itemCount_ = count; }
    int32_t ItemCount() const { return itemCount_; }
    // The segments as they lie now in the dialog.
    std::vector<AddPanelLayout::Segment> Segments() const;

private:
    void DrawSegment(const AddPanelLayout::Segment& segment, bool pressed);

    uint16_t flags_ = 0;
    int32_t itemCount_ = 0;
    std::array<ResourceImage, 2> firstIcon_;
    std::array<ResourceImage, 2> secondIcon_;
};
