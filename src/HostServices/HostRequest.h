// The request fields of the host's record: the rectangles a filter asks the host for, the input
// planes and the rates it asks them at, and where the host delivered the input and the mask. The
// host reads a request at advanceState. Whoever puts a request of its own into the record (a tile
// at a preview's scale, the photo for the renderer, one scheduler instance's tile between
// another's) keeps the fields it changes in a HostRequest and puts them back.
#pragma once

#include <cstdint>

#include "PluginInterface.h"

struct HostRequest {
    // The groups of fields a keeper puts back.
    enum Fields : unsigned {
        kRects = 1,      // inRect, outRect, maskRect
        kPlanes = 2,     // inLoPlane, inHiPlane
        kRates = 4,      // inputRate, maskRate
        kDelivered = 8,  // inData and inRowBytes, maskData and maskRowBytes
    };

    Rect16 inRect{}, outRect{}, maskRect{};
    int16_t inLoPlane = 0, inHiPlane = 0;
    Fixed16 inputRate = 0, maskRate = 0;
    void* inData = nullptr;
    void* maskData = nullptr;
    int32_t inRowBytes = 0, maskRowBytes = 0;

    static HostRequest Of(const FilterRecord& record);
    // Writes the groups of fields named into the record.
    void PutBack(FilterRecord& record, unsigned fields) const;
};

// Keeps the record's request and puts the groups of fields named back however the scope ends.
class RequestGuard {
public:
    RequestGuard(FilterRecord& record, unsigned fields)
        : record_(record), kept_(HostRequest::Of(record)), fields_(fields) {}
    RequestGuard(const RequestGuard&) = delete;
    RequestGuard& operator=(const RequestGuard&) = delete;
    ~RequestGuard() { kept_.PutBack(record_, fields_); }

    const HostRequest& Kept() const { return kept_; }

private:
    FilterRecord& record_;
    const HostRequest kept_;
    const unsigned fields_;
};
