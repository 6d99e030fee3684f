#include "HostRequest.h"

HostRequest HostRequest::Of(const FilterRecord& record) {
    HostRequest request;
    request.inRect = record.inRect;
    request.outRect = record.outRect;
    request.maskRect = record.maskRect;
    request.inLoPlane = record.inLoPlane;
    request.inHiPlane = record.inHiPlane;
    request.inputRate = record.inputRate;
    request.maskRate = record.maskRate;
    request.inData = record.inData;
    request.maskData = record.maskData;
    request.inRowBytes = record.inRowBytes;
    request.maskRowBytes = record.maskRowBytes;
    return request;
}

void HostRequest::PutBack(FilterRecord& record, unsigned fields) const {
    if (fields & kRects) {
        record.inRect = inRect;
        record.outRect = outRect;
        record.maskRect = maskRect;
    }
    if (fields & kPlanes) {
        record.inLoPlane = inLoPlane;
        record.inHiPlane = inHiPlane;
    }
    if (fields & kRates) {
        record.inputRate = inputRate;
        record.maskRate = maskRate;
    }
    if (fields & kDelivered) {
        record.inData = inData;
        record.inRowBytes = inRowBytes;
        record.maskData = maskData;
        record.maskRowBytes = maskRowBytes;
    }
}
