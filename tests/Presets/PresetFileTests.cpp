// Preset files: what a preset keeps and gives back, the presets that are refused with the current
// stack left as it was, the category folders, and the move of the frame library.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "BigEndian.h"
#include "Libraries.h"
#include "PresetFixture.h"
#include "PropertyListFile.h"
#include "QVDatabase.h"
#include "TempFolder.h"
#include "ThumbnailGenerator.h"
#include "Utf.h"
#include "VantrelFileUtils.h"

namespace {

constexpr int kRunTimePrefix = ParameterHeader::kRunTimePrefix;

// A 30 x 20 RGB image whose rows the host delivers, or refuses to.
class TestImage : public ThumbnailSource {
public:
    explicit TestImage(bool delivers = true) : delivers_(delivers) {}
    Rect16 HostArea() const override { return {0, 0, 20, 30}; }
    int32_t ScaleFactor() const override { return 1; }
    int16_t ImageMode() const override { return 3; }
    int32_t Planes() const override { return 3; }
    bool IsSixteenBit() const override { return false; }
    bool ReadRows(const Rect16& area, void* samples) override {
        const int64_t bytes = int64_t{area.bottom - area.top} * (area.right - area.left) * 3;
        std::memset(samples, 0x5A, static_cast<size_t>(bytes));
        return delivers_;
    }

private:
    bool delivers_;
};

class PresetFiles : public PresetFixture {
protected:
    std::string Preset(const std::string& name = "Stack.qvo") { return folder_ / name; }

    // The settings blob of a written preset.
    std::vector<uint8_t> StoredSettings(const std::string& path) {
        const PropertyListFile preset(path);
        std::vector<uint8_t> blob;
        EXPECT_TRUE(preset.GetData("QuorvelSettings", blob));
        return blob;
    }
    // A settings blob as the handle holds it, behind a run-time link of zeros.
    static std::vector<uint8_t> ImageOf(const std::vector<uint8_t>& blob) {
        std::vector<uint8_t> image(kRunTimePrefix, 0);
        image.insert(image.end(), blob.begin(), blob.end());
        return image;
    }
    // Rewrites the settings blob of a preset file.
    void StoreSettings(const std::string& path, const std::vector<uint8_t>& blob) {
        PropertyListFile preset(path);
        ASSERT_TRUE(preset.SetData("QuorvelSettings", blob));
        ASSERT_TRUE(preset.Save());
    }
    // The block after a load that must change nothing: its bytes and the photo's row.
    void ExpectStackUnchanged(const std::vector<uint8_t>& before, int32_t photo) {
        EXPECT_EQ(HandleBytes(), before);
        EXPECT_EQ(filter_.Stack().TargetLayerPos(), photo);
    }

    TempFolder folder_;
};

}  // namespace

