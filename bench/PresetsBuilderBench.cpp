// The presets builder's steps over a presets folder of 200 presets in five categories: each step
// runs in the host's idle time, so the longest one is what the user may feel. Figures for the
// first build (every preset imported) and for a rescan (every preset unchanged).
#include <windows.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "PresetsDatabaseBuilder.h"
#include "PropertyListFile.h"
#include "QVDatabase.h"
#include "Utf.h"

namespace {

constexpr int kPresets = 200;
constexpr const char* kCategories[] = {"Wedding", "Travel", "Classic", "Film", "Paper"};

struct StepFigures {
    std::array<double, PresetsDatabaseBuilder::kFinished + 1> longest{};
    std::array<int, PresetsDatabaseBuilder::kFinished + 1> steps{};
    double total = 0;
};

StepFigures Build(QVDatabase& library, const std::string& presets) {
    StepFigures figures;
    PresetsDatabaseBuilder builder(&library, "Presets", presets);
    while (!builder.Finished()) {
        const int32_t state = builder.GetState();
        const auto start = std::chrono::steady_clock::now();
        builder.Step();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        figures.longest[static_cast<size_t>(state)] = std::max(figures.longest[static_cast<size_t>(state)], ms);
        ++figures.steps[static_cast<size_t>(state)];
        figures.total += ms;
    }
    return figures;
}

void Print(const char* run, const StepFigures& figures) {
    const auto longest = std::max_element(figures.longest.begin(), figures.longest.end());
    std::printf("%s: %.1f ms in all; longest step %.2f ms (state %d)\n", run, figures.total, *longest,
                static_cast<int>(longest - figures.longest.begin()));
    for (size_t state = 0; state < figures.longest.size(); ++state) {
        if (figures.steps[state] == 0) continue;
        std::printf("  state %zu: %d steps, longest %.2f ms\n", state, figures.steps[state], figures.longest[state]);
    }
}

}  // namespace

int main() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path folder =
        std::filesystem::path(temp) / ("QuorvelPresetsBench-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    const std::string presets = Utf16ToUtf8((folder / L"Presets").wstring());
    int result = 0;
    {
        const std::vector<uint8_t> settings(4096, 0x2A);
        for (int n = 0; n < kPresets; ++n) {
            const char* category = kCategories[n % std::size(kCategories)];
            const std::string path = presets + "\\" + category + "\\Preset " + std::to_string(n) + ".qvo";
            FileSpec::CreateParentFolder(path);
            PropertyListFile preset(path);
            preset.SetString("Category", category);
            preset.SetInt("Favorite", n % 2);
            preset.SetInt("Rating", static_cast<uint32_t>(n % 6));
            preset.SetData("QuorvelSettings", settings);
            if (!preset.Save()) {
                std::printf("cannot write %s\n", path.c_str());
                return 1;
            }
        }
        QVPresetsDatabase library;
        if (library.OpenAt(Utf16ToUtf8((folder / L"QuorvelPresets.sdb").wstring()).c_str()) != 0) {
            std::printf("cannot open the library\n");
            return 1;
        }
        std::printf("presets builder over %d presets in %zu categories\n", kPresets, std::size(kCategories));
        Print("first build", Build(library, presets));
        Print("rescan, nothing changed", Build(library, presets));
        QVDatabaseRecordSet rows(&library, "Presets");
        rows.SelectAll(nullptr, nullptr, true, false);
        if (rows.Count() != kPresets) {
            std::printf("the library holds %d rows, not %d\n", rows.Count(), kPresets);
            result = 1;
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}
