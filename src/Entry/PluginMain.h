// The host's calls: the call's context and selector dispatch.
#pragma once

#include <cstdint>

#include "ErrorCodes.h"
#include "FilterObjects.h"
#include "PluginInterface.h"

// The record is an AboutRecord for the about selector and a FilterRecord for every other one. The
// call's filter objects are of filterClass, the plug-in module's.
void PluginMain(int16_t selector, void* record, intptr_t* data, int16_t* result, const FilterClass& filterClass);
// The prepare selector: the main object sets the host's buffer space.
ErrorCode DoPrepare(HostCall& call, FilterObjects& filters);
