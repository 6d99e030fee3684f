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

struct ListBuilder {
    std::vector<uint8_t> bytes;
    void Word(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void Code(const char* code) { bytes.insert(bytes.end(), code, code + 4); }
    void Property(const char* key, std::vector<uint8_t> data) {
        Code("8BIM");
        Code(key);
        Word(0);
        Word(static_cast<uint32_t>(data.size()));
        data.resize((data.size() + 3) & ~size_t{3});
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
};

std::vector<uint8_t> ValidList(uint32_t count = 5) {
    ListBuilder list;
    list.Word(0);
    list.Word(count);
    list.Property("kind", {'8', 'B', 'F', 'M'});
    list.Property("catg", {5, 'F', 'r', 'a', 'm', 'e'});
    list.Property("8664", {'G', 'o', 0});
    list.Property("mode", {0x1A, 0xAD, 0, 0});
    list.Property("vers", {6, 0, 4, 0});
    return list.bytes;
}

TEST(PropertyList, ReadsTheFilterKindCategoryEntryAndModes) {
    std::string error;
    const auto properties = ParsePropertyList(ValidList(), error);
    ASSERT_TRUE(properties) << error;
    EXPECT_EQ(properties->kind, uint32_t{'8BFM'});
    EXPECT_EQ(properties->category, "Frame");
    EXPECT_EQ(properties->entryName, "Go");
    EXPECT_EQ(properties->modes, 0xAD1Au);
    EXPECT_EQ(properties->version, 0x00040006u);
}

TEST(PropertyList, RefusesListsThatLieAboutTheirSizes) {
    std::string error;
    std::vector<uint8_t> list = ValidList();
    for (size_t length = 0; length < list.size(); ++length)
        EXPECT_FALSE(ParsePropertyList(std::span(list.data(), length), error)) << length;
    EXPECT_FALSE(ParsePropertyList(ValidList(6), error));
    list[20] = 0xFF;  // the first property's data length
    EXPECT_FALSE(ParsePropertyList(list, error));
    list = ValidList();
    list[0] = 1;  // version
    EXPECT_FALSE(ParsePropertyList(list, error));
    // A Pascal string whose length byte runs past its data stops at the data.
    ListBuilder odd;
    odd.Word(0);
    odd.Word(1);
    odd.Property("catg", {200, 'a'});
    const auto read = ParsePropertyList(odd.bytes, error);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->category, "a");
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
