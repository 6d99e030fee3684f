// The host's calls: selector dispatch and the work of the simple selectors.
#pragma once

#include <cstdint>

#include "ErrorCodes.h"
#include "PluginInterface.h"

class PhotoshopFilter;

// The record is an AboutRecord for the about selector and a FilterRecord for every other one.
void PluginMain(int16_t selector, void* record, intptr_t* data, int16_t* result);
// A plug-in built round a filter class other than the product's names the function that makes
// one object of it; the entry then fills the call's filter objects with that class.
void SetFilterObjectMaker(PhotoshopFilter* (*maker)());
ErrorCode DoPrepare();
void DoAbout();
ErrorCode DoStart();
// Shows the welcome page when its library is beside the plug-in; updates the show flag.
void ShowWelcomeDialog(uint8_t* showFlag);

// The scripting parameters of a call.
bool IsNoDialogCall();
// 0, or the call's result when the settings handed in were corrupt and the user did not take the
// defaults offered in their place.
ErrorCode ReadScriptParams();
void WriteScriptParams();
