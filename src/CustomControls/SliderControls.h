// The value controls of the number groups: the linear sliders ("tLinearSlider",
// "tNonLinearSlider"), the popup sliders that open a vertical slider under the mouse
// ("tPopupSlider", "tNonLinearPopup" and the "SansSpinner" pair for groups without a spinner) and
// the spinner ("tSpinner"). The second letter 'N' of a class name makes a slider non-linear.
//
// A number group in a template reads: edit item n, spinner n + 1, popup slider n + 2. The spinner
// and the popup slider find their edit (their companion) by id and move to overlap its edges by
// two pixels, the spinner on its left, the popup slider on its right.
#pragma once

#include "CustomControl.h"
#include "SliderGeometry.h"

// A slider's track and the keys that move its value.
class SliderControl : public CustomControl {
protected:
    // The geometry on the client rectangle inset by one pixel.
    void UpdateGeometry();
    // Moves the value by a key; whether it was a slider key. A changed value is stored.
    bool ApplySliderKey(WPARAM key, bool& changed);

    SliderGeometry geometry_;
    bool linear_ = true;
};

// The companion edit item of a spinner or popup slider.
class EditGroup {
protected:
    enum class Side { kLeftOfCompanion, kRightOfCompanion };
    // Finds the companion at the control's id plus offset and moves the control beside it; a
    // control without companion keeps its template place.
    void JoinCompanion(HWND control, int offset, Side side);

    HWND companion_ = nullptr;
};

class LinearSlider : public SliderControl {
public:
    void Attach() override;
    void Draw(HDC dc) override;
    void Resize(int width, int height) override;
    void MouseDown(POINT point, WPARAM keys) override;
    void MouseDrag(POINT point, WPARAM keys) override;
    bool KeyDown(WPARAM key) override;
};

class PopupSlider : public SliderControl, protected EditGroup {
public:
    // The popup's client area and the track rectangle inside it: a vertical track of 100 pixels
    // with a thumb of 8.
    static constexpr int kPopupWidth = 18;
    static constexpr int kPopupHeight = 123;
    static constexpr RECT kPopupTrack{4, 4, 14, 119};

    ~PopupSlider() override;
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void Attach() override;
    void Draw(HDC dc) override;
    void Redraw() override;
    void MouseDown(POINT point, WPARAM keys) override;
    void MouseUp(POINT point, WPARAM keys) override;
    void MouseDrag(POINT point, WPARAM keys) override;
    bool KeyDown(WPARAM key) override;

    bool Popped() const { return popped_; }

protected:
    // The companion's id offset: the edit stands two ids before a popup slider of a group with a
    // spinner.
    virtual int CompanionOffset() const { return -2; }
    void CaptureLost() override;

private:
    void Open(POINT point);
    // Closes the popup and reports the value; the companion gets the focus with its text selected.
    void Close();
    void DrawPopup();
    // The control's client point in the popup's client coordinates.
    POINT ToPopup(POINT point) const;
    void TrackTo(int popupY);

    bool popped_ = false;
    bool buttonDown_ = false;
    int8_t moved_ = 0;  // 0 not moved, 1 moved by the opening drag, -1 clicked inside the open popup
    int16_t savedValue_ = 0;
    SliderGeometry popupGeometry_;
};

class PopupSliderSansSpinner : public PopupSlider {
protected:
    int CompanionOffset() const override { return -1; }
};

class Spinner : public CustomControl, protected EditGroup {
public:
    static constexpr UINT_PTR kRepeatTimer = 1;
    static constexpr UINT kFirstRepeat = 500;  // ms
    static constexpr UINT kNextRepeats = 100;  // ms

    ~Spinner() override;
    void Attach() override;
    void Draw(HDC dc) override;
    void MouseDown(POINT point, WPARAM keys) override;
    void MouseUp(POINT point, WPARAM keys) override;
    void Timer() override;

protected:
    void CaptureLost() override;

private:
    // One step; whether it changed the value.
    bool Step();
    void StopRepeating();

    int32_t step_ = 0;
    int pressedHalf_ = 0;  // 1 the upper half, -1 the lower, 0 none
    bool repeating_ = false;
};
