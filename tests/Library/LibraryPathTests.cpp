#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "LibraryTestSupport.h"
#include "QVDatabase.h"
#include "RelativePaths.h"

namespace {

struct PathCase {
    const char* path;
    const char* base;
    const char* expected;  // null: the call fails with `error`
    int error;
};

// Runs one of the two path rules into a buffer of the library's size.
std::string RunRule(char* (*rule)(const char*, const char*, char*, size_t), const PathCase& c, int& error) {
    char result[QVDatabase::kPathCapacity];
    errno = 0;
    const char* answer = rule(c.path, c.base, result, sizeof result);
    error = errno;
    return answer ? answer : "<failed>";
}

const PathCase kRelativeCases[] = {
    {"D:\\Lib\\Frames\\User\\a.frm", "D:\\Lib", "Frames\\User\\a.frm", 0},
    {"D:\\Other\\a.frm", "D:\\Lib", "..\\Other\\a.frm", 0},
    {"D:\\Other\\a.frm", "D:\\Lib\\Sub", "..\\..\\Other\\a.frm", 0},
    {"D:\\Lib\\Sub\\b", "D:\\Lib\\Sub2", "..\\Sub\\b", 0},
    {"D:\\Library\\a", "D:\\Lib", "..\\Library\\a", 0},
    {"D:\\Lib\\a", "D:\\Lib\\", "a", 0},
    {"D:\\Lib", "D:\\Lib", ".", 0},
    {"D:\\Lib\\", "D:\\Lib", ".\\", 0},
    {"D:\\Lib", "D:\\Lib\\Sub", "..", 0},
    {"Frames\\a.frm", "D:\\Lib", "Frames\\a.frm", 0},  // not rooted: kept as it is
    {"E:\\Lib\\a.frm", "D:\\Lib", nullptr, EINVAL},    // another drive has no relative form
    {"d:\\Lib\\a.frm", "D:\\Lib", nullptr, EINVAL},
    {"D:\\Lib\\a.frm", "Lib", nullptr, EINVAL},
    {"D:\\Lib\\a.frm", "\\Lib", nullptr, EINVAL},
};

const PathCase kAbsoluteCases[] = {
    {"Frames\\User\\a.frm", "D:\\Lib", "D:\\Lib\\Frames\\User\\a.frm", 0},
    {"..\\Other\\a.frm", "D:\\Lib", "D:\\Other\\a.frm", 0},
    {"..\\..\\Other\\a", "D:\\Lib\\Sub", "D:\\Other\\a", 0},
    {".\\a", "D:\\Lib", "D:\\Lib\\a", 0},
    {"a", "D:\\Lib\\", "D:\\Lib\\a", 0},
    {".", "D:\\Lib", "D:\\Lib", 0},
    {".", "D:\\Lib\\", "D:\\Lib", 0},
    {".\\", "D:\\Lib", "D:\\Lib\\", 0},
    {"..", "D:\\Lib\\Sub", "D:\\Lib", 0},
    {"..\\", "D:\\Lib\\Sub", "D:\\Lib\\", 0},
    {"..", "D:\\Lib", "D:\\", 0},
    // Never above the root of the base's drive.
    {"..\\..\\..\\x", "D:\\Lib", "D:\\x", 0},
    {"..\\a", "\\Lib", "\\a", 0},
    {"E:\\x\\a", "D:\\Lib", "E:\\x\\a", 0},  // rooted: kept as it is
    {"\\x\\a", "D:\\Lib", "\\x\\a", 0},
    {"a", "Lib", nullptr, EINVAL},
    {"a", nullptr, nullptr, ERANGE},
};

}  // namespace

TEST(LibraryPaths, RelativePathRules) {
    for (const PathCase& c : kRelativeCases) {
        int error = 0;
        const std::string result = RunRule(MakeRelativePath, c, error);
        EXPECT_EQ(result, c.expected ? c.expected : "<failed>") << c.path << " against " << c.base;
        if (!c.expected) {
            EXPECT_EQ(error, c.error) << c.path;
        }
    }
}

