// The maker's libraries beside the plug-in, loaded for the length of one use: the toolbox's About
// box and the welcome page.
#pragma once

#include <windows.h>

#include <cstdint>

// The toolbox library's About box, owned by the host's window.
void DoAbout(HWND hostWindow);
// Shows the welcome page when its library is beside the plug-in; updates the show flag.
void ShowWelcomeDialog(uint8_t* showFlag);
