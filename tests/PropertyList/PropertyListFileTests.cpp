#include <gtest/gtest.h>

#include "PropertyListFile.h"
#include "TempFolder.h"

namespace {

std::span<const uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace

TEST(PropertyListFile, MissingFileStartsEmptyAndSaveCreatesIt) {
    TempFolder folder;
    const std::string path = folder / "Préférences Ω.prf";
    {
        PropertyListFile file(path);
        ASSERT_TRUE(file.HasDictionary());
        EXPECT_TRUE(file.Dictionary()->Empty());
        EXPECT_EQ(file.Path(), path);
        EXPECT_TRUE(file.SetInt("Count", 5));
        EXPECT_TRUE(file.SetInt("Unsigned", 0xFFFFFFFEu));
        EXPECT_TRUE(file.SetFloat("PresetVersion", 1.0f));
        EXPECT_TRUE(file.SetString("Author", "Zoë Ω"));
        EXPECT_TRUE(file.SetData("Settings", Bytes(std::string("\0\1\2\xFF", 4))));
        ASSERT_TRUE(file.Save());
    }
    PropertyListFile again(path);
    ASSERT_TRUE(again.HasDictionary());
    int32_t count = 0;
    EXPECT_TRUE(again.GetInt("Count", count));
    EXPECT_EQ(count, 5);
    EXPECT_TRUE(again.GetInt("Unsigned", count));
    EXPECT_EQ(count, -2);
    EXPECT_EQ(again.Dictionary()->GetDouble("PresetVersion"), 1.0);
    std::string author;
    EXPECT_TRUE(again.GetString("Author", author));
    EXPECT_EQ(author, "Zoë Ω");
    std::vector<uint8_t> settings;
    EXPECT_TRUE(again.GetData("Settings", settings));
    EXPECT_EQ(settings, (std::vector<uint8_t>{0, 1, 2, 0xFF}));
}

TEST(PropertyListFile, GetsLeaveTheCallersValueWhenTheyFail) {
    PropertyListFile file;
    ASSERT_TRUE(file.SetString("Empty", ""));
    ASSERT_TRUE(file.SetString("Text", "x"));
    ASSERT_TRUE(file.SetFloat("Real", 2.5f));

    int32_t number = 77;
    EXPECT_FALSE(file.GetInt("Missing", number));
    EXPECT_FALSE(file.GetInt("Text", number));
    EXPECT_FALSE(file.GetInt("Real", number));
    EXPECT_EQ(number, 77);

    std::string text = "kept";
    EXPECT_FALSE(file.GetString("Empty", text));
    EXPECT_FALSE(file.GetString("Real", text));
    EXPECT_EQ(text, "kept");

    std::vector<uint8_t> bytes{9};
    EXPECT_FALSE(file.GetData("Text", bytes));
    EXPECT_EQ(bytes, std::vector<uint8_t>{9});

    EXPECT_FALSE(file.SetString("Bad", "\xC3"));
    EXPECT_FALSE(file.Save());  // no file bound
}

TEST(PropertyListFile, LongStringsAreCutAtAWholeCharacter) {
    PropertyListFile file;
    ASSERT_TRUE(file.SetString("Long", std::string(300, 'a')));
    std::string text;
    ASSERT_TRUE(file.GetString("Long", text));
    EXPECT_EQ(text, std::string(255, 'a'));

    // "é" is two bytes: 254 bytes of "a" then "é" would be cut in the middle at 255.
    ASSERT_TRUE(file.SetString("Accent", std::string(254, 'a') + "é"));
    ASSERT_TRUE(file.GetString("Accent", text));
    EXPECT_EQ(text, std::string(254, 'a'));
    ASSERT_TRUE(file.GetString("Accent", text, 1024));
    EXPECT_EQ(text, std::string(254, 'a') + "é");
}

TEST(PropertyListFile, UnreadableFilesGiveNoDictionaryAndStayUntouched) {
    TempFolder folder;
    const struct {
        const char* what;
        const char* content;
    } cases[] = {
        {"not a property list", "garbage"},
        {"empty file", ""},
        {"root is an array", "<plist version=\"1.0\"><array><integer>1</integer></array></plist>"},
        {"malformed value", "<plist version=\"1.0\"><dict><key>a</key><integer>x</integer></dict></plist>"},
    };
    for (const auto& test : cases) {
        const std::string path = folder / "bad.plist";
        ASSERT_TRUE(WriteTextFile(path, test.content));
        PropertyListFile file(path);
        EXPECT_FALSE(file.HasDictionary()) << test.what;
        EXPECT_EQ(file.Dictionary(), nullptr);
        EXPECT_FALSE(file.SetInt("a", 1)) << test.what;
        int32_t value = 3;
        EXPECT_FALSE(file.GetInt("a", value));
        EXPECT_EQ(value, 3);
        EXPECT_FALSE(file.Save()) << test.what;
        EXPECT_EQ(ReadTextFile(path), test.content) << test.what;
    }

    // A folder exists but holds no property list.
    PropertyListFile onFolder(folder.Path());
    EXPECT_FALSE(onFolder.HasDictionary());
    EXPECT_FALSE(onFolder.Save());
}

TEST(PropertyListFile, SavesToAnotherUrlAndKeepsNestedValues) {
    TempFolder folder;
    PropertyListFile file(folder / "a.qvo");
    ASSERT_TRUE(file.HasDictionary());
    cf::Array guides;
    guides.Append(cf::Value::Integer(10));
    guides.Append(cf::Value::Integer(-20));
    file.Dictionary()->Set("VGuide", guides);
    const auto other = cf::FileUrl::FromFileSystemPath(folder / "b.qvo");
    ASSERT_TRUE(file.Save(*other));

    PropertyListFile copy(folder / "b.qvo");
    ASSERT_TRUE(copy.HasDictionary());
    EXPECT_EQ(*copy.Dictionary(), *file.Dictionary());
    EXPECT_EQ(GetFileAttributesW(Utf8ToUtf16(folder / "a.qvo").c_str()), INVALID_FILE_ATTRIBUTES);
}