TEST_F(PresetFiles, APresetGivesBackTheSameStackWithItsPathsRelativeInTheFile) {
    MakeStack(1);
    const std::vector<uint8_t> saved = HandleBytes();
    ASSERT_EQ(filter_.WritePresetFile(Preset(), {}, nullptr), 0);

    const PropertyListFile preset(Preset());
    ASSERT_TRUE(preset.HasDictionary());
    int32_t position = -1;
    EXPECT_TRUE(preset.GetInt("TargetLayerPos", position));
    EXPECT_EQ(position, 1);
    ASSERT_NE(preset.Dictionary()->GetDouble("PresetVersion"), std::nullopt);
    EXPECT_EQ(*preset.Dictionary()->GetDouble("PresetVersion"), 1.0);
    std::string text;
    for (const char* key : {"Category", "Author", "Description"}) EXPECT_FALSE(preset.GetString(key, text)) << key;

    // The blob is the block from its framework header on; only the library's frame paths differ.
    std::vector<uint8_t> image = ImageOf(StoredSettings(Preset()));
    ASSERT_EQ(image.size(), saved.size());
    EXPECT_EQ(BigEndian::Read16(image.data() + kRunTimePrefix), image.size() - kRunTimePrefix);
    const ParameterBlockView stored(image.data(), static_cast<int64_t>(image.size()));
    EXPECT_EQ(SourceOf(stored.Layer(0)).GetKind(), FileSpec::Kind::Relative);
    EXPECT_EQ(SourceOf(stored.Layer(0)).Text(), "Frames\\oak.jpg");
    EXPECT_EQ(SourceOf(stored.Layer(2)).Text(), "Borders\\Café Ω.frm");
    EXPECT_EQ(SourceOf(stored.Path(1)).Text(), "Textures\\linen.jpg");
    EXPECT_EQ(SourceOf(stored.Layer(3)).GetKind(), FileSpec::Kind::Path);  // outside the library
    EXPECT_TRUE(HoldsShape(stored.Layer(1)));
    std::vector<uint8_t> expected = saved;
    const ParameterBlockView live(expected.data(), static_cast<int64_t>(expected.size()));
    for (int i : {0, 2}) SetSource(live.Layer(i), SourceOf(stored.Layer(i)));
    SetSource(live.Path(1), SourceOf(stored.Path(1)));
    EXPECT_TRUE(std::equal(image.begin() + kRunTimePrefix, image.end(), expected.begin() + kRunTimePrefix));
    // The live block kept its absolute paths.
    EXPECT_EQ(HandleBytes(), saved);

    // Loaded over another stack, the preset gives back the block, paths absolute again.
    filter_.SetDefaultParameters(0);
    ASSERT_EQ(filter_.LoadPresetFile(Preset(), false), 0);
    EXPECT_EQ(HandleBytes(), saved);
    EXPECT_EQ(filter_.Stack().TargetLayerPos(), 1);
    EXPECT_EQ(state_.layerStates.Count(), 5);  // four layers and the texture
}

TEST_F(PresetFiles, OneLayerWithoutPathRecordsKeeps2392BytesOfSettings) {
    filter_.SetDefaultParameters(0);
    ASSERT_EQ(filter_.ResizeStackStorage(1, false), 0);
    ASSERT_EQ(filter_.WritePresetFile(Preset(), {}, nullptr), 0);
    EXPECT_EQ(StoredSettings(Preset()).size(), 2392u);
}

TEST_F(PresetFiles, TextsAreWrittenWhenGiven) {
    MakeStack();
    ASSERT_EQ(filter_.WritePresetFile(Preset(), {"Wedding", "Ana Ω", "Soft\nand light"}, nullptr), 0);
    const PropertyListFile preset(Preset());
    std::string category, author, description;
    EXPECT_TRUE(preset.GetString("Category", category));
    EXPECT_TRUE(preset.GetString("Author", author));
    EXPECT_TRUE(preset.GetString("Description", description));
    EXPECT_EQ(category, "Wedding");
    EXPECT_EQ(author, "Ana Ω");
    EXPECT_EQ(description, "Soft\nand light");

    // A text that cannot be stored fails the preset before anything is written.
    EXPECT_EQ(filter_.WritePresetFile(Preset("Bad.qvo"), {"", "\xff\xfe", ""}, nullptr), Quorvel::kPresetNotStored);
    EXPECT_EQ(GetFileKind(Preset("Bad.qvo")), 0u);
}

TEST_F(PresetFiles, APresetOverAnotherKeepsNothingOfItAndLeavesNoTemporaryFile) {
    MakeStack();
    ASSERT_EQ(filter_.WritePresetFile(Preset(), {"Wedding", "Ana", "Old"}, nullptr), 0);
    ASSERT_EQ(filter_.WritePresetFile(Preset(), {}, nullptr), 0);
    const PropertyListFile preset(Preset());
    std::string text;
    EXPECT_FALSE(preset.GetString("Description", text));
    std::vector<std::string> files;
    ASSERT_TRUE(GetFolderContents(folder_.Path(), files));
    EXPECT_EQ(files, std::vector<std::string>{"Stack.qvo"});
}

