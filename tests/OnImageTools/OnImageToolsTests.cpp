#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

#include "ColorConversion.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "LayerState.h"
#include "MorvaneDialog.h"
#include "PSDialog.h"
#include "PlacementEdits.h"
#include "PreviewTools.h"
#include "Quorvel.h"
#include "QuorvelBase.h"
#include "RenderSession.h"
#include "WindowServices.h"

namespace {

// The Alt key as the scripted drag holds it at each answer.
bool gAltHeld = false;
uint16_t ScriptedModifiers() { return gAltHeld ? kModifierAlt : 0; }

struct Line {
    Point16 from, to;
};
bool operator==(Point16 a, Point16 b) { return a.v == b.v && a.h == b.h; }

// A preview dialog without a window: its mouse replays a script (a press, then one point per
// answer, the last answered with the button up), and it records what the tools draw.
class ScriptedPreview : public PSDialog {
public:
    ScriptedPreview() : PSDialog(0, DialogKind::Preview) {}

    struct Step {
        Point16 point;
        bool alt = false;
    };
    void Script(Point16 press, std::vector<Step> steps) {
        last_ = press;
        steps_ = std::move(steps);
        next_ = 0;
    }
    // Called at each answer, before the answer: sees the block as the previous step left it.
    std::function<void()> probe;

    bool TrackMouse(Point16& point, Point16& delta, bool) override {
        if (probe) probe();
        const Step step = next_ < steps_.size() ? steps_[next_] : Step{last_, false};
        ++next_;
        gAltHeld = step.alt;
        point = step.point;
        delta = Point16{static_cast<int16_t>(step.point.v - last_.v), static_cast<int16_t>(step.point.h - last_.h)};
        last_ = step.point;
        return next_ < steps_.size();
    }
    void GetZoom(int32_t& out, int32_t& in) override {
        out = zoomOut;
        in = zoomIn;
    }
    int16_t GetTool() override { return tool; }
    bool GetImageColor(Point16 point, ColorRecord& color) override {
        if (point.v < 0 || point.h < 0 || point.v >= 300 || point.h >= 400) return false;
        color.space = 0;
        color.components[0] = point.h;
        color.components[1] = point.v;
        return true;
    }
    void DrawOverlayLine(Point16 from, Point16 to) override {
        lines.push_back({from, to});
        modes.push_back(Port().drawMode);
    }
    void DrawOverlayHandle(Point16 point) override { handles.push_back(point); }

    int32_t zoomOut = 1, zoomIn = 1;
    int16_t tool = 3;
    std::vector<Line> lines;
    std::vector<int> modes;
    std::vector<Point16> handles;

private:
    std::vector<Step> steps_;
    size_t next_ = 0;
    Point16 last_{};
};

class ColourPick : public PreviewPickTarget {
public:
    explicit ColourPick(Kind kind) : kind_(kind) {}
    Kind PickKind() const override { return kind_; }
    bool TakePickedColor(const ColorRecord& color) override {
        picked.push_back(Point16{color.components[1], color.components[0]});
        return true;
    }
    void TrackShadowOffset(PSDialog&) override { ++offsetDrags; }
    std::vector<Point16> picked;
    int offsetDrags = 0;

private:
    Kind kind_;
};

// The stored bytes of a float field: big-endian, as the host and the presets keep them.
std::array<uint8_t, 4> StoredBytes(float v) {
    const uint32_t bits = std::bit_cast<uint32_t>(v);
    return {static_cast<uint8_t>(bits >> 24), static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 8),
            static_cast<uint8_t>(bits)};
}
std::array<uint8_t, 4> BytesAt(const uint8_t* p) { return {p[0], p[1], p[2], p[3]}; }

