// Random frames: frames picked from a frames library and stacked with background settings drawn
// between the randomizer preferences' bounds, from a seeded generator so that runs repeat.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "AlertLog.h"
#include "BigEndian.h"
#include "ColorConversion.h"
#include "File.h"
#include "GreyJpeg.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "LayerState.h"
#include "PreferenceSettings.h"
#include "QVDatabase.h"
#include "QVDatabaseRecord.h"
#include "Quorvel.h"
#include "QuorvelBase.h"
#include "RandomFrames.h"
#include "TempFolder.h"

namespace {

// A randomizer setting: lower and upper bounds as stored (either may be the larger).
struct Pair {
    int16_t first, second;
};
struct Randomizer {
    Pair colour{0, 255}, blur{0, 50}, size{-10, 10}, opacity{25, 100}, orientation{-90, 90}, frames{3, 5};
    uint8_t noiseFirst = 0, noiseSecond = 250;
    uint16_t flags = RandomizerOptions::kInitialised | RandomizerOptions::kFlipHorizontal |
                     RandomizerOptions::kFlipVertical | RandomizerOptions::kUseAllRecords |
                     RandomizerOptions::kRandomBlendModes;
};

// The random background settings a layer received.
struct DrawnSettings {
    ColorRecord colour;
    int opacity, noise, angle, flipHorizontal, flipVertical, blendMode;
    float blur, size;
};

class RandomFrameTest : public testing::Test {
protected:
    void SetUp() override {
        ResetHostMemoryForTesting();
        record_.filterRect = Rect16{0, 0, 100, 150};
        record_.planes = 3;
        record_.imageMode = 3;  // RGB
        hostCall_ = HostCall{.record = &record_};
        call_.emplace(hostCall_);
        std::memcpy(savedOptions_, Preferences().Randomizer()->bytes, sizeof savedOptions_);
        ASSERT_EQ(library_.OpenAt((folder_ / "Quorvel.sdb").c_str()), 0);
    }
    void TearDown() override {
        std::memcpy(Preferences().Randomizer()->bytes, savedOptions_, sizeof savedOptions_);
        state_.layerStates.Release();
        DisposeHandle(record_.parameters);
        record_.parameters = nullptr;
        call_.reset();
    }

    // `layers` plain layers under the photo, the photo row selected.
    void MakeStack(int layers) {
        state_.layerStates.Release();
        filter_.SetDefaultParameters(0);
        ASSERT_EQ(filter_.ResizeStackStorage(layers, false), 0);
        for (int i = 0; i < layers; ++i) filter_.Stack().InitLayerRecord(i, false);
        filter_.Stack().SetTargetLayerPos(0);
        filter_.Stack().SetSelectedListPos(0);
    }
    // A grey frame file in the library; its RID.
    int32_t AddFrame(const std::string& name, uint8_t grey, bool writeFile = true) {
        const std::string path = folder_ / name;
        if (writeFile) {
            EXPECT_TRUE(WriteGreyJpeg(path, 8, 6, grey));
        }
        QVDatabaseRecord row(&library_, "Frames");
        int32_t type = 0;
        const std::string stored = library_.StorePath(path.c_str(), type);
        row.SetText(1, name.c_str());
        row.SetInteger(2, type);
        row.SetText(3, stored.c_str());
        row.Save();
        return row.Rid();
    }
    void SetRandomizer(const Randomizer& r) {
        uint8_t* bytes = Preferences().Randomizer()->bytes;
        int offset = 0;
        for (const Pair& pair : {r.colour, r.blur, r.size, r.opacity, r.orientation, r.frames}) {
            BigEndian::WriteI16(bytes + offset, pair.first);
            BigEndian::WriteI16(bytes + offset + 2, pair.second);
            offset += 4;
        }
        bytes[24] = r.noiseFirst;
        bytes[25] = r.noiseSecond;
        BigEndian::Write16(bytes + 26, r.flags);
    }
    bool AddRandomFrame(RandomDraws& draws, bool invertSource = false) {
        Quorvel::RandomFrameContext context{&library_, draws};
        return filter_.AddRandomFrame(invertSource, context);
    }
    std::vector<uint8_t> BlockBytes() {
        const ParameterBlockView view = View();
        return std::vector<uint8_t>(view.Bytes(), view.Bytes() + view.Length());
    }
    ParameterBlockView View() {
        return ParameterBlockView(reinterpret_cast<uint8_t*>(*record_.parameters), GetHandleSize(record_.parameters));
    }
    int LayerCount() { return View().LayerCount(); }
    DrawnSettings Drawn(int layer) {
        const RecordRef record = View().Layer(layer);
        const RecordRef effect = EffectOf(record, EffectLayout::kBackground);
        return {ColorRecord::Load(effect.At(EffectLayout::kColour)),
                effect.Get(EffectLayout::kOpacity),
                effect.Get(EffectLayout::kNoise),
                record.Get(LayerLayout::kAngle),
                record.Get(LayerLayout::kFlipHorizontal),
                record.Get(LayerLayout::kFlipVertical),
                effect.Get(EffectLayout::kBlendMode),
                effect.Get(EffectLayout::kBlur),
                effect.Get(EffectLayout::kSize)};
    }
    std::string SourceText(int layer) {
        return reinterpret_cast<const char*>(View().Layer(layer).At(LayerLayout::kSource));
    }

