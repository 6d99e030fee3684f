// Plane fills and the widening and narrowing of 16-bit samples between the system's range
// (0..32768) and the host's (0..65535).
#pragma once

#include <cstdint>

#include "PluginInterface.h"

// Write count samples, stride samples apart, into 8-bit (bytesPerSample 1) or 16-bit planes.
// PlaneFill16 writes the 16-bit value (its low byte into 8-bit planes); PlaneFill8 writes the byte,
// widened to the 16-bit range for 16-bit planes (255 becomes 32768).
void PlaneFill16(int64_t count, uint16_t value, void* destination, int32_t bytesPerSample, int64_t stride);
void PlaneFill8(int64_t count, uint8_t value, void* destination, int32_t bytesPerSample, int64_t stride);

// Every 16-bit sample of the rectangle (bounds relative to base, which addresses its top-left
// pixel) becomes x * 65535 >> 15; answers base + 1, where a reader of one byte per sample finds
// each sample's high byte.
char* WidenSamples16(const Rect32& bounds, int32_t planes, int32_t rowBytes, int32_t colBytes, int32_t planeBytes,
                     char* base);
// The reverse of WidenSamples16 given its answer: every sample becomes (x + 1) >> 1; answers the
// original base.
char* NarrowSamples16(const Rect32& bounds, int32_t planes, int32_t rowBytes, int32_t colBytes, int32_t planeBytes,
                      char* widenedBase);
