// The host's calls: selector dispatch and the work of the simple selectors.
#pragma once

#include <cstdint>

#include "ErrorCodes.h"
#include "PluginInterface.h"

void PluginMain(int16_t selector, FilterRecord* record, intptr_t* data, int16_t* result);
ErrorCode DoPrepare();
void DoAbout();
ErrorCode DoStart();
// Shows the welcome page when its library is beside the plug-in; updates the show flag.
void ShowWelcomeDialog(uint8_t* showFlag);

// The scripting parameters of a call.
bool IsNoDialogCall();
void ReadScriptParams();
void WriteScriptParams();
