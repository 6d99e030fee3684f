// The record's other services as a plug-in meets them: drawing pixels into a device context,
// colours of the document, host properties and document resources.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "FunctionPlugin.h"
#include "QuorvelHostCore/HostMemory.h"

using namespace hosttest;

namespace {

// A 32-bit memory bitmap selected into a device context, with its pixels at hand.
class MemoryCanvas {
public:
    MemoryCanvas(int width, int height) : width_(width) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB};
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        std::memset(bits_, 0, static_cast<size_t>(width) * height * 4);
    }
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;
    ~MemoryCanvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC Dc() const { return dc_; }
    uint32_t At(int x, int y) const {
        GdiFlush();
        return bits_[y * width_ + x] & 0xFFFFFF;
    }

private:
    int width_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    uint32_t* bits_ = nullptr;
};

TEST(DisplayPixels, DrawsEachModeIntoTheDeviceContext) {
    struct Case {
        int16_t mode;
        std::vector<uint8_t> pixel;  // interleaved planes of one pixel
        uint32_t expected;           // 0xRRGGBB
    };
    const uint16_t half16 = 16384;
    std::vector<uint8_t> gray16(2);
    std::memcpy(gray16.data(), &half16, 2);
    const Case cases[] = {
        {kModeRGBColor, {200, 100, 50}, 0xC86432},
        {kModeGrayScale, {77}, 0x4D4D4D},
        {kModeCMYKColor, {255, 0, 255, 255}, 0xFF00FF},  // inverted: full magenta ink only
        {kModeGray16, gray16, 0x808080},
    };
    for (const Case& c : cases) {
        MemoryCanvas canvas(8, 8);
        int16_t answer = -1;
        RunStart(OptionsFor(Document(4, 4, ImageMode{})), [&](FilterRecord& r) -> int16_t {
            const int columnBytes = static_cast<int>(c.pixel.size());
            const int sampleBytes = c.mode == kModeGray16 ? 2 : 1;
            std::vector<uint8_t> pixels;
            for (int i = 0; i < 4; ++i) pixels.insert(pixels.end(), c.pixel.begin(), c.pixel.end());
            PixelMap map{};
            map.version = 1;
            map.bounds = {0, 0, 2, 2};
            map.imageMode = c.mode;
            map.rowBytes = 2 * columnBytes;
            map.colBytes = columnBytes;
            map.planeBytes = sampleBytes;
            map.baseAddr = pixels.data();
            const Rect32 area{0, 0, 2, 2};
            answer = r.displayPixels(&map, &area, 3, 5, canvas.Dc());
            return 0;
        });
        EXPECT_EQ(answer, 0) << c.mode;
        EXPECT_EQ(canvas.At(5, 3), c.expected) << c.mode;
        EXPECT_EQ(canvas.At(6, 4), c.expected) << c.mode;
        EXPECT_EQ(canvas.At(4, 3), 0u) << c.mode;  // nothing outside the destination
    }
}

TEST(ColorServicesCallback, SamplesDocumentPixelsAndConvertsColours) {
    const Document document = Patterned(6, 6, ImageMode{ColorMode::RGB, 16});
    ColorServicesInfo sampled{}, converted{}, outside{};
    int16_t answers[3] = {-1, -1, -1};
    RunStart(OptionsFor(document), [&](FilterRecord& r) -> int16_t {
        Point16 point{2, 3};  // v, h
        sampled.infoSize = sizeof sampled;
        sampled.selector = kServiceSamplePoint;
        sampled.resultSpace = kSpaceRGB;
        sampled.selectorParameter.globalSamplePoint = &point;
        answers[0] = r.colorServices(&sampled);
        converted.selector = kServiceConvertColor;
        converted.sourceSpace = kSpaceRGB;
        converted.resultSpace = kSpaceCMYK;
        converted.colorComponents[0] = 255;
        answers[1] = r.colorServices(&converted);
        Point16 distant{100, 0};
        outside = sampled;
        outside.selectorParameter.globalSamplePoint = &distant;
        answers[2] = r.colorServices(&outside);
        return 0;
    });
    EXPECT_EQ(answers[0], 0);
    for (int p = 0; p < 3; ++p) EXPECT_EQ(sampled.colorComponents[p], Pattern(p, 3, 2)) << p;
    EXPECT_EQ(answers[1], 0);
    EXPECT_EQ(converted.colorComponents[0], 255);  // red: no cyan ink
    EXPECT_EQ(converted.colorComponents[1], 0);
    EXPECT_EQ(converted.colorComponents[3], 255);
    EXPECT_EQ(answers[2], -50);
}

TEST(HostProperties, AnswerThePackedVersionAndTheTitle) {
    HostOptions options = OptionsFor(Document(4, 4, ImageMode{}));
    options.hostVersion = (11u << 16) | (2u << 8) | 3u;
    options.inputPath = "C:\\Pictures\\holiday.png";
    intptr_t version = 0;
    std::string title;
    int16_t unknown = 0;
    RunStart(options, [&](FilterRecord& r) -> int16_t {
        r.propertyProcs->getProperty('8BIM', 'vers', 0, &version, nullptr);
        Handle titleHandle = nullptr;
        if (r.propertyProcs->getProperty('8BIM', 'titl', 0, nullptr, &titleHandle) == 0) {
            title.assign(*titleHandle, static_cast<size_t>(r.handleProcs->getSize(titleHandle)));
            r.handleProcs->disposeHandle(titleHandle);  // the caller owns it
        }
        unknown = r.propertyProcs->getProperty('8BIM', 'zzzz', 0, &version, nullptr);
        return 0;
    });
    EXPECT_EQ(version, 0x000B0203);
    EXPECT_EQ(title, "holiday.png");
    EXPECT_EQ(unknown, -50);
}

TEST(DocumentResources, AreAddedCountedReadAndRemoved) {
    int16_t counts[3] = {};
    std::string second;
    RunStart(OptionsFor(Document(4, 4, ImageMode{})), [&](FilterRecord& r) -> int16_t {
        for (const char* text : {"one", "two"}) {
            Handle h = r.handleProcs->newHandle(static_cast<int32_t>(std::strlen(text)));
            std::memcpy(*h, text, std::strlen(text));
            r.resourceProcs->add('qvxq', h);
            r.handleProcs->disposeHandle(h);
        }
        counts[0] = r.resourceProcs->count('qvxq');
        Handle got = r.resourceProcs->get('qvxq', 2);
        second.assign(*got, static_cast<size_t>(r.handleProcs->getSize(got)));
        r.handleProcs->disposeHandle(got);
        r.resourceProcs->remove('qvxq', 1);
        counts[1] = r.resourceProcs->count('qvxq');
        counts[2] = r.resourceProcs->get('qvxq', 2) == nullptr ? -1 : 1;
        return 0;
    });
    EXPECT_EQ(counts[0], 2);
    EXPECT_EQ(second, "two");
    EXPECT_EQ(counts[1], 1);
    EXPECT_EQ(counts[2], -1);
}

}  // namespace
