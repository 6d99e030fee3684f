// The call's filter objects: the main object renders the final image, the two preview objects are
// the preview dialog's. The entry builds them for a call and deletes them when it ends: they never
// outlive the call. Beside them lies the call's stack state, which they share.
#pragma once

#include "QuorvelBase.h"
#include "StackState.h"

class PhotoshopFilter;

struct FilterObjects {
    PhotoshopFilter* main = nullptr;
    PhotoshopFilter* previewA = nullptr;
    PhotoshopFilter* previewB = nullptr;
    // The photo's row and the LayerState table of the call: made with its objects (a new call's
    // starts afresh), deleted after them.
    StackState* stack = nullptr;
};
extern FilterObjects gFilters;

// A plug-in built round a filter class other than the product's names the function that makes
// one object of it; the entry then fills the call's filter objects with that class.
void SetFilterObjectMaker(PhotoshopFilter* (*maker)());
// The call's three filter objects: the product's, or those of the class a plug-in built round
// another filter names.
void BuildFilterObjects();
// Creates the product's filter objects in whichever of the three slots are empty; one that cannot
// be allocated leaves its slot empty.
void CreateFilterObjects();
// Deletes whichever of them exist, then the call's stack state, and empties the slots.
void DeleteFilterObjects();
// The frame-stack model over the call's parameter block (the main object's record holds it) and
// the call's stack state; -108 is raised when the call's objects could not be made.
QuorvelBase CallStack();
