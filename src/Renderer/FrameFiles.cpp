// Frame files: a frame is one image file, or a set of three files that share a base name (a colour
// image and two masks). Loading decodes them into a layer's run-time state in the layouts the
// renderer reads and measures the values its images take beyond their bounds; copying takes a
// frame's files, companions included, into another folder.
#include <windows.h>

#include <algorithm>
#include <array>
#include <new>
#include <string>

#include "Errors.h"
#include "File.h"
#include "ImageFile.h"
#include "ImageModes.h"
#include "LayerState.h"
#include "PreviewOwner.h"
#include "Quorvel.h"

namespace {

constexpr int16_t kFrameMemoryAlert = 16002;  // "... The memory is full. Please choose a smaller image."
constexpr int16_t kFrameFileAlert = 16003;    // "... The disk, CD, or server may be off-line, ..."

bool gFrameAlertsSilenced = false;

// A frame's files: the main file and, for a three-file frame, its two companions (each the main
// file's full path with the last character replaced).
struct FrameSet {
    uint32_t kind = LayerState::kSingleImage;
    std::string main;
    std::string first;   // the inner mask: .FRI, .JP2
    std::string second;  // the outer mask: .FRO, .JP1

    int FileCount() const { return kind == LayerState::kThreePart ? 3 : 1; }
    const std::string& Path(int i) const { return i == 0 ? main : i == 1 ? first : second; }
};

std::string WithLastCharacter(const std::string& path, char last) {
    std::string companion = path;
    if (!companion.empty()) companion.back() = last;
    return companion;
}

bool Exists(const std::string& path) {
    File file(FileSpec::FromPath(path), 0);
    return file.VerifyExists() == 0;
}

bool IsOfType(uint32_t typeCode, const std::string& path, uint32_t code) {
    return (typeCode & FileTypeList::kCodeMask) == code || FileSpec::ExtensionCode(path) == code;
}

// Which files make the frame its file spec names: .FRR with .FRI and .FRO; .JPG with .JP2 and .JP1 when
// both are there and no .JP3 is; anything else alone. A resource item names no file on disk
// (20002); a relative file spec is made absolute against the frame library (-108 when it does not fit).
ErrorCode DecideFrameSet(const FileSpec& spec, uint32_t typeCode, FrameSet& set) {
    if (spec.GetKind() == FileSpec::Kind::Resource) return Err::FileIO;
    FileSpec absolute = spec;
    if (const ErrorCode error = absolute.ToAbsolute(FrameLibraryFolder())) return error;
    set = FrameSet{};
    set.main = std::string(absolute.Text());
    if (set.main.empty()) return Err::FileMissing;
    if (IsOfType(typeCode, set.main, '.FRR')) {
        set.kind = LayerState::kThreePart;
        set.first = WithLastCharacter(set.main, 'i');
        set.second = WithLastCharacter(set.main, 'o');
    } else if (IsOfType(typeCode, set.main, '.JPG')) {
        const std::string first = WithLastCharacter(set.main, '2'), second = WithLastCharacter(set.main, '1');
        if (Exists(first) && Exists(second) && !Exists(WithLastCharacter(set.main, '3'))) {
            set.kind = LayerState::kThreePart;
            set.first = first;
            set.second = second;
        }
    }
    return 0;
}

// The mode frame images are decoded in for the host: its document mode's 8-bit form (frame images
// are 8-bit), RGB without a document.
int16_t HostImageMode(const ColourContext& host) {
    const ImageModeInfo* mode = host.documentMode >= 0 ? FindImageMode(host.documentMode) : nullptr;
    return mode ? mode->eightBitMode : static_cast<int16_t>(ImageInfo::kModeRGB);
}

// The file's image in mode with planes colour planes, one byte each, rows packed.
ImageInfo LayoutIn(const ImageInfo& image, uint16_t mode, uint16_t planes) {
    ImageInfo wanted = image;
    wanted.mode = mode;
    wanted.planes = planes;
    wanted.bytesPerPixel = planes;
    wanted.bytesPerRow = static_cast<uint32_t>(image.Width()) * planes;
    return wanted;
}

ImageInfo GreyLayout(const ImageInfo& image) { return LayoutIn(image, ImageInfo::kModeGrey, 1); }

// The host's mode and its planes: 17404 for a mode that has no colour planes to decode into.
ErrorCode HostLayout(const ColourContext& host, const ImageInfo& image, ImageInfo& wanted) {
    const int16_t mode = HostImageMode(host);
    const int16_t planes = ColourPlanesOfMode(mode);
    if (planes <= 0) return Err::ImageNotDecodable;
    wanted = LayoutIn(image, static_cast<uint16_t>(mode), static_cast<uint16_t>(planes));
    return 0;
}

// Allocates buffer for the file's wanted layout (its record) and decodes the image into it.
ErrorCode DecodeInto(const ColourContext& host, ImageFile& file, BufferRecord& buffer, bool quiet) {
    const ImageInfo& wanted = file.Info();
    const int64_t bytes = int64_t{wanted.bytesPerRow} * wanted.Height();
    if (bytes <= 0) return Err::ImageNotParsable;
    if (const ErrorCode error = buffer.Allocate(bytes)) return error;
    const LockedBuffer pixels(buffer);
    if (!pixels) return Err::MemoryFull;
    return ReadJpegPixels(file, pixels.As<uint8_t>(), nullptr, kMainImage, quiet, host.services);
}

// ---- Per-pixel rules

// A three-file frame's coverage from its masks as stored: dark where both are light (the frame),
// light where either is dark (the inside the frame surrounds, or what lies beyond its outline).
inline uint8_t CoverageOfMasks(uint8_t inner, uint8_t outer) {
    return static_cast<uint8_t>(std::min(255, 510 - int{inner} - int{outer}));
}

// The rounded mean of one plane over an image's border: its first and last rows and, for the rows
// between, their first and last pixels, each pixel counted once.
uint8_t BorderMean(const uint8_t* pixels, const ImageInfo& layout, int plane) {
    const int64_t width = layout.Width(), height = layout.Height();
    const auto at = [&](int64_t x, int64_t y) {
        return uint64_t{pixels[y * layout.bytesPerRow + x * layout.bytesPerPixel + plane]};
    };
    uint64_t sum = 0, count = 0;
    for (int64_t y = 0; y < height; ++y) {
        const bool edgeRow = y == 0 || y == height - 1;
        if (edgeRow) {
            for (int64_t x = 0; x < width; ++x) sum += at(x, y);
            count += static_cast<uint64_t>(width);
        } else {
            sum += at(0, y);
            ++count;
            if (width > 1) {
                sum += at(width - 1, y);
                ++count;
            }
        }
    }
    return count ? static_cast<uint8_t>((sum + count / 2) / count) : 0;
}

void FillCoverage(const uint8_t* inner, const uint8_t* outer, uint8_t* coverage, int64_t count) {
    for (int64_t i = 0; i < count; ++i) coverage[i] = CoverageOfMasks(inner[i], outer[i]);
}

// ---- The load

void ForgetImages(LayerState& state) {
    for (auto buffer = state.imageBuffers.rbegin(); buffer != state.imageBuffers.rend(); ++buffer) buffer->Free();
    state.imagePlanes = 0;
    state.imageBounds = {};
}

ErrorCode LoadSingleImage(const ColourContext& host, bool inHostMode, ImageFile& file, LayerState& state, bool quiet) {
    const ImageInfo image = file.Info();
    ImageInfo wanted = image;
    if (!inHostMode) {
        wanted = GreyLayout(image);
    } else if (!quiet) {
        if (const ErrorCode error = HostLayout(host, image, wanted)) return error;
    }
    file.SetInfo(wanted);
    if (const ErrorCode error = DecodeInto(host, file, state.imageBuffers[LayerState::kFrameImage], quiet)) return error;
    state.frameInfo = wanted;
    state.imagePlanes = wanted.planes;
    state.imageBounds = wanted.bounds;
    if (!inHostMode) {
        const LockedBuffer pixels(state.imageBuffers[LayerState::kFrameImage]);
        state.imagePolarity = BorderMean(pixels.As<uint8_t>(), wanted, 0);
    }
    return 0;
}

ErrorCode LoadThreePartImage(const ColourContext& host, bool inHostMode, std::array<ImageFile, 3>& files,
                             LayerState& state, bool quiet) {
    const ImageInfo colour = files[0].Info();
    // The masks cover the colour image pixel for pixel: a set whose images differ is not a frame.
    for (int i = 1; i < 3; ++i) {
        if (files[i].Info().Width() != colour.Width() || files[i].Info().Height() != colour.Height()) {
            return Err::ImageNotParsable;
        }
    }
    ImageInfo colourWanted = colour;
    if (!quiet) {
        if (const ErrorCode error = HostLayout(host, colour, colourWanted)) return error;
    }
    files[0].SetInfo(colourWanted);
    files[1].SetInfo(GreyLayout(files[1].Info()));
    files[2].SetInfo(GreyLayout(files[2].Info()));
    constexpr int kBufferOf[3] = {LayerState::kColourImage, LayerState::kInnerMask, LayerState::kOuterMask};
    for (int i = 0; i < 3; ++i) {
        if (const ErrorCode error = DecodeInto(host, files[i], state.imageBuffers[kBufferOf[i]], quiet)) return error;
        state.partInfo[i] = files[i].Info();
    }
    const ImageInfo coverage = GreyLayout(colour);
    const int64_t pixels = int64_t{coverage.bytesPerRow} * coverage.Height();
    BufferRecord& frame = state.imageBuffers[LayerState::kFrameImage];
    if (const ErrorCode error = frame.Allocate(pixels)) return error;
    {
        const LockedBuffer inner(state.imageBuffers[LayerState::kInnerMask]);
        const LockedBuffer outer(state.imageBuffers[LayerState::kOuterMask]);
        const LockedBuffer out(frame);
        if (!inner || !outer || !out) return Err::MemoryFull;
        FillCoverage(inner.As<uint8_t>(), outer.As<uint8_t>(), out.As<uint8_t>(), pixels);
    }
    state.frameInfo = coverage;
    state.imagePlanes = 1;
    state.imageBounds = coverage.bounds;
    state.colourPlanes = colourWanted.planes;
    if (!inHostMode) {
        state.imagePolarity = LayerState::kNoBorderValue;
        state.innerFill = LayerState::kNoBorderValue;
        state.outerFill = 0;
        const LockedBuffer pixels(state.imageBuffers[LayerState::kColourImage]);
        const int planes = std::min<int>(colourWanted.planes, static_cast<int>(state.colourFill.size()));
        for (int p = 0; p < planes; ++p) state.colourFill[p] = BorderMean(pixels.As<uint8_t>(), colourWanted, p);
    }
    return 0;
}

ErrorCode LoadFrame(const ColourContext& host, bool inHostMode, const FileSpec& spec, uint32_t typeCode,
                    LayerState& state, bool quiet) {
    FrameSet set;
    const ErrorCode decided = DecideFrameSet(spec, typeCode, set);
    ForgetImages(state);
    state.ForgetFrame();
    state.sourceKind = set.kind;
    state.framePath = spec;
    if (decided) return decided;

    std::array<ImageFile, 3> files;
    for (int i = 0; i < set.FileCount(); ++i) {
        files[i].SetSpec(FileSpec::FromPath(set.Path(i)));
        // The main file's type is the caller's; the companions go by their names.
        if (i == 0) files[i].SetTypeCode(typeCode & FileTypeList::kCodeMask);
        if (const ErrorCode error = files[i].VerifyExists()) return error;
    }
    for (int i = 0; i < set.FileCount(); ++i) {
        if (const ErrorCode error = files[i].ReadImageInfo(nullptr)) return error;
    }
    return set.kind == LayerState::kThreePart ? LoadThreePartImage(host, inHostMode, files, state, quiet)
                                              : LoadSingleImage(host, inHostMode, files[0], state, quiet);
}

void ShowFrameAlert(const FileSpec& spec, ErrorCode error) {
    const bool memory = error == Err::MemoryFull;
    if (!memory && gFrameAlertsSilenced) return;
    std::string name;
    spec.GetName(name);
    try {
        RunModalDialog(nullptr, memory ? kFrameMemoryAlert : kFrameFileAlert, name.c_str(), nullptr);
    } catch (const ErrorCodeException&) {
        // An alert that cannot be shown changes nothing about the load's result.
    }
}

}  // namespace

