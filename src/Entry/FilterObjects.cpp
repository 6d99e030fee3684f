#include "FilterObjects.h"

#include <initializer_list>
#include <new>

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
    for (PhotoshopFilter** slot : {&gFilters.main, &gFilters.previewA, &gFilters.previewB}) *slot = gFilterObjectMaker();
}

void CreateFilterObjects() {
    for (PhotoshopFilter** filter : {&gFilters.main, &gFilters.previewA})
        if (!*filter) *filter = new (std::nothrow) Quorvel;
    if (!gFilters.previewB) gFilters.previewB = gFilters.productPreviewB = new (std::nothrow) Quorvel;
}

void DeleteFilterObjects() {
    for (PhotoshopFilter** filter : {&gFilters.main, &gFilters.previewA, &gFilters.previewB}) {
        delete *filter;
        *filter = nullptr;
    }
    gFilters.productPreviewB = nullptr;
}
