// Hosts that leave services out. Any pointer, table or procedure of the records may be missing,
// and a table may count fewer procedures than it holds: the plug-in answers with a code and
// never calls what is not there. Each case takes something away from the stand-in host's record
// before every call and runs the framed sample through Quorvel.8bf.
#include <gtest/gtest.h>

#include <algorithm>

#include "EndToEndSupport.h"
#include "QuorvelHostCore/HostSession.h"

namespace {

using qvhost::HostOptions;
using qvhost::HostSession;

qvhost::Document Pattern() {
    qvhost::Document document(64, 48, qvhost::ImageMode{});
    for (int p = 0; p < 3; ++p)
        for (int32_t y = 0; y < 48; ++y)
            for (int32_t x = 0; x < 64; ++x) document.SetSample(p, x, y, static_cast<uint16_t>((x * 3 + y * 5 + p * 70) % 256));
    return document;
}

// The host's advanceState, kept by the case that wraps it.
AdvanceStateProc gHostAdvanceState = nullptr;
FilterRecord* gRecord = nullptr;

// A host that answers success and hands over no input pixels.
OSErr16 AdvanceStateWithoutData() {
    const OSErr16 error = gHostAdvanceState();
    gRecord->inData = nullptr;
    return error;
}

struct MissingService {
    const char* what;
    void (*takeAway)(FilterRecord& record);
    int16_t startAnswer;  // what start answers; the image changes only when this is 0
};

const MissingService kCases[] = {
    {"no basic suite: the descriptor cannot be read", [](FilterRecord& r) { r.sSPBasic = nullptr; }, -108},
    {"a basic suite without AcquireSuite",
     [](FilterRecord& r) {
         static BasicSuite hollow{};
         hollow = *r.sSPBasic;
         hollow.AcquireSuite = nullptr;
         r.sSPBasic = &hollow;
     },
     -108},
    {"no property procedures: version 0", [](FilterRecord& r) { r.propertyProcs = nullptr; }, 0},
    {"property procedures counted as none",
     [](FilterRecord& r) {
         static PropertyProcs none{};
         none = *r.propertyProcs;
         none.numPropertyProcs = 0;
         r.propertyProcs = &none;
     },
     0},
    {"buffer procedures without space", [](FilterRecord& r) {
         static BufferProcs four{};
         four = *r.bufferProcs;
         four.numBufferProcs = 4;
         r.bufferProcs = &four;
     },
     17500},
    {"handle procedures counted as none: global memory instead",
     [](FilterRecord& r) {
         static HandleProcs none{};
         none = *r.handleProcs;
         none.numHandleProcs = 0;
         r.handleProcs = &none;
     },
     0},
    {"no channel ports and no document information",
     [](FilterRecord& r) {
         r.channelPortProcs = nullptr;
         r.documentInfo = nullptr;
     },
     0},
    {"no colour services, display, resources, image services or platform data",
     [](FilterRecord& r) {
         r.colorServices = nullptr;
         r.displayPixels = nullptr;
         r.resourceProcs = nullptr;
         r.imageServicesProcs = nullptr;
         r.platformData = nullptr;
         r.errorString = nullptr;
     },
     0},
    {"advanceState that answers success without the pixels",
     [](FilterRecord& r) {
         if (r.advanceState != AdvanceStateWithoutData) gHostAdvanceState = r.advanceState;
         gRecord = &r;
         r.advanceState = AdvanceStateWithoutData;
     },
     17500},
};

TEST(HostServices, AMissingServiceGetsAClearAnswerAndNeverACrash) {
    for (const MissingService& c : kCases) {
        HostOptions options;
        options.pluginPath = endtoend::BinPath("Quorvel.8bf");
        options.document = Pattern();
        options.settingsIn = endtoend::SourcePath("samples/ellipse-shadow.qvo");
        options.beforeCall = [&c](FilterRecord& record, int16_t) { c.takeAway(record); };
        HostSession session(options);
        const qvhost::HostRunResult result = session.Run();
        ASSERT_TRUE(result.loaded) << c.what << ": " << result.error;
        const qvhost::CallRecord* start = result.Find(kSelectorStart);
        ASSERT_NE(start, nullptr) << c.what;
        EXPECT_EQ(start->result, c.startAnswer) << c.what;
        EXPECT_EQ(session.GetDocument() == Pattern(), c.startAnswer != 0) << c.what << ": the image is framed only on success";
        const auto& log = session.Log().Lines();
        EXPECT_TRUE(std::none_of(log.begin(), log.end(),
                                 [](const std::string& line) { return line.find("still acquired") != std::string::npos; }))
            << c.what;
    }
}

}  // namespace
