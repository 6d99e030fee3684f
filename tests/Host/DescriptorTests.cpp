// The host's descriptor: the flat form round trip, refusal of corrupt flat forms, and the suites a
// plug-in reaches it through (driven by a plug-in entry of this test).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "HostSuites.h"
#include "QuorvelHostCore/Descriptor.h"
#include "QuorvelHostCore/FileIO.h"
#include "QuorvelHostCore/HostSession.h"
#include "QuorvelHostCore/SettingsFile.h"
#include "VantrelCoreFoundation.h"

using namespace qvhost;

namespace {

Descriptor Sample() {
    Descriptor d;
    d.Put('long', DescriptorValue{int32_t{-7}});
    d.Put('comp', DescriptorValue{int64_t{0x123456789ABCDEF0}});
    d.Put('doub', DescriptorValue{2.5});
    d.Put('bool', DescriptorValue{true});
    d.Put('TEXT', DescriptorValue{std::string("Caf\xC3\xA9\0x", 7)});
    d.Put('tdta', DescriptorValue{DescriptorBlob{0, 1, 2, 255}});
    d.Put('VlLs', DescriptorValue{DescriptorList{DescriptorValue{int32_t{3}}, DescriptorValue{std::string("name")},
                                                 DescriptorValue{DescriptorBlob(300, 9)},
                                                 DescriptorValue{DescriptorList{DescriptorValue{false}}}}});
    d.Put('empt', DescriptorValue{DescriptorBlob{}});
    return d;
}

TEST(Descriptor, FlattensAndReadsBackEveryValueType) {
    const Descriptor d = Sample();
    const std::optional<Descriptor> back = Unflatten(Flatten(d));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, d);
    // Putting a key again replaces its value in place.
    Descriptor changed = d;
    changed.Put('long', DescriptorValue{int32_t{8}});
    EXPECT_EQ(changed.Entries().size(), d.Entries().size());
    EXPECT_EQ(std::get<int32_t>(changed.Entries()[0].value.value), 8);
}

TEST(Descriptor, RefusesCorruptFlatForms) {
    const std::vector<uint8_t> good = Flatten(Sample());
    // Every truncation is refused.
    for (size_t length = 0; length < good.size(); ++length)
        EXPECT_FALSE(Unflatten(std::span(good.data(), length))) << "length " << length;

    const auto flatOf = [](std::vector<uint8_t> entry, uint32_t count = 1) {
        std::vector<uint8_t> flat = {'Q', 'V', 'D', 'S', 0, 0, 0, 1};
        for (int shift = 24; shift >= 0; shift -= 8) flat.push_back(static_cast<uint8_t>(count >> shift));
        flat.insert(flat.end(), entry.begin(), entry.end());
        return flat;
    };
    const std::vector<uint8_t> key = {'k', 'e', 'y', ' '};
    const auto entry = [&](std::vector<uint8_t> typeAndPayload) {
        std::vector<uint8_t> e = key;
        e.insert(e.end(), typeAndPayload.begin(), typeAndPayload.end());
        return e;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> flat;
    };
    std::vector<uint8_t> deep = entry({'l', 'o', 'n', 'g', 0, 0, 0, 4, 0, 0, 0, 1});
    for (int i = 0; i < 9; ++i) {  // nine lists, each holding the previous value
        std::vector<uint8_t> value(deep.begin() + 4, deep.end());
        std::vector<uint8_t> list = {'V', 'l', 'L', 's'};
        const uint32_t length = static_cast<uint32_t>(value.size() + 4);
        for (int shift = 24; shift >= 0; shift -= 8) list.push_back(static_cast<uint8_t>(length >> shift));
        list.insert(list.end(), {0, 0, 0, 1});
        list.insert(list.end(), value.begin(), value.end());
        deep = entry(list);
    }
    const Case cases[] = {
        {"bad magic", {'Q', 'V', 'D', 'X', 0, 0, 0, 1, 0, 0, 0, 0}},
        {"bad version", {'Q', 'V', 'D', 'S', 0, 0, 0, 2, 0, 0, 0, 0}},
        {"integer of 3 bytes", flatOf(entry({'l', 'o', 'n', 'g', 0, 0, 0, 3, 1, 2, 3}))},
        {"boolean 2", flatOf(entry({'b', 'o', 'o', 'l', 0, 0, 0, 1, 2}))},
        {"unknown type", flatOf(entry({'w', 'h', 'a', 't', 0, 0, 0, 0}))},
        {"length past the end", flatOf(entry({'t', 'd', 't', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 1}))},
        {"more entries than present", flatOf(entry({'l', 'o', 'n', 'g', 0, 0, 0, 4, 0, 0, 0, 1}), 2)},
        {"bytes left over", flatOf(entry({'l', 'o', 'n', 'g', 0, 0, 0, 4, 0, 0, 0, 1, 9}))},
        {"list count larger than its items", flatOf(entry({'V', 'l', 'L', 's', 0, 0, 0, 4, 0, 0, 0, 5}))},
        {"lists nested nine deep", flatOf(deep)},
    };
    for (const Case& c : cases) EXPECT_FALSE(Unflatten(c.flat)) << c.what;
}

