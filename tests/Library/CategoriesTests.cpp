#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Categories.h"
#include "LibraryTestSupport.h"

namespace {

std::string PropertyList(const std::string& root) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + root + "</plist>\n";
}

std::string Entry(const std::string& body) { return "<dict>" + body + "</dict>"; }
std::string Key(const std::string& key, const std::string& value) { return "<key>" + key + "</key>" + value; }
std::string Text(const std::string& text) { return "<string>" + text + "</string>"; }

// The tree as lines "depth:name|label".
void Flatten(const std::vector<CategoryNode>& nodes, int depth, std::vector<std::string>& out) {
    for (const CategoryNode& node : nodes) {
        out.push_back(std::to_string(depth) + ":" + node.name + "|" + node.label);
        Flatten(node.children, depth + 1, out);
    }
}

std::vector<std::string> TreeOf(const ScratchFolder& folder, const std::string& xml) {
    const std::string path = folder.File("QuorvelCategories.xml");
    WriteBytes(path, std::vector<unsigned char>(xml.begin(), xml.end()));
    Categories categories;
    categories.LoadCategories(path);
    std::vector<std::string> lines;
    Flatten(categories.Tree(), 1, lines);
    return lines;
}

}  // namespace

TEST(Categories, EntriesNestInDisplayOrderWithoutSeparators) {
    ScratchFolder folder;
    const std::string xml = PropertyList(
        "<array>" + Entry(Key("name", Text("Classic")) + Key("displayName", Text("Classic Frames"))) +
        Entry(Key("separator", "<true/>") + Key("name", Text("Hidden"))) +
        Entry(Key("name", Text("Film")) +
              Key("categories", "<array>" +
                                    Entry(Key("name", Text("35mm")) +
                                          Key("categories", "<array>" + Entry(Key("name", Text("Slide"))) + "</array>")) +
                                    "</array>")) +
        Entry(Key("displayName", Text("No name")) + Key("categories", "<array>" + Entry(Key("name", Text("Orphan"))) + "</array>")) +
        "</array>");
    EXPECT_EQ(TreeOf(folder, xml),
              (std::vector<std::string>{"1:Classic|Classic Frames", "1:Film|Film", "2:35mm|35mm", "3:Slide|Slide"}));
}

TEST(Categories, ValuesOfTheWrongTypeAndDeepLevelsAreLeftOut) {
    ScratchFolder folder;
    std::string deep = Entry(Key("name", Text("Level 20")));
    for (int level = 19; level >= 1; --level) {
        deep = Entry(Key("name", Text("Level " + std::to_string(level))) + Key("categories", "<array>" + deep + "</array>"));
    }
    const std::string xml = PropertyList("<array>" + Text("stray") + Entry(Key("name", "<integer>5</integer>")) +
                                         Entry(Key("name", Text(std::string(300, 'n'))) +
                                               Key("displayName", "<integer>1</integer>") +
                                               Key("categories", Text("not an array"))) +
                                         deep + "</array>");
    const std::vector<std::string> lines = TreeOf(folder, xml);
    ASSERT_EQ(lines.size(), 1u + Categories::kMaxDepth);
    EXPECT_EQ(lines[0], "1:" + std::string(255, 'n') + "|" + std::string(255, 'n'));
    EXPECT_EQ(lines.back(), "16:Level 16|Level 16");
}

TEST(Categories, AMissingOrMalformedFileGivesAnEmptyTree) {
    ScratchFolder folder;
    Categories missing;
    missing.LoadCategories(folder.File("none.xml"));
    EXPECT_EQ(missing.PropertyList(), nullptr);
    EXPECT_TRUE(missing.Tree().empty());
    EXPECT_TRUE(TreeOf(folder, "<plist><array><dict><key>name</key>").empty());
    EXPECT_TRUE(TreeOf(folder, PropertyList(Entry(Key("name", Text("Root is no array"))))).empty());
    EXPECT_TRUE(TreeOf(folder, "").empty());
}

TEST(Categories, TheFileLivesInTheFramesLibraryDefaultFolder) {
    const std::string path = Categories::DefaultPath();
    EXPECT_NE(path.find("\\Vantrel Software\\Quorvel 4.6\\QuorvelCategories.xml"), std::string::npos) << path;
}
