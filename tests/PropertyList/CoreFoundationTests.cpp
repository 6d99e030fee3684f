#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "TempFolder.h"
#include "VantrelCoreFoundation.h"

namespace {

std::span<const uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::optional<cf::Value> Parse(std::string_view xml, std::string* error = nullptr) {
    return cf::PropertyList::FromXml(Bytes(xml), error);
}

std::string Wrap(std::string_view body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + std::string(body) + "</plist>";
}

cf::Value SampleTree() {
    cf::Dictionary inner;
    inner.SetString("name", "Café Ω – 日本");
    inner.SetString("markup", "a & b < c > d \"q\" 'a'");
    inner.SetString("lines", "one\r\ntwo\rthree\n\tfour");
    inner.SetString("spaces", "   ");
    inner.SetString("empty", "");
    inner.SetData("none", {});
    inner.Set("emptyArray", cf::Array());
    inner.Set("emptyDictionary", cf::Dictionary());

    cf::Array numbers;
    numbers.Append(cf::Value::Integer(std::numeric_limits<int64_t>::min()));
    numbers.Append(cf::Value::Integer(std::numeric_limits<int64_t>::max()));
    numbers.Append(cf::Value::Integer(-1));
    numbers.Append(cf::Value::Real(0.1));
    numbers.Append(cf::Value::Real(-1e300));
    numbers.Append(cf::Value::Real(1.0));
    numbers.Append(cf::Value::Real(static_cast<float>(0.3f)));
    numbers.Append(cf::Value::Boolean(true));
    numbers.Append(cf::Value::Boolean(false));
    numbers.Append(cf::Value::FromDate({-978307200.0}));  // 1970-01-01
    numbers.Append(cf::Value(inner));

    cf::Dictionary root;
    root.Set("numbers", numbers);
    root.Set("inner", inner);
    for (size_t length : {1, 2, 3, 4, 200}) {
        cf::Data data(length);
        for (size_t i = 0; i < length; ++i) data[i] = static_cast<uint8_t>(i * 37 + 11);
        root.SetData("data" + std::to_string(length), data);
    }
    return cf::Value(root);
}

}  // namespace

TEST(CoreFoundation, WrittenTreeReadsBackIdentically) {
    const cf::Value tree = SampleTree();
    const std::optional<std::string> xml = cf::PropertyList::ToXml(tree);
    ASSERT_TRUE(xml);
    std::string error;
    const std::optional<cf::Value> back = Parse(*xml, &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(*back, tree);
    EXPECT_EQ(cf::PropertyList::ToXml(*tree.AsDictionary()), xml);
    // The standard header and document type that other property-list tools expect.
    EXPECT_EQ(xml->rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC "
                         "\"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                         "<plist version=\"1.0\">\n<dict>\n\t<key>data1</key>\n",
                         0),
              0u);
    EXPECT_NE(xml->find("\t\t<date>1970-01-01T00:00:00Z</date>\n"), std::string::npos);
    EXPECT_NE(xml->find("<string>a &amp; b &lt; c &gt; d \"q\" 'a'</string>"), std::string::npos);
}

TEST(CoreFoundation, ReadsAHandWrittenStandardPropertyList) {
    const std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>Title</key>
	<string>Café Ω &amp; Co &#x65E5;</string>
	<key>Enabled</key>
	<true/>
	<key>Hidden</key>
	<false />
	<key>Count</key>
	<integer>-42</integer>
	<key>Mask</key>
	<integer>0x1F</integer>
	<key>Scale</key>
	<real>2.5e-3</real>
	<key>Created</key>
	<date>2024-02-29T13:45:30Z</date>
	<key>Blob</key>
	<data>
	SGVsbG8s
	IHdvcmxk
	IQ==
	</data>
	<key>Nested</key>
	<dict>
		<key>List</key>
		<array>
			<dict>
				<key>name</key>
				<string><![CDATA[<raw> & text]]></string>
			</dict>
			<array>
				<integer>1</integer>
				<real>-7</real>
			</array>
		</array>
		<key>Empty</key>
		<dict/>
	</dict>
</dict>
</plist>
)";
    std::string error;
    const std::optional<cf::Value> value = Parse(xml, &error);
    ASSERT_TRUE(value) << error;
    const cf::Dictionary* root = value->AsDictionary();
    ASSERT_TRUE(root);
    EXPECT_EQ(*root->GetString("Title"), "Café Ω & Co 日");
    EXPECT_EQ(root->GetBoolean("Enabled"), true);
    EXPECT_EQ(root->GetBoolean("Hidden"), false);
    EXPECT_EQ(root->GetInt32("Count"), -42);
    EXPECT_EQ(root->GetInt32("Mask"), 31);
    EXPECT_DOUBLE_EQ(*root->GetDouble("Scale"), 0.0025);
    const cf::Date* created = root->Find("Created")->AsDate();
    ASSERT_TRUE(created);
    EXPECT_EQ(created->sinceReferenceDate, 730907130.0);  // 8459 days and 49530 seconds after 2001
    ASSERT_TRUE(root->GetData("Blob"));
    EXPECT_EQ(std::string(root->GetData("Blob")->begin(), root->GetData("Blob")->end()), "Hello, world!");

    const cf::Array* list = root->GetDictionary("Nested")->GetArray("List");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->Count(), 2u);
    EXPECT_EQ(*list->At(0)->AsDictionary()->GetString("name"), "<raw> & text");
    EXPECT_EQ(list->At(1)->AsArray()->At(0)->ToInt32(), 1);
    EXPECT_EQ(list->At(1)->AsArray()->At(1)->ToDouble(), -7.0);
    EXPECT_EQ(list->At(2), nullptr);
    EXPECT_TRUE(root->GetDictionary("Nested")->GetDictionary("Empty")->Empty());
}

