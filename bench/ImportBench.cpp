// The frame importer's throughput: 40 colour JPEG frames of 2000 x 1500, written at start, imported
// into a fresh frames library with their thumbnails and previews.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "FramesDatabaseHelper.h"
#include "JpegFixtures.h"
#include "QVDatabase.h"
#include "Utf.h"

namespace {

constexpr int kFrames = 40;
constexpr int kWidth = 2000;
constexpr int kHeight = 1500;

// A frame with detail in every block, so that the decoder does its full work.
JpegImage FrameImage(int seed) {
    JpegImage image = MakeImage(kWidth, kHeight, 3, [seed](int x, int y, uint8_t* pixel) {
        pixel[0] = static_cast<uint8_t>(x + seed);
        pixel[1] = static_cast<uint8_t>(y * 3);
        pixel[2] = static_cast<uint8_t>((x ^ y) + seed * 7);
    });
    image.quality = 90;
    return image;
}

}  // namespace

int main() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path folder =
        std::filesystem::path(temp) / ("QuorvelImportBench-" + std::to_string(GetCurrentProcessId()));
    const std::filesystem::path frames = folder / L"in";
    std::filesystem::create_directories(frames);
    int result = 0;
    {
        for (int n = 0; n < kFrames; ++n) {
            const std::string path = Utf16ToUtf8((frames / ("Frame " + std::to_string(n) + ".jpg")).wstring());
            if (!WriteBytes(path, EncodeJpeg(FrameImage(n)))) {
                std::fprintf(stderr, "could not write %s\n", path.c_str());
                result = 1;
            }
        }
        QVDatabase db;
        if (result == 0 && db.OpenAt(Utf16ToUtf8((folder / L"Quorvel.sdb").wstring()).c_str()) != 0) {
            std::fprintf(stderr, "could not open the library\n");
            result = 1;
        }
        if (result == 0) {
            FramesDatabaseHelper helper(&db, "Frames");
            const auto start = std::chrono::steady_clock::now();
            const int32_t imported =
                helper.ImportFolder({FileSpec::FromPath(Utf16ToUtf8(frames.wstring()))}, false);
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::printf("import of %d frames of %d x %d: %d imported in %.2f s, %.2f frames per second\n", kFrames,
                        kWidth, kHeight, imported, seconds, seconds > 0 ? imported / seconds : 0.0);
            if (imported != kFrames) result = 1;
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}
