#include "FilterObjects.h"

#include <initializer_list>
#include <new>

#include "Quorvel.h"

PhotoshopFilter* MakeQuorvel(HostCall& call) { return new (std::nothrow) Quorvel(call); }

void FilterObjects::Build(HostCall& call, FilterObjectMaker maker) {
    for (PhotoshopFilter** slot : {&main, &previewA, &previewB})
        if (!*slot) *slot = maker(call);
}

void FilterObjects::Delete() {
    for (PhotoshopFilter** slot : {&main, &previewA, &previewB}) {
        delete *slot;
        *slot = nullptr;
    }
}
