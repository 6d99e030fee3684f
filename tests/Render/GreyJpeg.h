// Small JPEG files for the tests that load frames: a plain grey image, written with libjpeg.
#pragma once

#include <cstdint>
#include <string>

// Writes a width x height one-plane JPEG of `grey` to path (UTF-8); false when it cannot.
bool WriteGreyJpeg(const std::string& path, int width, int height, uint8_t grey);