TEST_F(PresetFiles, AFailedWriteAnswers148AndLeavesWhatWasThere) {
    MakeStack();
    EXPECT_EQ(filter_.WritePresetFile(folder_ / "No such folder\\Stack.qvo", {}, nullptr), Quorvel::kPresetNotStored);
    EXPECT_EQ(filter_.WritePresetFile("", {}, nullptr), Quorvel::kPresetNotStored);

    // A preset that another program holds open cannot be replaced: it stays whole.
    ASSERT_TRUE(WriteTextFile(Preset(), "what was there"));
    {
        const OwnedFile held(CreateFileW(Utf8ToUtf16(Preset()).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        EXPECT_EQ(filter_.WritePresetFile(Preset(), {}, nullptr), Quorvel::kPresetNotStored);
    }
    EXPECT_EQ(ReadTextFile(Preset()), "what was there");
    std::vector<std::string> files;
    ASSERT_TRUE(GetFolderContents(folder_.Path(), files));
    EXPECT_EQ(files, std::vector<std::string>{"Stack.qvo"});
}

TEST_F(PresetFiles, TheThumbnailIsAPictureOfTheImageAndAbsentWhenItCannotBeMade) {
    MakeStack();
    TestImage image;
    ASSERT_EQ(filter_.WritePresetFile(Preset(), {}, &image), 0);
    std::vector<uint8_t> picture;
    ASSERT_TRUE(PropertyListFile(Preset()).GetData("Thumbnail", picture));
    PictureHeader::Layout layout;
    ASSERT_TRUE(PictureHeader::Describe(picture.data(), picture.size(), layout));
    EXPECT_EQ(layout.width, 128);
    EXPECT_EQ(layout.height, 86);  // 128 x 20 / 30, centred and rounded
    EXPECT_EQ(layout.channels, 3);
    EXPECT_EQ(picture.back(), 0x5A);

    TestImage refused(false);
    ASSERT_EQ(filter_.WritePresetFile(Preset(), {}, &refused), 0);
    EXPECT_FALSE(PropertyListFile(Preset()).GetData("Thumbnail", picture));
    EXPECT_EQ(StoredSettings(Preset()).size() + kRunTimePrefix, HandleBytes().size());
}

TEST_F(PresetFiles, SettingsThatFailAnyCheckAreRefusedWith17004AndChangeNothing) {
    MakeStack(1);
    ASSERT_EQ(filter_.WritePresetFile(Preset(), {}, nullptr), 0);
    const std::vector<uint8_t> good = StoredSettings(Preset());
    const auto layerField = [](int layer, uint32_t offset) {
        return BlockLayout::kLayers - kRunTimePrefix + LayerLayout::kLength * layer + offset;
    };
    constexpr uint32_t kCounts = BlockLayout::kLayerCount.offset - kRunTimePrefix;
    struct Case {
        const char* name;
        void (*spoil)(std::vector<uint8_t>&, uint32_t, uint32_t);
    };
    const uint32_t scaleOfLayer2 = layerField(2, LayerLayout::kScaleX.offset);
    const Case cases[] = {
        {"one byte short", [](std::vector<uint8_t>& b, uint32_t, uint32_t) { b.pop_back(); }},
        {"one byte more", [](std::vector<uint8_t>& b, uint32_t, uint32_t) { b.push_back(0); }},
        {"size field one less",
         [](std::vector<uint8_t>& b, uint32_t, uint32_t) { BigEndian::Write16(b.data(), static_cast<uint16_t>(b.size() - 1)); }},
        {"a layer more than stored", [](std::vector<uint8_t>& b, uint32_t counts, uint32_t) { BigEndian::WriteI16(b.data() + counts, 5); }},
        {"more layers than a stack holds",
         [](std::vector<uint8_t>& b, uint32_t counts, uint32_t) { BigEndian::WriteI16(b.data() + counts, 33); }},
        {"negative path records",
         [](std::vector<uint8_t>& b, uint32_t counts, uint32_t) { BigEndian::WriteI16(b.data() + counts + 2, -1); }},
        {"a scale that is no number",
         [](std::vector<uint8_t>& b, uint32_t, uint32_t scale) {
             BigEndian::WriteFloat(b.data() + scale, std::numeric_limits<float>::quiet_NaN());
         }},
        {"another filter's settings", [](std::vector<uint8_t>& b, uint32_t, uint32_t) { BigEndian::Write32(b.data() + 4, 'abcd'); }},
        {"a header only", [](std::vector<uint8_t>& b, uint32_t, uint32_t) { b.resize(ParameterHeader::kHeaderLength); }},
        {"nothing", [](std::vector<uint8_t>& b, uint32_t, uint32_t) { b.clear(); }},
    };

    filter_.SetDefaultParameters(0);
    ASSERT_EQ(filter_.ResizeStackStorage(2, false), 0);
    filter_.Stack().SetTargetLayerPos(2);
    const std::vector<uint8_t> before = HandleBytes();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> blob = good;
        c.spoil(blob, kCounts, scaleOfLayer2);
        StoreSettings(Preset(), blob);
        EXPECT_EQ(filter_.LoadPresetFile(Preset(), false), Err::SettingsCorrupt);
        ExpectStackUnchanged(before, 2);
    }
}

TEST_F(PresetFiles, FilesThatHoldNoPresetAreRefusedClearly) {
    MakeStack();
    ASSERT_EQ(filter_.WritePresetFile(Preset(), {}, nullptr), 0);
    const std::string whole = ReadTextFile(Preset());
    const std::string plist = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
    struct Case {
        const char* name;
        std::string content;
    };
    const Case files[] = {
        {"empty", ""},
        {"garbage", std::string("\x00\xff\x13garbage\x80\x81", 12)},
        {"cut short", whole.substr(0, whole.size() / 2)},
        {"no dictionary", plist + "<array><integer>1</integer></array></plist>"},
        {"no settings", plist + "<dict><key>PresetVersion</key><real>1</real></dict></plist>"},
        {"settings as text", plist + "<dict><key>QuorvelSettings</key><string>AAAA</string></dict></plist>"},
        {"settings not base64", plist + "<dict><key>QuorvelSettings</key><data>!!!*</data></dict></plist>"},
        {"far too large", std::string(5 << 20, ' ')},
    };
    filter_.SetDefaultParameters(0);
    const std::vector<uint8_t> before = HandleBytes();
    for (const Case& f : files) {
        SCOPED_TRACE(f.name);
        ASSERT_TRUE(WriteTextFile(Preset("Broken.qvo"), f.content));
        EXPECT_EQ(filter_.LoadPresetFile(Preset("Broken.qvo"), false), Err::SettingsCorrupt);
        ExpectStackUnchanged(before, 0);
    }
    for (const std::string& missing : {Preset("Missing.qvo"), std::string(), folder_.Path()}) {
        SCOPED_TRACE(missing);
        EXPECT_EQ(filter_.LoadPresetFile(missing, false), Err::FileMissing);
        ExpectStackUnchanged(before, 0);
    }
}

TEST_F(PresetFiles, ThePhotoTakesThePresetsRowOrGoesOnTopAndTheLayersAreLinkedOnEachSide) {
    MakeStack(1);
    // Four layers, none linked: the load links them.
    for (int i = 0; i < 4; ++i) {
        Layer(i).Set(LayerLayout::kLinkedPrevious, 0);
        Layer(i).Set(LayerLayout::kLinkedNext, 0);
    }
    ASSERT_EQ(filter_.WritePresetFile(Preset(), {}, nullptr), 0);
    struct Case {
        const char* name;
        std::optional<int32_t> stored;
        int32_t photo;
    };
    const Case cases[] = {{"its row", 1, 1}, {"below all", 0, 0}, {"none", std::nullopt, 4}, {"above the stack", 5, 4}, {"negative", -2, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            PropertyListFile preset(Preset());
            if (c.stored) ASSERT_TRUE(preset.SetInt("TargetLayerPos", static_cast<uint32_t>(*c.stored)));
            else preset.Dictionary()->Remove("TargetLayerPos");
            ASSERT_TRUE(preset.Save());
        }
        filter_.SetDefaultParameters(0);
        filter_.Stack().SetTargetLayerPos(0);
        ASSERT_EQ(filter_.LoadPresetFile(Preset(), false), 0);
        EXPECT_EQ(filter_.Stack().TargetLayerPos(), c.photo);
        // One group below the photo and one above it.
        for (int a = 0; a < 4; ++a)
            for (int b = 0; b < 4; ++b)
                EXPECT_EQ(filter_.Stack().LayersLinked(a, b), (a < c.photo) == (b < c.photo)) << a << " " << b;
    }
}

TEST_F(PresetFiles, ALoadKeepsTheBlocksRunTimeLinkUnlessDetached) {
    MakeStack();
    ASSERT_EQ(filter_.WritePresetFile(Preset(), {}, nullptr), 0);
    std::memset(View().Bytes(), 0x77, kRunTimePrefix);
    ASSERT_EQ(filter_.LoadPresetFile(Preset(), false), 0);
    EXPECT_EQ(std::vector<uint8_t>(View().Bytes(), View().Bytes() + kRunTimePrefix), std::vector<uint8_t>(kRunTimePrefix, 0x77));
    ASSERT_EQ(filter_.LoadPresetFile(Preset(), true), 0);
    EXPECT_EQ(std::vector<uint8_t>(View().Bytes(), View().Bytes() + kRunTimePrefix), std::vector<uint8_t>(kRunTimePrefix, 0));
}

TEST_F(PresetFiles, WithoutALibraryPathsStayAsTheyAre) {
    MakeStack();
    SetFrameLibraryFolder("");
    ASSERT_EQ(filter_.WritePresetFile(Preset(), {}, nullptr), 0);
    std::vector<uint8_t> image = ImageOf(StoredSettings(Preset()));
    const ParameterBlockView stored(image.data(), static_cast<int64_t>(image.size()));
    EXPECT_EQ(SourceOf(stored.Layer(0)).Text(), "C:\\Library\\Frames\\oak.jpg");

    // A relative path loaded with no library open stays relative, to resolve once one is.
    SetFrameLibraryFolder(kLibrary);
    ASSERT_EQ(filter_.WritePresetFile(Preset(), {}, nullptr), 0);
    SetFrameLibraryFolder("");
    ASSERT_EQ(filter_.LoadPresetFile(Preset(), false), 0);
    EXPECT_EQ(SourceOf(Layer(0)).GetKind(), FileSpec::Kind::Relative);
    EXPECT_EQ(SourceOf(Layer(0)).Text(), "Frames\\oak.jpg");
}

TEST_F(PresetFiles, TheRepositorysSamplePresetsLoadWithTheirFramesInTheLibrary) {
    const char* source = std::getenv("QUORVEL_SOURCE");
    ASSERT_NE(source, nullptr);
    std::string samples = std::string("Z:") + source + "/samples";
    std::replace(samples.begin(), samples.end(), '/', '\\');
    SetFrameLibraryFolder(samples);
    for (const char* name : {"blend-stack", "ellipse-shadow", "frame-file", "rounded-rectangle", "star-edges", "three-part"}) {
        SCOPED_TRACE(name);
        filter_.SetDefaultParameters(0);
        ASSERT_EQ(filter_.LoadPresetFile(samples + "\\" + name + ".qvo", true), 0);
        // Every frame the preset names is now a file of the samples' library.
        const ParameterBlockView view = View();
        for (int i = 0; i < view.LayerSlots(); ++i) {
            if (HoldsShape(view.Layer(i)) || SourceOf(view.Layer(i)).IsEmpty()) continue;
            const FileSpec spec = SourceOf(view.Layer(i));
            EXPECT_EQ(spec.GetKind(), FileSpec::Kind::Path);
            EXPECT_NE(GetFileKind(spec.Text()) & FileKind::kFile, 0u) << spec.Text();
        }
    }
}

// ---- Categories and the presets folder

TEST(PresetCategories, ANameThatCouldLeaveThePresetsFolderIsRefusedAndThePresetsFolderUsed) {
    const HostCallScope call(HostCall{});
    std::string presets;
    ASSERT_EQ(Quorvel::PresetsFolder(presets), 0);
    EXPECT_TRUE(presets.ends_with("\\Vantrel Software\\Quorvel 4.6\\Presets")) << presets;
    EXPECT_NE(GetFileKind(presets) & FileKind::kFolder, 0u);

    for (const char* refused : {"", ".", "..", "....", "a\\b", "a/b", "C:x", "..\\..\\Up", "a*b", "a?", "a|b",
                                "\"q\"", "<a>", "tab\tname"}) {
        SCOPED_TRACE(refused);
        EXPECT_FALSE(Quorvel::IsUsableCategoryName(refused));
        std::string folder;
        ASSERT_EQ(Quorvel::PresetCategoryFolder(refused, folder), 0);
        EXPECT_EQ(folder, presets);
    }
    EXPECT_FALSE(Quorvel::IsUsableCategoryName(std::string(256, 'a')));

    const std::string name = "Wedding Ω " + std::to_string(GetCurrentProcessId());
    for (const std::string& usable : {name, std::string("a.b"), std::string(".hidden")}) EXPECT_TRUE(Quorvel::IsUsableCategoryName(usable));
    std::string folder;
    ASSERT_EQ(Quorvel::PresetCategoryFolder(name, folder), 0);
    EXPECT_EQ(folder, presets + "\\" + name);
    EXPECT_NE(GetFileKind(folder) & FileKind::kFolder, 0u);
    RemoveDirectoryW(Utf8ToUtf16(folder).c_str());
}

TEST_F(PresetFiles, ARefusedCategoryIsNotWrittenToThePreset) {
    MakeStack();
    for (const char* refused : {"..", "..\\..\\Windows", "a/b", "C:Up"}) {
        SCOPED_TRACE(refused);
        ASSERT_EQ(filter_.WritePresetFile(Preset(), {refused, "Ana", ""}, nullptr), 0);
        const PropertyListFile preset(Preset());
        std::string text;
        EXPECT_FALSE(preset.GetString("Category", text));
        EXPECT_TRUE(preset.GetString("Author", text));
    }
}

// ---- The move of the frame library

class LibraryMove : public PresetFixture {
protected:
    void SetUp() override {
        PresetFixture::SetUp();
        CloseLibraries();
    }
    void TearDown() override {
        CloseLibraries();
        SetLibraryPathSetting("");
        PresetFixture::TearDown();
    }
    TempFolder from_{"Library A"};
    TempFolder to_{"Library B"};
};

TEST_F(LibraryMove, TheStacksPathsFollowTheLibraryToItsNewFolder) {
    SetLibraryPathSetting(from_ / "Quorvel.sdb");
    OpenLibraries(HostCall::Current().number);
    ASSERT_NE(FramesLibrary(), nullptr);
    ASSERT_EQ(FrameLibraryFolder(), from_.Path());
    MakeStack();
    SetSource(Layer(0), FileSpec::FromPath(from_ / "Frames\\oak.jpg"));
    SetSource(View().Path(1), FileSpec::FromPath(from_ / "Textures\\linen.jpg"));

    filter_.SetLibraryFolder(to_.Path());
    ASSERT_NE(FramesLibrary(), nullptr);
    EXPECT_EQ(std::string(FramesLibrary()->Path()), to_.Path());
    EXPECT_EQ(FrameLibraryFolder(), to_.Path());
    EXPECT_NE(GetFileKind(to_ / "Quorvel.sdb") & FileKind::kFile, 0u);
    EXPECT_EQ(SourceOf(Layer(0)).Text(), to_ / "Frames\\oak.jpg");
    EXPECT_EQ(SourceOf(View().Path(1)).Text(), to_ / "Textures\\linen.jpg");
    EXPECT_EQ(SourceOf(Layer(3)).Text(), "D:\\Elsewhere\\gilt.jpg");  // never in the library
    EXPECT_TRUE(HoldsShape(Layer(1)));
}

TEST_F(LibraryMove, WithoutAnOpenLibraryOnlyTheFolderChanges) {
    MakeStack();
    filter_.SetLibraryFolder(to_.Path());
    EXPECT_EQ(FrameLibraryFolder(), to_.Path());
    EXPECT_EQ(FramesLibrary(), nullptr);
    EXPECT_EQ(SourceOf(Layer(0)).Text(), "C:\\Library\\Frames\\oak.jpg");
}
