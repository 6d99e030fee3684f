// What the framework's tests through the stand-in host share: the test filter plug-in, patterned
// documents, one run of the host over a document, and the check of an inverted result.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "HostSession.h"

namespace frameworkhost {

using qvhost::ColorMode;
using qvhost::Document;
using qvhost::HostOptions;
using qvhost::ImageMode;
using qvhost::PixelRect;

inline std::string PluginPath() { return std::string(std::getenv("QUORVEL_BIN")) + "/FrameworkTestFilter.8bf"; }

// A value of the document's range that differs from pixel to pixel and plane to plane.
inline uint16_t PatternSample(int32_t x, int32_t y, int plane, const ImageMode& mode) {
    return static_cast<uint16_t>((uint32_t(x) * 13 + uint32_t(y) * 7 * 257 + plane * 61) % (mode.FullValue() + 1u));
}

inline Document Patterned(int32_t width, int32_t height, ImageMode mode) {
    Document document(width, height, mode);
    for (int p = 0; p < document.Planes(); ++p)
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) document.SetSample(p, x, y, PatternSample(x, y, p, mode));
    return document;
}

struct Outcome {
    qvhost::HostRunResult result;
    Document document;
    qvhost::HostStatistics statistics;
    FilterRecord record{};  // as the last call left it; its pointers are no longer valid
    std::optional<std::vector<uint16_t>> alphaChannels[3];

    int16_t Result(int16_t selector) const {
        const qvhost::CallRecord* call = result.Find(selector);
        return call ? call->result : INT16_MIN;
    }
};

// Runs the options' host with the test filter; the samples of up to three alpha channels are
// kept by name.
inline Outcome RunFilter(HostOptions options, const std::string (&alphaNames)[3] = {}) {
    if (options.pluginPath.empty() && !options.entry) options.pluginPath = PluginPath();
    options.mode = options.document->Mode();
    qvhost::HostSession session(options);
    Outcome outcome;
    outcome.result = session.Run();
    outcome.document = session.GetDocument();
    outcome.statistics = session.Statistics();
    outcome.record = session.Record();
    for (int i = 0; i < 3; ++i)
        if (!alphaNames[i].empty()) outcome.alphaChannels[i] = session.AlphaChannelSamples(alphaNames[i]);
    EXPECT_TRUE(outcome.result.loaded) << outcome.result.error;
    return outcome;
}

inline HostOptions Options(const Document& document) {
    HostOptions options;
    options.document = document;
    // A layer with editable transparency and no selection: the whole image, no mask.
    options.filterCase = 4;
    return options;
}

// The document's colour inverted inside the area, untouched outside it; a transparency plane is
// kept everywhere.
inline void ExpectInverted(const Document& before, const Document& after, const PixelRect& area) {
    ASSERT_EQ(after.Width(), before.Width());
    ASSERT_EQ(after.SamplePlanes(), before.SamplePlanes());
    const uint32_t full = before.Mode().FullValue();
    for (int p = 0; p < before.SamplePlanes(); ++p)
        for (int32_t y = 0; y < before.Height(); ++y)
            for (int32_t x = 0; x < before.Width(); ++x) {
                const bool inverted = p < before.Planes() && y >= area.top && y < area.bottom && x >= area.left &&
                                      x < area.right;
                const uint32_t old = before.Sample(p, x, y);
                ASSERT_EQ(after.Sample(p, x, y), inverted ? full - old : old)
                    << before.Mode().Name() << " plane " << p << " at " << x << "," << y;
            }
}

}  // namespace frameworkhost
