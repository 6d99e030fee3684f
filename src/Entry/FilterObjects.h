// The call's filter objects: the main object renders the final image, the two preview objects are
// the preview dialog's. The entry's dispatch builds them for a call and deletes them when it ends:
// they never outlive the call they serve. Beside them lies the call's stack state, which they share.
#pragma once

#include "StackState.h"

class PhotoshopFilter;
class Quorvel;
struct HostCall;

// The filter class a plug-in module builds its call's objects of. Each module hands the entry its
// own (the doors in PluginEntry.Win.cpp pass kModuleFilterClass).
struct FilterClass {
    // Makes one object for the call and its stack state, or none when it cannot be allocated.
    PhotoshopFilter* (*make)(HostCall& call, StackState& stack) = nullptr;
    // The object as the product's filter, which the preview dialog drives (its commands, tools and
    // tabs edit the product's stack); none for a class that is not the product's.
    Quorvel* (*asProduct)(PhotoshopFilter& filter) = nullptr;
};

// The product's filter class.
PhotoshopFilter* MakeQuorvel(HostCall& call, StackState& stack);
Quorvel* AsQuorvel(PhotoshopFilter& filter);
extern const FilterClass kQuorvelClass;
// The filter class of a plug-in module built round the entry's doors: each such module defines it
// (the product's in QuorvelModule.cpp).
extern const FilterClass kModuleFilterClass;

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

    // Makes an object of the class for the call in whichever of the three slots are empty; one that
    // cannot be allocated leaves its slot empty.
    void Build(HostCall& call, const FilterClass& filterClass);
    // Deletes whichever of them exist, empties the slots and releases the stack state's table.
    void Delete();
    // previewB as the product's filter when the class it was made of is the product's; null for
    // another class or no object.
    Quorvel* ProductPreviewB() const;

private:
    const FilterClass* class_ = nullptr;  // what Build made the objects of
};
