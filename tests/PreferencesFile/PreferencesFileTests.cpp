#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "BigEndian.h"
#include "ErrorCodes.h"
#include "PreferenceSettings.h"
#include "PreferencesFile.h"
#include "PropertyListFile.h"
#include "TempFolder.h"
#include "Utf.h"
#include "VantrelFileUtils.h"

namespace {

using PreferencesFile::Context;
using PreferencesFile::LibraryCheck;

constexpr char kLastLibrary[] = "C:\\Bibliothèque Ω\\Quorvel.sdb";
constexpr char kDefaultLibrary[] = "C:\\Default\\Quorvel.sdb";

// Records every alert and answers each with `answer`.
struct AlertRecorder {
    std::vector<std::pair<ErrorCode, std::string>> shown;
    int answer = 1;
    PreferencesFile::AlertFunction Function() {
        return [this](ErrorCode id, const std::string& text) {
            shown.emplace_back(id, text);
            return answer;
        };
    }
    std::vector<ErrorCode> Ids() const {
        std::vector<ErrorCode> ids;
        for (const auto& alert : shown) ids.push_back(alert.first);
        return ids;
    }
};

struct Fixture {
    TempFolder folder{"Quorvel Préférences Ω"};
    PreferenceSettings settings{};
    AlertRecorder alerts;

    // A context over a preferences file in the temporary application-data folder, whose library
    // location was last kLastLibrary.
    Context MakeContext() {
        Context context;
        context.path = folder / "Quorvel 4.6.prf";
        context.settings = &settings;
        context.libraryPath = kLastLibrary;
        context.defaultLibraryPath = kDefaultLibrary;
        context.alert = alerts.Function();
        return context;
    }
};

PreferenceSettings Defaults() {
    PreferenceSettings defaults;
    SetDefaultPreferences(defaults);
    return defaults;
}

bool SameRecord(const PreferenceSettings& a, const PreferenceSettings& b) {
    return std::memcmp(a.bytes, b.bytes, PreferenceSettings::kSize) == 0;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    ReadWholeFile(path, bytes);
    return bytes;
}

void WriteBytes(const std::string& path, std::string_view bytes) {
    UniqueFileStream stream = OpenFileUtf8(path, "wb");
    ASSERT_TRUE(stream);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), stream.get()), bytes.size());
}

// A record with the header of this version and every other byte a pattern, so that a byte moved,
// dropped or defaulted shows.
std::vector<uint8_t> PatternRecord(size_t length = PreferenceSettings::kSize) {
    std::vector<uint8_t> record(length);
    for (size_t i = 0; i < length; ++i) record[i] = static_cast<uint8_t>(i * 7 + 3);
    if (length >= 8) {
        BigEndian::Write16(record.data(), PreferenceSettings::kSize);
        record[2] = 0;
        record[3] = 0;
        BigEndian::Write32(record.data() + 4, PreferenceSettings::kSignature);
    }
    return record;
}

