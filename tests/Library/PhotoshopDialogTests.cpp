#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LibraryTestSupport.h"
#include "PhotoshopDialog.h"
#include "QVDatabase.h"

namespace {

// Each case starts and ends with both libraries closed and the default library path.
class WindowlessDialog : public testing::Test {
protected:
    void SetUp() override { CloseLibraries(); }
    void TearDown() override {
        CloseLibraries();
        SetLibraryPathSetting("");
    }
    ScratchFolder folder;
};

}  // namespace

TEST_F(WindowlessDialog, OpensTheFramesLibraryAtTheLibraryPathAndThePresetsLibraryAtItsPlace) {
    SetLibraryPathSetting(folder.File("Quorvel.sdb"));
    { PhotoshopDialog dialog(PhotoshopDialog::kWindowless, nullptr, nullptr); }
    ASSERT_NE(FramesLibrary(), nullptr);
    EXPECT_EQ(std::string(FramesLibrary()->Path()), folder.Path());
    ASSERT_NE(PresetsLibrary(), nullptr);
    EXPECT_NE(std::string(PresetsLibrary()->Path()).find("\\Vantrel Software\\Quorvel 4.6"), std::string::npos);

    // The libraries outlive the dialog; another dialog keeps the ones that are open.
    QVDatabase* frames = FramesLibrary();
    { PhotoshopDialog dialog(PhotoshopDialog::kWindowless, nullptr, nullptr); }
    EXPECT_EQ(FramesLibrary(), frames);
}

TEST_F(WindowlessDialog, AnEmptyLibraryPathOpensTheDefaultPlace) {
    { PhotoshopDialog dialog(PhotoshopDialog::kWindowless, nullptr, nullptr); }
    ASSERT_NE(FramesLibrary(), nullptr);
    QVDatabase defaults;
    ASSERT_EQ(defaults.BuildPath(), 0);
    EXPECT_EQ(std::string(FramesLibrary()->Path()) + "\\Quorvel.sdb", defaults.Path());
}

TEST_F(WindowlessDialog, ALibraryThatCannotOpenIsAbsentAndLeftAlone) {
    const std::string file = folder.File("Quorvel.sdb");
    const std::vector<unsigned char> garbage(1000, 0x5A);
    WriteBytes(file, garbage);
    SetLibraryPathSetting(file);
    { PhotoshopDialog dialog(PhotoshopDialog::kWindowless, nullptr, nullptr); }
    EXPECT_EQ(FramesLibrary(), nullptr);
    EXPECT_NE(PresetsLibrary(), nullptr);
    EXPECT_EQ(ReadBytes(file), garbage);
}