// ---- Through the suites: a plug-in of this test reads the descriptor it is given, keeps 'FrMP'
// as its parameter block and hands back a new descriptor.

struct ScriptedRun {
    SPErr readError = -1;
    std::vector<uint8_t> settings;
    int64_t largeInteger = 0;
    DescriptorType largeIntegerType = 0;
    std::string text;
    uint32_t listCount = 0;
};
ScriptedRun gScripted;

void ScriptedPlugin(int16_t selector, void* callRecord, intptr_t*, int16_t* result) {
    *result = 0;
    if (selector != kSelectorStart) return;
    auto* record = static_cast<FilterRecord*>(callRecord);
    const DescriptorSuite* suite = nullptr;
    const DescriptorListSuite* lists = nullptr;
    record->sSPBasic->AcquireSuite(kDescriptorSuiteName, kDescriptorSuiteVersion, reinterpret_cast<const void**>(&suite));
    record->sSPBasic->AcquireSuite(kDescriptorListSuiteName, kDescriptorListSuiteVersion,
                                   reinterpret_cast<const void**>(&lists));
    DescriptorRef in = nullptr;
    gScripted.readError = suite->HandleToDescriptor(record->descriptorParameters->descriptor, &in);
    if (gScripted.readError != 0) {
        *result = -1;
        return;
    }
    int32_t length = 0;
    suite->GetDataLength(in, 'FrMP', &length);
    gScripted.settings.resize(static_cast<size_t>(length));
    suite->GetData(in, 'FrMP', gScripted.settings.data());
    DescriptorType type = 0;
    suite->GetType(in, 'FbsT', &type);
    gScripted.largeIntegerType = type;
    if (type == kTypeRawData) suite->GetData(in, 'FbsT', &gScripted.largeInteger);
    char text[4] = {};
    suite->GetString(in, 'FraL', text, sizeof text);  // cut to 3 characters and a terminator
    gScripted.text = text;
    suite->Free(in);

    // The block without the 4 run-time bytes goes into a parameters handle behind an 8-byte prefix.
    const size_t block = gScripted.settings.size() - 4;
    record->parameters = record->handleProcs->newHandle(static_cast<int32_t>(block + 8));
    std::memcpy(*record->parameters + 8, gScripted.settings.data() + 4, block);

    DescriptorRef out = nullptr;
    DescriptorListRef names = nullptr;
    suite->Make(&out);
    lists->Make(&names);
    lists->PutString(names, "first");
    lists->PutInteger(names, 2);
    lists->GetCount(names, &gScripted.listCount);
    suite->PutList(out, 'FrnM', names);
    suite->PutData(out, 'FrMP', length, gScripted.settings.data());
    suite->PutInteger(out, 'Rslt', 3);
    record->handleProcs->disposeHandle(record->descriptorParameters->descriptor);
    suite->AsHandle(out, &record->descriptorParameters->descriptor);
    lists->Free(names);
    suite->Free(out);
    record->sSPBasic->ReleaseSuite(kDescriptorSuiteName, kDescriptorSuiteVersion);
    record->sSPBasic->ReleaseSuite(kDescriptorListSuiteName, kDescriptorListSuiteVersion);
}

