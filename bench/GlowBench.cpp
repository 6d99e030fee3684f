// The glow at several sizes, against the blur of the same reach.
//
// 1. The glow pass's coverage filters alone, as a tile step runs them (spread, then the blur of
//    the default radiance, block by block where the coverage changes), over a 3000 x 2000
//    frame-like plane: milliseconds and nanoseconds per pixel, beside the blur alone at the same
//    radius. Sizes up to 25 px are the glow tab's; the larger ones show how the cost grows.
// 2. Whole renders of one ellipse with its glow through the stand-in host over a 1200 x 800 RGB
//    photo: seconds of the start call and the host's progress calls, at the tab's sizes and at
//    stored sizes far beyond them.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "HostCall.h"
#include "HostSession.h"
#include "PassCoverage.h"
#include "PropertyListFile.h"
#include "SettingsDefaults.h"
#include "SettingsLayout.h"
#include "Utf.h"
#include "Kernels.h"

namespace {

constexpr int32_t kPlaneWidth = 3000, kPlaneHeight = 2000;
constexpr int32_t kPhotoWidth = 1200, kPhotoHeight = 800;
constexpr int32_t kDefaultGlowBlurRadius = 12;  // radiance 5.0 x 2.4, rounded
constexpr int kRuns = 3;

// Rings of full coverage, soft edges and empty space, padded by `reach` on every side.
std::vector<uint8_t> FramePlane(int32_t reach) {
    const int32_t width = kPlaneWidth + 2 * reach, height = kPlaneHeight + 2 * reach;
    std::vector<uint8_t> plane(static_cast<size_t>(width) * height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const int32_t edge = std::min({x, y, width - 1 - x, height - 1 - y});
            const int32_t band = edge % 400;
            plane[static_cast<size_t>(y) * width + x] =
                static_cast<uint8_t>(band < 150 ? 255 : band < 160 ? 255 * (160 - band) / 10 : 0);
        }
    return plane;
}

// Best milliseconds of the spread (radius `spread`, 0 for none) then the blur (radius `blur`).
double CoverageMilliseconds(int32_t spread, int32_t blur) {
    const int32_t reach = spread + blur;
    const std::vector<uint8_t> source = FramePlane(reach);
    std::vector<uint8_t> plane(source.size());
    BufferRecord disc, gauss;
    if (spread > 0) ImageMakeDiscKernel(disc, spread);
    if (blur > 0) ImageMakeGaussKernel(gauss, blur);
    double best = 1e30;
    for (int run = 0; run < kRuns; ++run) {
        std::memcpy(plane.data(), source.data(), source.size());
        const auto start = std::chrono::steady_clock::now();
        Rect16 current{static_cast<int16_t>(-reach), static_cast<int16_t>(-reach),
                       static_cast<int16_t>(kPlaneHeight + reach), static_cast<int16_t>(kPlaneWidth + reach)};
        if (spread > 0) {
            current = WidenRect(current, PassMargins{spread, spread, -spread, -spread});
            SpreadContext context{&disc, spread};
            FilterChangingBlocks(spread, current, plane.data(), SpreadBlock, &context);
        }
        if (blur > 0) {
            current = WidenRect(current, PassMargins{blur, blur, -blur, -blur});
            FilterChangingBlocks(blur, current, plane.data(), BlurBlock, &gauss);
        }
        best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    disc.Free();
    gauss.Free();
    return best;
}

void CoverageRows() {
    std::printf("glow coverage filters over %d x %d, best of %d runs (then blur radius %d)\n", kPlaneWidth, kPlaneHeight,
                kRuns, kDefaultGlowBlurRadius);
    std::printf("%8s %14s %10s %16s %10s\n", "radius", "glow ms", "ns/px", "blur alone ms", "ns/px");
    const double pixels = double{kPlaneWidth} * kPlaneHeight;
    for (int32_t radius : {5, 10, 25, 50, 100, 200}) {
        const double glow = CoverageMilliseconds(radius, kDefaultGlowBlurRadius);
        const double blur = CoverageMilliseconds(0, radius);
        std::printf("%8d %14.1f %10.1f %16.1f %10.1f\n", radius, glow, glow * 1e6 / pixels, blur, blur * 1e6 / pixels);
    }
}

// ---- Whole renders

// The plug-in lies beside this program.
std::string BinaryPath(const char* name) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    folder.resize(folder.find_last_of(L'\\') + 1);
    return Utf16ToUtf8(folder) + name;
}

// One ellipse layer over the photo with its glow on at `size` (the stored width: 0.25 is the
// tab's 25 %).
bool WriteGlowPreset(float size, const std::string& path) {
    const int64_t length = ParameterBlockView::SizeFor(1, 0) + ParameterHeader::kRunTimePrefix;
    std::vector<uint8_t> bytes(static_cast<size_t>(length), 0);
    const ParameterBlockView block(bytes.data(), length);
    block.Block().Set(BlockLayout::kSize, static_cast<uint16_t>(ParameterBlockView::SizeFor(1, 0)));
    bytes[11] = 12;
    block.Block().Set(Field<uint32_t>{12}, 'qvxq');
    block.Block().Set(BlockLayout::kLayerCount, 1);
    SettingsResetBackgroundPlacement(block);
    SettingsDefaultLayerHead(block.Layer(0));
    SettingsInitLayerRecord(block.Layer(0), false);
    const RecordRef glow = EffectOf(block.Layer(0), EffectLayout::kGlow);
    glow.Set(EffectLayout::kOn, 1);
    glow.Set(EffectLayout::kSize, size);
    PropertyListFile file(path);
    const std::span<const uint8_t> settings(bytes.data() + ParameterHeader::kRunTimePrefix,
                                            bytes.size() - ParameterHeader::kRunTimePrefix);
    return file.HasDictionary() && file.SetFloat("PresetVersion", 1.0f) && file.SetInt("TargetLayerPos", 1u) &&
           file.SetData("QuorvelSettings", settings) && file.Save();
}

qvhost::Document Photo() {
    qvhost::Document document(kPhotoWidth, kPhotoHeight, qvhost::ImageMode{qvhost::ColorMode::RGB, 8});
    for (int p = 0; p < 3; ++p)
        for (int32_t y = 0; y < kPhotoHeight; ++y) {
            uint16_t* row = document.PlaneRow(p, y);
            for (int32_t x = 0; x < kPhotoWidth; ++x) row[x] = static_cast<uint16_t>((x * 13 + y * 7 + p * 61) & 0xFF);
        }
    return document;
}

bool RenderRows() {
    const qvhost::Document photo = Photo();
    const std::string preset = BinaryPath("glow-bench.qvo");
    std::printf("\none ellipse with its glow over a %d x %d RGB 8-bit photo, best of %d runs\n", kPhotoWidth,
                kPhotoHeight, kRuns);
    std::printf("%14s %12s %16s\n", "stored size", "seconds", "progress calls");
    for (float size : {0.0f, 0.05f, 0.10f, 0.25f, 2.0f, 5.0f, 10.0f, 1e6f}) {
        if (!WriteGlowPreset(size, preset)) {
            std::printf("the preset could not be written\n");
            return false;
        }
        double best = 1e30;
        int64_t progressCalls = 0;
        for (int run = 0; run < kRuns; ++run) {
            qvhost::HostOptions options;
            options.pluginPath = BinaryPath("Quorvel.8bf");
            options.document = photo;
            options.mode = photo.Mode();
            options.settingsIn = preset;
            qvhost::HostSession session(options);
            const qvhost::HostRunResult result = session.Run();
            const qvhost::CallRecord* start = result.Find(3);
            if (!result.loaded || !start || start->result != 0) {
                std::printf("the run failed: %s\n", result.error.c_str());
                return false;
            }
            best = std::min(best, start->milliseconds / 1000.0);
            progressCalls = session.Statistics().progressCalls;
        }
        std::printf("%14g %12.3f %16lld\n", size, best, static_cast<long long>(progressCalls));
    }
    return true;
}

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);  // rows show as they are measured
    {
        FilterRecord record{};
        const HostCallScope call(HostCall{.record = &record});
        CoverageRows();
    }
    return RenderRows() ? 0 : 1;
}