// A stack of default layers in a 400 x 300 filter rectangle (the preview at 1:1 unless a test
// zooms), with layer `selected` selected.
class OnImageToolsTest : public testing::Test {
protected:
    void SetUp() override {
        ResetHostMemoryForTesting();
        record_.filterRect = Rect16{0, 0, 300, 400};
        hostCall_ = HostCall{.record = &record_};
        call_.emplace(hostCall_);
        filter_.Stack().SetTargetLayerPos(0);
        tools_.ForgetOverlay();
        tools_.SetPickTarget(nullptr);
    }
    void TearDown() override {
        tools_.SetPickTarget(nullptr);
        tools_.ForgetOverlay();
        state_.layerStates.Release();
        DisposeHandle(record_.parameters);
        record_.parameters = nullptr;
        call_.reset();
    }

    void MakeStack(int layers, int selected) {
        filter_.SetDefaultParameters(0);
        ASSERT_EQ(filter_.ResizeStackStorage(layers, false), 0);
        for (int i = 0; i < layers; ++i) filter_.Stack().InitLayerRecord(i, false);
        View().Block().Set(BlockLayout::kSelectedLayer, static_cast<int16_t>(selected));
    }
    ParameterBlockView View() {
        return ParameterBlockView(reinterpret_cast<uint8_t*>(*record_.parameters), GetHandleSize(record_.parameters));
    }
    RecordRef Layer(int i) { return View().Layer(i); }
    RecordRef Photo() { return View().Background(); }
    std::optional<PlacementOutline> Outline(RecordRef placement) {
        return ComputePlacementOutline(Placement{placement}, MakePreviewGeometry(record_.filterRect, 1, 1));
    }

    bool Drag(int16_t cursor, Point16 press, std::vector<ScriptedPreview::Step> steps) {
        dialog_.Script(press, std::move(steps));
        return tools_.TrackDrag(cursor, &ScriptedModifiers);
    }

    FilterRecord record_{};
    HostCall hostCall_;
    std::optional<HostCallScope> call_;
    StackState state_;
    Quorvel filter_{hostCall_, state_};
    ScriptedPreview dialog_;
    PreviewTools tools_{dialog_, filter_};
};

Point16 P(int v, int h) { return Point16{static_cast<int16_t>(v), static_cast<int16_t>(h)}; }

// ---- Move and nudge

TEST_F(OnImageToolsTest, MovingOneLinkedLayerMovesItsWholeGroupAndNothingElse) {
    MakeStack(4, 1);
    filter_.Stack().SetLinkRange(0, 2, 1);
    Session().updateRegion.Reset(CreateRectRgn(0, 0, 0, 0));
    ASSERT_TRUE(Drag(PreviewCursor::kMove, P(150, 200), {{P(150, 210)}, {P(160, 210)}, {P(160, 210)}}));
    // The preview follows: its whole area is to be composed again.
    RECT update{};
    GetRgnBox(Session().updateRegion.Get(), &update);
    Session().updateRegion.Reset();
    EXPECT_EQ((std::array{update.top, update.left, update.bottom, update.right}), (std::array<LONG, 4>{0, 0, 300, 400}));
    // Each step adds in single precision: 10 units of 400 are 0.05, 10 units of 300 are 1/15.
    const float x = 0.0f + static_cast<float>(10 * 2.0 / 400);
    const float y = 0.0f + static_cast<float>(10 * 2.0 / 300);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(BytesAt(Layer(i).At(LayerLayout::kOffsetX.offset)), StoredBytes(x)) << "layer " << i;
        EXPECT_EQ(BytesAt(Layer(i).At(LayerLayout::kOffsetY.offset)), StoredBytes(y)) << "layer " << i;
    }
    EXPECT_EQ(Layer(3).Get(LayerLayout::kOffsetX), 0.0f);
    EXPECT_EQ(Photo().Get(LayerLayout::kOffsetX), 0.0f);
}

TEST_F(OnImageToolsTest, WithNoLayerSelectedTheToolsPlaceThePhoto) {
    MakeStack(2, -1);
    ASSERT_TRUE(Drag(PreviewCursor::kMove, P(150, 200), {{P(150, 190)}, {P(150, 190)}}));
    // The photo's offsets sit at +1084 and +1088 of the block.
    EXPECT_EQ(BytesAt(View().Bytes() + 1084), StoredBytes(-0.05f));
    EXPECT_EQ(Layer(0).Get(LayerLayout::kOffsetX), 0.0f);

    // Its corner handle scales the block's size at +1092: the top-left corner pulled in by a
    // quarter leaves the photo at 75 %.
    ASSERT_TRUE(Drag(PreviewCursor::kFirstCorner, P(0, 0), {{P(75, 100)}, {P(75, 100)}}));
    EXPECT_EQ(BytesAt(View().Bytes() + 1092), StoredBytes(0.75f));
    EXPECT_EQ(EffectOf(Layer(0), EffectLayout::kBackground).Get(EffectLayout::kSize), 1.0f);
}