std::string TempPath(const char* name) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    char narrow[MAX_PATH * 3] = {};
    WideCharToMultiByte(CP_UTF8, 0, folder, -1, narrow, sizeof narrow, nullptr, nullptr);
    return std::string(narrow) + "qvhost-" + std::to_string(GetCurrentProcessId()) + "-" + name;
}

HostOptions ScriptedOptions() {
    HostOptions options;
    options.entry = ScriptedPlugin;
    options.document = Document(8, 8, ImageMode{});
    return options;
}

TEST(DescriptorSuites, CarrySettingsInAndOutThroughFilesHandlesAndLists) {
    std::vector<uint8_t> block(2392);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7);
    const std::string presetIn = TempPath("in.qvo"), presetOut = TempPath("out.qvo");
    const std::string descriptorIn = TempPath("in.qvd"), descriptorOut = TempPath("out.qvd");
    std::string error;
    ASSERT_TRUE(WriteSettingsFile(presetIn, block, error)) << error;
    Descriptor given;
    // A 64-bit value travels as its eight bytes: the descriptor suites have no 64-bit integers.
    const int64_t address = -5000000000;
    DescriptorBlob addressBytes(sizeof address);
    std::memcpy(addressBytes.data(), &address, sizeof address);
    given.Put('FbsT', DescriptorValue{addressBytes});
    given.Put('FraL', DescriptorValue{std::string("Alpha")});
    ASSERT_TRUE(WriteDescriptorFile(descriptorIn, given, error)) << error;

    HostOptions options = ScriptedOptions();
    options.settingsIn = presetIn;
    options.settingsOut = presetOut;
    options.descriptorIn = descriptorIn;
    options.descriptorOut = descriptorOut;
    HostSession session(options);
    const HostRunResult result = session.Run();
    ASSERT_EQ(result.exitCode, 0) << result.error;

    // In: 'FrMP' is the block behind 4 run-time bytes, beside what the descriptor file held.
    ASSERT_EQ(gScripted.settings.size(), block.size() + 4);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), gScripted.settings.begin() + 4));
    EXPECT_EQ(gScripted.largeIntegerType, kTypeRawData);
    EXPECT_EQ(gScripted.largeInteger, -5000000000);
    EXPECT_EQ(gScripted.text, "Alp");
    EXPECT_EQ(gScripted.listCount, 2u);

    // Out: the preset holds the parameter block, the descriptor file what the plug-in put.
    PresetSettings written;
    ASSERT_TRUE(ReadSettingsFile(presetOut, written, error)) << error;
    EXPECT_EQ(written.block, block);
    Descriptor left;
    ASSERT_TRUE(ReadDescriptorFile(descriptorOut, left, error)) << error;
    ASSERT_TRUE(session.ResultDescriptor());
    EXPECT_EQ(left, *session.ResultDescriptor());
    const DescriptorValue* names = left.Find('FrnM');
    ASSERT_TRUE(names);
    EXPECT_EQ(std::get<DescriptorList>(names->value).size(), 2u);
    EXPECT_EQ(std::get<int32_t>(left.Find('Rslt')->value), 3);
    for (const std::string& path : {presetIn, presetOut, descriptorIn, descriptorOut}) DeleteFileA(path.c_str());
}

void IdlePlugin(int16_t, void*, intptr_t*, int16_t* result) { *result = 0; }

