// What the plug-in keeps of the host for the length of one call, and the few process globals.
#pragma once

#include <windows.h>

#include <cstdint>

#include "PluginInterface.h"

class PhotoshopFilter;

struct CallGlobals {
    FilterRecord* record = nullptr;
    int16_t selector = 0;
    intptr_t* data = nullptr;       // the host's data word
    int32_t bytesPerSample = 0;     // 0 bitmap, 1 the 8-bit modes, 2 the 16-bit modes
    bool is16Bit = false;
    BasicSuite* basicSuite = nullptr;
    HWND parentWindow = nullptr;    // the host's main window, or none
    uint32_t number = 0;            // counts the host's calls: tells what one call did from the next
};

// Valid while a host call runs.
extern CallGlobals gCall;

// The three filter objects of one call: the main object renders the final image, the two preview
// objects are the preview dialog's. They never outlive the call.
struct FilterObjects {
    PhotoshopFilter* main = nullptr;
    PhotoshopFilter* previewA = nullptr;
    PhotoshopFilter* previewB = nullptr;
};
extern FilterObjects gFilters;

// Bytes per channel sample for an image mode: 0 for bitmap, 1 for the 8-bit modes, 2 for the
// 16-bit modes.
int32_t BytesPerSampleForMode(int16_t imageMode);