TEST_F(OnImageToolsTest, ASelectedLayerThatCannotBeEditedOffersNoTool) {
    MakeStack(2, 1);
    Layer(1).Set(LayerLayout::kEnabled, 0);
    EXPECT_EQ(tools_.ChooseCursor(P(150, 200)), PreviewCursor::kNone);
    EXPECT_FALSE(Drag(PreviewCursor::kMove, P(150, 200), {{P(150, 260)}, {P(150, 260)}}));
    tools_.Nudge(PreviewCursor::kMove, DialogKeyCode::kLeft);
    EXPECT_EQ(Layer(1).Get(LayerLayout::kOffsetX), 0.0f);
    EXPECT_EQ(Photo().Get(LayerLayout::kOffsetX), 0.0f);
    EXPECT_TRUE(dialog_.lines.empty());
}

TEST_F(OnImageToolsTest, ArrowKeysUnderTheMoveCursorNudgeByOnePreviewUnit) {
    struct Case {
        Rect16 filter;
        int32_t out;
    };
    // 400 x 300 preview units either way: the reduced rectangle rounds its far edges up.
    for (const Case& c : {Case{{0, 0, 300, 400}, 1}, Case{{0, 0, 599, 799}, 2}}) {
        record_.filterRect = c.filter;
        dialog_.zoomOut = c.out;
        MakeStack(2, 0);
        filter_.Stack().SetLinkRange(0, 1, 1);
        EXPECT_TRUE(tools_.Nudge(PreviewCursor::kMove, DialogKeyCode::kRight));
        EXPECT_TRUE(tools_.Nudge(PreviewCursor::kMove, DialogKeyCode::kDown));
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(BytesAt(Layer(i).At(LayerLayout::kOffsetX.offset)), StoredBytes(0.005f)) << "out " << c.out;
            EXPECT_EQ(BytesAt(Layer(i).At(LayerLayout::kOffsetY.offset)), StoredBytes(static_cast<float>(1.0 / 150)));
        }
        EXPECT_TRUE(tools_.Nudge(PreviewCursor::kMove, DialogKeyCode::kLeft));
        EXPECT_TRUE(tools_.Nudge(PreviewCursor::kMove, DialogKeyCode::kUp));
        EXPECT_EQ(Layer(0).Get(LayerLayout::kOffsetX), 0.0f);
        EXPECT_EQ(Layer(0).Get(LayerLayout::kOffsetY), 0.0f);
    }
    // Under another cursor, or for another key, the key is not the tool's.
    EXPECT_FALSE(tools_.Nudge(PreviewCursor::kRotate, DialogKeyCode::kLeft));
    EXPECT_FALSE(tools_.Nudge(PreviewCursor::kMove, DialogKeyCode::kHome));
    EXPECT_EQ(Layer(0).Get(LayerLayout::kOffsetX), 0.0f);
}

// ---- Rotate

TEST_F(OnImageToolsTest, AngleWrapsIntoAHalfTurnEitherWay) {
    const std::pair<int64_t, int16_t> cases[] = {{0, 0},      {180, 180},   {-180, -180}, {181, -179}, {-181, 179},
                                                 {359, -1},   {540, 180},   {541, -179},  {-541, 179}, {725, 5},
                                                 {-900, -180}};
    for (const auto& [in, out] : cases) EXPECT_EQ(WrapAngle(in), out) << in;
}

