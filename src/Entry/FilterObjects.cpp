#include "FilterObjects.h"

#include <initializer_list>
#include <new>

#include "Quorvel.h"

PhotoshopFilter* MakeQuorvel(HostCall& call, StackState& stack) { return new (std::nothrow) Quorvel(call, stack); }

void FilterObjects::Build(HostCall& call, FilterObjectMaker maker) {
    for (PhotoshopFilter** slot : {&main, &previewA, &previewB})
        if (!*slot) *slot = maker(call, stack);
}

void FilterObjects::Delete() {
    for (PhotoshopFilter** slot : {&main, &previewA, &previewB}) {
        delete *slot;
        *slot = nullptr;
    }
    stack.layerStates.Release();
}
