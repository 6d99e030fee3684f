// The host's smaller parts: the property-list parser, the plug-in loader's refusals, colour
// services, handles and buffers, and the command line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "QuorvelHostCore/ColorServices.h"
#include "QuorvelHostCore/HostCommandLine.h"
#include "QuorvelHostCore/HostMemory.h"
#include "PluginInterface.h"
#include "QuorvelHostCore/PluginModule.h"

using namespace qvhost;

namespace {

// A property list in the layout hosts read: a 16-bit word 1, version 0, the count, then each
// property with its codes as little-endian numbers and its data padded to four bytes, the padding
// counted in the stored length.
struct ListBuilder {
    std::vector<uint8_t> bytes;

    explicit ListBuilder(uint32_t count) {
        Word16(1);
        Word32(0);
        Word32(count);
    }
    void Word16(uint16_t v) {
        for (int i = 0; i < 2; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void Word32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void Property(uint32_t key, std::vector<uint8_t> data, uint32_t vendor = '8BIM') {
        data.resize((data.size() + 3) & ~size_t{3});
        Word32(vendor);
        Word32(key);
        Word32(0);
        Word32(static_cast<uint32_t>(data.size()));
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
};

std::vector<uint8_t> Word32Data(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

// The mode bytes of gray, RGB, CMYK, duotone and their 16-bit forms (modes 1, 3, 4, 8, 10, 11, 13
// and 15), most significant bit first in each byte.
constexpr uint8_t kFrameModeBytes[] = {0x58, 0xB5, 0x00, 0x00};
constexpr uint32_t kFrameModes = (1u << 1) | (1u << 3) | (1u << 4) | (1u << 8) | (1u << 10) | (1u << 11) |
                                 (1u << 13) | (1u << 15);

std::vector<uint8_t> ValidList(uint32_t count = 7) {
    ListBuilder list(count);
    list.Property('kind', Word32Data('8BFM'));
    // Another vendor's property is skipped, whatever its key.
    list.Property('kind', Word32Data('XXXX'), 'ADBE');
    list.Property('catg', {5, 'F', 'r', 'a', 'm', 'e'});
    list.Property('8664', {'G', 'o', 0});
    list.Property('mode', {std::begin(kFrameModeBytes), std::end(kFrameModeBytes)});
    list.Property('vers', Word32Data(0x00040000));
    std::vector<uint8_t> terminology = Word32Data(0);
    for (uint32_t code : {uint32_t{'clss'}, uint32_t{'evnt'}}) {
        const auto bytes = Word32Data(code);
        terminology.insert(terminology.end(), bytes.begin(), bytes.end());
    }
    terminology.insert(terminology.end(), {0x80, 0x3E, 'S', 'c', 'o', 'p', 'e', 0});  // id 16000, "Scope"
    list.Property('hstm', terminology);
    return list.bytes;
}

TEST(PropertyList, ReadsTheFilterKindCategoryEntryModesAndTerminology) {
    std::string error;
    const auto properties = ParsePropertyList(ValidList(), error);
    ASSERT_TRUE(properties) << error;
    EXPECT_EQ(properties->kind, uint32_t{'8BFM'});
    EXPECT_EQ(properties->category, "Frame");
    EXPECT_EQ(properties->entryName, "Go");
    EXPECT_TRUE(properties->hasModes);
    EXPECT_EQ(properties->modes, kFrameModes);
    EXPECT_EQ(properties->interfaceVersion, 0x00040000u);
    ASSERT_TRUE(properties->terminology);
    EXPECT_EQ(properties->terminology->version, 0u);
    EXPECT_EQ(properties->terminology->classId, uint32_t{'clss'});
    EXPECT_EQ(properties->terminology->eventId, uint32_t{'evnt'});
    EXPECT_EQ(properties->terminology->terminologyId, 16000);
    EXPECT_EQ(properties->terminology->scope, "Scope");
}

TEST(PropertyList, ReadsEachModeFromItsBitInTheHostsByteLayout) {
    for (int mode = 0; mode < 16; ++mode) {
        std::vector<uint8_t> flags(4, 0);
        flags[mode / 8] = static_cast<uint8_t>(0x80 >> (mode % 8));
        ListBuilder list(3);
        list.Property('kind', Word32Data('8BFM'));
        list.Property('8664', {'G', 'o', 0});
        list.Property('mode', flags);
        std::string error;
        const auto properties = ParsePropertyList(list.bytes, error);
        ASSERT_TRUE(properties) << error;
        EXPECT_EQ(properties->modes, 1u << mode) << "mode " << mode;
    }
}

TEST(PropertyList, RefusesListsThatLieAboutTheirSizes) {
    std::string error;
    const std::vector<uint8_t> list = ValidList();
    for (size_t length = 0; length < list.size(); ++length) {
        error.clear();
        EXPECT_FALSE(ParsePropertyList(std::span(list.data(), length), error)) << length;
        EXPECT_FALSE(error.empty()) << length;
    }
    // A count one too high runs past the end; one too low leaves a property over.
    EXPECT_FALSE(ParsePropertyList(ValidList(8), error));
    EXPECT_NE(error.find("ends inside"), std::string::npos) << error;
    EXPECT_FALSE(ParsePropertyList(ValidList(6), error));
    EXPECT_NE(error.find("follow the last"), std::string::npos) << error;
}

TEST(PluginModule, RefusesALibraryWithoutAPropertyList) {
    const char* bin = std::getenv("QUORVEL_BIN");
    ASSERT_TRUE(bin);
    PluginModule module;
    std::string error;
    EXPECT_FALSE(module.Load(std::string(bin) + "/VantrelToolBox2.dll", error));
    EXPECT_NE(error.find("no property list"), std::string::npos) << error;
    PluginModule missing;
    EXPECT_FALSE(missing.Load(std::string(bin) + "/NoSuchPlugin.8bf", error));
    EXPECT_NE(error.find("cannot load"), std::string::npos) << error;
}

TEST(PluginModule, FindsAPropertyListWhateverItsResourceId) {
    // The framework's test filter keeps its property list under an id other than 16000.
    const char* bin = std::getenv("QUORVEL_BIN");
    ASSERT_TRUE(bin);
    PluginModule module;
    std::string error;
    ASSERT_TRUE(module.Load(std::string(bin) + "/FrameworkTestFilter.8bf", error)) << error;
    EXPECT_EQ(module.Properties().name, "Framework Test Filter");
    EXPECT_EQ(module.Properties().entryName, "ENTRYPOINT");
    EXPECT_TRUE(module.Entry());
}

TEST(ColorServices, ConvertsBetweenEverySpaceAndBackToRgb) {
    const int16_t colours[][4] = {{255, 0, 0, 0}, {12, 200, 90, 0}, {255, 255, 255, 0}, {0, 0, 0, 0}, {90, 90, 200, 0}};
    for (int16_t space : {kSpaceRGB, kSpaceHSB, kSpaceCMYK, kSpaceLab, kSpaceHSL}) {
        for (const auto& rgb : colours) {
            int16_t there[4], back[4];
            ASSERT_TRUE(ConvertColor(kSpaceRGB, space, rgb, there));
            ASSERT_TRUE(ConvertColor(space, kSpaceRGB, there, back));
            // Lab in 8-bit steps is coarsest in the dark.
            const int tolerance = space == kSpaceLab ? 5 : 3;
            for (int i = 0; i < 3; ++i) EXPECT_NEAR(back[i], rgb[i], tolerance) << "space " << space << " channel " << i;
        }
    }
    int16_t out[4];
    const int16_t red[4] = {255, 0, 0, 0};
    ASSERT_TRUE(ConvertColor(kSpaceRGB, kSpaceHSB, red, out));
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 255);
    const int16_t white[4] = {255, 255, 255, 0};
    ASSERT_TRUE(ConvertColor(kSpaceRGB, kSpaceLab, white, out));
    EXPECT_EQ(out[0], 255);
    EXPECT_NEAR(out[1], 128, 1);
    ASSERT_TRUE(ConvertColor(kSpaceRGB, kSpaceGray, white, out));
    EXPECT_EQ(out[0], 255);
    EXPECT_FALSE(ConvertColor(kSpaceXYZ, kSpaceRGB, white, out));
}

TEST(HostMemory, HandlesResizeKeepTheirBytesAndForeignHandlesAreRefused) {
    HandleStore handles;
    Handle h = handles.New(4);
    ASSERT_TRUE(h);
    std::memcpy(*h, "abcd", 4);
    ASSERT_EQ(handles.SetSize(h, 4000), 0);
    EXPECT_EQ(std::memcmp(*h, "abcd", 4), 0);
    EXPECT_EQ((*h)[3999], 0);
    char* locked = handles.Lock(h);
    EXPECT_EQ(handles.SetSize(h, 8000), -108);  // a locked block cannot move
    EXPECT_EQ(handles.SetSize(h, 2), 0);        // but it can shrink in place
    EXPECT_EQ(*h, locked);
    handles.Unlock(h);
    char* master = nullptr;
    Handle foreign = &master;
    EXPECT_EQ(handles.Size(foreign), -1);
    EXPECT_EQ(handles.SetSize(foreign, 8), -50);
    handles.Dispose(foreign);  // harmless
    handles.Dispose(h);
    EXPECT_FALSE(handles.Owns(h));
    EXPECT_EQ(handles.LiveCount(), 0u);
}

TEST(HostMemory, BuffersStayWithinTheBudget) {
    BufferStore buffers(1000);
    BufferID a = nullptr, b = nullptr;
    EXPECT_EQ(buffers.Allocate(600, &a), 0);
    EXPECT_EQ(buffers.Space(), 400);
    EXPECT_EQ(buffers.Allocate(401, &b), -108);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(buffers.Allocate(400, &b), 0);
    buffers.Free(a);
    EXPECT_EQ(buffers.Space(), 600);
    EXPECT_NE(buffers.Lock(b), nullptr);
    buffers.Free(b);
    EXPECT_EQ(buffers.PeakHeld(), 1000);
}

TEST(CommandLine, ParsesOptionsAndRefusesBadOnesWithAReason) {
    HostOptions options;
    bool help = false;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({"--plugin", "Q.8bf", "--mode", "cmyk16", "--signature", "QXFL", "--descriptor-error",
                                  "0xFFFF8000", "--selection", "1,2,30,40", "--budget", "5000", "in.png", "out.jpg"},
                                 options, help, error))
        << error;
    EXPECT_EQ(options.mode.color, ColorMode::CMYK);
    EXPECT_EQ(options.mode.depth, 16);
    EXPECT_EQ(options.signature, uint32_t{'QXFL'});
    EXPECT_EQ(options.descriptorError, int32_t{-32768});
    ASSERT_TRUE(options.selection);
    EXPECT_EQ(options.selection->left, 1);
    EXPECT_EQ(options.selection->right, 31);
    EXPECT_EQ(options.selection->bottom, 42);
    EXPECT_EQ(options.budget, 5000);
    EXPECT_EQ(options.outputPath, "out.jpg");

    const std::vector<std::vector<std::string>> bad = {
        {"--plugin", "Q.8bf", "in.png"},
        {"in.png", "out.png"},
        {"--plugin", "Q.8bf", "--mode", "lab8", "in.png", "out.png"},
        {"--plugin", "Q.8bf", "--signature", "8BI", "in.png", "out.png"},
        {"--plugin", "Q.8bf", "--budget", "lots", "in.png", "out.png"},
        {"--plugin", "Q.8bf", "--selection", "1,2,0,4", "in.png", "out.png"},
        {"--plugin", "Q.8bf", "--frobnicate", "in.png", "out.png"},
        {"--plugin", "Q.8bf", "in.png", "out.png", "--abort-after"},
        {"--plugin", "Q.8bf", "--selector", "6", "a", "b", "c"},
    };
    for (const auto& arguments : bad) {
        HostOptions ignored;
        error.clear();
        EXPECT_FALSE(ParseCommandLine(arguments, ignored, help, error)) << arguments.back();
        EXPECT_FALSE(error.empty());
    }
    HostOptions single;
    EXPECT_TRUE(ParseCommandLine({"--plugin", "Q.8bf", "--selector", "7"}, single, help, error)) << error;
    EXPECT_EQ(single.rawSelector, int16_t{7});
}

}  // namespace
