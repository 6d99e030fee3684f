#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "File.h"

using namespace std::string_literals;

namespace {

constexpr uint32_t kJpegList[] = {'.JPG', '.JPE', 'JPEG' | FileTypeList::kGroupEnd, 0};
constexpr uint32_t kTwoGroups[] = {'.FRM', '.FRR', 'JPEG' | FileTypeList::kGroupEnd,
                                   '.QVO', 'QVOS' | FileTypeList::kGroupEnd, 0};

FileSpec RawSpec(std::initializer_list<uint8_t> head, uint8_t fill) {
    FileSpec spec;
    std::memset(spec.bytes, fill, sizeof spec.bytes);
    std::copy(head.begin(), head.end(), spec.bytes);
    return spec;
}

}  // namespace

TEST(FileSpec, KindsRoundTripThroughTheStoredBytes) {
    const FileSpec plain = FileSpec::FromPath("C:\\Frames\\Café Ω.jpg");
    EXPECT_EQ(plain.GetKind(), FileSpec::Kind::Path);
    EXPECT_EQ(plain.Text(), "C:\\Frames\\Café Ω.jpg");

    const FileSpec resource = FileSpec::FromResource('JPEG', 0x1234);
    EXPECT_EQ(resource.GetKind(), FileSpec::Kind::Resource);
    const uint8_t storedResource[] = {0, 0, 0, 3, 'J', 'P', 'E', 'G', 0, 0, 0x12, 0x34};
    EXPECT_EQ(std::memcmp(resource.bytes, storedResource, sizeof storedResource), 0);
    EXPECT_EQ(resource.ResourceType(), uint32_t{'JPEG'});
    EXPECT_EQ(resource.ResourceId(), 0x1234);
    EXPECT_EQ(resource.Text(), "");
    EXPECT_FALSE(resource.IsEmpty());

    const FileSpec relative = FileSpec::FromRelativePath("Borders\\a.frm");
    const uint8_t storedRelative[] = {0, 0, 0, 4, 'B'};
    EXPECT_EQ(std::memcmp(relative.bytes, storedRelative, sizeof storedRelative), 0);
    EXPECT_EQ(relative.GetKind(), FileSpec::Kind::Relative);
    EXPECT_EQ(relative.Text(), "Borders\\a.frm");

    // Only the high id bits of a stored resource item are ignored.
    const FileSpec stored = RawSpec({0, 0, 0, 3, 'P', 'N', 'G', ' ', 0xAB, 0xCD, 0, 7}, 0);
    EXPECT_EQ(stored.ResourceId(), 7);
    EXPECT_EQ(FileSpec().GetKind(), FileSpec::Kind::Path);
    EXPECT_TRUE(FileSpec().IsEmpty());
}

TEST(FileSpec, UnterminatedStoredTextIsReadWithinTheBlock) {
    const FileSpec plain = RawSpec({}, 'a');
    EXPECT_EQ(plain.Text().size(), FileSpec::kSize);
    const FileSpec relative = RawSpec({0, 0, 0, 4}, 'b');
    EXPECT_EQ(relative.Text(), std::string(FileSpec::kSize - 4, 'b'));
    std::string name;
    EXPECT_EQ(relative.GetName(name), 0);
    EXPECT_EQ(name.size(), FileSpec::kSize - 4);
}

TEST(FileSpec, TextsThatDoNotFitAreRefusedNotCut) {
    EXPECT_EQ(FileSpec::FromPath(std::string(1023, 'x')).Text().size(), 1023u);
    EXPECT_TRUE(FileSpec::FromPath(std::string(1024, 'x')).IsEmpty());
    EXPECT_EQ(FileSpec::FromRelativePath(std::string(1019, 'x')).Text().size(), 1019u);
    EXPECT_TRUE(FileSpec::FromRelativePath(std::string(1020, 'x')).IsEmpty());
}

