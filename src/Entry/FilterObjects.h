// The call's filter objects: the main object renders the final image, the two preview objects are
// the preview dialog's. The entry builds them for a call and deletes them when it ends: they never
// outlive the call.
#pragma once

class PhotoshopFilter;
class Quorvel;

struct FilterObjects {
    PhotoshopFilter* main = nullptr;
    PhotoshopFilter* previewA = nullptr;
    PhotoshopFilter* previewB = nullptr;
    // previewB as the product's filter, when the entry made it so: the preview dialog drives it
    // (its commands, tools and tabs edit the product's stack). Null for another class.
    Quorvel* productPreviewB = nullptr;
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
// Deletes whichever of them exist and empties the slots.
void DeleteFilterObjects();
