// "Apply to New Layer" through the stand-in host, Quorvel.8bf loaded as a host loads it: the
// filter's call leaves the photo as it was and keeps its frames for the host's next call, which
// the host makes on a transparent layer above the photo; the frames land on that layer, and the
// layer over the photo shows what the frames drawn straight onto the photo show.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "RenderSession.h"
#include "ScriptedHost.h"
#include "Utf.h"

namespace {

using qvhost::Document;

constexpr int32_t kWidth = 40, kHeight = 30;

Document Photo() {
    Document document(kWidth, kHeight, qvhost::ImageMode{});
    for (int p = 0; p < document.Planes(); ++p)
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x) document.SetSample(p, x, y, static_cast<uint16_t>((x * 7 + y * 13 + p * 31) % 200));
    return document;
}

bool FileExists(const std::string& path) {
    return !path.empty() && GetFileAttributesW(Utf8ToUtf16(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct RoundTrip {
    qvhost::HostRunResult result;
    Document photo;                  // the document as the first call left it
    std::string cachePath;           // the file the first call handed on in its data word
    std::optional<qvhost::AppliedNewLayer> newLayer;
    Document document;               // the document after the run
    std::vector<uint8_t> parameters;
    intptr_t dataWord = 0;
    std::vector<std::string> log;

    int Starts() const {
        return static_cast<int>(std::count_if(result.calls.begin(), result.calls.end(),
                                              [](const qvhost::CallRecord& c) { return c.selector == kSelectorStart; }));
    }
};

// A scripted run of one ellipse above the photo (its white background fills the corners, the
// photo shows through its middle), with the block's "Apply to New Layer" byte as given.
RoundTrip RunWithOption(uint8_t outputOption) {
    qvhost::Descriptor descriptor;
    descriptor.Put('FrMP', scripted::FromByte4(scripted::StackBlock(1, outputOption, 0)));
    descriptor.Put('TLPs', qvhost::DescriptorValue{int32_t{1}});
    const char* temp = std::getenv("TEMP");
    const std::string path = std::string(temp ? temp : ".") + "\\new-layer-" + std::to_string(GetCurrentProcessId()) + ".qvds";
    std::string error;
    EXPECT_TRUE(qvhost::WriteDescriptorFile(path, descriptor, error)) << error;

    RoundTrip trip;
    qvhost::HostSession* session = nullptr;
    qvhost::HostOptions options;
    options.pluginPath = scripted::PluginPath();
    options.document = Photo();
    options.mode = options.document->Mode();
    options.descriptorIn = path;
    int finishes = 0;
    options.afterCall = [&](FilterRecord& record, int16_t selector, int16_t) {
        if (selector != kSelectorFinish || ++finishes != 1) return;
        trip.photo = session->GetDocument();
        const auto handle = reinterpret_cast<Handle>(session->DataWord());
        if (!handle || record.handleProcs->getSize(handle) != static_cast<int32_t>(FrameCacheBlock::kSize)) return;
        FrameCacheBlock block;
        std::memcpy(&block, record.handleProcs->lock(handle, false), sizeof block);
        record.handleProcs->unlock(handle);
        trip.cachePath.assign(block.path, strnlen(block.path, sizeof block.path));
        EXPECT_TRUE(FileExists(trip.cachePath)) << trip.cachePath;
    };
    qvhost::HostSession host(options);
    session = &host;
    trip.result = host.Run();
    EXPECT_TRUE(trip.result.loaded) << trip.result.error;
    trip.newLayer = host.NewLayer();
    trip.document = host.GetDocument();
    trip.parameters = host.Parameters();
    trip.dataWord = host.DataWord();
    trip.log = host.Log().Lines();
    return trip;
}

uint16_t At(const Document& d, int plane, int32_t x, int32_t y) { return d.Sample(plane, x, y); }

// The call leaves the photo untouched and hands its frames on; the host's second call puts them on
// a new transparent layer (the frame opaque at the corners, clear in the middle) and deletes the
// cache; the stored block still asks for a new layer. The layer over the photo gives, within a
// level of rounding, the image the frames drawn straight onto the photo give.
TEST(NewLayerRoundTrip, TheFramesLandOnANewLayerAboveTheUnchangedPhoto) {
    const Document photo = Photo();
    const RoundTrip direct = RunWithOption(BlockLayout::kOutputOff);
    ASSERT_EQ(direct.result.exitCode, 0) << direct.result.error;
    EXPECT_EQ(direct.Starts(), 1);
    EXPECT_FALSE(direct.newLayer);

    const RoundTrip trip = RunWithOption(BlockLayout::kOutputToNewLayer);
    ASSERT_EQ(trip.result.exitCode, 0) << trip.result.error;
    for (const qvhost::CallRecord& call : trip.result.calls) EXPECT_EQ(call.result, 0) << call.name;
    EXPECT_EQ(trip.Starts(), 2);
    EXPECT_TRUE(trip.photo == photo);
    ASSERT_FALSE(trip.cachePath.empty());
    EXPECT_FALSE(FileExists(trip.cachePath));
    EXPECT_EQ(trip.dataWord, 0);
    EXPECT_EQ(std::count_if(trip.log.begin(), trip.log.end(),
                            [](const std::string& line) { return line.rfind("host: apply to new layer:", 0) == 0; }),
              2);

    ASSERT_TRUE(trip.newLayer);
    const Document& layer = trip.newLayer->layer;
    ASSERT_TRUE(layer.HasTransparency());
    for (const auto& [x, y] : {std::pair{0, 0}, std::pair{kWidth - 1, kHeight - 1}}) {
        EXPECT_EQ(At(layer, 3, x, y), 255);
        for (int p = 0; p < 3; ++p) EXPECT_EQ(At(layer, p, x, y), 255);
    }
    EXPECT_EQ(At(layer, 3, kWidth / 2, kHeight / 2), 0);

    ASSERT_EQ(trip.document.SamplePlanes(), 3);
    int worst = 0;
    for (int p = 0; p < 3; ++p)
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x)
                worst = std::max(worst, std::abs(At(trip.document, p, x, y) - At(direct.document, p, x, y)));
    EXPECT_LE(worst, 1);
    EXPECT_EQ(At(trip.document, 0, 0, 0), 255);
    EXPECT_EQ(At(trip.document, 1, kWidth / 2, kHeight / 2), At(photo, 1, kWidth / 2, kHeight / 2));

    const ParameterBlockView stored(const_cast<uint8_t*>(trip.parameters.data()), static_cast<int64_t>(trip.parameters.size()));
    ASSERT_TRUE(stored.HoldsLayer(0));
    EXPECT_EQ(stored.Block().Get(BlockLayout::kOutputOption), BlockLayout::kOutputToNewLayer);
    EXPECT_EQ(stored.Layer(0).Get(LayerLayout::kEnabled), 1);
}

}  // namespace