    FilterRecord record_{};
    HostCall hostCall_;
    std::optional<HostCallScope> call_;
    StackState state_;
    Quorvel filter_{hostCall_, state_};
    TempFolder folder_;
    QVDatabase library_;
    uint8_t savedOptions_[RandomizerOptions::kSize] = {};
};

TEST_F(RandomFrameTest, TheSameSeedRepeatsTheStackByteForByteAndAnotherSeedDoesNot) {
    AddFrame("grey.jpg", 128);
    AddFrame("dark.jpg", 40);
    AddFrame("light.jpg", 220);
    SetRandomizer({});
    const AlertLog alerts;
    auto run = [&](uint32_t seed) {
        MakeStack(1);
        RandomDraws draws(seed);
        EXPECT_TRUE(AddRandomFrame(draws));
        EXPECT_GT(draws.DrawsMade(), 0);
        return BlockBytes();
    };
    const std::vector<uint8_t> first = run(7);
    EXPECT_GE(LayerCount(), 4);
    EXPECT_EQ(run(7), first);
    EXPECT_NE(run(8), first);
    EXPECT_EQ(alerts.Text(), "");
}

TEST_F(RandomFrameTest, DrawsStayWithinTheirBoundsWhicheverWayRoundTheyAreStored) {
    AddFrame("grey.jpg", 128);
    AddFrame("dark.jpg", 40);
    Randomizer ordered;
    ordered.colour = {10, 200};
    ordered.blur = {5, 30};
    ordered.size = {-20, 15};
    ordered.opacity = {30, 90};
    ordered.orientation = {-45, 60};
    ordered.frames = {3, 5};
    ordered.noiseFirst = 20;
    ordered.noiseSecond = 80;
    ordered.flags = RandomizerOptions::kInitialised | RandomizerOptions::kRandomBlendModes;
    Randomizer swapped = ordered;
    for (Pair* pair : {&swapped.colour, &swapped.blur, &swapped.size, &swapped.opacity, &swapped.orientation, &swapped.frames})
        std::swap(pair->first, pair->second);
    std::swap(swapped.noiseFirst, swapped.noiseSecond);

    const AlertLog alerts;
    for (const bool swap : {false, true}) {
        SetRandomizer(swap ? swapped : ordered);
        for (uint32_t seed = 1; seed <= 12; ++seed) {
            SCOPED_TRACE("seed " + std::to_string(seed) + (swap ? ", bounds swapped" : ""));
            MakeStack(0);
            RandomDraws draws(seed);
            ASSERT_TRUE(AddRandomFrame(draws));
            ASSERT_GE(LayerCount(), 3);
            ASSERT_LE(LayerCount(), 5);
            for (int i = 0; i < LayerCount(); ++i) {
                const DrawnSettings s = Drawn(i);
                EXPECT_EQ(s.colour.space, 0);
                for (const int16_t component : s.colour.components) {
                    EXPECT_GE(component, 10);
                    EXPECT_LE(component, 200);
                }
                EXPECT_GE(s.opacity, 30);
                EXPECT_LE(s.opacity, 90);
                EXPECT_GE(s.noise, 20);
                EXPECT_LE(s.noise, 80);
                EXPECT_GE(s.angle, -45);  // no flips asked for: the angle as drawn
                EXPECT_LE(s.angle, 60);
                EXPECT_EQ(s.flipHorizontal + s.flipVertical, 0);
                EXPECT_GE(s.blur, 0.5f - 1e-6f);
                EXPECT_LE(s.blur, 3.0f + 1e-6f);
                EXPECT_GE(s.size, 0.8f - 1e-6f);
                EXPECT_LE(s.size, 1.15f + 1e-6f);
                // Modes 2 and 8 are no modes of the menu.
                EXPECT_GE(s.blendMode, 1);
                EXPECT_LE(s.blendMode, 12);
                EXPECT_NE(s.blendMode, 2);
                EXPECT_NE(s.blendMode, 8);
            }
        }
    }
    EXPECT_EQ(alerts.Text(), "");
}

TEST_F(RandomFrameTest, EqualBoundsGiveTheirValueWithoutADraw) {
    AddFrame("grey.jpg", 128);  // one frame: picking it needs no draw either
    Randomizer exact;
    exact.colour = {128, 128};
    exact.blur = {25, 25};
    exact.size = {-10, -10};
    exact.opacity = {60, 60};
    exact.orientation = {30, 30};
    exact.frames = {2, 2};
    exact.noiseFirst = exact.noiseSecond = 7;
    exact.flags = RandomizerOptions::kInitialised;
    SetRandomizer(exact);
    MakeStack(0);
    const AlertLog alerts;
    RandomDraws draws(3);
    ASSERT_TRUE(AddRandomFrame(draws));
    EXPECT_EQ(draws.DrawsMade(), 0);
    ASSERT_EQ(LayerCount(), 2);
    for (int i = 0; i < 2; ++i) {
        const DrawnSettings s = Drawn(i);
        EXPECT_EQ(SourceText(i), folder_ / "grey.jpg");
        EXPECT_EQ((std::vector<int16_t>(s.colour.components, s.colour.components + 4)),
                  (std::vector<int16_t>{128, 128, 128, 128}));
        EXPECT_EQ(s.colour.opacity, 255);
        EXPECT_EQ(s.opacity, 60);
        EXPECT_EQ(s.noise, 7);
        EXPECT_EQ(s.angle, 30);
        EXPECT_FLOAT_EQ(s.blur, 2.5f);
        EXPECT_FLOAT_EQ(s.size, 0.9f);
        EXPECT_EQ(s.blendMode, EffectLayout::kNormal);  // the new layer's default stays
    }
    EXPECT_EQ(alerts.Text(), "");
}

TEST_F(RandomFrameTest, AFrameThatCannotBeInsertedGetsNoDrawsAndTheRunOneAlert) {
    Randomizer options;
    options.frames = {4, 4};
    SetRandomizer(options);
    struct Case {
        const char* name;
        int layers;
        bool fileExists;
        const char* alert;
    };
    const Case cases[] = {
        {"full stack", BlockLayout::kMaxLayers, true, "alert 16006 answered 1: Quorvel cannot use more than 32 frames.\n"},
        {"missing file", 1, false,
         "alert 16013 answered 1: Could not locate 4 frame images, the first \"gone.jpg\". The disk, CD, or server "
         "may be off-line, or the files have been moved.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        library_.ExecDML("delete from Frames;");
        AddFrame(c.fileExists ? "grey.jpg" : "gone.jpg", 128, c.fileExists);
        MakeStack(c.layers);
        const std::vector<uint8_t> before = BlockBytes();
        const AlertLog alerts;
        RandomDraws draws(5);
        EXPECT_FALSE(AddRandomFrame(draws));
        EXPECT_EQ(alerts.Text(), c.alert);
        EXPECT_EQ(BlockBytes(), before);
        EXPECT_EQ(draws.DrawsMade(), 0);
    }
}

// A frame whose file is missing is passed over: the other frames drawn still go onto the stack,
// and one alert at the end names the first missing file and how many were missing.
TEST_F(RandomFrameTest, AMissingFrameFileIsPassedOverAndToldOnceForTheRun) {
    AddFrame("gone.jpg", 128, false);
    AddFrame("grey.jpg", 128);
    Randomizer options;
    options.frames = {6, 6};
    SetRandomizer(options);
    bool sawBoth = false;
    for (uint32_t seed = 1; seed <= 8; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        MakeStack(1);
        const AlertLog alerts;
        RandomDraws draws(seed);
        const bool added = AddRandomFrame(draws);
        const int layers = LayerCount() - 1;
        const int missing = 6 - layers;
        EXPECT_EQ(added, layers > 0);
        for (int i = 0; i < layers; ++i) EXPECT_EQ(SourceText(i), folder_ / "grey.jpg");
        std::string expected;
        if (missing == 1) {
            expected = "alert 16013 answered 1: Could not locate frame image \"gone.jpg\". The disk, CD, or server may "
                       "be off-line, or the file has been moved.\n";
        } else if (missing > 1) {
            expected = "alert 16013 answered 1: Could not locate " + std::to_string(missing) +
                       " frame images, the first \"gone.jpg\". The disk, CD, or server may be off-line, or the files "
                       "have been moved.\n";
        }
        EXPECT_EQ(alerts.Text(), expected);
        sawBoth = sawBoth || (layers > 0 && missing > 0);
    }
    // The seeds draw both frames in one run, so a missing one is seen followed by a found one.
    EXPECT_TRUE(sawBoth);
}

TEST_F(RandomFrameTest, NoFrameToPickAddsNothingQuietly) {
    SetRandomizer({});
    MakeStack(1);
    const std::vector<uint8_t> before = BlockBytes();
    const AlertLog alerts;
    RandomDraws draws(9);
    EXPECT_FALSE(AddRandomFrame(draws));
    Quorvel::RandomFrameContext noLibrary{nullptr, draws};
    EXPECT_FALSE(filter_.AddRandomFrame(false, noLibrary));

    // A three-part frame (one with an inner mask of its own) is picked only with the option for
    // realistic frames.
    const int32_t rid = AddFrame("grey.jpg", 128);
    library_.ExecDML(("insert into InMaskPreviews (RID) values (" + std::to_string(rid) + ");").c_str());
    EXPECT_FALSE(AddRandomFrame(draws));
    EXPECT_FALSE(AddRandomFrame(draws, true));
    EXPECT_EQ(BlockBytes(), before);
    EXPECT_EQ(draws.DrawsMade(), 0);
    EXPECT_EQ(alerts.Text(), "");

    Randomizer realistic;
    realistic.flags |= RandomizerOptions::kRealisticFrames;
    SetRandomizer(realistic);
    EXPECT_TRUE(AddRandomFrame(draws));
    EXPECT_GE(LayerCount(), 1 + 3);
    EXPECT_EQ(alerts.Text(), "");
}

TEST_F(RandomFrameTest, OptionsNeverSetTakeThePreferenceDefaults) {
    AddFrame("grey.jpg", 128);
    std::memset(Preferences().Randomizer()->bytes, 0, RandomizerOptions::kSize);
    MakeStack(0);
    const AlertLog alerts;
    RandomDraws draws(11);
    ASSERT_TRUE(AddRandomFrame(draws));
    RandomizerOptions expected;
    SetDefaultRandomizerOptions(expected);
    expected.bytes[27] |= RandomizerOptions::kInitialised;
    EXPECT_EQ(std::memcmp(Preferences().Randomizer()->bytes, expected.bytes, RandomizerOptions::kSize), 0);
    // Three to five frames, at 25 to 100 percent opacity, shrunk by up to a tenth.
    EXPECT_GE(LayerCount(), 3);
    EXPECT_LE(LayerCount(), 5);
    for (int i = 0; i < LayerCount(); ++i) {
        EXPECT_GE(Drawn(i).opacity, 25);
        EXPECT_GE(Drawn(i).size, 0.9f - 1e-6f);
        EXPECT_LE(Drawn(i).size, 1.0f + 1e-6f);
    }
    EXPECT_EQ(alerts.Text(), "");
}

}  // namespace
