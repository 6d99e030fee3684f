// The final pass of the framework's test filter over a 6000 x 4000 RGB 8-bit document through the
// stand-in host: seconds of the start call and the bytes the host moved, for a few host tile sizes.
#include <windows.h>

#include <cstdio>
#include <string>

#include "HostSession.h"
#include "Utf.h"

namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;
constexpr int kRuns = 3;

// The test filter lies beside this program.
std::string PluginPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    folder.resize(folder.find_last_of(L'\\') + 1);
    return Utf16ToUtf8(folder) + "FrameworkTestFilter.8bf";
}

qvhost::Document Patterned() {
    qvhost::Document document(kWidth, kHeight, qvhost::ImageMode{qvhost::ColorMode::RGB, 8});
    for (int p = 0; p < 3; ++p)
        for (int32_t y = 0; y < kHeight; ++y) {
            uint16_t* row = document.PlaneRow(p, y);
            for (int32_t x = 0; x < kWidth; ++x) row[x] = static_cast<uint16_t>((x * 13 + y * 7 + p * 61) & 0xFF);
        }
    return document;
}

}  // namespace

int main() {
    const qvhost::Document document = Patterned();
    std::printf("final pass of the test filter, %d x %d RGB 8-bit, best of %d runs\n", kWidth, kHeight, kRuns);
    std::printf("%10s %12s %14s %14s %12s\n", "host tile", "seconds", "MB delivered", "MB written", "advances");
    for (int32_t tile : {0, 256, 1024}) {
        double best = 1e30;
        qvhost::HostStatistics statistics;
        for (int run = 0; run < kRuns; ++run) {
            qvhost::HostOptions options;
            options.pluginPath = PluginPath();
            options.document = document;
            options.mode = document.Mode();
            options.filterCase = 4;  // the whole layer, no selection
            options.tile = tile;
            options.budget = int64_t{1} << 30;
            qvhost::HostSession session(options);
            const qvhost::HostRunResult result = session.Run();
            const qvhost::CallRecord* start = result.Find(kSelectorStart);
            if (!result.loaded || !start || start->result != 0) {
                std::printf("the run failed: %s\n", result.error.c_str());
                return 1;
            }
            if (start->milliseconds / 1000.0 < best) {
                best = start->milliseconds / 1000.0;
                statistics = session.Statistics();
            }
        }
        std::printf("%10d %12.3f %14.1f %14.1f %12lld\n", tile, best, statistics.bytesDelivered / 1e6,
                    statistics.bytesWrittenBack / 1e6, static_cast<long long>(statistics.advanceStateCalls));
    }
    return 0;
}
