#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include "BlockInMemory.h"
#include "File.h"
#include "HostMemory.h"
#include "LayerState.h"
#include "QuorvelBase.h"

namespace {

// The model over a block of `layers` default layers and `paths` path records in a handle of its
// own (no host call: global memory), with its LayerState entries, and the photo at `photo`.
class StackTest : public testing::Test {
protected:
    void SetUp() override { ResetHostMemoryForTesting(); }

    void MakeStack(int layers, int paths, int photo = 0) { block_.Make(layers, paths, photo); }
    QuorvelBase& Stack() { return block_.stack; }
    LayerStateTable& States() { return block_.state.layerStates; }
    ParameterBlockView View() { return block_.View(); }
    RecordRef Layer(int i) { return View().Layer(i); }
    void Select(int layer) { View().Block().Set(BlockLayout::kSelectedLayer, static_cast<int16_t>(layer)); }
    int Selected() { return View().Block().Get(BlockLayout::kSelectedLayer); }

    BlockInMemory block_;
};

// ---- List positions and selection

TEST_F(StackTest, ListPositionsMapAroundThePhotoRow) {
    struct Case {
        int layers, photo, position, layer;
    };
    const Case cases[] = {
        {3, 1, 0, 0}, {3, 1, 1, -1}, {3, 1, 2, 1}, {3, 1, 3, 2}, {3, 1, 4, -1}, {3, 1, -1, -1},
        {3, 0, 0, -1}, {3, 0, 1, 0},  {3, 0, 3, 2}, {3, 3, 2, 2},  {3, 3, 3, -1}, {0, 0, 0, -1},
    };
    for (const Case& c : cases) {
        MakeStack(c.layers, 0, c.photo);
        EXPECT_EQ(Stack().ListPosToLayer(c.position), c.layer)
            << "N " << c.layers << " P " << c.photo << " row " << c.position;
    }
}

TEST_F(StackTest, PhotoPositionStaysWithinTheStack) {
    MakeStack(2, 0, 1);
    Stack().SetTargetLayerPos(-1);
    EXPECT_EQ(Stack().TargetLayerPos(), 1);
    Stack().SetTargetLayerPos(3);
    EXPECT_EQ(Stack().TargetLayerPos(), 1);
    Stack().SetTargetLayerPos(2);
    EXPECT_EQ(Stack().TargetLayerPos(), 2);
}

TEST_F(StackTest, SelectedListPosFollowsTheSelectedLayer) {
    struct Case {
        int selected, position;
    };
    // N = 3, P = 1: layers 0, 1, 2 are rows 0, 2, 3; a selection outside the stack is the photo.
    const Case cases[] = {{0, 0}, {1, 2}, {2, 3}, {-1, 1}, {3, 1}, {-7, 1}};
    MakeStack(3, 0, 1);
    for (const Case& c : cases) {
        Select(c.selected);
        EXPECT_EQ(Stack().GetSelectedListPos(), c.position) << "selected " << c.selected;
    }
    for (int row = 0; row <= 3; ++row) {
        Stack().SetSelectedListPos(row);
        EXPECT_EQ(Selected(), Stack().ListPosToLayer(row));
        EXPECT_EQ(Stack().GetSelectedListPos(), row);
    }
    Stack().SetSelectedListPos(9);
    EXPECT_EQ(Selected(), -1);
}

TEST_F(StackTest, SelectedRecordsFallBackToTheFirstLayer) {
    MakeStack(3, 0);
    Layer(0).Set(LayerLayout::kEdgeIndex, 1);
    Layer(2).Set(LayerLayout::kEdgeIndex, 3);
    Select(-1);
    EXPECT_EQ(Stack().CurrentLayerIndex(), 0);
    EXPECT_EQ(Stack().SelectedLayerRecord()->Bytes(), Layer(0).Bytes());
    EXPECT_EQ(Stack().SelectedLayerEdge()->Bytes(), EdgeOf(Layer(0), 1).Bytes());
    Select(2);
    EXPECT_EQ(Stack().CurrentLayerIndex(), 2);
    EXPECT_EQ(Stack().SelectedLayerEffect(3)->Bytes(), EffectOf(Layer(2), 3).Bytes());
    EXPECT_EQ(Stack().SelectedLayerBevel()->Bytes(), BevelOf(Layer(2)).Bytes());
    EXPECT_EQ(Stack().SelectedLayerEdge()->Bytes(), EdgeOf(Layer(2), 3).Bytes());
    EXPECT_FALSE(Stack().SelectedLayerEffect(4));
}

TEST_F(StackTest, RecordsRunFromLayersIntoPathRecords) {
    MakeStack(0, 2);  // one placeholder layer, then the two path records
    EXPECT_EQ(Stack().LayerRecord(0)->Bytes(), Layer(0).Bytes());
    EXPECT_EQ(Stack().LayerRecord(1)->Bytes(), View().Path(1).Bytes());
    EXPECT_EQ(Stack().LayerRecord(2)->Bytes(), View().Path(2).Bytes());
    EXPECT_FALSE(Stack().LayerRecord(3));
    EXPECT_FALSE(Stack().LayerRecord(-1));
}

TEST_F(StackTest, RecordsPastTheEndOfADamagedBlockAreNotHandedOut) {
    MakeStack(2, 0);
    View().Block().Set(BlockLayout::kLayerCount, 5);  // claims more layers than the handle holds
    EXPECT_TRUE(Stack().LayerRecord(1));
    EXPECT_FALSE(Stack().LayerRecord(2));
    Select(4);
    EXPECT_EQ(Stack().SelectedLayerMode(), 0);
    Stack().LinkAllLayers();  // touches only the layers that exist
    EXPECT_TRUE(Stack().LayersLinked(0, 1));
}

TEST_F(StackTest, SelectionAndEdgeIndexReachTheTwinBlock) {
    MakeStack(3, 0);
    Handle twin = NewHandle(GetHandleSize(block_.parameters));
    std::memcpy(*twin, *block_.parameters, static_cast<size_t>(GetHandleSize(twin)));
    Stack().LinkTwinBlock(twin);
    const ParameterBlockView twinView(reinterpret_cast<uint8_t*>(*twin), GetHandleSize(twin));

    Stack().SetSelectedListPos(3);
    EXPECT_EQ(twinView.Block().Get(BlockLayout::kSelectedLayer), 2);
    Stack().SetSelectedEdgeIndex(2, false);
    EXPECT_EQ(Layer(2).Get(LayerLayout::kEdgeIndex), 2);
    EXPECT_EQ(twinView.Layer(2).Get(LayerLayout::kEdgeIndex), 2);
    Stack().SetSelectedEdgeIndex(1, true);
    EXPECT_EQ(Stack().GetSelectedEdgeIndex(), 1);
    EXPECT_EQ(twinView.Layer(2).Get(LayerLayout::kEdgeIndex), 2);
    Stack().SetSelectedEdgeIndex(4, false);  // not an edge slot
    EXPECT_EQ(Stack().GetSelectedEdgeIndex(), 1);
    Stack().LinkTwinBlock(nullptr);
    DisposeHandle(twin);
}

// ---- Links

// The links of every layer as text: per layer "p" for linked to the previous, "n" to the next.
std::string Links(const ParameterBlockView& view) {
    std::string links;
    for (int i = 0; i < view.LayerCount(); ++i) {
        links += view.Layer(i).Get(LayerLayout::kLinkedPrevious) ? 'p' : '-';
        links += view.Layer(i).Get(LayerLayout::kLinkedNext) ? 'n' : '-';
        links += ' ';
    }
    return links;
}

TEST_F(StackTest, LinkAllLayersMakesTwoGroupsThatMeetAtThePhoto) {
    MakeStack(4, 0, 2);
    Stack().LinkAllLayers();
    EXPECT_EQ(Links(View()), "-n p- -n p- ");
    EXPECT_TRUE(Stack().LayersLinked(0, 1));
    EXPECT_FALSE(Stack().LayersLinked(1, 2));
    EXPECT_FALSE(Stack().LayersLinked(0, 3));
    EXPECT_EQ(Stack().FirstLinkedLayer(3), 2);
    EXPECT_EQ(Stack().LastLinkedLayer(0), 1);
    // Rows: layers 0, 1 at rows 0, 1; the photo at 2; layers 2, 3 at rows 3, 4.
    EXPECT_EQ(Stack().FirstLinkedListPos(4), 3);
    EXPECT_EQ(Stack().LastLinkedListPos(3), 4);
    EXPECT_EQ(Stack().LastLinkedListPos(0), 1);
    EXPECT_EQ(Stack().FirstLinkedListPos(2), 2);
    EXPECT_EQ(Stack().LastLinkedListPos(5), -1);
    EXPECT_TRUE(Stack().ListPosLinked(3, 4));
    EXPECT_FALSE(Stack().ListPosLinked(1, 2));
    EXPECT_FALSE(Stack().ListPosLinked(1, 3));
}

TEST_F(StackTest, LinkAllLayersWithThePhotoAtAnEndMakesOneGroup) {
    for (const int photo : {0, 3}) {
        MakeStack(3, 0, photo);
        Stack().LinkAllLayers();
        EXPECT_EQ(Links(View()), "-n pn p- ") << "photo " << photo;
    }
}

TEST_F(StackTest, SetLinkRangeLinksBetweenAndLeavesTheEndsOpen) {
    MakeStack(4, 0);
    Layer(0).Set(LayerLayout::kLinkedPrevious, 1);
    Layer(3).Set(LayerLayout::kLinkedNext, 1);
    Stack().SetLinkRange(2, 0, 1);
    EXPECT_EQ(Links(View()), "-n pn p- -- ");
    EXPECT_TRUE(Stack().LayersLinked(2, 0));
    Stack().SetLinkRange(1, 2, 0);
    EXPECT_EQ(Links(View()), "-n p- -- -- ");
    Stack().SetLinkRange(1, 4, 1);  // layer 4 does not exist: nothing but the ends
    EXPECT_EQ(Links(View()), "-n p- -- -- ");
}

TEST_F(StackTest, GroupEndsStopAtTheStackAndRefuseStrangers) {
    MakeStack(3, 0);
    Stack().SetLinkRange(0, 2, 1);
    EXPECT_EQ(Stack().LastLinkedLayer(2), 2);
    EXPECT_EQ(Stack().FirstLinkedLayer(0), 0);
    EXPECT_EQ(Stack().LastLinkedLayer(0), 2);
    EXPECT_EQ(Stack().LastLinkedLayer(3), -1);
    EXPECT_EQ(Stack().FirstLinkedLayer(-1), -1);
    EXPECT_TRUE(Stack().LayersLinked(1, 1));
    EXPECT_FALSE(Stack().LayersLinked(1, 3));
}

// ---- Inversion, transparency, caches

TEST_F(StackTest, InversionIsTheFlagAgainstTheImagePolarity) {
    struct Case {
        uint8_t invert, polarity;
        bool inverted;
    };
    const Case cases[] = {{0, 0, false}, {1, 0, true}, {0, 128, true}, {1, 128, false}, {1, 127, true}, {0, 255, true}};
    MakeStack(2, 0);
    for (const Case& c : cases) {
        Layer(1).Set(LayerLayout::kInvert, c.invert);
        States().At(1)->imagePolarity = c.polarity;
        EXPECT_EQ(Stack().IsLayerInverted(1), c.inverted) << int{c.invert} << " " << int{c.polarity};
    }
    Select(1);
    EXPECT_TRUE(Stack().IsLayerInverted(-1));  // the last case: a plain layer over an inverted image
    Select(-1);  // layer 0: no flag, a plain image
    EXPECT_FALSE(Stack().IsLayerInverted(-1));
    EXPECT_FALSE(Stack().IsLayerInverted(5));
}

TEST_F(StackTest, TransparentEffectsCountOnlyWhenTheInputHasTransparency) {
    MakeStack(2, 0);
    const auto makeTransparent = [](RecordRef effect, uint8_t on, uint16_t opacity, uint16_t alpha) {
        effect.Set(EffectLayout::kOn, on);
        effect.Set(EffectLayout::kOpacity, opacity);
        effect.Sub(EffectLayout::kColour).Set(ColourLayout::kAlpha, alpha);
    };
    for (int i = 0; i < 2; ++i)
        for (int kind = 0; kind < 4; ++kind) makeTransparent(EffectOf(Layer(i), kind), 1, 100, 255);
    makeTransparent(EffectOf(Layer(0), 0), 1, 100, 254);  // counts
    makeTransparent(EffectOf(Layer(0), 1), 0, 100, 0);    // off
    makeTransparent(EffectOf(Layer(0), 2), 1, 0, 0);      // invisible
    makeTransparent(EffectOf(Layer(1), 3), 1, 1, 0);      // counts
    EXPECT_EQ(Stack().CountTransparentEffects(0), 0);  // the host's input has no transparency
    EXPECT_EQ(Stack().CountTransparentEffects(1), 2);
    Layer(1).Set(LayerLayout::kEnabled, 0);
    EXPECT_EQ(Stack().CountTransparentEffects(1), 1);
}

TEST_F(StackTest, InvalidateLayerCacheChoosesItsLayers) {
    MakeStack(3, 1);
    const auto valid = [this] {
        std::string flags;
        for (int i = 0; i < States().Count(); ++i) flags += States().At(i)->cacheValid ? '1' : '0';
        return flags;
    };
    const auto validateAll = [this] {
        for (int i = 0; i < States().Count(); ++i) States().At(i)->cacheValid = true;
    };
    validateAll();
    Stack().InvalidateLayerCache(-1);
    EXPECT_EQ(valid(), "0000");
    validateAll();
    Select(2);
    Stack().InvalidateLayerCache(0);
    EXPECT_EQ(valid(), "1101");
    validateAll();
    Select(-1);
    Stack().InvalidateLayerCache(0);
    EXPECT_EQ(valid(), "0111");
    validateAll();
    Stack().InvalidateLayerCache(2);
    EXPECT_EQ(valid(), "1011");
    Stack().InvalidateLayerCache(40);  // no such layer
    EXPECT_EQ(valid(), "1011");
}

TEST_F(StackTest, SelectedLayerModeNeedsALiveSelectedLayer) {
    MakeStack(2, 1);
    Layer(1).Set(LayerLayout::kBackgroundTexture, 1);
    Select(1);
    EXPECT_EQ(Stack().SelectedLayerMode(), 1);
    Select(-1);
    EXPECT_EQ(Stack().SelectedLayerMode(), 0);
    Select(1);
    States().Resize(1);
    EXPECT_EQ(Stack().SelectedLayerMode(), 0);
}

TEST(LayerStateRecord, ResetFreesItsBuffersAndClearsItsFields) {
    ResetHostMemoryForTesting();
    LayerState state;
    for (BufferRecord& buffer : state.imageBuffers) ASSERT_EQ(buffer.Allocate(16), 0);
    ASSERT_EQ(state.textureBuffer.Allocate(16), 0);
    ASSERT_EQ(state.lastBuffer.Allocate(16), 0);
    state.sourceKind = LayerState::kThreePart;
    state.imageMissing = state.texturePresent = state.cacheValid = true;
    state.imagePlanes = 3;
    state.imageBounds = {1, 2, 3, 4};
    state.Reset();
    for (const BufferRecord& buffer : state.imageBuffers) EXPECT_FALSE(buffer.id);
    EXPECT_FALSE(state.textureBuffer.id);
    EXPECT_FALSE(state.lastBuffer.id);
    EXPECT_EQ(state.sourceKind, LayerState::kSingleImage);
    EXPECT_FALSE(state.imageMissing || state.texturePresent || state.cacheValid);
    EXPECT_EQ(state.imagePlanes, 0);
    EXPECT_EQ(state.imageBounds.bottom, 0);
}

// ---- Surface texture

class SurfaceTextureTest : public StackTest {
protected:
    // Path record 1 holds a loaded 3 x 2 image (two planes) at the document origin.
    void SetUp() override {
        StackTest::SetUp();
        MakeStack(1, 1);
        LayerState& image = *States().At(1);
        image.imagePlanes = 2;
        image.imageBounds = {0, 0, 2, 3};
        ASSERT_EQ(image.imageBuffers[0].Allocate(12), 0);
        const uint8_t pixels[12] = {10, 20, 30, 41, 50, 60, 70, 80, 90, 100, 110, 120};
        std::memcpy(image.imageBuffers[0].Lock(), pixels, sizeof pixels);
        image.imageBuffers[0].Unlock();
    }
    void UseTexture(uint16_t index) {
        BevelOf(Layer(0)).Set(BevelLayout::kSurfaceTexture, index);
        BevelOf(Layer(0)).Set(BevelLayout::kTextureBlur, 0.0f);
    }
    LayerState& Target() { return *States().At(0); }
};

TEST_F(SurfaceTextureTest, NoUsableImageGivesNoTextureAndAValidCache) {
    for (const uint16_t index : {0, 2}) {
        Target().cacheValid = false;
        Target().texturePresent = true;
        UseTexture(index);
        Stack().PrepareLayerSecondaryImage(0);
        EXPECT_TRUE(Target().cacheValid) << index;
        EXPECT_FALSE(Target().texturePresent) << index;
        EXPECT_FALSE(Target().textureBuffer.id) << index;
        EXPECT_EQ(Stack().SurfaceTextureIndex(0), 0) << index;
    }
    States().At(1)->imageMissing = true;
    Target().cacheValid = false;
    UseTexture(1);
    Stack().PrepareLayerSecondaryImage(0);
    EXPECT_FALSE(Target().texturePresent);
}

TEST_F(SurfaceTextureTest, TextureTilesTheGreyOfTheImageBeyondItsBounds) {
    UseTexture(1);
    EXPECT_EQ(Stack().SurfaceTextureIndex(0), 1);
    EXPECT_EQ(Stack().SurfaceTextureIndex(1), 0);  // not a layer
    Stack().PrepareLayerSecondaryImage(0);
    ASSERT_TRUE(Target().texturePresent);
    ASSERT_TRUE(Target().cacheValid);
    const Rect16 b = Target().textureBounds;  // no blur: widened by one pixel
    EXPECT_EQ(b.top, -1);
    EXPECT_EQ(b.left, -1);
    EXPECT_EQ(b.bottom, 3);
    EXPECT_EQ(b.right, 4);
    // Greys of the image: (10+20+1)/2 = 15, (30+41+1)/2 = 36, 55 / 75, 95, 115.
    const uint8_t expected[4][5] = {
        {115, 75, 95, 115, 75},  // row -1 is image row 1
        {55, 15, 36, 55, 15},
        {115, 75, 95, 115, 75},
        {55, 15, 36, 55, 15},
    };
    const uint8_t* texture = reinterpret_cast<const uint8_t*>(Target().textureBuffer.Lock());
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(texture[y * 5 + x], expected[y][x]) << y << "," << x;
    Target().textureBuffer.Unlock();

    // Prepared once: a second call leaves the texture alone until the cache is invalidated.
    States().At(1)->imageMissing = true;
    Stack().PrepareLayerSecondaryImage(0);
    EXPECT_TRUE(Target().texturePresent);
    Stack().InvalidateLayerCache(1);
    Stack().PrepareLayerSecondaryImage(0);
    EXPECT_FALSE(Target().texturePresent);
}

TEST_F(SurfaceTextureTest, ABlurredTextureHoldsTheAreaInsideTheBlurMargin) {
    LayerState& image = *States().At(1);
    std::memset(image.imageBuffers[0].Lock(), 77, 12);  // an even grey stays even under a blur
    image.imageBuffers[0].Unlock();
    UseTexture(1);
    BevelOf(Layer(0)).Set(BevelLayout::kTextureBlur, 1.0f);  // radius trunc(1.0 x 2.4 + 0.5) = 2
    Stack().PrepareLayerSecondaryImage(0);
    const Rect16 b = Target().textureBounds;
    EXPECT_EQ(b.top, -1);
    EXPECT_EQ(b.left, -1);
    EXPECT_EQ(b.bottom, 3);
    EXPECT_EQ(b.right, 4);
    const uint8_t* texture = reinterpret_cast<const uint8_t*>(Target().textureBuffer.Lock());
    for (int i = 0; i < 4 * 5; ++i) EXPECT_EQ(texture[i], 77) << i;
    Target().textureBuffer.Unlock();
}

// ---- Frame paths

class FramePathTest : public StackTest {
protected:
    static constexpr const char* kLibrary = "C:\\Library";
    RecordRef Record(int i) { return *Stack().LayerRecord(i); }
    void Store(int i, const FileSpec& spec) { std::memcpy(Record(i).At(LayerLayout::kSource), spec.bytes, FileSpec::kSize); }
    FileSpec Stored(int i) {
        FileSpec spec;
        std::memcpy(spec.bytes, Record(i).At(LayerLayout::kSource), FileSpec::kSize);
        return spec;
    }
    std::vector<uint8_t> Source(int i) {
        const uint8_t* source = Record(i).At(LayerLayout::kSource);
        return std::vector<uint8_t>(source, source + FileSpec::kSize);
    }
};

TEST_F(FramePathTest, PathsGoRelativeToTheLibraryAndBackWithShapesLeftAlone) {
    MakeStack(0, 3);  // the placeholder layer holds a shape; the last path record is record 3
    ShapeOf(Record(0)).Set(ShapeLayout::kMarker, -1);
    ShapeOf(Record(0)).Set(ShapeLayout::kKind, 3);
    Store(1, FileSpec::FromPath("C:\\Library\\Frames\\Oak.frm"));
    Store(2, FileSpec::FromPath("D:\\Frames\\Elm.frm"));  // another drive has no relative form
    Store(3, FileSpec::FromPath("C:\\Other\\Ash.frm"));
    std::vector<std::vector<uint8_t>> before;
    for (int i = 0; i < 4; ++i) before.push_back(Source(i));

    Stack().MakeFramePathsRelative(kLibrary);
    EXPECT_EQ(Source(0), before[0]);
    EXPECT_EQ(Stored(1).GetKind(), FileSpec::Kind::Relative);
    EXPECT_EQ(Stored(1).Text(), "Frames\\Oak.frm");
    EXPECT_EQ(Source(2), before[2]);
    EXPECT_EQ(Stored(3).GetKind(), FileSpec::Kind::Relative);
    EXPECT_EQ(Stored(3).Text(), "..\\Other\\Ash.frm");

    EXPECT_EQ(Stack().MakeFramePathsAbsolute(kLibrary), 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Source(i), before[i]) << "record " << i;
}

TEST_F(FramePathTest, APathTooLongToMakeAbsoluteKeepsItsRelativeForm) {
    MakeStack(1, 0);
    const FileSpec relative = FileSpec::FromRelativePath(std::string(1015, 'a'));
    ASSERT_FALSE(relative.IsEmpty());
    Store(0, relative);
    EXPECT_EQ(Stack().MakeFramePathsAbsolute(kLibrary), Err::MemoryFull);
    EXPECT_EQ(Stored(0).Text(), relative.Text());
    EXPECT_EQ(Stored(0).GetKind(), FileSpec::Kind::Relative);
}

}  // namespace
