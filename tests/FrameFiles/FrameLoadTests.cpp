// Loading frames into a layer's run-time state: single images and three-file sets, what the load
// keeps (buffers, layouts, border values), the failures and their alerts, copying a frame's files,
// and the sample frames of the repository.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "BigEndian.h"
#include "ImageFile.h"
#include "JpegFixtures.h"
#include "LayerState.h"
#include "Quorvel.h"
#include "TempFolder.h"
#include "Utf.h"

namespace {

// Captures the lines the automatic alert answers log while it lives.
class AlertCapture {
public:
    AlertCapture() {
        wchar_t folder[MAX_PATH], file[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        GetTempFileNameW(folder, L"qvf", 0, file);
        path_ = file;
        _putenv_s("QUORVEL_ALERT_LOG", Utf16ToUtf8(path_).c_str());
    }
    ~AlertCapture() {
        _putenv_s("QUORVEL_ALERT_LOG", "");
        DeleteFileW(path_.c_str());
    }
    std::string Text() const {
        const Bytes bytes = ReadBytes(Utf16ToUtf8(path_));
        return std::string(bytes.begin(), bytes.end());
    }

private:
    std::wstring path_;
};

// The bytes of one of the state's buffers, as laid out by its record.
Bytes BufferBytes(BufferRecord& buffer, const ImageInfo& layout) {
    const LockedBuffer pixels(buffer);
    if (!pixels) return {};
    const size_t size = static_cast<size_t>(int64_t{layout.bytesPerRow} * layout.Height());
    return Bytes(pixels.As<uint8_t>(), pixels.As<uint8_t>() + size);
}

uint8_t At(const Bytes& pixels, const ImageInfo& layout, int x, int y, int plane = 0) {
    return pixels.at(static_cast<size_t>(y) * layout.bytesPerRow + static_cast<size_t>(x) * layout.bytesPerPixel + plane);
}

bool HoldsNoImage(const LayerState& state) {
    for (const BufferRecord& buffer : state.imageBuffers)
        if (buffer.id) return false;
    return state.imagePlanes == 0;
}

// Blocks of 8 x 8 pixels of one value come back exactly from a JPEG at quality 100.
JpegImage Blocks(int columns, int rows, int components, uint8_t (*value)(int column, int row, int plane)) {
    return MakeImage(columns * 8, rows * 8, components, [value, components](int x, int y, uint8_t* p) {
        for (int c = 0; c < components; ++c) p[c] = value(x / 8, y / 8, c);
    });
}

class FrameLoadTest : public testing::Test {
protected:
    std::string Write(const std::string& name, const JpegImage& image) {
        const std::string path = folder_ / name;
        EXPECT_TRUE(WriteBytes(path, EncodeJpeg(image))) << path;
        return path;
    }
    static FileSpec Spec(const std::string& path) { return FileSpec::FromPath(path); }

    // A carved frame of 4 x 3 blocks: the colour image, the inner mask (dark over the opening
    // inside the wood) and the outer mask (dark beyond the wood's outline, here the corners).
    void WriteSet(const std::string& main, const std::string& first, const std::string& second, int columns = 4) {
        Write(main, Blocks(columns, 3, 3, [](int column, int row, int plane) {
                  return static_cast<uint8_t>(plane == 0 ? 150 + column * 10 : plane == 1 ? 90 + row * 20 : 40);
              }));
        Write(first, Blocks(columns, 3, 1, [](int column, int row, int) {
                  return static_cast<uint8_t>(row == 1 && column > 0 && column < 3 ? 0 : 255);
              }));
        Write(second, Blocks(columns, 3, 1, [](int column, int row, int) {
                  return static_cast<uint8_t>((column == 0 || column == 3) && (row == 0 || row == 2) ? 0 : 255);
              }));
    }

