// The sample presets of samples/: built here from the settings code, so that the files can be
// made again and checked against what this code makes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SamplePreset {
    std::string name;             // the file name without ".qvo"
    std::vector<uint8_t> block;   // the whole handle: 8 bytes of run-time link, then S bytes
    int32_t photoPosition = 0;    // "TargetLayerPos"
};

// ellipse-shadow, rounded-rectangle, star-edges, blend-stack, frame-file, three-part.
std::vector<SamplePreset> SamplePresets();

// The samples folder as a path the tests can open.
std::string SamplesFolder();
// Writes the preset file (PresetVersion, TargetLayerPos, QuorvelSettings); false on failure.
bool WriteSamplePreset(const SamplePreset& preset, const std::string& path);
// Reads the settings and photo position of a preset file; false when it holds none.
bool ReadSamplePreset(const std::string& path, std::vector<uint8_t>& settings, int32_t& photoPosition);
