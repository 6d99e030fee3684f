// The product's filter class.
#pragma once

#include "PhotoshopFilter.h"

class Quorvel : public PhotoshopFilter {
public:
    static constexpr uint32_t kSignature = 'qvxq';
    uint32_t GetSignature() const override { return kSignature; }
};

// Builds the call's three filter objects (main, preview A, preview B) into gFilters.
void CreateFilterObjects();
// Deletes whichever of them exist and clears the globals.
void DeleteFilterObjects();