TEST_F(OnImageToolsTest, AFullTurnOfTheMouseTurnsTheFrameThroughTheHalfTurnWithoutAJump) {
    MakeStack(1, 0);
    std::vector<int> angles;
    dialog_.probe = [&] { angles.push_back(Layer(0).Get(LayerLayout::kAngle)); };
    // Round the centre (150, 200), starting due right of it: screen bearings grow clockwise.
    ASSERT_TRUE(Drag(PreviewCursor::kRotate, P(150, 300),
                     {{P(250, 200)}, {P(150, 100)}, {P(149, 100)}, {P(50, 200)}, {P(150, 300)}, {P(150, 300)}}));
    angles.erase(angles.begin());  // before the first step
    EXPECT_EQ(angles, (std::vector<int>{90, 180, -179, -90, 0}));
}

TEST_F(OnImageToolsTest, AltKeepsTheTurnedFramesExtentAndReleasingAltTakesTheStepAgainWithout) {
    MakeStack(1, 0);
    std::vector<float> scales;
    dialog_.probe = [&] { scales.push_back(Layer(0).Get(LayerLayout::kScaleX)); };
    ASSERT_TRUE(Drag(PreviewCursor::kRotate, P(150, 300), {{P(250, 200), true}, {P(250, 200), false}, {P(250, 200)}}));
    ASSERT_EQ(scales.size(), 3u);
    // Turned a quarter with Alt over a 400 x 300 preview, the x scale grew by 4/3 ...
    EXPECT_NEAR(scales[1], 4.0 / 3, 1e-6);
    // ... and the frame covers what it covered, turned: 300 wide and 400 high about its centre.
    MakeStack(1, 0);
    Layer(0).Set(LayerLayout::kAngle, 90);
    Layer(0).Set(LayerLayout::kScaleX, scales[1]);
    Layer(0).Set(LayerLayout::kScaleY, 0.75f);
    const std::optional<PlacementOutline> turned = Outline(Layer(0));
    ASSERT_TRUE(turned);
    int16_t top = 32767, bottom = -32768, left = 32767, right = -32768;
    for (Point16 c : turned->corners) {
        top = std::min(top, c.v), bottom = std::max(bottom, c.v);
        left = std::min(left, c.h), right = std::max(right, c.h);
    }
    EXPECT_EQ(right - left, 300);
    EXPECT_EQ(bottom - top, 400);
    EXPECT_EQ((left + right) / 2, 200);
    // Without Alt the same turn leaves the scales as they were.
    EXPECT_EQ(scales[2], 1.0f);
}

TEST_F(OnImageToolsTest, AltRotationCorrectsBothScales) {
    MakeStack(1, 0);
    ASSERT_TRUE(Drag(PreviewCursor::kRotate, P(150, 300), {{P(250, 200), true}, {P(250, 200), true}}));
    EXPECT_EQ(Layer(0).Get(LayerLayout::kAngle), 90);
    EXPECT_NEAR(Layer(0).Get(LayerLayout::kScaleX), 4.0 / 3, 1e-6);
    EXPECT_NEAR(Layer(0).Get(LayerLayout::kScaleY), 0.75, 1e-6);
}

// ---- Scale

// The bounding box of a placement's outline: top, left, bottom, right.
Rect16 Box(const PlacementOutline& o) {
    Rect16 r{32767, 32767, -32768, -32768};
    for (Point16 c : o.corners) {
        r.top = std::min(r.top, c.v), r.bottom = std::max(r.bottom, c.v);
        r.left = std::min(r.left, c.h), r.right = std::max(r.right, c.h);
    }
    return r;
}