TEST(CoreFoundation, ReadsUtf16Documents) {
    const std::u16string text = u"\xFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?><plist version=\"1.0\"><string>Ω é</string></plist>";
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const std::optional<cf::Value> value = cf::PropertyList::FromXml({bytes, text.size() * 2});
    ASSERT_TRUE(value);
    EXPECT_EQ(*value->AsString(), "Ω é");
}

TEST(CoreFoundation, TypedReadsRefuseOtherTypes) {
    cf::Dictionary dictionary;
    dictionary.SetString("text", "12");
    dictionary.SetReal("real", 3.0);
    dictionary.SetInteger("big", int64_t{1} << 40);
    dictionary.SetInteger("small", -5);
    dictionary.SetBoolean("flag", true);

    EXPECT_FALSE(dictionary.GetInt32("text"));
    EXPECT_FALSE(dictionary.GetInt32("real"));
    EXPECT_FALSE(dictionary.GetInt32("big"));
    EXPECT_EQ(dictionary.GetInt64("big"), int64_t{1} << 40);
    EXPECT_FALSE(dictionary.GetInt32("flag"));
    EXPECT_FALSE(dictionary.GetBoolean("small"));
    EXPECT_EQ(dictionary.GetDouble("small"), -5.0);
    EXPECT_FALSE(dictionary.GetDouble("text"));
    EXPECT_EQ(dictionary.GetString("real"), nullptr);
    EXPECT_EQ(dictionary.GetData("text"), nullptr);
    EXPECT_EQ(dictionary.GetArray("text"), nullptr);
    EXPECT_EQ(dictionary.GetDictionary("missing"), nullptr);

    EXPECT_TRUE(dictionary.Remove("text"));
    EXPECT_FALSE(dictionary.Remove("text"));
    dictionary.SetInteger("small", 6);
    EXPECT_EQ(dictionary.GetInt32("small"), 6);
    EXPECT_EQ(dictionary.Count(), 4u);
}

TEST(CoreFoundation, LaterDuplicateKeyWins) {
    const auto value = Parse(Wrap("<dict><key>b</key><integer>1</integer><key>a</key><integer>2</integer>"
                                  "<key>b</key><integer>3</integer></dict>"));
    ASSERT_TRUE(value);
    EXPECT_EQ(value->AsDictionary()->Count(), 2u);
    EXPECT_EQ(value->AsDictionary()->GetInt32("b"), 3);
}

