// The three superclasses of the system BUTTON class: the bitmap button ("bBitmapButton"), drawn
// from a normal and a pressed bitmap and optionally dropping a menu; the picture button
// ("bPicButton"), a push button with a 16 x 16 icon (or bitmap) and text; and the icon button
// ("bIconButton"), a bare 16 x 16 icon. What they do not answer themselves goes to BUTTON's own
// procedure, so that they stay buttons to the dialog manager (focus, space bar, BN_CLICKED).
#pragma once

#include "CustomControl.h"
#include "GdiOwner.h"
#include "MenuControls.h"

// Keeps and hands out BUTTON's own window procedure; until it is kept, DefWindowProcA stands in.
void KeepSystemButtonProc(WNDPROC procedure);
WNDPROC SystemButtonProc();

// Who fills and answers a bitmap button's drop-down menu.
class BitmapButtonDelegate {
public:
    virtual ~BitmapButtonDelegate() = default;
    // Before the menu drops: bring its entries up to date.
    virtual void UpdateMenu(HMENU menu) = 0;
    // An entry was picked.
    virtual void MenuCommand(HMENU menu, UINT command) = 0;
};

class BitmapButton : public CustomControl {
public:
    static constexpr UINT kSetDelegate = 0x4ED;  // lParam the BitmapButtonDelegate*, or 0
    static constexpr UINT kGetMenu = 0x4EE;      // answers the drop-down menu
    static constexpr int kPressedOffset = 1000;  // the pressed bitmap's id beyond the normal one's
    static constexpr int kBareSize = 16;         // the size drawn without bitmap

    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void Attach() override;
    void Draw(HDC dc) override;
    void MouseDown(POINT point, WPARAM keys) override;
    void MouseUp(POINT point, WPARAM keys) override;

    bool Pressed() const { return pressed_; }

protected:
    LRESULT DefaultMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void CaptureLost() override;

private:
    OwnedBitmap normal_, pressedArt_;
    OwnedMenu menu_;
    HMENU dropDown_ = nullptr;  // the menu's first submenu, owned by menu_
    BitmapButtonDelegate* delegate_ = nullptr;
    bool pressed_ = false;
};

// The window procedures of "bPicButton" and "bIconButton"; no exception leaves them.
LRESULT CALLBACK PictureButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK IconButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Picture button style bit: no button frame, only the picture and text.
inline constexpr LONG_PTR kPictureWithoutFrame = 0x40;