TEST_F(OnImageToolsTest, HandlesScaleOnlyWhatTheyHoldAndKeepTheOppositeSideInPlace) {
    struct Case {
        int16_t handle;
        Point16 press, to;
        bool alt;
        Rect16 box;  // the outline afterwards
        float scaleX, scaleY, size;
    };
    const Case cases[] = {
        // The right edge pulled in by 100: the left edge stays.
        {16004, P(150, 400), P(150, 300), false, {0, 0, 300, 300}, 0.75f, 1, 1},
        // With Alt both edges come in about the centre.
        {16004, P(150, 400), P(150, 300), true, {0, 100, 300, 300}, 0.5f, 1, 1},
        // The bottom edge pushed down by 30.
        {16003, P(300, 200), P(330, 200), false, {0, 0, 330, 400}, 1, 1.1f, 1},
        // The top-left corner: only the size changes, the bottom-right corner stays.
        {16006, P(0, 0), P(60, 80), false, {60, 80, 300, 400}, 1, 1, 0.8f},
        // The top-right corner dragged out along its diagonal, about the centre.
        {16009, P(0, 400), P(-15, 420), true, {-15, -20, 315, 420}, 1, 1, 1.1f},
    };
    for (const Case& c : cases) {
        MakeStack(1, 0);
        ASSERT_TRUE(Drag(c.handle, c.press, {{c.to, c.alt}, {c.to, c.alt}})) << c.handle;
        const RecordRef layer = Layer(0);
        EXPECT_NEAR(layer.Get(LayerLayout::kScaleX), c.scaleX, 1e-6) << c.handle;
        EXPECT_NEAR(layer.Get(LayerLayout::kScaleY), c.scaleY, 1e-6) << c.handle;
        EXPECT_NEAR(layer.Get(kPlacementSize), c.size, 1e-6) << c.handle;
        const std::optional<PlacementOutline> outline = Outline(layer);
        ASSERT_TRUE(outline);
        const Rect16 box = Box(*outline);
        EXPECT_EQ((std::array{box.top, box.left, box.bottom, box.right}),
                  (std::array{c.box.top, c.box.left, c.box.bottom, c.box.right}))
            << c.handle << (c.alt ? " alt" : "");
    }
}

TEST_F(OnImageToolsTest, AnEdgeDraggedPastTheOppositeEdgeStopsAtATenthAndComesBack) {
    MakeStack(1, 0);
    std::vector<float> scales;
    dialog_.probe = [&] { scales.push_back(Layer(0).Get(LayerLayout::kScaleX)); };
    // The right edge (x 400) to 200, to the left edge, past it, and back to 100.
    ASSERT_TRUE(Drag(PreviewCursor::kFirstEdge + 2, P(150, 400),
                     {{P(150, 200)}, {P(150, 0)}, {P(150, -100)}, {P(150, 100)}, {P(150, 100)}}));
    scales.erase(scales.begin());
    EXPECT_EQ(scales, (std::vector<float>{0.5f, 0.5f, 0.5f, 0.25f}));
    // The step that was refused left the offsets as they were too.
    EXPECT_NEAR(Layer(0).Get(LayerLayout::kOffsetX), -0.75, 1e-6);
}

// ---- Cursor, overlay and picks

TEST_F(OnImageToolsTest, TheCursorNamesTheCornerBeforeTheEdgeThenInsideOrOutside) {
    MakeStack(1, 0);
    struct Case {
        Point16 mouse;
        int32_t magnification;
        int16_t cursor;
    };
    const Case cases[] = {
        {P(0, 0), 1, 16006},    {P(300, 0), 1, 16007},  {P(300, 400), 1, 16008}, {P(0, 400), 1, 16009},
        {P(150, 0), 1, 16002},  {P(300, 200), 1, 16003}, {P(150, 400), 1, 16004}, {P(0, 200), 1, 16005},
        {P(5, 4), 1, 16006},    // near the top and left edges too: the corner wins
        {P(9, 0), 1, 16002},    // 9 screen pixels from the corner, on the edge
        {P(-2, -2), 4, 16006},  // 8 screen pixels before the corner: within
        {P(2, 2), 4, 16001},    // 8 screen pixels inside both edges: beyond their reach on that side
        {P(150, 200), 1, 16001}, {P(-40, 200), 1, 16010}, {P(150, 420), 1, 16010},
    };
    for (const Case& c : cases) {
        dialog_.zoomIn = c.magnification;
        EXPECT_EQ(tools_.ChooseCursor(c.mouse), c.cursor) << c.mouse.v << "," << c.mouse.h << " x" << c.magnification;
    }
    // A mirrored frame keeps its inside.
    filter_.FlipCurrentGroup(true);
    dialog_.zoomIn = 1;
    EXPECT_EQ(tools_.ChooseCursor(P(150, 200)), 16001);
    EXPECT_EQ(tools_.ChooseCursor(P(150, 420)), 16010);
}

