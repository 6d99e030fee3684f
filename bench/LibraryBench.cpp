// The library's browse queries over 10,000 frame rows, and the insertion of those rows.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "QVDatabase.h"
#include "QVDatabaseRecord.h"
#include "QVDatabaseRecordSet.h"
#include "Utf.h"

namespace {

constexpr int kRows = 10000;
constexpr int kQueryRuns = 9;

double MillisecondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double MedianMillisecondsOf(const std::function<void()>& work) {
    std::vector<double> times;
    for (int run = 0; run < kQueryRuns; ++run) times.push_back(MillisecondsOf(work));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// A frame row as an import writes it: name, stored path, category, rating and a small thumbnail.
void SaveFrame(QVDatabase& db, int n, const std::vector<uint8_t>& thumbnail) {
    static const char* const kCategories[] = {"Grunge", "Classic", "Film", "Paper", "Brush"};
    const std::string name = "Frame " + std::to_string((n * 7919) % kRows) + (n % 3 ? " edge.frm" : " Border.FRM");
    QVFrameDatabaseRecord frame(&db);
    frame.SetText(1, name.c_str());
    frame.SetInteger(2, PathType::RelativePath);
    frame.SetText(3, ("Frames\\" + name).c_str());
    frame.SetText(4, kCategories[n % 5]);
    frame.SetBlob(7, thumbnail.data(), static_cast<uint32_t>(thumbnail.size()));
    frame.SetInteger(8, n % 6);
    frame.Save();
}

}  // namespace

int main() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path folder = std::filesystem::path(temp) / ("QuorvelLibraryBench-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    const std::string file = Utf16ToUtf8((folder / L"Quorvel.sdb").wstring());

    std::vector<uint8_t> thumbnail(32 + 128 * 96 * 3);
    for (size_t i = 0; i < thumbnail.size(); ++i) thumbnail[i] = static_cast<uint8_t>(i * 31);
    int result = 0;
    {
        QVDatabase db;
        if (db.OpenAt(file.c_str()) != 0) {
            std::printf("cannot open %s\n", file.c_str());
            return 1;
        }
        constexpr int kAutocommitRows = 200;
        const double autocommit = MillisecondsOf([&] {
            for (int n = 0; n < kAutocommitRows; ++n) SaveFrame(db, n, thumbnail);
        });
        const double batched = MillisecondsOf([&] {
            db.ExecDML("begin;");
            for (int n = kAutocommitRows; n < kRows; ++n) SaveFrame(db, n, thumbnail);
            db.ExecDML("commit;");
        });
        std::printf("insert, each record committed alone (%d rows): %.3f ms per row\n", kAutocommitRows,
                    autocommit / kAutocommitRows);
        std::printf("insert, all records in one transaction (%d rows): %.1f ms, %.3f ms per row\n", kRows - kAutocommitRows, batched,
                    batched / (kRows - kAutocommitRows));

        QVDatabaseRecordSet set(&db, "Frames");
        const double browse = MedianMillisecondsOf([&] { set.SelectAll("Filename", "Filename", true, true); });
        std::printf("browse: order by lower(Filename) over %d rows: %.2f ms (%d rows)\n", kRows, browse, set.Count());
        const double search = MedianMillisecondsOf([&] { set.SearchLike("Filename", "border", "Filename", nullptr, true); });
        std::printf("search: like '%%border%%' sorted by Filename: %.2f ms (%d rows)\n", search, set.Count());
        const double category = MedianMillisecondsOf(
            [&] { set.SelectEquals("Category", "'Film'", "lower(Filename)", "Filename", true); });
        std::printf("category: Category = 'Film' sorted by lower(Filename): %.2f ms (%d rows)\n", category, set.Count());
        if (set.Count() == 0) result = 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}