TEST(FileSpec, ExtensionsAndNames) {
    const struct {
        const char* path;
        uint32_t code;
    } cases[] = {
        {"a.jpg", '.JPG'},
        {"x.JPEG", 'JPEG'},
        {"a.jpeg", 'JPEG'},
        {"b.h", '.H\0\0'},
        {"photo.backup", 0},  // seven characters from the dot: no extension
        {"noextension", 0},
        {"C:\\dir.d\\file", 0},  // a dot in a folder name is no extension
        {"C:\\dir\\.png", '.PNG'},
    };
    for (const auto& test : cases) EXPECT_EQ(FileSpec::ExtensionCode(test.path), test.code) << test.path;
    EXPECT_EQ(FileSpec::ExtensionOffset("photo.backup"), 12u);
    EXPECT_EQ(FileSpec::ExtensionOffset("a.b.jpeg"), 3u);

    EXPECT_EQ(FileSpec::NameOffset("C:\\a\\b.jpg"), 5u);
    EXPECT_EQ(FileSpec::NameOffset("b.jpg"), 0u);
    EXPECT_EQ(FileSpec::JoinPath("C:\\a", "b"), "C:\\a\\b");
    EXPECT_EQ(FileSpec::JoinPath("C:\\a\\", "b"), "C:\\a\\b");

    std::string name;
    EXPECT_EQ(FileSpec::FromPath("C:\\Frames\\Ωmega.jpg").GetName(name), 0);
    EXPECT_EQ(name, "Ωmega.jpg");
    EXPECT_EQ(FileSpec::FromResource('QVTS', 100).GetName(name), 0);
    EXPECT_EQ(name, "Résumé.bin");
    EXPECT_EQ(FileSpec::FromResource('QVTS', 999).GetName(name), Err::ResourceMissing);
    EXPECT_EQ(name, "");
}

TEST(FileSpec, TypeListsAndTypeIndex) {
    EXPECT_EQ(FileTypeList::Get(kJpegList, 1), uint32_t{'JPEG'});
    EXPECT_EQ(FileTypeList::Get(kJpegList, 2), 0u);
    EXPECT_EQ(FileTypeList::Get(kTwoGroups, 2), uint32_t{'QVOS'});
    EXPECT_EQ(FileTypeList::Get(nullptr, 1), 0u);

    File jpeg(FileSpec::FromPath("C:\\a.jpeg"), 0);
    EXPECT_EQ(FileSpec::TypeIndex(jpeg, kJpegList), 1);
    File tiff(FileSpec::FromPath("C:\\a.tiff"), 0);
    EXPECT_EQ(FileSpec::TypeIndex(tiff, kJpegList), 0);
    File typed(FileSpec::FromPath("C:\\preset"), 'QVOS');
    EXPECT_EQ(FileSpec::TypeIndex(typed, kTwoGroups), 2);
    EXPECT_EQ(FileSpec::TypeIndex(typed, nullptr), 0);
}

TEST(FileSpec, FilterStrings) {
    constexpr uint32_t kFrames[] = {'.FRM', '.FRR', 'JPEG' | FileTypeList::kGroupEnd, 0};
    File file;
    std::string filter = "unchanged";
    int selected = 1;
    file.MakeFilterString(File::kFilterPerGroup, nullptr, filter, selected);
    EXPECT_EQ(filter, "unchanged");

    file.MakeFilterString(File::kFilterPerGroup, kFrames, filter, selected);
    EXPECT_EQ(filter, "JPEG (*.FRM;*.FRR;*.JPEG)\0*.FRM;*.FRR;*.JPEG\0\0"s);

    File preset(FileSpec(), 'QVOS');
    preset.MakeFilterString(File::kFilterPerGroup, kTwoGroups, filter, selected);
    EXPECT_EQ(filter, "JPEG (*.FRM;*.FRR;*.JPEG)\0*.FRM;*.FRR;*.JPEG\0QVOS (*.QVO;*.QVOS)\0*.QVO;*.QVOS\0\0"s);
    EXPECT_EQ(selected, 2);

    preset.MakeFilterString(File::kChooseOne, kTwoGroups, filter, selected);
    const std::string all = "*.FRM;*.FRR;*.JPEG;*.QVO;*.QVOS";
    EXPECT_EQ(filter, all + '\0' + all + '\0' + '\0');

    constexpr uint32_t kEmpty[] = {0};
    file.MakeFilterString(File::kFilterPerGroup, kEmpty, filter, selected);
    EXPECT_EQ(filter, "");
}

TEST(FileSpec, EqualityIgnoresCaseAndComparesResourcesByTheirWords) {
    EXPECT_TRUE(FileSpec::Equals(FileSpec::FromPath("C:\\Café\\A.JPG"), FileSpec::FromPath("c:\\CAFÉ\\a.jpg")));
    EXPECT_FALSE(FileSpec::Equals(FileSpec::FromPath("C:\\a.jpg"), FileSpec::FromPath("C:\\b.jpg")));
    EXPECT_TRUE(FileSpec::Equals(FileSpec::FromResource('JPEG', 5), FileSpec::FromResource('JPEG', 5)));
    EXPECT_FALSE(FileSpec::Equals(FileSpec::FromResource('JPEG', 5), FileSpec::FromResource('JPEG', 6)));
    EXPECT_FALSE(FileSpec::Equals(FileSpec::FromResource('JPEG', 5), FileSpec::FromPath("C:\\a")));
    EXPECT_TRUE(FileSpec::Equals(FileSpec::FromRelativePath("x\\A.frm"), FileSpec::FromRelativePath("X\\a.FRM")));

    SetFrameLibraryFolder("C:\\Library");
    EXPECT_TRUE(FileSpec::Equals(FileSpec::FromRelativePath("x\\a.frm"), FileSpec::FromPath("C:\\Library\\x\\a.frm")));
    // Plain texts are never compared from their fifth byte on.
    EXPECT_FALSE(FileSpec::Equals(FileSpec::FromRelativePath("x\\a.frm"), FileSpec::FromPath("C:\\Ax\\a.frm")));
    SetFrameLibraryFolder("");
}

