// The user item ("tUserItem"): a passive window that marks where a dialog draws something of its
// own, and forwards the clicks made on it to the dialog: WM_APP (item id) on a left press,
// WM_APP + 3 (the point) on the release, WM_APP + 4 (item id, point) on a right press. A left
// press holds the mouse until the release, with the tracking depth raised.
#pragma once

#include "CustomControl.h"

class UserItem : public CustomControl {
public:
    ~UserItem() override;
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    bool Held() const { return held_; }

private:
    void EndHold();

    bool held_ = false;
};
