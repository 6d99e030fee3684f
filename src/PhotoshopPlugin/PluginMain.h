// The host's calls: selector dispatch, the call's filter objects and the work of the simple
// selectors.
#pragma once

#include <cstdint>

#include "ErrorCodes.h"
#include "PluginInterface.h"

class PhotoshopFilter;
struct RunOptions;

// The record is an AboutRecord for the about selector and a FilterRecord for every other one.
void PluginMain(int16_t selector, void* record, intptr_t* data, int16_t* result);
// A plug-in built round a filter class other than the product's names the function that makes
// one object of it; the entry then fills the call's filter objects with that class.
void SetFilterObjectMaker(PhotoshopFilter* (*maker)());

// The three filter objects of one call: the main object renders the final image, the two preview
// objects are the preview dialog's. They never outlive the call.
struct FilterObjects {
    PhotoshopFilter* main = nullptr;
    PhotoshopFilter* previewA = nullptr;
    PhotoshopFilter* previewB = nullptr;
};
extern FilterObjects gFilters;
// Creates the product's filter objects in whichever of the three slots are empty; one that cannot
// be allocated leaves its slot empty.
void CreateFilterObjects();
// Deletes whichever of them exist and empties the slots.
void DeleteFilterObjects();

ErrorCode DoPrepare();
void DoAbout();
// The start routine, with what the call's scripting asks of the run.
ErrorCode DoStart(const RunOptions& options);
// Shows the welcome page when its library is beside the plug-in; updates the show flag.
void ShowWelcomeDialog(uint8_t* showFlag);
