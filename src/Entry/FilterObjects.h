// The call's filter objects: the main object renders the final image, the two preview objects are
// the preview dialog's. The entry's dispatch builds them for a call and deletes them when it ends:
// they never outlive the call they serve. Beside them lies the call's stack state, which they share.
#pragma once

#include "StackState.h"

class PhotoshopFilter;
struct HostCall;

// Makes one object of a plug-in's filter class for the call and its stack state, or none when it
// cannot be allocated. Each plug-in module hands the entry the maker of its class.
using FilterObjectMaker = PhotoshopFilter* (*)(HostCall& call, StackState& stack);

// The product's filter class.
PhotoshopFilter* MakeQuorvel(HostCall& call, StackState& stack);
// The filter class of a plug-in module built round the entry's doors (PluginEntry.Win.cpp), which
// hand it to the dispatch: each such module defines it (the product's in QuorvelModule.cpp).
PhotoshopFilter* MakeModuleFilter(HostCall& call, StackState& stack);

// Owns the objects it holds; a slot a caller fills with an object of its own is emptied again by
// that caller before the set goes.
struct FilterObjects {
    PhotoshopFilter* main = nullptr;
    PhotoshopFilter* previewA = nullptr;
    PhotoshopFilter* previewB = nullptr;
    // The photo's row and the LayerState table of the call: a new call's starts afresh, and the
    // table gives its buffers back when the objects go.
    StackState stack;

    FilterObjects() = default;
    FilterObjects(const FilterObjects&) = delete;
    FilterObjects& operator=(const FilterObjects&) = delete;
    ~FilterObjects() { Delete(); }

    // Makes an object for the call in whichever of the three slots are empty; one that cannot be
    // allocated leaves its slot empty.
    void Build(HostCall& call, FilterObjectMaker maker);
    // Deletes whichever of them exist, empties the slots and releases the stack state's table.
    void Delete();
};
