#include "Quorvel.h"

#include <initializer_list>
#include <new>

#include "PluginGlobals.h"

void Quorvel::BeginRun() { gCall.record->autoMask = false; }

void Quorvel::Prepare() {
    constexpr int32_t kSmallHost = 0x400000;
    constexpr int32_t kRendererSpace = 0x200000;
    FilterRecord& record = *gCall.record;
    record.bufferSpace = record.maxSpace <= kSmallHost ? record.maxSpace / 2 : kRendererSpace;
}

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
