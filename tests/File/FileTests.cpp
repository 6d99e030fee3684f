#include <gtest/gtest.h>

#include "File.h"
#include "FileTestSupport.h"
#include "VantrelFileUtils.h"

namespace {

std::vector<std::string> Texts(const std::vector<FileSpec>& specs) {
    std::vector<std::string> texts;
    for (const FileSpec& spec : specs) texts.emplace_back(spec.Text());
    return texts;
}

// A folder with a numbered file of 120 bytes 0, 1, ... 119.
struct NumberedFile {
    TempFolder folder;
    std::string path = folder / "numbers Ω.bin";
    NumberedFile() {
        std::string bytes;
        for (int i = 0; i < 120; ++i) bytes.push_back(static_cast<char>(i));
        WriteTextFile(path, bytes);
    }
};

}  // namespace

TEST(File, ReadsAreClippedToTheFile) {
    AnsweredAlerts alerts;
    NumberedFile numbers;
    File file(FileSpec::FromPath(numbers.path), 0);
    ASSERT_EQ(file.Open("r"), 0);
    EXPECT_EQ(file.GetSize(), 120);
    uint8_t buffer[100] = {};
    EXPECT_EQ(file.Read(buffer, 90, 100), 30u);
    EXPECT_EQ(buffer[0], 90);
    EXPECT_EQ(buffer[29], 119);
    EXPECT_EQ(file.Position(), 120u);
    EXPECT_EQ(file.Read(buffer, 200, 10), 0u);
    EXPECT_EQ(file.Read(buffer, 0, -5), 0u);
    EXPECT_EQ(file.Close(), 0);
    EXPECT_EQ(file.Read(buffer, 0, 10), 0u);  // closed: nothing
    EXPECT_FALSE(file.IsOpen());
}

TEST(File, WritesGrowTheFileAndWithoutAHandleOnlyMoveThePosition) {
    AnsweredAlerts alerts;
    NumberedFile numbers;
    File file(FileSpec::FromPath(numbers.path), 0);
    const char text[] = "tail";
    EXPECT_EQ(file.Write(text, 150, 4), 0);
    EXPECT_EQ(file.Position(), 154u);
    EXPECT_EQ(ReadTextFile(numbers.path).size(), 120u);

    ASSERT_EQ(file.Open(), 0);
    EXPECT_EQ(file.Write(text, 150, 4), 0);
    EXPECT_EQ(file.Position(), 154u);
    EXPECT_EQ(file.GetSize(), 154);
    EXPECT_EQ(file.SetSize(10), 0);
    EXPECT_EQ(file.GetSize(), 10);
    EXPECT_EQ(file.Write(text, 0xFFFFFFFE, 4), Err::FileWriteFailed);  // beyond what a u32 offset can reach
    EXPECT_EQ(File::LastError(), Err::FileWriteFailed);
    EXPECT_EQ(file.Close(), 0);
    EXPECT_EQ(ReadTextFile(numbers.path), std::string("\0\1\2\3\4\5\6\7\10\11", 10));
}

TEST(File, OpenModesAndFailures) {
    AnsweredAlerts alerts;
    NumberedFile numbers;
    uint8_t byte = 0;

    File reader(FileSpec::FromPath(numbers.path), 0);
    ASSERT_EQ(reader.Open("r"), 0);
    EXPECT_THROWS_CODE(reader.Write(&byte, 0, 1), Err::FileIO);   // read only
    EXPECT_THROWS_CODE(reader.Open(), Err::FileIO);                // already open

    // The file is open to be read, shared with readers only: a second reader opens it, while an open
    // that would write fails although the file exists.
    File secondReader(FileSpec::FromPath(numbers.path), 0);
    EXPECT_EQ(secondReader.Open("r"), 0);
    secondReader.Close();
    File second(FileSpec::FromPath(numbers.path), 0);
    EXPECT_EQ(second.Open(), Err::FileNotOpenable);
    EXPECT_FALSE(second.IsOpen());
    reader.Close();

    File writer(FileSpec::FromPath(numbers.path), 0);
    ASSERT_EQ(writer.Open("w"), 0);
    EXPECT_THROWS_CODE(writer.Read(&byte, 0, 1), Err::FileIO);  // write only
    writer.Close();
    File both(FileSpec::FromPath(numbers.path), 0);
    ASSERT_EQ(both.Open("rw"), 0);
    EXPECT_EQ(both.Read(&byte, 5, 1), 1u);
    EXPECT_EQ(both.Write(&byte, 0, 1), 0);

    File missing(FileSpec::FromPath(numbers.folder / "missing.bin"), 0);
    EXPECT_EQ(missing.Open(), Err::FileMissing);
    EXPECT_EQ(File::LastError(), Err::FileMissing);
    EXPECT_EQ(missing.VerifyExists(), Err::FileMissing);

    File empty;
    EXPECT_THROWS_CODE(empty.Open(), Err::FileIO);
    EXPECT_THROWS_CODE(empty.GetSize(), Err::FileIO);
    EXPECT_THROWS_CODE(empty.SetSize(1), Err::FileIO);
    EXPECT_EQ(empty.Close(), 0);
    EXPECT_EQ(empty.VerifyExists(), Err::FileMissing);
    EXPECT_NE(alerts.Log().find("file i/o"), std::string::npos);
}

