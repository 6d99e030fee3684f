// The tool palette ("tToolPalette"): a grid of tool buttons cut from one bitmap, the value the
// 1-based number of the current tool; and the padlock ("tPadLock"): a two-state button, 0 open and
// 1 locked. Both load their artwork at the item id plus the resource base; a missing picture
// leaves them without artwork.
#pragma once

#include "CustomControl.h"
#include "GdiOwner.h"

class ToolPalette : public CustomControl {
public:
    // Each tool image is 24 x 20 pixels on a 25 x 21 pitch, starting one pixel in.
    static constexpr int kToolWidth = 24, kToolHeight = 20;
    static constexpr int kPitchX = 25, kPitchY = 21;

    void Attach() override;
    void Draw(HDC dc) override;
    void MouseDown(POINT point, WPARAM keys) override;
    void MouseUp(POINT, WPARAM) override {}
    void Resize(int width, int height) override;

    int Rows() const { return rows_; }
    int Columns() const { return columns_; }

private:
    OwnedBitmap tools_;
    COLORREF key_ = 0;
    int rows_ = 0, columns_ = 0;
    int cellWidth_ = 0, cellHeight_ = 0;
};

class PadLock : public CustomControl {
public:
    void Attach() override;
    void Draw(HDC dc) override;
    void MouseDown(POINT point, WPARAM keys) override;
    void MouseUp(POINT, WPARAM) override {}

private:
    OwnedBitmap open_, locked_;
};

// Loads the bitmap resource at id (none for id 0 or a missing resource).
OwnedBitmap LoadControlBitmap(WORD id);