// A property list written by the system's own writer with the given record and location.
std::string PropertyListText(const std::vector<uint8_t>* record, const char* libraryPath, const std::string& scratch) {
    PropertyListFile list;
    if (record) list.SetData(PreferencesFile::kSettingsKey, *record);
    if (libraryPath) list.SetString(PreferencesFile::kLibraryPathKey, libraryPath);
    const auto url = cf::FileUrl::FromFileSystemPath(scratch);
    EXPECT_TRUE(url && list.Save(*url));
    const std::vector<uint8_t> bytes = ReadBytes(scratch);
    DeleteFileW(Utf8ToUtf16(scratch).c_str());
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(PreferencesFile, RecordAndLibraryPathRoundTripByteForByte) {
    Fixture fixture;
    const std::vector<uint8_t> pattern = PatternRecord();
    std::memcpy(fixture.settings.bytes, pattern.data(), pattern.size());
    Context saved = fixture.MakeContext();
    saved.libraryPath = "D:\\Cadres Ω\\Quorvel.sdb";
    ASSERT_TRUE(PreferencesFile::Save(saved));
    const std::vector<uint8_t> firstFile = ReadBytes(saved.path);

    SetDefaultPreferences(fixture.settings);
    Context loaded = fixture.MakeContext();
    PreferencesFile::Load(loaded);
    EXPECT_EQ(std::vector<uint8_t>(fixture.settings.bytes, fixture.settings.bytes + PreferenceSettings::kSize),
              pattern);
    EXPECT_EQ(loaded.libraryPath, "D:\\Cadres Ω\\Quorvel.sdb");
    EXPECT_TRUE(fixture.alerts.shown.empty());

    // Saving what was loaded writes the same file again.
    ASSERT_TRUE(PreferencesFile::Save(loaded));
    EXPECT_EQ(ReadBytes(loaded.path), firstFile);
}

TEST(PreferencesFile, UnusableFilesGiveTheDefaultsAndKeepTheLibraryLocation) {
    struct Case {
        const char* name;
        std::string content;  // empty: the file is written empty
        bool corrupt;         // 17003 shown and the file rewritten
    };
    Fixture fixture;
    const std::string scratch = fixture.folder / "scratch.plist";
    const std::vector<uint8_t> good = PatternRecord();
    auto recordFile = [&](std::vector<uint8_t> record) { return PropertyListText(&record, nullptr, scratch); };
    std::vector<uint8_t> newer = good;
    newer[PreferenceSettings::kVersion] = 1;
    std::vector<uint8_t> foreign = good;
    BigEndian::Write32(foreign.data() + 4, 'abcd');
    std::vector<uint8_t> wrongSize = good;
    BigEndian::Write16(wrongSize.data(), 0x0400);
    const std::string complete = recordFile(good);
    // Longer than any path the system holds: taken cut, it would name another library.
    const std::string longLocation = "C:\\" + std::string(1500, 'a') + "\\Quorvel.sdb";

    const Case cases[] = {
        {"empty file", "", false},
        {"no bytes under the key", recordFile({}), false},
        {"truncated", complete.substr(0, complete.size() / 2), true},
        {"not XML", std::string("\x00\x01\xFF\xFEgarbage", 11), true},
        {"root an array", "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>", true},
        {"record as a string",
         "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>PreferenceSettings</key>"
         "<string>x</string></dict></plist>",
         true},
        {"1027 bytes", recordFile(PatternRecord(1027)), true},
        {"1029 bytes", recordFile(PatternRecord(1029)), true},
        {"only a header", recordFile(PatternRecord(8)), true},
        {"shorter than a header", recordFile(PatternRecord(5)), true},
        {"newer version", recordFile(newer), true},
        {"another signature", recordFile(foreign), true},
        {"size field not its own", recordFile(wrongSize), true},
        {"location of another type",
         "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>LibraryPath</key>"
         "<integer>5</integer></dict></plist>",
         false},
        {"location too long", PropertyListText(nullptr, longLocation.c_str(), scratch), false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        fixture.alerts.shown.clear();
        Context context = fixture.MakeContext();
        WriteBytes(context.path, test.content);
        std::memset(fixture.settings.bytes, 0xAA, PreferenceSettings::kSize);

        PreferencesFile::Load(context);

        EXPECT_TRUE(SameRecord(fixture.settings, Defaults()));
        EXPECT_EQ(context.libraryPath, kLastLibrary);
        if (test.corrupt) {
            EXPECT_EQ(fixture.alerts.Ids(), std::vector<ErrorCode>{PreferencesFile::kFileCorrupt});
            // "OK" wrote a whole good file: it loads without a word and keeps the location.
            fixture.alerts.shown.clear();
            Context again = fixture.MakeContext();
            again.libraryPath.clear();
            PreferencesFile::Load(again);
            EXPECT_TRUE(fixture.alerts.shown.empty());
            EXPECT_EQ(again.libraryPath, kLastLibrary);
            EXPECT_TRUE(SameRecord(fixture.settings, Defaults()));
        } else {
            EXPECT_TRUE(fixture.alerts.shown.empty());
            EXPECT_EQ(ReadBytes(context.path), std::vector<uint8_t>(test.content.begin(), test.content.end()));
        }
    }
}

TEST(PreferencesFile, RewritingACorruptRecordKeepsTheStoredLibraryLocation) {
    Fixture fixture;
    Context context = fixture.MakeContext();
    const std::vector<uint8_t> shortRecord = PatternRecord(1027);
    WriteBytes(context.path, PropertyListText(&shortRecord, "E:\\Moved\\Quorvel.sdb", fixture.folder / "scratch"));

    PreferencesFile::Load(context);
    EXPECT_EQ(fixture.alerts.Ids(), std::vector<ErrorCode>{PreferencesFile::kFileCorrupt});
    EXPECT_EQ(context.libraryPath, "E:\\Moved\\Quorvel.sdb");
    std::string stored;
    EXPECT_TRUE(PropertyListFile(context.path).GetString(PreferencesFile::kLibraryPathKey, stored, 1024));
    EXPECT_EQ(stored, "E:\\Moved\\Quorvel.sdb");
}

TEST(PreferencesFile, ExitPlugInEndsTheCallAndLeavesTheFile) {
    Fixture fixture;
    fixture.alerts.answer = PreferencesFile::kExitPlugInAnswer;
    Context context = fixture.MakeContext();
    const std::string corrupt = "<?xml version=\"1.0\"?><plist";
    WriteBytes(context.path, corrupt);
    try {
        PreferencesFile::Load(context);
        FAIL() << "the call went on";
    } catch (const ErrorCodeException& error) {
        EXPECT_EQ(error.code, Err::Cancelled);
    }
    EXPECT_EQ(ReadBytes(context.path), std::vector<uint8_t>(corrupt.begin(), corrupt.end()));
    EXPECT_EQ(context.libraryPath, kLastLibrary);
}

TEST(PreferencesFile, FileWithoutRecordKeepsDefaultsAndTakesTheStoredLocation) {
    Fixture fixture;
    Context context = fixture.MakeContext();
    WriteBytes(context.path, PropertyListText(nullptr, "F:\\Ailleurs\\Quorvel.sdb", fixture.folder / "scratch"));
    PreferencesFile::Load(context);
    EXPECT_TRUE(SameRecord(fixture.settings, Defaults()));
    EXPECT_EQ(context.libraryPath, "F:\\Ailleurs\\Quorvel.sdb");
    EXPECT_TRUE(fixture.alerts.shown.empty());
}

TEST(PreferencesFile, MissingFileGivesDefaultsAndTheDefaultLocationSilently) {
    Fixture fixture;
    Context context = fixture.MakeContext();
    context.libraryPath.clear();
    PreferencesFile::Load(context);
    EXPECT_TRUE(SameRecord(fixture.settings, Defaults()));
    EXPECT_EQ(context.libraryPath, kDefaultLibrary);
    EXPECT_TRUE(fixture.alerts.shown.empty());
    EXPECT_EQ(GetFileKind(context.path), 0u);
}

TEST(PreferencesFile, NoPathShowsFileNotFoundAndWritesNothing) {
    Fixture fixture;
    Context context = fixture.MakeContext();
    context.path.clear();
    PreferencesFile::Load(context);
    EXPECT_TRUE(SameRecord(fixture.settings, Defaults()));
    EXPECT_FALSE(PreferencesFile::Save(context));
    ASSERT_EQ(fixture.alerts.shown.size(), 2u);
    for (const auto& alert : fixture.alerts.shown) {
        EXPECT_EQ(alert.first, PreferencesFile::kFileNotFound);
        EXPECT_EQ(alert.second, "Vantrel Software\\Quorvel 4.6.prf");
    }
}

TEST(PreferencesFile, FailedSaveKeepsTheOldFile) {
    Fixture fixture;
    Context context = fixture.MakeContext();
    SetDefaultPreferences(fixture.settings);
    ASSERT_TRUE(PreferencesFile::Save(context));
    const std::vector<uint8_t> before = ReadBytes(context.path);

    // Another process holds the file without sharing it: the new file cannot take its place.
    fixture.settings.bytes[PreferenceSettings::kRulerUnits] = PreferenceSettings::kPicas;
    context.libraryPath = "G:\\Nouveau\\Quorvel.sdb";
    {
        const HANDLE held = CreateFileW(Utf8ToUtf16(context.path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(PreferencesFile::Save(context));
        CloseHandle(held);
    }
    EXPECT_EQ(fixture.alerts.Ids(), std::vector<ErrorCode>{PreferencesFile::kFileNotWritten});
    EXPECT_EQ(ReadBytes(context.path), before);
    std::vector<std::string> files;
    ASSERT_TRUE(GetFolderContents(fixture.folder.Path(), files));
    EXPECT_EQ(files, std::vector<std::string>{"Quorvel 4.6.prf"});  // no temporary file left behind

    // A folder that is not there: nothing is written, and the failure is shown.
    fixture.alerts.shown.clear();
    context.path = fixture.folder / "absent\\Quorvel 4.6.prf";
    EXPECT_FALSE(PreferencesFile::Save(context));
    EXPECT_EQ(fixture.alerts.Ids(), std::vector<ErrorCode>{PreferencesFile::kFileNotWritten});
}

TEST(PreferencesFile, VolumeRoots) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Lib\\Quorvel.sdb", "C:\\"},
        {"\\\\server\\share\\Lib\\Quorvel.sdb", "\\\\server\\share\\"},
        {"\\\\server\\share", "\\\\server\\share\\"},
        {"\\\\server", ""},
        {"Quorvel.sdb", ""},
        {"\\Lib\\Quorvel.sdb", ""},
    };
    for (const auto& [path, root] : cases) EXPECT_EQ(PreferencesFile::VolumeRoot(path), root) << path;
}

TEST(PreferencesFile, LibraryLocationChecks) {
    TempFolder folder;
    AlertRecorder alerts;

    // A library folder that is not there yet is made, with its missing levels.
    const std::string fresh = folder / "Bibliothèque\\Cadres Ω\\Quorvel.sdb";
    EXPECT_EQ(PreferencesFile::CheckLibraryLocation(fresh, alerts.Function()), LibraryCheck::Ready);
    EXPECT_TRUE(GetFileKind(folder / "Bibliothèque\\Cadres Ω") & FileKind::kFolder);

    // A file standing where the folder should be: the library is unavailable, and nothing is shown
    // here (the open that follows does not happen).
    WriteBytes(folder / "blocked", "x");
    EXPECT_EQ(PreferencesFile::CheckLibraryLocation(folder / "blocked\\Quorvel.sdb", alerts.Function()),
              LibraryCheck::FolderUnavailable);
    EXPECT_TRUE(alerts.shown.empty());

    EXPECT_EQ(PreferencesFile::CheckLibraryLocation("", alerts.Function()), LibraryCheck::Ready);

    // A drive that is not there.
    const DWORD drives = GetLogicalDrives();
    char letter = 0;
    for (char candidate = 'Q'; candidate <= 'Y' && !letter; ++candidate)
        if (!(drives & (1u << (candidate - 'A')))) letter = candidate;
    ASSERT_NE(letter, 0);
    const std::string root = std::string(1, letter) + ":\\";
    EXPECT_EQ(PreferencesFile::CheckLibraryLocation(root + "Lib\\Quorvel.sdb", alerts.Function()),
              LibraryCheck::VolumeMissing);
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(alerts.shown[0].first, PreferencesFile::kVolumeMissing);
    EXPECT_EQ(alerts.shown[0].second,
              "The database volume (" + root + ") is missing. Please connect it and try again.");
}
