#include "FilterObjects.h"

#include <initializer_list>
#include <new>

#include "Quorvel.h"

PhotoshopFilter* MakeQuorvel(HostCall& call, StackState& stack) { return new (std::nothrow) Quorvel(call, stack); }

// Only objects MakeQuorvel made are handed here.
Quorvel* AsQuorvel(PhotoshopFilter& filter) { return static_cast<Quorvel*>(&filter); }

const FilterClass kQuorvelClass{&MakeQuorvel, &AsQuorvel};

void FilterObjects::Build(HostCall& call, const FilterClass& filterClass) {
    for (PhotoshopFilter** slot : {&main, &previewA, &previewB})
        if (!*slot) *slot = filterClass.make(call, stack);
    class_ = &filterClass;
}

Quorvel* FilterObjects::ProductPreviewB() const {
    return previewB && class_ && class_->asProduct ? class_->asProduct(*previewB) : nullptr;
}

void FilterObjects::Delete() {
    for (PhotoshopFilter** slot : {&main, &previewA, &previewB}) {
        delete *slot;
        *slot = nullptr;
    }
    stack.layerStates.Release();
}
