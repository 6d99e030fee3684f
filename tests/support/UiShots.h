// What the tests that photograph a dialog through the ui steps share: the step list read from its
// text, and the pixels of the picture the steps wrote.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "QuorvelHostCore/Document.h"
#include "QuorvelHostCore/UiScript.h"

// The steps of a ';'-separated list; a list that does not read fails the test that wrote it.
inline std::vector<qvhost::UiStep> UiSteps(const std::string& text) {
    std::vector<qvhost::UiStep> steps;
    std::string error;
    EXPECT_TRUE(qvhost::ParseUiScript(text, steps, error)) << text << ": " << error;
    return steps;
}

// The colour of a pixel of a picture read back (8-bit samples, RGB first).
inline COLORREF PixelAt(const qvhost::RasterImage& image, int32_t x, int32_t y) {
    const uint16_t* rgb = image.samples.data() + (static_cast<size_t>(y) * image.width + x) * image.channels;
    return RGB(rgb[0], rgb[1], rgb[2]);
}