TEST(LibraryPaths, AbsolutePathRules) {
    for (const PathCase& c : kAbsoluteCases) {
        int error = 0;
        const std::string result = RunRule(MakeAbsolutePath, c, error);
        EXPECT_EQ(result, c.expected ? c.expected : "<failed>") << c.path << " against " << (c.base ? c.base : "null");
        if (!c.expected) {
            EXPECT_EQ(error, c.error) << c.path;
        }
    }
}

TEST(LibraryPaths, RelativePathsLeadBackToTheirFiles) {
    for (const PathCase& c : kRelativeCases) {
        // Folders themselves and paths that were never rooted have no file to lead back to.
        const std::string expected = c.expected ? c.expected : "";
        if (expected.empty() || expected == "." || expected == ".\\" || expected == ".." || c.path[1] != ':') continue;
        char relative[QVDatabase::kPathCapacity], absolute[QVDatabase::kPathCapacity];
        ASSERT_NE(MakeRelativePath(c.path, c.base, relative, sizeof relative), nullptr);
        ASSERT_NE(MakeAbsolutePath(relative, c.base, absolute, sizeof absolute), nullptr);
        EXPECT_STREQ(absolute, c.path) << "through " << relative;
    }
}

TEST(LibraryPaths, ResultsThatDoNotFitFailWithErange) {
    const std::string deep = "D:\\Lib\\" + std::string(2000, 'a');
    char result[QVDatabase::kPathCapacity];
    errno = 0;
    EXPECT_EQ(MakeRelativePath(deep.c_str(), "D:\\Lib", result, sizeof result), nullptr);
    EXPECT_EQ(errno, ERANGE);
    errno = 0;
    EXPECT_EQ(MakeAbsolutePath(std::string(1600, 'a').c_str(), "D:\\Lib", result, sizeof result), nullptr);
    EXPECT_EQ(errno, ERANGE);
    char tiny[6];
    EXPECT_EQ(MakeRelativePath("D:\\Other\\a", "D:\\Lib", tiny, sizeof tiny), nullptr);
    EXPECT_STREQ(MakeRelativePath("D:\\Lib\\a", "D:\\Lib", tiny, sizeof tiny), "a");
}

TEST(LibraryPaths, StoredPathsAreRelativeToTheLibraryFolderWhenTheyCanBe) {
    ScratchFolder folder;
    QVDatabase db;
    ASSERT_EQ(db.OpenAt(folder.File("Quorvel.sdb").c_str()), 0);
    const std::string library = folder.Path();
    const std::string parent = library.substr(0, library.rfind('\\'));
    const std::string sibling = parent + "\\Other\\a.frm";
    const char* otherDrive = library[0] == 'Z' ? "Y:\\Frames\\a.frm" : "Z:\\Frames\\a.frm";

    struct StoreCase {
        std::string path;
        std::string stored;
        int32_t type;
    } cases[] = {
        {library + "\\Frames\\User\\a.frm", "Frames\\User\\a.frm", PathType::RelativePath},
        {sibling, "..\\Other\\a.frm", PathType::RelativePath},
        {otherDrive, otherDrive, PathType::FullPath},
    };
    for (const StoreCase& c : cases) {
        int32_t type = 0;
        EXPECT_EQ(db.StorePath(c.path.c_str(), type), c.stored);
        EXPECT_EQ(type, c.type) << c.path;
        EXPECT_EQ(db.ResolvePath(c.stored.c_str(), type).value_or("<none>"), c.path);
    }
    EXPECT_EQ(db.ResolvePath("Frames\\a.frm", PathType::RelativePathLegacy).value_or(""), library + "\\Frames\\a.frm");
    EXPECT_EQ(db.ResolvePath("C:\\a.frm", PathType::FullPathLegacy).value_or(""), "C:\\a.frm");
    EXPECT_FALSE(db.ResolvePath("C:\\a.frm", 0).has_value());
    EXPECT_FALSE(db.ResolvePath("C:\\a.frm", 0x03030308).has_value());
}
