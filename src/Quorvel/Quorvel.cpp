#include "Quorvel.h"

#include <initializer_list>
#include <new>

#include "PluginGlobals.h"

void CreateFilterObjects() {
    DeleteFilterObjects();
    gFilters.main = new (std::nothrow) Quorvel;
    gFilters.previewA = new (std::nothrow) Quorvel;
    gFilters.previewB = new (std::nothrow) Quorvel;
}

void DeleteFilterObjects() {
    for (PhotoshopFilter** filter : {&gFilters.main, &gFilters.previewA, &gFilters.previewB}) {
        delete *filter;
        *filter = nullptr;
    }
}