TEST_F(OnImageToolsTest, OutlinePointsRoundHalfAwayFromZero) {
    MakeStack(1, 0);
    // An odd width puts the top edge's midpoint on a half unit, right or left of zero.
    for (const auto& [filter, midpoint] : {std::pair{Rect16{0, 0, 300, 401}, 201}, std::pair{Rect16{0, -401, 300, 0}, -201}}) {
        const std::optional<PlacementOutline> outline =
            ComputePlacementOutline(Placement{Layer(0)}, MakePreviewGeometry(filter, 1, 1));
        ASSERT_TRUE(outline);
        EXPECT_TRUE(outline->midpoints[3] == P(0, midpoint)) << outline->midpoints[3].h;
        EXPECT_TRUE(outline->midpoints[0] == P(150, filter.left));
    }
}

TEST_F(OnImageToolsTest, AShapeThatKeepsItsProportionsIsOutlinedWhereItIsDrawn) {
    MakeStack(1, 0);
    const PreviewGeometry preview = MakePreviewGeometry(record_.filterRect, 1, 1);
    for (const RecordRef record : {Layer(0), Photo()}) {
        ShapeOf(record).Set(ShapeLayout::kMarker, -1);
        ShapeOf(record).Set(ShapeLayout::kOption, 1);
    }
    // The renderer fits such a shape into a square: 300 x 300 in the middle of 400 x 300.
    const std::optional<PlacementOutline> shape = ComputePlacementOutline(Placement{Layer(0)}, preview);
    ASSERT_TRUE(shape);
    const Rect16 box = Box(*shape);
    EXPECT_EQ((std::array{box.top, box.left, box.bottom, box.right}), (std::array<int16_t, 4>{0, 50, 300, 350}));
    // The photo's record is never a shape, whatever its bytes say.
    const std::optional<PlacementOutline> photo = ComputePlacementOutline(Placement{Photo(), true}, preview);
    ASSERT_TRUE(photo);
    EXPECT_EQ(Box(*photo).right, 400);
}

TEST_F(OnImageToolsTest, TheOverlayIsDrawnOnceInNotXorAndErasedWithTheSameLines) {
    MakeStack(1, 0);
    tools_.ChooseCursor(P(150, 200));
    ASSERT_EQ(dialog_.lines.size(), 4u);
    EXPECT_EQ(dialog_.handles.size(), 8u);
    EXPECT_TRUE(std::all_of(dialog_.modes.begin(), dialog_.modes.end(), [](int m) { return m == R2_NOTXORPEN; }));
    EXPECT_EQ(dialog_.Port().drawMode, R2_COPYPEN);
    tools_.ChooseCursor(P(100, 100));
    EXPECT_EQ(dialog_.lines.size(), 4u);  // already shown

    // A drag step takes the old outline away and draws the new one.
    ASSERT_TRUE(Drag(PreviewCursor::kMove, P(150, 200), {{P(150, 220)}, {P(150, 220)}}));
    ASSERT_EQ(dialog_.lines.size(), 12u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(dialog_.lines[4 + i].from == dialog_.lines[i].from && dialog_.lines[4 + i].to == dialog_.lines[i].to);
        EXPECT_EQ(dialog_.lines[8 + i].from.h, dialog_.lines[i].from.h + 20);
    }
    tools_.EraseOverlay();
    ASSERT_EQ(dialog_.lines.size(), 16u);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(dialog_.lines[12 + i].from == dialog_.lines[8 + i].from);
    tools_.EraseOverlay();
    EXPECT_EQ(dialog_.lines.size(), 16u);
}