TEST(File, ExistenceAndFolders) {
    NumberedFile numbers;
    File file(FileSpec::FromPath(numbers.path), 0);
    EXPECT_EQ(file.VerifyExists(), 0);
    EXPECT_FALSE(file.IsFolder());
    File folder(FileSpec::FromPath(numbers.folder.Path()), 0);
    EXPECT_TRUE(folder.IsFolder());
    EXPECT_EQ(folder.VerifyExists(), Err::FileMissing);  // a folder is not a file
    EXPECT_EQ(folder.Open(), Err::FileMissing);
}

TEST(File, ResourceItemsReadLikeFiles) {
    AnsweredAlerts alerts;
    File resource(FileSpec::FromResource('QVTS', 100), 0);
    EXPECT_EQ(resource.TypeCode(), uint32_t{'QVTS'});
    EXPECT_EQ(resource.ResourceId(), 100u);
    EXPECT_EQ(resource.VerifyExists(), 0);
    ASSERT_EQ(resource.Open(), 0);
    EXPECT_EQ(resource.GetSize(), 14);
    char text[32] = {};
    EXPECT_EQ(resource.Read(text, 9, 20), 5u);
    EXPECT_STREQ(text, "bytes");
    EXPECT_EQ(resource.Write(text, 0, 1), Err::FileWriteFailed);
    EXPECT_EQ(resource.Close(), 0);

    // A leading character that is neither letter nor digit is not part of the type's name.
    EXPECT_NE(FileSpec::FromResource('.QVT', 100).FindResource(), nullptr);
    File missing(FileSpec::FromResource('QVTS', 999), 0);
    EXPECT_EQ(missing.VerifyExists(), Err::FileMissing);
    EXPECT_EQ(missing.Open(), Err::FileNotOpenable);
}

TEST(File, TemporaryFiles) {
    AnsweredAlerts alerts;
    File temporary;
    temporary.CreateTemp();
    ASSERT_TRUE(temporary.IsOpen());
    std::string name;
    temporary.Spec().GetName(name);
    EXPECT_EQ(name.rfind("Fil", 0), 0u);  // the system takes three characters of the prefix
    std::string folder;
    ASSERT_TRUE(GetSpecialFolderPath(folder, SpecialFolder::kTemporary));
    EXPECT_EQ(temporary.Spec().Text().substr(0, folder.size()), folder);
    EXPECT_EQ(temporary.Write("abc", 0, 3), 0);
    uint8_t back[3] = {};
    EXPECT_EQ(temporary.Read(back, 0, 3), 3u);
    EXPECT_EQ(back[2], 'c');
    EXPECT_THROWS_CODE(temporary.CreateTemp(), Err::FileIO);  // still open
    const std::string path(temporary.Spec().Text());
    temporary.Close();
    EXPECT_TRUE(DeleteFileW(Utf8ToUtf16(path).c_str()));
}

TEST(File, SpecialFoldersAreMadeComponentByComponent) {
    AnsweredAlerts alerts;
    const std::string sub = "Quorvel Tests Ω " + std::to_string(GetCurrentProcessId());
    File folder;
    ASSERT_EQ(folder.GetSpecialFolder((sub + "\\Café\\").c_str(), false), 0);
    std::string appData;
    ASSERT_TRUE(GetSpecialFolderPath(appData, SpecialFolder::kApplicationData));
    EXPECT_EQ(folder.Spec().Text(), appData + sub + "\\Café");
    EXPECT_TRUE(folder.IsFolder());

    // A component that exists as a file, or one that would leave the folder, is refused.
    ASSERT_TRUE(WriteTextFile(appData + sub + "\\plain", "x"));
    EXPECT_EQ(folder.GetSpecialFolder((sub + "\\plain\\below").c_str(), false), Err::SpecialFolderNotCreatable);
    EXPECT_EQ(File::LastError(), Err::SpecialFolderNotCreatable);
    EXPECT_EQ(folder.GetSpecialFolder((sub + "\\..\\..\\escape").c_str(), false), Err::SpecialFolderNotCreatable);
    EXPECT_EQ(folder.GetSpecialFolder("C:\\Windows", false), Err::SpecialFolderNotCreatable);

    std::string resolved = "prefix:";
    EXPECT_EQ(File::ResolveSpec(false, sub.c_str(), "name.sdb", resolved), 0);
    EXPECT_EQ(resolved, "prefix:" + appData + sub + "\\name.sdb");
    std::string ignored;
    EXPECT_THROWS_CODE(File::ResolveSpec(false, (sub + "\\plain").c_str(), "x", ignored), Err::SpecialFolderNotCreatable);

    File common;
    ASSERT_EQ(common.GetSpecialFolder(nullptr, true), 0);
    std::string commonData;
    ASSERT_TRUE(GetSpecialFolderPath(commonData, SpecialFolder::kCommonApplicationData));
    EXPECT_EQ(std::string(common.Spec().Text()) + "\\", commonData);
    TempFolder::RemoveTree(Utf8ToUtf16(appData + sub));
}

