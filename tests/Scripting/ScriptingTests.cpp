// The scripting descriptor through the stand-in host: what the plug-in reads from it and what it
// writes back, for the output modes and the layered-output lists.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "File.h"
#include "HostPlatform.h"
#include "HostSuites.h"
#include "QVDatabase.h"
#include "ScriptedHost.h"
#include "SettingsFile.h"
#include "Utf.h"

namespace {

using namespace scripted;

TEST(ScriptParameters, TheBlockIsAcceptedAsWrittenOrAsAWholeHandleImage) {
    const std::vector<uint8_t> block = StackBlock(2, 0, 0);
    qvhost::Descriptor asWritten;
    asWritten.Put('FrMP', FromByte4(block));
    const ScriptedRun first = RunScripted(asWritten);
    ASSERT_EQ(first.StartResult(), 0);
    ASSERT_EQ(first.parameters.size(), block.size());
    EXPECT_TRUE(std::equal(block.begin() + 8, block.end(), first.parameters.begin() + 8));

    // The word at byte 4 of the data is zero: the data is the whole handle, prefix included.
    qvhost::Descriptor whole;
    whole.Put('FrMP', {qvhost::DescriptorBlob(block.begin(), block.end())});
    const ScriptedRun second = RunScripted(whole);
    ASSERT_EQ(second.StartResult(), 0);
    EXPECT_EQ(second.parameters, first.parameters);
}

constexpr char kCorruptAlert[] =
    "alert 17004 answered 1: The settings appear to be corrupt. The default settings will be used instead.";

// 'FrMP' blobs that cannot be a block: wrong lengths, counts that break the size rule, garbage.
std::vector<std::pair<const char*, qvhost::DescriptorBlob>> CorruptBlobs() {
    const std::vector<uint8_t> block = StackBlock(2, 0, 0);
    const qvhost::DescriptorBlob written(block.begin() + 4, block.end());
    const auto edited = [&](auto edit) {
        std::vector<uint8_t> copy = block;
        edit(ParameterBlockView(copy.data(), static_cast<int64_t>(copy.size())).Block());
        return qvhost::DescriptorBlob(copy.begin() + 4, copy.end());
    };
    qvhost::DescriptorBlob garbage(written.size());
    uint32_t seed = 12345;
    for (uint8_t& byte : garbage) byte = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
    return {
        {"empty", {}},
        {"one byte", {7}},
        {"shorter than a header", qvhost::DescriptorBlob(written.begin(), written.begin() + 15)},
        {"a header and nothing else", qvhost::DescriptorBlob(written.begin(), written.begin() + 16)},
        {"cut inside the layers", qvhost::DescriptorBlob(written.begin(), written.begin() + 600)},
        {"one byte short", qvhost::DescriptorBlob(written.begin(), written.end() - 1)},
        {"one byte too many", [&] { auto longer = written; longer.push_back(0); return longer; }()},
        {"longer than a size field can say", qvhost::DescriptorBlob(8 + 0x10000, 1)},
        {"40 layers", edited([](RecordRef header) { header.Set(BlockLayout::kLayerCount, 40); })},
        {"a negative layer count", edited([](RecordRef header) { header.Set(BlockLayout::kLayerCount, -3); })},
        {"31 path records it does not hold", edited([](RecordRef header) { header.Set(BlockLayout::kPathCount, 31); })},
        {"garbage", garbage},
    };
}

// Settings handed in that cannot be a block get the report a corrupt block kept by the host gets,
// and the run goes on with the defaults.
TEST(ScriptParameters, ACorruptBlockIsReportedAndReplacedByTheDefaults) {
    for (const auto& [what, blob] : CorruptBlobs()) {
        qvhost::Descriptor descriptor;
        descriptor.Put('FrMP', {blob});
        descriptor.Put('TLPs', {int32_t{1}});  // belongs to the refused settings
        const ScriptedRun run = RunScripted(descriptor);
        EXPECT_EQ(run.StartResult(), 0) << what;
        EXPECT_EQ(run.result.alerts, std::vector<std::string>{kCorruptAlert}) << what;
        EXPECT_EQ(run.parameters, DefaultBlock()) << what;
        EXPECT_TRUE(run.document == SmallDocument()) << what << ": the defaults hold no frame";
    }
}

// Hands the host a parameters handle holding `block` before the start call, as a host does that
// kept the block of an earlier run.
void HostHolds(qvhost::HostOptions& options, std::vector<uint8_t> block) {
    options.beforeCall = [block](FilterRecord& record, int16_t selector) {
        if (selector != kSelectorStart || record.parameters) return;
        record.parameters = record.handleProcs->newHandle(static_cast<int32_t>(block.size()));
        std::memcpy(*record.parameters, block.data(), block.size());
    };
}

TEST(ScriptParameters, ACorruptBlockWhoseReportIsClosedEndsTheCallAndLeavesTheHostsBlockAlone) {
    const qvhost::ScopedEnvironment closed(L"QUORVEL_ALERT_ANSWER", L"2");
    const std::vector<uint8_t> kept = StackBlock(1, 0, 0);
    for (const auto& [what, blob] : CorruptBlobs()) {
        for (const bool hostHoldsABlock : {false, true}) {
            qvhost::Descriptor descriptor;
            descriptor.Put('FrMP', {blob});
            const ScriptedRun run = RunScripted(descriptor, [&](qvhost::HostOptions& options) {
                if (hostHoldsABlock) HostHolds(options, kept);
            });
            EXPECT_EQ(run.StartResult(), 32512) << what;
            ASSERT_EQ(run.result.alerts.size(), 1u) << what;
            EXPECT_EQ(run.result.alerts[0].rfind("alert 17004 answered 2:", 0), 0u) << run.result.alerts[0];
            EXPECT_EQ(run.parameters, hostHoldsABlock ? kept : std::vector<uint8_t>()) << what;
            EXPECT_TRUE(run.document == SmallDocument()) << what;
        }
    }
}

// Every key the plug-in reads, holding a value of another type. The host's suite refuses to read
// it; the host gets a code it reports as an error (a bad parameter), never a positive number it
// would take for an error already reported.
TEST(ScriptParameters, AKeyOfTheWrongTypeIsABadParameter) {
    using Value = qvhost::DescriptorValue;
    const Value block = FromByte4(StackBlock(2, 0, 0));
    const Value text{std::string("2")}, number{int32_t{1}}, yes{true}, bytes{qvhost::DescriptorBlob(8, 1)};
    struct Case {
        const char* what;
        std::vector<std::pair<uint32_t, Value>> keys;
        int16_t answer;
    };
    const Case cases[] = {
        {"FrMP as an integer", {{'FrMP', number}}, -30100},
        {"FrMP as a string", {{'FrMP', text}}, -30100},
        {"FrMP as a list", {{'FrMP', {qvhost::DescriptorList{block}}}}, -30100},
        {"TLPs as a string", {{'FrMP', block}, {'TLPs', text}}, -30100},
        {"TLPs as data", {{'FrMP', block}, {'TLPs', bytes}}, -30100},
        {"TLPs as a real", {{'FrMP', block}, {'TLPs', {2.0}}}, -30100},
        {"FrpM as data", {{'FrMP', block}, {'TLPs', number}, {'FrpM', bytes}}, -30100},
        {"LRCP as an integer", {{'LRCP', number}}, -30100},
        {"FraL as an integer", {{'FraL', number}}, -30100},
        {"FrbL as a boolean", {{'FrbL', yes}}, -30100},
        {"FrtL as data", {{'FrtL', bytes}}, -30100},
        {"FwnL as a string", {{'FwnL', text}}, -30100},
        // Read by type: what is not eight bytes of data is no batch job, and an item that is not
        // a block holds no layers.
        {"FbsT as an integer", {{'FbsT', number}}, 0},
        {"FrpM items that are not data", {{'FrMP', block}, {'TLPs', number}, {'FrpM', {qvhost::DescriptorList{number, text}}}}, 0},
    };
    for (const Case& c : cases) {
        qvhost::Descriptor descriptor;
        for (const auto& [key, value] : c.keys) descriptor.Put(key, value);
        const ScriptedRun run = RunScripted(descriptor);
        EXPECT_EQ(run.StartResult(), c.answer) << c.what;
        EXPECT_TRUE(run.result.alerts.empty()) << c.what;
        if (c.answer != 0) {
            EXPECT_TRUE(run.document == SmallDocument()) << c.what;
        }
        EXPECT_EQ(run.LogLinesWith("still acquired"), std::vector<std::string>()) << c.what;
    }
}

TEST(ScriptParameters, OutputModesThreeAndFourWriteOnlyTheBlockAndTheMode) {
    for (const auto& [layered, mode] : {std::pair<uint8_t, int32_t>{0, 3}, std::pair<uint8_t, int32_t>{4, 4}}) {
        qvhost::Descriptor descriptor;
        descriptor.Put('FrMP', FromByte4(StackBlock(2, 0, layered)));
        const ScriptedRun run = RunScripted(descriptor);
        ASSERT_EQ(run.StartResult(), 0);
        ASSERT_TRUE(run.written);
        EXPECT_EQ(Keys(*run.written), (std::vector<uint32_t>{'FrMP', 'Rslt'}));
        EXPECT_EQ(IntegerOf(*run.written, 'Rslt'), mode);
    }
}

TEST(ScriptParameters, EachFrameToANewLayerWritesOneItemAndNamePerEnabledLayer) {
    qvhost::Descriptor descriptor;
    descriptor.Put('FrMP', FromByte4(StackBlock(3, 2, 0, {1})));
    const ScriptedRun run = RunScripted(descriptor);
    ASSERT_EQ(run.StartResult(), 0);
    ASSERT_TRUE(run.written);
    EXPECT_EQ(IntegerOf(*run.written, 'Rslt'), 2);
    const auto& items = ListOf(*run.written, 'FrpM');
    const auto& names = ListOf(*run.written, 'FrnM');
    ASSERT_EQ(items.size(), 2u);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(std::get<std::string>(names[0].value), "Ellipse");
    EXPECT_EQ(std::get<std::string>(names[1].value), "Polygon");
    for (const auto& item : items) {
        EXPECT_EQ(std::get<qvhost::DescriptorBlob>(item.value).size(), 2396u);
        EXPECT_EQ(LayerCountOfItem(item), 1);
    }
}

TEST(ScriptParameters, ThePhotoPositionSplitsTheStackIntoTwoItems) {
    // TLPs of -1 means the photo lies over every layer: one item, and TLPs 1 written back.
    qvhost::Descriptor over;
    over.Put('FrMP', FromByte4(StackBlock(3, 1, 0)));
    over.Put('TLPs', {int32_t{-1}});
    const ScriptedRun whole = RunScripted(over);
    ASSERT_EQ(whole.StartResult(), 0);
    ASSERT_EQ(ListOf(*whole.written, 'FrpM').size(), 1u);
    EXPECT_EQ(LayerCountOfItem(ListOf(*whole.written, 'FrpM')[0]), 3);
    EXPECT_EQ(IntegerOf(*whole.written, 'TLPs'), 1);

    // Two earlier items of 1 and 1 layers put the photo after layer 2 of 3.
    qvhost::Descriptor between;
    between.Put('FrMP', FromByte4(StackBlock(3, 1, 0)));
    between.Put('TLPs', {int32_t{2}});
    qvhost::DescriptorList earlier;
    for (int i = 0; i < 2; ++i) earlier.push_back(FromByte4(StackBlock(1, 0, 0)));
    between.Put('FrpM', {earlier});
    const ScriptedRun split = RunScripted(between);
    ASSERT_EQ(split.StartResult(), 0);
    const auto& items = ListOf(*split.written, 'FrpM');
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(LayerCountOfItem(items[0]), 2);
    EXPECT_EQ(LayerCountOfItem(items[1]), 1);
    EXPECT_EQ(IntegerOf(*split.written, 'TLPs'), 1);
}

// A host that refuses the descriptor-list suite and serves every other one.
BasicSuite gRefusingBasic{};
decltype(BasicSuite::AcquireSuite) gHostAcquire = nullptr;

SPErr AcquireAllButLists(const char* name, int32_t version, const void** suite) {
    if (name && std::strcmp(name, kDescriptorListSuiteName) == 0) {
        *suite = nullptr;
        return kSPSuiteNotFoundError;
    }
    return gHostAcquire(name, version, suite);
}

void RefuseListSuite(FilterRecord& record, int16_t) {
    if (!record.sSPBasic || record.sSPBasic == &gRefusingBasic) return;
    gRefusingBasic = *record.sSPBasic;
    gHostAcquire = gRefusingBasic.AcquireSuite;
    gRefusingBasic.AcquireSuite = AcquireAllButLists;
    record.sSPBasic = &gRefusingBasic;
}

// A host calls finish only after a start that succeeded: whatever a failing start acquired, it
// gives back before it returns, and the host finds no suite still acquired at the end of the run.
TEST(ScriptParameters, NoWayOutOfAFailedStartLeavesASuiteAcquired) {
    using Descriptor = qvhost::Descriptor;
    using Options = qvhost::HostOptions;
    const auto asIs = [](auto&) {};
    struct Case {
        const char* what;
        std::function<void(Descriptor&)> descriptor;  // changes to a descriptor holding a stack
        std::function<void(Options&)> host;
        int16_t answer;
        const wchar_t* alertAnswer;
    };
    const Case cases[] = {
        {"a key of the wrong type", [](Descriptor& d) { d.Put('TLPs', {std::string("1")}); }, asIs, -30100, L"1"},
        {"every descriptor call fails", asIs, [](Options& o) { o.descriptorError = 'Parm'; }, -30100, L"1"},
        {"a corrupt block whose report is closed", [](Descriptor& d) { d.Put('FrMP', {qvhost::DescriptorBlob(40, 3)}); },
         asIs, 32512, L"2"},
        {"the host aborts the final pass", asIs, [](Options& o) { o.abortAfter = 0; }, 32512, L"1"},
        {"the host lacks advanceState", asIs, [](Options& o) { o.noAdvanceState = true; }, 17500, L"1"},
        {"the host refuses the list suite",
         [](Descriptor& d) {
             d.Put('TLPs', {int32_t{1}});
             d.Put('FrpM', {qvhost::DescriptorList{FromByte4(StackBlock(1, 0, 0))}});
         },
         [](Options& o) { o.beforeCall = RefuseListSuite; }, -108, L"1"},
    };
    for (const Case& c : cases) {
        const qvhost::ScopedEnvironment answer(L"QUORVEL_ALERT_ANSWER", c.alertAnswer);
        Descriptor descriptor;
        descriptor.Put('FrMP', FromByte4(StackBlock(2, 0, 0)));
        c.descriptor(descriptor);
        const ScriptedRun run = RunScripted(descriptor, c.host);
        EXPECT_EQ(run.StartResult(), c.answer) << c.what;
        EXPECT_EQ(run.result.Find(kSelectorFinish), nullptr) << c.what;
        EXPECT_FALSE(run.LogLinesWith("acquired suite").empty()) << c.what;
        EXPECT_EQ(run.LogLinesWith("still acquired"), std::vector<std::string>()) << c.what;
    }
}

// 'TLPs' of -1 stands for the block's layer count N; like any positive position, that count then
// counts the 'FrpM' items below the photo, whose layers place it.
TEST(ScriptParameters, APositionOverEveryLayerIsCountedInTheItemsBelowThePhoto) {
    struct Case {
        std::vector<int32_t> itemLayers;     // 'FrpM' handed in, one block per item
        bool list;                           // whether 'FrpM' is there at all
        std::vector<int16_t> writtenItems;   // the layers of each item written back
        int32_t writtenPosition;             // 'TLPs' written back
    };
    const Case cases[] = {
        {{}, false, {3}, 1},          // no list: over all three layers
        {{2, 1, 0}, true, {3}, 1},    // the items hold all three layers
        {{1, 1, 0}, true, {2, 1}, 1}, // the first three items hold two
        {{1}, true, {1, 2}, 1},       // one item of one layer
        {{}, true, {3}, 0},           // an empty list: nothing below the photo
    };
    for (const Case& c : cases) {
        qvhost::Descriptor descriptor;
        descriptor.Put('FrMP', FromByte4(StackBlock(3, 1, 0)));
        descriptor.Put('TLPs', {int32_t{-1}});
        if (c.list) {
            qvhost::DescriptorList items;
            for (int32_t layers : c.itemLayers) items.push_back(FromByte4(StackBlock(layers, 0, 0)));
            descriptor.Put('FrpM', {items});
        }
        const ScriptedRun run = RunScripted(descriptor);
        ASSERT_EQ(run.StartResult(), 0);
        ASSERT_TRUE(run.written);
        std::vector<int16_t> written;
        for (const auto& item : ListOf(*run.written, 'FrpM')) written.push_back(LayerCountOfItem(item));
        EXPECT_EQ(written, c.writtenItems) << c.itemLayers.size() << " items";
        EXPECT_EQ(IntegerOf(*run.written, 'TLPs'), c.writtenPosition) << c.itemLayers.size() << " items";
    }
}

// A preset file that names no photo position has the photo over all of its layers: through the
// stand-in host's --settings it renders as the same stack with the position given.
TEST(ScriptParameters, APresetWithoutAPhotoPositionPutsThePhotoOverItsLayers) {
    const std::vector<uint8_t> block = StackBlock(2, 0, 0);
    const char* temp = std::getenv("TEMP");
    const std::string path = std::string(temp ? temp : ".") + "\\no-position-" + std::to_string(GetCurrentProcessId()) + ".qvo";
    std::string error;
    ASSERT_TRUE(qvhost::WriteSettingsFile(path, {block.data() + 8, block.size() - 8}, error)) << error;

    const ScriptedRun preset = RunScripted(qvhost::Descriptor{}, [&](qvhost::HostOptions& options) { options.settingsIn = path; });
    DeleteFileA(path.c_str());
    qvhost::Descriptor overAll;
    overAll.Put('FrMP', FromByte4(block));
    overAll.Put('TLPs', {int32_t{2}});
    const ScriptedRun given = RunScripted(overAll);
    ASSERT_EQ(preset.StartResult(), 0);
    ASSERT_EQ(given.StartResult(), 0);
    EXPECT_FALSE(given.document == SmallDocument()) << "the frames show round the photo";
    EXPECT_TRUE(preset.document == given.document);
}

// Scripted blocks carry frame paths relative to the frame library; the host's block holds them
// absolute, and the name of a frame layer in 'FrnM' is its file's name.
// A sample frame copied into the frame library's folder for one test: the render loads the frames
// its settings name.
class LibraryFrame {
public:
    // A three-part frame (the sample's .FRR with its .FRI and .FRO beside it) under the name of
    // relativeBase + the part's extension.
    explicit LibraryFrame(const std::string& relativeBase) {
        QVDatabase library;
        library.InitNames();
        EXPECT_EQ(library.BuildPath(), 0);
        folder_ = library.Path();
        folder_.resize(folder_.find_last_of('\\'));
        const char* source = std::getenv("QUORVEL_SOURCE");
        for (const char* extension : {".FRR", ".FRI", ".FRO"}) {
            std::string sample = std::string("Z:") + (source ? source : "") + "/samples/frames/Carved" + extension;
            for (char& c : sample)
                if (c == '/') c = '\\';
            const std::string path = folder_ + "\\" + relativeBase + extension;
            EXPECT_TRUE(FileSpec::CreateParentFolder(path));
            EXPECT_TRUE(CopyFileW(Utf8ToUtf16(sample).c_str(), Utf8ToUtf16(path).c_str(), FALSE)) << path;
            paths_.push_back(path);
        }
    }
    ~LibraryFrame() {
        for (const std::string& path : paths_) DeleteFileW(Utf8ToUtf16(path).c_str());
    }
    LibraryFrame(const LibraryFrame&) = delete;
    LibraryFrame& operator=(const LibraryFrame&) = delete;
    const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
    std::vector<std::string> paths_;
};

TEST(ScriptParameters, RelativeFramePathsResolveAgainstTheFrameLibrary) {
    std::vector<uint8_t> block = StackBlock(2, 2, 0);
    const ParameterBlockView view(block.data(), static_cast<int64_t>(block.size()));
    const FileSpec relative = FileSpec::FromRelativePath("Frames\\User\\Caf\xC3\xA9.FRR");
    std::memcpy(view.Layer(0).At(LayerLayout::kSource), relative.bytes, FileSpec::kSize);
    const LibraryFrame frame("Frames\\User\\Caf\xC3\xA9");

    qvhost::Descriptor descriptor;
    descriptor.Put('FrMP', FromByte4(block));
    const ScriptedRun run = RunScripted(descriptor);
    ASSERT_EQ(run.StartResult(), 0);

    const std::string& folder = frame.Folder();
    FileSpec stored;
    std::memcpy(stored.bytes, run.parameters.data() + BlockLayout::kLayers + LayerLayout::kSource, FileSpec::kSize);
    EXPECT_EQ(stored.GetKind(), FileSpec::Kind::Path);
    EXPECT_EQ(stored.Text(), folder + "\\Frames\\User\\Caf\xC3\xA9.FRR");

    const auto& names = ListOf(*run.written, 'FrnM');
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(std::get<std::string>(names[0].value), "Caf\xC3\xA9.FRR");
    EXPECT_EQ(std::get<std::string>(names[1].value), "Rectangle");
}

}  // namespace
