// Colour conversions: the built-in converter used when the host offers none, the parameter
// block's colour records, and the cached converter of pixel runs.
#pragma once

#include <cstdint>

#include "ErrorCodes.h"
#include "PluginInterface.h"

// Converts info's four components from sourceSpace to resultSpace (through RGB). Sources RGB, HSB,
// CMYK, Lab, Gray and HSL; results RGB, CMYK and Gray; anything else answers 17500. 8-bit
// components, CMYK stored inverted (255 = no ink), hue in degrees.
ErrorCode ConvertColor(ColorServicesInfo& info);

// The 14-byte colour of the parameter block (big-endian there), in machine form.
struct ColorRecord {
    static constexpr int kStoredSize = 14;
    int16_t tag = -1;          // -1 when built here
    int16_t space = kSpaceNone;  // negative: no colour
    int16_t components[4] = {};
    int16_t opacity = 255;

    static ColorRecord Load(const uint8_t* stored);
    void Store(uint8_t* stored) const;
};

// What a conversion takes from the host's call: the host's colour services (none: the built-in
// converter) and the document's image mode (-1 without a document).
struct ColourContext {
    ColorServicesProc services = nullptr;
    int16_t documentMode = -1;

    // The record's (none without a record).
    static ColourContext Of(const FilterRecord* record);
};

// Converts the record into space (negative: the colour space of the document's mode), through the
// host's colour services when they are in use and answer, else the built-in converter. Errors
// (a target the tables do not know included) are raised.
void ConvertColorRecord(ColorRecord& record, int16_t space, const ColourContext& host);
// The host's foreground and background colours, in the colour space of the document's mode.
ColorRecord GetForegroundColorRecord(const FilterRecord& record);
ColorRecord GetBackgroundColorRecord(const FilterRecord& record);

// Whether the host's colour services are used (initially set); code that needs the built-in
// converter's exact figures clears it around its conversions.
bool UseHostColorServices();
void SetUseHostColorServices(bool use);

// Converts count pixels of fromMode (its colour planes, one byte each) into toMode, each distinct
// colour once per mode pair. 0, 17500 (modes outside the tables, or host services wanted but
// missing) or the conversion's error.
ErrorCode ConvertPixelColors(ColorServicesProc hostServices, int16_t fromMode, int16_t toMode, int64_t count,
                             const uint8_t* source, uint8_t* destination);