// A preset's photo position goes in beside its settings as 'TLPs', as the plug-in's preset loader
// takes it: "TargetLayerPos", or over all of the preset's layers (N, bytes 12-13 of the settings)
// when the key is missing; nothing when that is negative or unknown.
TEST(DescriptorSuites, APresetsPhotoPositionGoesInBesideItsSettings) {
    std::vector<uint8_t> threeLayers(2392 + 2 * 1304, 0);
    threeLayers[13] = 3;
    std::vector<uint8_t> negativeCount(2392, 0);
    negativeCount[12] = negativeCount[13] = 0xFF;
    struct Case {
        const char* what;
        std::optional<int32_t> stored;
        std::vector<uint8_t> settings;
        std::optional<int32_t> given;
    };
    const Case cases[] = {
        {"stored", 2, {1, 2, 3}, 2},
        {"stored 0 over a stack of three", 0, threeLayers, 0},
        {"missing: over all three layers", std::nullopt, threeLayers, 3},
        {"missing, no layers", std::nullopt, std::vector<uint8_t>(2392, 0), 0},
        {"missing, settings too short to count", std::nullopt, std::vector<uint8_t>(13, 0), std::nullopt},
        {"missing, a negative count", std::nullopt, negativeCount, std::nullopt},
        {"stored negative", -1, threeLayers, std::nullopt},
    };
    for (const Case& c : cases) {
        cf::Dictionary preset;
        if (c.stored) preset.SetInteger("TargetLayerPos", *c.stored);
        preset.SetData("QuorvelSettings", c.settings);
        const std::string path = TempPath("position.qvo");
        const std::optional<std::string> xml = cf::PropertyList::ToXml(preset);
        ASSERT_TRUE(xml && WriteWholeFile(path, {reinterpret_cast<const uint8_t*>(xml->data()), xml->size()}));
        HostOptions options;
        options.entry = IdlePlugin;
        options.document = Document(8, 8, ImageMode{});
        options.settingsIn = path;
        HostSession session(options);
        ASSERT_EQ(session.Run().exitCode, 0) << c.what;
        DeleteFileA(path.c_str());
        // The plug-in left the descriptor as it was given.
        ASSERT_TRUE(session.ResultDescriptor()) << c.what;
        const DescriptorValue* position = session.ResultDescriptor()->Find('TLPs');
        if (c.given) {
            ASSERT_TRUE(position) << c.what;
            EXPECT_EQ(std::get<int32_t>(position->value), *c.given) << c.what;
        } else {
            EXPECT_FALSE(position) << c.what;
        }
        DescriptorBlob settings{0, 0, 0, 0};
        settings.insert(settings.end(), c.settings.begin(), c.settings.end());
        EXPECT_EQ(std::get<DescriptorBlob>(session.ResultDescriptor()->Find('FrMP')->value), settings) << c.what;
    }
}

TEST(DescriptorSuites, RefuseAHandleThatHoldsNoDescriptor) {
    HostOptions options = ScriptedOptions();
    options.beforeCall = [](FilterRecord& record, int16_t selector) {
        if (selector != kSelectorStart) return;
        Handle flat = record.descriptorParameters->descriptor;
        record.handleProcs->setSize(flat, 6);  // cut inside the header
    };
    HostSession session(options);
    const HostRunResult result = session.Run();
    EXPECT_EQ(gScripted.readError, kSPBadParameterError);
    EXPECT_NE(result.exitCode, 0);
}

TEST(DescriptorSuites, AnswerTheInjectedErrorAndUnknownSuitesAreNotFound) {
    HostOptions options = ScriptedOptions();
    options.descriptorError = 0x12345678;
    SPErr unknownSuite = 0;
    options.beforeCall = [&unknownSuite](FilterRecord& record, int16_t selector) {
        const void* suite = &record;
        unknownSuite = record.sSPBasic->AcquireSuite("Photoshop UIHooks Suite for Plug-ins", 1, &suite);
        EXPECT_EQ(suite, nullptr);
        // A known suite at a version the host does not have is not found either.
        EXPECT_EQ(record.sSPBasic->AcquireSuite(kHandleSuiteName, 1, &suite), kSPSuiteNotFoundError);
    };
    HostSession session(options);
    session.Run();
    EXPECT_EQ(gScripted.readError, 0x12345678);
    EXPECT_EQ(unknownSuite, kSPSuiteNotFoundError);
}

}  // namespace
