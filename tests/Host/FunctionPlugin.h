// A plug-in made of a test's function: the host calls FunctionPlugin, which runs gBody.
#pragma once

#include <functional>
#include <memory>

#include "QuorvelHostCore/HostSession.h"

namespace hosttest {

using namespace qvhost;

inline std::function<int16_t(int16_t selector, FilterRecord&)> gBody;

// The about selector's record is no filter record: the body sees only the others.
inline void FunctionPlugin(int16_t selector, void* record, intptr_t*, int16_t* result) {
    *result = gBody && selector != kSelectorAbout ? gBody(selector, *static_cast<FilterRecord*>(record)) : 0;
}

inline uint16_t Pattern(int plane, int32_t x, int32_t y) {
    return static_cast<uint16_t>((x * 5 + y * 3 + plane * 50) % 256);
}

// A document whose samples differ from pixel to pixel and plane to plane.
inline Document Patterned(int32_t width, int32_t height, ImageMode mode) {
    Document document(width, height, mode);
    for (int p = 0; p < document.Planes(); ++p)
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                const uint16_t v = Pattern(p, x, y);
                document.SetSample(p, x, y, mode.depth == 16 ? Widen8To16(v) : v);
            }
    return document;
}

struct StartRun {
    std::unique_ptr<HostSession> session;
    HostRunResult result;
};

// Runs a session whose start selector is body; like a real plug-in it empties the rectangles
// when it is done, so the host asks for no continue call.
inline StartRun RunStart(HostOptions options, std::function<int16_t(FilterRecord&)> body) {
    gBody = [body](int16_t selector, FilterRecord& record) -> int16_t {
        if (selector != kSelectorStart) return 0;
        const int16_t result = body(record);
        record.inRect = record.outRect = record.maskRect = {};
        return result;
    };
    options.entry = FunctionPlugin;
    StartRun run;
    run.session = std::make_unique<HostSession>(std::move(options));
    run.result = run.session->Run();
    gBody = nullptr;
    return run;
}

inline HostOptions OptionsFor(Document document) {
    HostOptions options;
    options.document = std::move(document);
    return options;
}

}  // namespace hosttest