TEST(File, PreferencesFileAndItsRegistryValue) {
    AnsweredAlerts alerts;
    File preferences;
    std::string path;
    ASSERT_EQ(preferences.GetPreferencesPath(path), 0);
    std::string appData;
    ASSERT_TRUE(GetSpecialFolderPath(appData, SpecialFolder::kApplicationData));
    EXPECT_EQ(path, appData + "Vantrel Software\\Quorvel 4.6.prf");
    EXPECT_EQ(preferences.Spec().Text(), path);
    EXPECT_EQ(GetFileKind(appData + "Vantrel Software"), FileKind::kFolder | FileKind::kWritable | FileKind::kVisible);

    File created;
    ASSERT_EQ(created.CreatePreferenceFile(), 0);
    EXPECT_TRUE(created.IsOpen());
    wchar_t stored[1024] = {};
    DWORD size = sizeof stored;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Vantrel Software\\Quorvel 4.6", L"PreferenceFile",
                           RRF_RT_REG_SZ, nullptr, stored, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(Utf16ToUtf8(stored), path);
    EXPECT_EQ(size, (path.size() + 1) * sizeof(wchar_t));  // stored with its terminator
}

TEST(File, ListingsSkipDotNamesAndNeverEnterLinks) {
    TempFolder root;
    ASSERT_TRUE(WriteTextFile(root / "b.txt", "b"));
    ASSERT_TRUE(WriteTextFile(root / "A é.txt", "a"));
    ASSERT_TRUE(WriteTextFile(root / ".hidden", "h"));
    for (const char* folder : {"Sub Ω", "Sub Ω\\Deep", ".git"}) {
        ASSERT_TRUE(CreateDirectoryW(Utf8ToUtf16(root / folder).c_str(), nullptr));
    }
    ASSERT_TRUE(WriteTextFile(root / "Sub Ω\\s.txt", "s"));
    ASSERT_TRUE(WriteTextFile(root / "Sub Ω\\Deep\\d.txt", "d"));
    ASSERT_TRUE(WriteTextFile(root / ".git\\g.txt", "g"));
    // A link back to the root: a walk that followed it would never end.
    const FolderLink loop(root / "Sub Ω", "Loop", "..");
    ASSERT_TRUE(loop.IsLink());

    File folder(FileSpec::FromPath(root.Path()), 0);
    std::vector<FileSpec> folders;
    ASSERT_EQ(folder.ListSubfolders(folders, true), 0);
    EXPECT_EQ(Texts(folders), (std::vector<std::string>{root / "Sub Ω", root / "Sub Ω\\Deep", root / "Sub Ω\\Loop"}));
    folders.clear();
    ASSERT_EQ(folder.ListSubfolders(folders, false), 0);
    EXPECT_EQ(Texts(folders), std::vector<std::string>{root / "Sub Ω"});

    std::vector<FileSpec> files;
    ASSERT_EQ(folder.ListFiles(files, true), 0);
    EXPECT_EQ(Texts(files), (std::vector<std::string>{root / "A é.txt", root / "b.txt", root / "Sub Ω\\Deep\\d.txt",
                                                      root / "Sub Ω\\s.txt"}));
    files.clear();
    ASSERT_EQ(folder.ListFiles(files, false), 0);
    EXPECT_EQ(files.size(), 2u);

    // Not a folder: nothing, and no failure.
    File plain(FileSpec::FromPath(root / "b.txt"), 0);
    folders.clear();
    EXPECT_EQ(plain.ListSubfolders(folders, true), 0);
    EXPECT_TRUE(folders.empty());
    File missing(FileSpec::FromPath(root / "none"), 0);
    EXPECT_EQ(missing.ListFiles(files, false), 0);
}

TEST(File, CopiesIntoFoldersAndCreatesParents) {
    TempFolder root;
    ASSERT_TRUE(WriteTextFile(root / "frame é.frm", "frame"));
    const FileSpec source = FileSpec::FromPath(root / "frame é.frm");
    EXPECT_EQ(source.CopyToFolder(root.Path()), 0u);  // onto itself: nothing to do

    EXPECT_TRUE(FileSpec::CreateParentFolder(root / "a\\b Ω\\c.txt"));
    EXPECT_TRUE(FileSpec::CreateParentFolder(root / "a\\b Ω\\c.txt"));  // already there
    EXPECT_FALSE(FileSpec::CreateParentFolder("nofolder.txt"));
    ASSERT_EQ(source.CopyToFolder(root / "a\\b Ω"), 0u);
    EXPECT_EQ(ReadTextFile(root / "a\\b Ω\\frame é.frm"), "frame");
    ASSERT_TRUE(WriteTextFile(root / "frame é.frm", "newer"));
    ASSERT_EQ(source.CopyToFolder(root / "a\\b Ω\\"), 0u);  // replaces
    EXPECT_EQ(ReadTextFile(root / "a\\b Ω\\frame é.frm"), "newer");
    EXPECT_EQ(source.CopyToFolder(root / "missing"), uint32_t{ERROR_PATH_NOT_FOUND});
}
