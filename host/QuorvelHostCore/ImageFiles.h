// Reading and writing the pictures the host works on: PNG (8 and 16 bits, gray and RGB, palette
// and alpha flattened away) and JPEG (8 bits, gray and RGB).
#pragma once

#include <string>

#include "Document.h"

namespace qvhost {

// Reads a PNG or JPEG file (told apart by its first bytes). Answers false with a message in
// error when the file cannot be read or decoded.
bool ReadImageFile(const std::string& utf8Path, RasterImage& image, std::string& error);

// Writes a JPEG when the name ends in ".jpg" or ".jpeg" (16-bit samples are narrowed), else a PNG
// at the picture's depth.
bool WriteImageFile(const std::string& utf8Path, const RasterImage& image, std::string& error);

}  // namespace qvhost
