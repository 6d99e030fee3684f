// Reading and writing the pictures the host works on: PNG (8 and 16 bits, gray and RGB, palette
// and alpha flattened away) and JPEG (8 bits, gray and RGB).
#pragma once

#include <string>

#include "Document.h"
#include "FileIO.h"

namespace qvhost {

// Reads a PNG or JPEG file (told apart by its first bytes). Answers false with a message naming
// the file in error when it cannot be read or decoded: an empty, foreign, truncated or corrupt
// file is refused, never read as a picture with grey where the data was missing.
bool ReadImageFile(const std::string& utf8Path, RasterImage& image, std::string& error);

enum class ImageFileFormat { Png, Jpeg };

// JPEG when the name ends in ".jpg" or ".jpeg", else PNG.
ImageFileFormat OutputFormatFor(const std::string& utf8Path);

// Encodes the picture into the sink (a JPEG narrows 16-bit samples; a PNG keeps the picture's
// depth); false with the reason in error when the sink refuses the bytes or encoding fails.
bool EncodeImage(const RasterImage& image, ImageFileFormat format, OutputSink& sink, std::string& error);

// Writes the picture in the format its name asks for, replacing a file of that name only when
// the whole picture was written (see WriteOutputFile).
bool WriteImageFile(const std::string& utf8Path, const RasterImage& image, std::string& error);

}  // namespace qvhost