    // A JPEG whose header claims 32000 x 32000 pixels: three planes of it are more than a buffer
    // holds.
    void WriteHugeHeader(const std::string& name) {
        Bytes huge = EncodeJpeg(FlatImage(16, 16, {1, 2, 3}));
        for (size_t i = 2; i + 9 < huge.size(); ++i) {
            if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {  // the frame header: length, precision, height, width
                BigEndian::Write16(huge.data() + i + 5, 32000);
                BigEndian::Write16(huge.data() + i + 7, 32000);
                break;
            }
        }
        WriteBytes(folder_ / name, huge);
    }

    TempFolder folder_{"Quorvel Frame Loads"};
};

TEST_F(FrameLoadTest, ASingleImageLoadsGreyWithTheMeanOfItsBorder) {
    // The top half 251, the bottom half 10: the border's 60 pixels average 130.5, rounded up.
    const std::string path = Write("Split.jpg", Blocks(2, 2, 3, [](int, int row, int) {
                                       return static_cast<uint8_t>(row == 0 ? 251 : 10);
                                   }));
    LayerState state;
    ASSERT_EQ(Quorvel::LoadFrameImage(ColourContext{}, false, Spec(path), 0, state, true), 0);
    EXPECT_EQ(state.sourceKind, LayerState::kSingleImage);
    EXPECT_FALSE(state.loadFailed);
    EXPECT_TRUE(FileSpec::Equals(state.framePath, Spec(path)));
    EXPECT_EQ(state.imagePlanes, 1);
    EXPECT_EQ(state.frameInfo.mode, ImageInfo::kModeGrey);
    EXPECT_EQ(state.frameInfo.planes, 1);
    EXPECT_EQ(state.frameInfo.bytesPerRow, 16u);
    EXPECT_EQ(state.imageBounds.bottom, 16);
    EXPECT_EQ(state.imageBounds.right, 16);
    EXPECT_EQ(state.imagePolarity, 131);
    const Bytes pixels = BufferBytes(state.imageBuffers[LayerState::kFrameImage], state.frameInfo);
    ASSERT_EQ(pixels.size(), 256u);
    EXPECT_EQ(At(pixels, state.frameInfo, 3, 2), 251);
    EXPECT_EQ(At(pixels, state.frameInfo, 12, 13), 10);
    EXPECT_FALSE(state.imageBuffers[LayerState::kColourImage].id);
}

TEST_F(FrameLoadTest, TheBorderMeanOfAnAll255BorderIs255) {
    const std::string path = Write("Light.jpg", Blocks(4, 3, 1, [](int column, int row, int) {
                                       return static_cast<uint8_t>(column == 0 || column == 3 || row != 1 ? 255 : 0);
                                   }));
    LayerState state;
    ASSERT_EQ(Quorvel::LoadFrameImage(ColourContext{}, false, Spec(path), 0, state, true), 0);
    EXPECT_EQ(state.imagePolarity, 255);
}

TEST_F(FrameLoadTest, InHostModeASingleImageKeepsTheHostsColours) {
    const std::string path = Write("Colour.jpg", FlatImage(16, 8, {200, 100, 50}));
    struct Case {
        bool quiet;
        uint16_t planes;
    };
    // Outside a host call the host's mode is RGB; a quiet load keeps the file's own layout.
    for (const Case& c : {Case{false, 3}, Case{true, 3}}) {
        LayerState state;
        ASSERT_EQ(Quorvel::LoadFrameImage(ColourContext{}, true, Spec(path), 0, state, c.quiet), 0);
        EXPECT_EQ(state.imagePlanes, c.planes);
        EXPECT_EQ(state.frameInfo.mode, ImageInfo::kModeRGB);
        const Bytes pixels = BufferBytes(state.imageBuffers[LayerState::kFrameImage], state.frameInfo);
        EXPECT_NEAR(At(pixels, state.frameInfo, 5, 5, 0), 200, 1);
        EXPECT_NEAR(At(pixels, state.frameInfo, 5, 5, 2), 50, 1);
    }
}

TEST_F(FrameLoadTest, AThreeFileSetKeepsItsColourItsMasksAndTheirCoverage) {
    WriteSet("Carved.FRR", "Carved.FRI", "Carved.FRO");
    LayerState state;
    ASSERT_EQ(Quorvel::LoadFrameImage(ColourContext{}, false, Spec(folder_ / "Carved.FRR"), 0, state, false), 0);
    EXPECT_EQ(state.sourceKind, LayerState::kThreePart);
    EXPECT_EQ(state.imagePlanes, 1);
    EXPECT_EQ(state.colourPlanes, 3);
    EXPECT_EQ(state.partInfo[0].mode, ImageInfo::kModeRGB);
    EXPECT_EQ(state.partInfo[1].mode, ImageInfo::kModeGrey);
    EXPECT_EQ(state.partInfo[2].planes, 1);
    EXPECT_EQ(state.imageBounds.right, 32);
    EXPECT_EQ(state.imageBounds.bottom, 24);

    const Bytes colour = BufferBytes(state.imageBuffers[LayerState::kColourImage], state.partInfo[0]);
    EXPECT_NEAR(At(colour, state.partInfo[0], 20, 12, 0), 170, 1);
    EXPECT_NEAR(At(colour, state.partInfo[0], 20, 12, 1), 110, 1);
    const Bytes inner = BufferBytes(state.imageBuffers[LayerState::kInnerMask], state.partInfo[1]);
    const Bytes outer = BufferBytes(state.imageBuffers[LayerState::kOuterMask], state.partInfo[2]);
    EXPECT_EQ(At(inner, state.partInfo[1], 12, 12), 0);
    EXPECT_EQ(At(outer, state.partInfo[2], 0, 0), 0);
    // Dark where both masks are light (the wood), light over the opening and beyond the outline.
    const Bytes coverage = BufferBytes(state.imageBuffers[LayerState::kFrameImage], state.frameInfo);
    EXPECT_EQ(At(coverage, state.frameInfo, 12, 2), 0);
    EXPECT_EQ(At(coverage, state.frameInfo, 12, 12), 255);
    EXPECT_EQ(At(coverage, state.frameInfo, 1, 1), 255);

    EXPECT_EQ(state.imagePolarity, LayerState::kNoBorderValue);
    EXPECT_EQ(state.innerFill, LayerState::kNoBorderValue);
    EXPECT_EQ(state.outerFill, 0);
    // Red rises 10 a column block (150..180), green 20 a row block (90..130): over the border's
    // 108 pixels (two rows of 32, two columns of 22) their means are 165 and 110.
    EXPECT_NEAR(state.colourFill[0], 165, 1);
    EXPECT_NEAR(state.colourFill[1], 110, 1);
    EXPECT_NEAR(state.colourFill[2], 40, 1);
}

TEST_F(FrameLoadTest, JpgCompanionsMakeASetUnlessAThirdIsThere) {
    WriteSet("Mat.jpg", "Mat.jp2", "Mat.jp1");
    LayerState state;
    ASSERT_EQ(Quorvel::LoadFrameImage(ColourContext{}, false, Spec(folder_ / "Mat.jpg"), 0, state, true), 0);
    EXPECT_EQ(state.sourceKind, LayerState::kThreePart);
    // The first companion (.JP2) is the inner mask.
    const Bytes inner = BufferBytes(state.imageBuffers[LayerState::kInnerMask], state.partInfo[1]);
    EXPECT_EQ(At(inner, state.partInfo[1], 12, 12), 0);

    Write("Mat.jp3", FlatImage(8, 8, {0}));
    LayerState single;
    ASSERT_EQ(Quorvel::LoadFrameImage(ColourContext{}, false, Spec(folder_ / "Mat.jpg"), 0, single, true), 0);
    EXPECT_EQ(single.sourceKind, LayerState::kSingleImage);
    EXPECT_EQ(single.imagePlanes, 1);
    EXPECT_FALSE(single.imageBuffers[LayerState::kInnerMask].id);
}

TEST_F(FrameLoadTest, AFailedLoadKeepsNothingAndSaysWhy) {
    WriteSet("Odd.FRR", "Odd.FRI", "Odd.FRO");
    WriteSet("Wide.FRR", "Wide.FRI", "Wide.FRO");
    Write("Wide.FRO", Blocks(5, 3, 1, [](int, int, int) { return uint8_t{255}; }));  // a column wider
    WriteSet("Lone.FRR", "Lone.FRI", "Lone.FRO");
    DeleteFileW(Utf8ToUtf16(folder_ / "Lone.FRO").c_str());
    const Bytes half = EncodeJpeg(FlatImage(64, 64, {9, 9, 9}));
    WriteBytes(folder_ / "Half.jpg", Bytes(half.begin(), half.begin() + half.size() / 2));
    WriteHugeHeader("Huge.jpg");

    struct Case {
        const char* name;
        bool inHostMode;
        ErrorCode code;
        const char* alert;
    };
    const Case cases[] = {
        {"Wide.FRR", false, Err::ImageNotParsable, "alert 16003 answered 1: Could not load the frame image \"Wide.FRR.\""},
        {"Lone.FRR", false, Err::FileMissing, "alert 16003 answered 1: Could not load the frame image \"Lone.FRR.\""},
        {"Half.jpg", false, Err::ImageNotParsable, "alert 16003"},
        {"Gone.jpg", false, Err::FileMissing, "alert 16003"},
        {"Huge.jpg", true, Err::MemoryFull,
         "alert 16002 answered 1: Could not load the frame image \"Huge.jpg.\" The memory is full."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LayerState state;
        ASSERT_EQ(Quorvel::LoadFrameImage(ColourContext{}, false, Spec(folder_ / "Odd.FRR"), 0, state, true), 0);
        AlertCapture alerts;
        EXPECT_EQ(Quorvel::LoadFrameImage(ColourContext{}, c.inHostMode, Spec(folder_ / c.name), 0, state, false), c.code);
        EXPECT_TRUE(state.loadFailed);
        EXPECT_TRUE(HoldsNoImage(state));
        EXPECT_TRUE(FileSpec::Equals(state.framePath, Spec(folder_ / c.name)));
        EXPECT_NE(alerts.Text().find(c.alert), std::string::npos) << alerts.Text();
    }
}

TEST_F(FrameLoadTest, SilencedFrameAlertsStillTellOfMemory) {
    WriteHugeHeader("Huge.jpg");
    AlertCapture alerts;
    LayerState state;
    Quorvel::SilenceFrameAlerts(true);
    EXPECT_EQ(Quorvel::LoadFrameImage(ColourContext{}, false, Spec(folder_ / "Missing.jpg"), 0, state, false), Err::FileMissing);
    EXPECT_EQ(alerts.Text(), "");
    EXPECT_EQ(Quorvel::LoadFrameImage(ColourContext{}, true, Spec(folder_ / "Huge.jpg"), 0, state, false), Err::MemoryFull);
    Quorvel::SilenceFrameAlerts(false);
    EXPECT_EQ(alerts.Text().rfind("alert 16002", 0), 0u) << alerts.Text();
}

TEST_F(FrameLoadTest, TheFileTypeComesFromTheCallerOrTheName) {
    const std::string path = Write("Frame.dat", FlatImage(8, 8, {128}));
    LayerState state;
    EXPECT_EQ(Quorvel::LoadFrameImage(ColourContext{}, false, Spec(path), 0, state, true), Err::UnsupportedImageType);
    EXPECT_EQ(Quorvel::LoadFrameImage(ColourContext{}, false, Spec(path), '.JPG', state, true), 0);
    EXPECT_EQ(Quorvel::LoadFrameImage(ColourContext{}, false, FileSpec::FromResource('JPEG', 1), 0, state, true), Err::FileIO);
}

TEST_F(FrameLoadTest, CopyingAFrameTakesItsCompanionsAlong) {
    WriteSet("Carved.FRR", "Carved.FRI", "Carved.FRO");
    Write("Plain.jpg", FlatImage(8, 8, {1}));
    TempFolder destination("Quorvel Copied Frames");
    struct Case {
        const char* name;
        std::vector<const char*> copied;
    };
    const Case cases[] = {{"Carved.FRR", {"Carved.FRR", "Carved.FRI", "Carved.FRO"}}, {"Plain.jpg", {"Plain.jpg"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileSpec copied;
        ASSERT_EQ(Quorvel::CopyFrameFileSet(Spec(folder_ / c.name), 0, destination.Path(), copied), 0);
        EXPECT_EQ(std::string(copied.Text()), destination / c.name);
        for (const char* name : c.copied) {
            EXPECT_EQ(ReadBytes(destination / name), ReadBytes(folder_ / name)) << name;
        }
    }
    EXPECT_FALSE(FileExists(destination / "Plain.jp1"));

    FileSpec untouched = FileSpec::FromPath("C:\\kept");
    EXPECT_EQ(Quorvel::CopyFrameFileSet(Spec(folder_ / "Carved.FRR"), 0, "", untouched), 0);
    EXPECT_EQ(std::string(untouched.Text()), "C:\\kept");

    DeleteFileW(Utf8ToUtf16(folder_ / "Carved.FRI").c_str());
    TempFolder other("Quorvel Copied Frames");
    EXPECT_EQ(Quorvel::CopyFrameFileSet(Spec(folder_ / "Carved.FRR"), 0, other.Path(), untouched), Err::FileMissing);
    EXPECT_FALSE(FileExists(other / "Carved.FRO"));
    EXPECT_FALSE(FileExists(other / "Carved.FRR"));
}

// The repository's sample frames, made by scripts/make-sample-frames.py.
std::string SampleFrames() {
    const char* source = std::getenv("QUORVEL_SOURCE");
    std::string path = std::string("Z:") + (source ? source : "") + "/samples/frames";
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

TEST(SampleFrames, EachLoadsAsTheFrameItIs) {
    const std::string folder = SampleFrames();
    struct Case {
        const char* name;
        uint32_t kind;
        bool darkBorder;
    };
    const Case cases[] = {
        {"Oval Mat.jpg", LayerState::kSingleImage, true},
        {"Carved.FRR", LayerState::kThreePart, false},
        {"Deckle.AFX", LayerState::kSingleImage, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AlertCapture alerts;
        LayerState state;
        const FileSpec spec = FileSpec::FromPath(folder + "\\" + c.name);
        ASSERT_EQ(Quorvel::LoadFrameImage(ColourContext{}, false, spec, 0, state, false), 0);
        EXPECT_EQ(alerts.Text(), "");
        EXPECT_EQ(state.sourceKind, c.kind);
        const Bytes coverage = BufferBytes(state.imageBuffers[LayerState::kFrameImage], state.frameInfo);
        const int32_t width = state.frameInfo.Width(), height = state.frameInfo.Height();
        EXPECT_GE(width, 200);
        // Light in the middle, where the photo shows; the frame is dark round it.
        EXPECT_GT(At(coverage, state.frameInfo, width / 2, height / 2), 200);
        EXPECT_LT(At(coverage, state.frameInfo, width / 2, 4), 60);
        if (c.darkBorder) {
            EXPECT_LT(state.imagePolarity, 60);
        }
    }
    ImageFile container(FileSpec::FromPath(folder + "\\Deckle.AFX"), 0);
    ImageInfo thumbnail;
    ASSERT_EQ(ReadJpegHeader(container, &thumbnail, kThumbnailImage, nullptr), 0);
    EXPECT_TRUE(container.ThumbnailFound());
    EXPECT_LE(thumbnail.Width(), 256);
    EXPECT_LE(thumbnail.Height(), 256);
}

}  // namespace
