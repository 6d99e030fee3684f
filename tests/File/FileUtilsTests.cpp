#include <gtest/gtest.h>

#include "FileTestSupport.h"
#include "Utf.h"
#include "VantrelFileUtils.h"

namespace {

FILETIME FileTimeOf(uint64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

bool SetLastWriteTime(const std::string& path, uint64_t ticks) {
    HANDLE file = CreateFileW(Utf8ToUtf16(path).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const FILETIME time = FileTimeOf(ticks);
    const bool set = SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
    return set;
}

// The debug log is written only where its folder exists.
void EnsureLogFolder() {
    const std::string& log = GetLogFilePath();
    CreateDirectoryW(Utf8ToUtf16(log.substr(0, log.rfind('\\'))).c_str(), nullptr);
}

}  // namespace

TEST(Utf, ConversionRules) {
    EXPECT_EQ(Utf8ToUtf16("Café Ω"), L"Café Ω");
    EXPECT_EQ(Utf8ToUtf16("a\x80" "b"), L"ab");                 // a stray continuation byte is skipped
    EXPECT_EQ(Utf8ToUtf16("a\xF0\x9F\x98\x80" "b"), L"ab");     // so is a four-byte sequence, byte by byte
    EXPECT_EQ(Utf16ToUtf8(L"Café Ω 日"), "Café Ω 日");
    std::string appended = "x";
    Utf16ToUtf8(appended, L"é");
    EXPECT_EQ(appended, "xé");
}

TEST(FileUtils, ExtensionFilterAndSkippedEntries) {
    TempFolder folder;
    for (const char* name : {"a.PNG", "b.png", "c.png.txt", ".png", "d.jpg"}) ASSERT_TRUE(WriteTextFile(folder / name, ""));
    ASSERT_TRUE(WriteTextFile(folder / "hidden.png", ""));
    SetFileAttributesW(Utf8ToUtf16(folder / "hidden.png").c_str(), FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(CreateDirectoryW(Utf8ToUtf16(folder / "Sub é").c_str(), nullptr));

    std::vector<std::string> names;
    std::vector<std::string> subfolders;
    ASSERT_TRUE(GetFolderContents(folder.Path(), names, "png", &subfolders));
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(subfolders, std::vector<std::string>{"Sub é"});

    // Wine shows names beginning with a dot as hidden files, Windows does not.
    const bool dotNamesHidden = GetFileAttributesW(Utf8ToUtf16(folder / ".png").c_str()) & FILE_ATTRIBUTE_HIDDEN;
    std::vector<std::string> expected{".png", "a.PNG", "b.png", "c.png.txt", "d.jpg"};
    if (dotNamesHidden) expected.erase(expected.begin());
    names.clear();
    ASSERT_TRUE(GetFolderContents(folder.Path(), names));
    EXPECT_EQ(names, expected);
}

TEST(FileUtils, RecursiveListingsPutAFoldersOwnFilesFirst) {
    TempFolder folder;
    ASSERT_TRUE(CreateDirectoryW(Utf8ToUtf16(folder / "A").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(Utf8ToUtf16(folder / "A\\Inner").c_str(), nullptr));
    ASSERT_TRUE(WriteTextFile(folder / "A\\Inner\\deep.qvo", ""));
    ASSERT_TRUE(WriteTextFile(folder / "A\\mid.qvo", ""));
    ASSERT_TRUE(WriteTextFile(folder / "z.qvo", ""));
    const FolderLink back(folder / "A", "Back", "..");  // never entered
    ASSERT_TRUE(back.IsLink());

    std::vector<std::string> paths;
    ASSERT_TRUE(GetFolderContentsFullPaths(folder.Path(), paths, true, "qvo"));
    EXPECT_EQ(paths, (std::vector<std::string>{folder / "z", folder / "A\\mid", folder / "A\\Inner\\deep"}));
    paths.clear();
    ASSERT_TRUE(GetFolderContentsFullPaths(folder.Path(), paths, false));
    EXPECT_EQ(paths, std::vector<std::string>{folder / "z.qvo"});

    // A folder that cannot be listed fails, and says so in the debug log.
    EnsureLogFolder();
    const size_t logBefore = ReadTextFile(GetLogFilePath()).size();
    EXPECT_FALSE(GetFolderContentsFullPaths(folder / "missing", paths, true));
    const std::string log = ReadTextFile(GetLogFilePath());
    EXPECT_NE(log.find("Event (-1) on line ", logBefore), std::string::npos);
}

TEST(FileUtils, FileKinds) {
    TempFolder folder;
    EXPECT_EQ(GetFileKind(folder / "none"), 0u);
    EXPECT_EQ(GetFileKind(folder.Path()), 22u);
    ASSERT_TRUE(WriteTextFile(folder / "plain", ""));
    EXPECT_EQ(GetFileKind(folder / "plain"), 14u);
    ASSERT_TRUE(WriteTextFile(folder / "locked", ""));
    SetFileAttributesW(Utf8ToUtf16(folder / "locked").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(GetFileKind(folder / "locked"), 8u);
}

TEST(FileUtils, ModificationStampWrapsModulo2To32) {
    constexpr uint64_t kTicksPerSecond = 10'000'000;
    constexpr uint64_t kUnixEpoch = 11644473600ull * kTicksPerSecond;
    const uint32_t threeDays = 3 * 86400;
    EXPECT_EQ(ModificationStamp(kUnixEpoch), 0u - threeDays);
    EXPECT_EQ(ModificationStamp(kUnixEpoch + threeDays * kTicksPerSecond), 0u);
    EXPECT_EQ(ModificationStamp(kUnixEpoch + threeDays * kTicksPerSecond + kTicksPerSecond - 1), 0u);  // truncated

    TempFolder folder;
    const std::string path = folder / "stamp é.qvo";
    ASSERT_TRUE(WriteTextFile(path, "x"));
    ASSERT_TRUE(SetLastWriteTime(path, kUnixEpoch));
    EXPECT_EQ(GetFileModDate(path), 0u - threeDays);
    EXPECT_EQ(GetFileModDate(folder / "missing"), 0u);
}

TEST(FileUtils, FoldersStreamsAndWholeFiles) {
    TempFolder folder;
    EnsureLogFolder();
    const size_t logBefore = ReadTextFile(GetLogFilePath()).size();
    VantrelFileUtils::CreateFolder(folder / "New Ω");
    VantrelFileUtils::CreateFolder(folder / "New Ω");  // exists: no error
    EXPECT_EQ(GetFileKind(folder / "New Ω") & FileKind::kFolder, FileKind::kFolder);
    EXPECT_EQ(ReadTextFile(GetLogFilePath()).size(), logBefore);
    VantrelFileUtils::CreateFolder(folder / "no parent\\child");
    const std::string expected = "VantrelFileUtils::CreateFolder> Couldn't create the folder '" + (folder / "no parent\\child") +
                                 "' due to error 3";
    EXPECT_NE(ReadTextFile(GetLogFilePath()).find(expected, logBefore), std::string::npos);

    // A message is cut to 999 bytes (its line end with it) and appended as it is.
    const size_t logBeforeLong = ReadTextFile(GetLogFilePath()).size();
    WriteLogLine("%s\n", std::string(2000, 'x').c_str());
    EXPECT_EQ(ReadTextFile(GetLogFilePath()).substr(logBeforeLong), std::string(999, 'x'));

    {
        UniqueFileStream out = OpenFileUtf8(folder / "New Ω\\data é.bin", "wb");
        ASSERT_TRUE(out);
        std::fwrite("\0\1\2\n", 1, 4, out.get());
    }
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(folder / "New Ω\\data é.bin", bytes));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0, 1, 2, '\n'}));
    EXPECT_FALSE(ReadWholeFile(folder / "missing", bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(OpenFileUtf8(folder / "missing", "rb"));
}

TEST(FileUtils, SpecialFolderPaths) {
    for (int kind : {SpecialFolder::kDesktop, SpecialFolder::kApplicationData, SpecialFolder::kCommonApplicationData,
                     SpecialFolder::kSystem, SpecialFolder::kProfile, SpecialFolder::kTemporary,
                     SpecialFolder::kProgramFiles}) {
        std::string path = "keep:";
        ASSERT_TRUE(GetSpecialFolderPath(path, kind)) << kind;
        EXPECT_EQ(path.rfind("keep:", 0), 0u);
        EXPECT_EQ(path.back(), '\\') << kind;
        EXPECT_NE(path[path.size() - 2], '\\') << kind;
        EXPECT_EQ(GetFileKind(path.substr(5)) & FileKind::kFolder, FileKind::kFolder) << path;
    }
    std::string same, roaming;
    GetSpecialFolderPath(same, SpecialFolder::kApplicationData);
    GetSpecialFolderPath(roaming, SpecialFolder::kRoamingApplicationData);
    EXPECT_EQ(same, roaming);
    std::string none;
    EXPECT_FALSE(GetSpecialFolderPath(none, 0x7F));
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(GetLogFilePath(), same + "Vantrel Software\\VantrelLog.txt");
}
