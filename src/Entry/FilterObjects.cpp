#include "FilterObjects.h"

#include <initializer_list>
#include <new>

#include "Errors.h"
#include "Quorvel.h"

FilterObjects gFilters;

namespace {

PhotoshopFilter* (*gFilterObjectMaker)() = nullptr;

}  // namespace

void SetFilterObjectMaker(PhotoshopFilter* (*maker)()) { gFilterObjectMaker = maker; }

void BuildFilterObjects() {
    if (!gFilterObjectMaker) {
        CreateFilterObjects();
        return;
    }
    DeleteFilterObjects();
    gFilters.stack = new (std::nothrow) StackState;
    for (PhotoshopFilter** slot : {&gFilters.main, &gFilters.previewA, &gFilters.previewB}) *slot = gFilterObjectMaker();
}

void CreateFilterObjects() {
    if (!gFilters.stack) gFilters.stack = new (std::nothrow) StackState;
    if (!gFilters.stack) return;
    for (PhotoshopFilter** filter : {&gFilters.main, &gFilters.previewA, &gFilters.previewB})
        if (!*filter) *filter = new (std::nothrow) Quorvel(*gFilters.stack);
}

void DeleteFilterObjects() {
    for (PhotoshopFilter** filter : {&gFilters.main, &gFilters.previewA, &gFilters.previewB}) {
        delete *filter;
        *filter = nullptr;
    }
    delete gFilters.stack;
    gFilters.stack = nullptr;
}

QuorvelBase CallStack() {
    if (!gFilters.main || !gFilters.stack) THROW_IF_ERROR(Err::MemoryFull);
    return QuorvelBase(gFilters.main->Record().parameters, *gFilters.stack);
}
