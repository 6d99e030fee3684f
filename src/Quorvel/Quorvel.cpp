#include "Quorvel.h"

#include <algorithm>
#include <initializer_list>
#include <new>

#include "Errors.h"
#include "HostServices.h"
#include "PluginGlobals.h"

Quorvel::~Quorvel() { ReleaseLayerStates(); }

void Quorvel::BeginRun() { gCall.record->autoMask = false; }

void Quorvel::Prepare() {
    // A host with little memory keeps half of it free; a larger one keeps 2 MB.
    constexpr int32_t kSmallHostSpace = 0x400000;
    constexpr int32_t kLargeHostReserve = 0x200000;
    FilterRecord& record = *gCall.record;
    record.bufferSpace = record.maxSpace <= kSmallHostSpace ? std::max(record.maxSpace / 2, 0) : kLargeHostReserve;
}

void Quorvel::SetupRun() {
    ReleaseLayerStates();
    const FilterRecord& record = *gCall.record;
    layeredOutput_ = record.inTransparencyMask != 0 && record.inLayerMasks != 0 && record.outLayerMasks != 0 &&
                     GetHostKind() != kHostKindElements;
    THROW_IF_ERROR(ResizeStackStorage(0, false));
}

void Quorvel::ReleaseLayerStates() {
    placements_.Release();
    passes_.Release();
    bevels_.Release();
}

void Quorvel::ClearRecordInfo() {
    if (DescriptorParameters* parameters = gCall.record ? gCall.record->descriptorParameters : nullptr)
        parameters->recordInfo = 0;
}

void CreateFilterObjects() {
    for (PhotoshopFilter** filter : {&gFilters.main, &gFilters.previewA, &gFilters.previewB})
        if (!*filter) *filter = new (std::nothrow) Quorvel;
}

void DeleteFilterObjects() {
    for (PhotoshopFilter** filter : {&gFilters.main, &gFilters.previewA, &gFilters.previewB}) {
        delete *filter;
        *filter = nullptr;
    }
}