void Quorvel::SilenceFrameAlerts(bool silenced) { gFrameAlertsSilenced = silenced; }

ErrorCode Quorvel::LoadFrameImage(const ColourContext& host, bool inHostMode, const FileSpec& spec, uint32_t typeCode,
                                  LayerState& state, bool quiet) {
    ErrorCode error = 0;
    try {
        error = LoadFrame(host, inHostMode, spec, typeCode, state, quiet);
    } catch (const ErrorCodeException& e) {
        error = e.code;
    } catch (const std::bad_alloc&) {
        error = Err::MemoryFull;
    }
    if (error) {
        if (!quiet) ShowFrameAlert(spec, error);
        // A failed load keeps no pixels: the renderer never draws a part of a frame.
        ForgetImages(state);
        state.loadFailed = true;
    }
    return error;
}

ErrorCode Quorvel::CopyFrameFileSet(const FileSpec& spec, uint32_t typeCode, std::string_view folder,
                                    FileSpec& newPath) {
    if (folder.empty()) return 0;
    FrameSet set;
    if (const ErrorCode error = DecideFrameSet(spec, typeCode, set)) return error;
    for (int i = 0; i < set.FileCount(); ++i) {
        if (!Exists(set.Path(i))) return Err::FileMissing;
    }
    // The companions first: a main file in the folder means its set is complete.
    constexpr int kCopyOrder[3] = {1, 2, 0};
    for (const int i : kCopyOrder) {
        if (i >= set.FileCount()) continue;
        if (const uint32_t failure = FileSpec::FromPath(set.Path(i)).CopyToFolder(folder)) {
            // A system error number; one beyond the 16-bit codes reads as a failure all the same.
            return static_cast<ErrorCode>(std::min<uint32_t>(failure, Err::GenericFailure));
        }
    }
    newPath = FileSpec::FromPath(FileSpec::JoinPath(folder, set.main.substr(FileSpec::NameOffset(set.main))));
    return newPath.IsEmpty() ? Err::MemoryFull : 0;
}