TEST(CoreFoundation, MalformedDocumentsFailCleanly) {
    const struct {
        const char* what;
        std::string xml;
    } cases[] = {
        {"empty input", ""},
        {"not XML", "hello"},
        {"truncated", "<plist version=\"1.0\"><dict><key>a</key><string>x"},
        {"mismatched tags", Wrap("<dict><key>a</key><string>x</integer></dict>")},
        {"unknown element", Wrap("<dict><key>a</key><color>red</color></dict>")},
        {"key without value", Wrap("<dict><key>a</key></dict>")},
        {"value without key", Wrap("<dict><integer>1</integer><integer>2</integer></dict>")},
        {"text inside a dictionary", Wrap("<dict>stray<key>a</key><true/></dict>")},
        {"element inside a string", Wrap("<string>a<b/>c</string>")},
        {"two root values", Wrap("<true/><false/>")},
        {"empty plist", Wrap("")},
        {"integer with junk", Wrap("<integer>12x</integer>")},
        {"empty integer", Wrap("<integer></integer>")},
        {"integer beyond 64 bits", Wrap("<integer>9223372036854775808</integer>")},
        {"real not a number", Wrap("<real>nan</real>")},
        {"real infinite", Wrap("<real>1e999</real>")},
        {"text in a boolean", Wrap("<true>yes</true>")},
        {"data not base64", Wrap("<data>SGV*bG8=</data>")},
        {"data with a lone digit", Wrap("<data>SGVsb</data>")},
        {"date not ISO", Wrap("<date>yesterday</date>")},
        {"date out of range", Wrap("<date>2024-13-01T00:00:00Z</date>")},
        {"string not UTF-8", Wrap("<string>\xC3\x28</string>")},
        {"key not UTF-8", Wrap("<dict><key>\xFF</key><true/></dict>")},
        {"surrogate in UTF-8", Wrap("<string>\xED\xA0\x80</string>")},
    };
    for (const auto& test : cases) {
        std::string error;
        EXPECT_FALSE(Parse(test.xml, &error)) << test.what;
        EXPECT_FALSE(error.empty()) << test.what;
    }
}

TEST(CoreFoundation, NestingDepthIsLimited) {
    auto nested = [](int depth) {
        std::string body;
        for (int i = 0; i < depth; ++i) body += "<array>";
        for (int i = 0; i < depth; ++i) body += "</array>";
        return Wrap(body);
    };
    EXPECT_TRUE(Parse(nested(cf::PropertyList::kMaxNestingDepth)));
    std::string error;
    EXPECT_FALSE(Parse(nested(cf::PropertyList::kMaxNestingDepth + 1), &error));
    EXPECT_NE(error.find("deeply"), std::string::npos);
    EXPECT_FALSE(Parse(nested(200000)));  // far too deep: refused without exhausting the stack
}

TEST(CoreFoundation, WriterRefusesWhatXmlCannotCarry) {
    cf::Dictionary control;
    control.SetString("bell", "a\x07");
    EXPECT_FALSE(cf::PropertyList::ToXml(cf::Value(control)));
    cf::Dictionary badKey;
    badKey.SetInteger("\xC0\x80", 1);
    EXPECT_FALSE(cf::PropertyList::ToXml(cf::Value(badKey)));
    EXPECT_FALSE(cf::PropertyList::ToXml(cf::Value::Real(std::numeric_limits<double>::infinity())));
    EXPECT_FALSE(cf::PropertyList::ToXml(cf::Value::Real(std::nan(""))));
}

TEST(CoreFoundation, FileUrlsReadAndReplaceFiles) {
    TempFolder folder;
    const std::string path = folder / "Liste ü.plist";
    EXPECT_FALSE(cf::FileUrl::FromFileSystemPath(""));
    EXPECT_FALSE(cf::FileUrl::FromFileSystemPath("C:\\\xFF.plist"));
    const std::optional<cf::FileUrl> url = cf::FileUrl::FromFileSystemPath(path);
    ASSERT_TRUE(url);

    cf::Data data;
    EXPECT_EQ(url->ReadData(data), cf::FileUrl::Status::NotFound);
    ASSERT_EQ(url->WriteData(Bytes("first version, longer")), cf::FileUrl::Status::Ok);
    ASSERT_EQ(url->WriteData(Bytes("second")), cf::FileUrl::Status::Ok);
    ASSERT_EQ(url->ReadData(data), cf::FileUrl::Status::Ok);
    EXPECT_EQ(std::string(data.begin(), data.end()), "second");

    // A folder cannot be read as a file nor replaced by one; nothing is left behind.
    const auto folderUrl = cf::FileUrl::FromFileSystemPath(folder.Path());
    EXPECT_EQ(folderUrl->ReadData(data), cf::FileUrl::Status::ReadFailed);
    EXPECT_TRUE(data.empty());
    const auto inFolder = cf::FileUrl::FromFileSystemPath(folder / "sub");
    ASSERT_TRUE(CreateDirectoryW(Utf8ToUtf16(folder / "sub").c_str(), nullptr));
    EXPECT_EQ(inFolder->WriteData(Bytes("x")), cf::FileUrl::Status::WriteFailed);
    const auto missingFolder = cf::FileUrl::FromFileSystemPath(folder / "missing\\a.plist");
    EXPECT_EQ(missingFolder->WriteData(Bytes("x")), cf::FileUrl::Status::WriteFailed);

    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(Utf8ToUtf16(folder / "*.tmp").c_str(), &entry);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE);
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
}