TEST(FileSpec, RelativeAndAbsoluteForms) {
    FileSpec spec = FileSpec::FromPath("C:\\Library\\Borders\\Ω.frm");
    spec.ToRelative("C:\\Library");
    EXPECT_EQ(spec.GetKind(), FileSpec::Kind::Relative);
    EXPECT_EQ(spec.Text(), "Borders\\Ω.frm");
    spec.ToRelative("C:\\Other");  // a relative spec stays as it is
    EXPECT_EQ(spec.Text(), "Borders\\Ω.frm");

    std::string path;
    EXPECT_EQ(spec.GetFullPath(path), Err::FileIO);  // no library folder yet
    SetFrameLibraryFolder("C:\\Library");
    EXPECT_EQ(spec.GetFullPath(path), 0);
    EXPECT_EQ(path, "C:\\Library\\Borders\\Ω.frm");
    SetFrameLibraryFolder("");
    EXPECT_EQ(FileSpec::FromResource('JPEG', 1).GetFullPath(path), Err::FileIO);

    EXPECT_EQ(spec.ToAbsolute("D:\\Moved"), 0);
    EXPECT_EQ(spec.GetKind(), FileSpec::Kind::Path);
    EXPECT_EQ(spec.Text(), "D:\\Moved\\Borders\\Ω.frm");
    EXPECT_EQ(spec.ToAbsolute("E:\\"), 0);  // a plain spec stays as it is
    EXPECT_EQ(spec.Text(), "D:\\Moved\\Borders\\Ω.frm");

    FileSpec slashed = FileSpec::FromRelativePath("a/b.frm");
    EXPECT_EQ(slashed.ToAbsolute("C:\\Lib"), 0);
    EXPECT_EQ(slashed.Text(), "C:\\Lib\\a\\b.frm");

    // "C:\L" + "\" + name: 1023 characters fit, 1024 do not.
    const std::string base = "C:\\L";
    FileSpec fits = FileSpec::FromRelativePath(std::string(1023 - base.size() - 1, 'n'));
    EXPECT_EQ(fits.ToAbsolute(base), 0);
    EXPECT_EQ(fits.Text().size(), 1023u);
    FileSpec tooLong = FileSpec::FromRelativePath(std::string(1024 - base.size() - 1, 'n'));
    EXPECT_EQ(tooLong.ToAbsolute(base), Err::MemoryFull);
    EXPECT_TRUE(tooLong.IsEmpty());
}

TEST(FileSpec, SelectedFilesAreBoundedToOneFileSpec) {
    File file;
    const std::wstring many = L"C:\\Café\0a.jpg\0b.jpg\0\0"s;
    file.AddSelectedFiles(many.data(), many.size());
    ASSERT_EQ(file.ChosenFiles().size(), 2u);
    EXPECT_EQ(file.ChosenFiles()[0].Text(), "C:\\Café\\a.jpg");
    EXPECT_EQ(file.ChosenFiles()[1].Text(), "C:\\Café\\b.jpg");
    EXPECT_EQ(file.Spec().Text(), "C:\\Café\\b.jpg");

    // A name that would not fit is left out whole; the others are taken.
    File bounded;
    std::wstring withLong = L"C:\\F";
    withLong += L'\0';
    withLong += std::wstring(1020, L'n') + L'\0' + L"ok.jpg" + L'\0' + L'\0';
    bounded.AddSelectedFiles(withLong.data(), withLong.size());
    ASSERT_EQ(bounded.ChosenFiles().size(), 1u);
    EXPECT_EQ(bounded.ChosenFiles()[0].Text(), "C:\\F\\ok.jpg");

    File single;
    const std::wstring one = L"C:\\Ω\\one.jpg\0\0"s;
    single.AddSelectedFiles(one.data(), one.size());
    ASSERT_EQ(single.ChosenFiles().size(), 1u);
    EXPECT_EQ(single.Spec().Text(), "C:\\Ω\\one.jpg");

    // A buffer without terminators is read no further than its size.
    File unterminated;
    const std::wstring noEnd = L"C:\\x\0abc"s;
    unterminated.AddSelectedFiles(noEnd.data(), noEnd.size());
    EXPECT_TRUE(unterminated.ChosenFiles().empty());
}