TEST_F(OnImageToolsTest, APickServesTheTabThatHoldsIt) {
    MakeStack(1, 0);
    dialog_.tool = 1;
    EXPECT_EQ(tools_.ChooseCursor(P(150, 200)), PreviewCursor::kNone);

    ColourPick colour(PreviewPickTarget::kPickColor);
    tools_.SetPickTarget(&colour);
    EXPECT_EQ(tools_.ChooseCursor(P(150, 200)), PreviewCursor::kEyedropper);
    EXPECT_TRUE(dialog_.lines.empty());
    // At the press and at every move inside the image; nothing beyond it.
    EXPECT_TRUE(Drag(PreviewCursor::kEyedropper, P(10, 20), {{P(10, 20)}, {P(11, 25)}, {P(-5, 25)}, {P(-5, 25)}}));
    ASSERT_EQ(colour.picked.size(), 2u);
    EXPECT_TRUE(colour.picked[0] == P(10, 20) && colour.picked[1] == P(11, 25));

    // The shadow's pick shows where the shadow falls: rows down, columns across.
    ColourPick offset(PreviewPickTarget::kPickShadowOffset);
    tools_.SetPickTarget(&offset);
    const RecordRef shadow = EffectOf(Layer(0), EffectLayout::kShadow);
    shadow.Set(EffectLayout::kShadowRows, 12);
    shadow.Set(EffectLayout::kShadowColumns, -6);
    EXPECT_EQ(tools_.ChooseCursor(P(150, 200)), PreviewCursor::kShadowOffset);
    ASSERT_EQ(dialog_.lines.size(), 4u);
    EXPECT_TRUE(dialog_.handles.empty());
    const std::optional<PlacementOutline> outline = Outline(Layer(0));
    EXPECT_TRUE(dialog_.lines[3].from == P(outline->corners[0].v + 12, outline->corners[0].h - 6));
    EXPECT_TRUE(tools_.TrackDrag(PreviewCursor::kShadowOffset, &ScriptedModifiers));
    EXPECT_EQ(offset.offsetDrags, 1);
}

// ---- The Frames menu's turns and flips

TEST_F(OnImageToolsTest, MenuTurnsAndFlipsMirrorEveryLayerOfTheGroupOnScreen) {
    struct Case {
        bool rotate;
        int16_t degrees;  // for a turn
        bool horizontal;  // for a flip
        int16_t angles[2];
        uint8_t flips[2];  // before, of the flipped axis
        int16_t anglesAfter[2];
        uint8_t flipsAfter[2];
    };
    const Case cases[] = {
        {true, 90, false, {120, -180}, {0, 0}, {-150, -90}, {0, 0}},
        {true, -90, false, {-120, 0}, {0, 0}, {150, -90}, {0, 0}},
        // Each layer turns its own flip over, so a layer that was flipped is flipped back.
        {false, 0, true, {30, -180}, {0, 1}, {-30, 180}, {1, 0}},
        {false, 0, false, {30, -30}, {1, 0}, {150, -150}, {0, 1}},
        {false, 0, false, {0, 180}, {0, 0}, {180, 0}, {1, 1}},
    };
    for (const Case& c : cases) {
        MakeStack(3, 1);
        filter_.Stack().SetLinkRange(0, 1, 1);
        const Field<uint8_t> flip = c.horizontal ? LayerLayout::kFlipHorizontal : LayerLayout::kFlipVertical;
        for (int i = 0; i < 2; ++i) {
            Layer(i).Set(LayerLayout::kAngle, c.angles[i]);
            Layer(i).Set(flip, c.flips[i]);
        }
        if (c.rotate) filter_.RotateCurrentGroup(c.degrees);
        else filter_.FlipCurrentGroup(c.horizontal);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(Layer(i).Get(LayerLayout::kAngle), c.anglesAfter[i]) << i;
            EXPECT_EQ(Layer(i).Get(flip), c.flipsAfter[i]) << i;
        }
        EXPECT_EQ(Layer(2).Get(LayerLayout::kAngle), 0);  // not linked
    }
    // With no layer selected the photo turns.
    View().Block().Set(BlockLayout::kSelectedLayer, -1);
    const int16_t layerAngle = Layer(0).Get(LayerLayout::kAngle);
    filter_.RotateCurrentGroup(-90);
    EXPECT_EQ(Photo().Get(LayerLayout::kAngle), -90);
    EXPECT_EQ(Layer(0).Get(LayerLayout::kAngle), layerAngle);
}

}  // namespace
