// Dialog components: the list of live components, and the guards that set a port's colours and
// clip for a drawing call and put back what they found.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "DesktopInput.h"
#include "DialogComponent.h"
#include "DrawingGuards.h"
#include "MorvaneDialog.h"
#include "TabTemplates.h"

namespace {

constexpr COLORREF kRed = RGB(0xC0, 0x10, 0x10);
constexpr COLORREF kGreen = RGB(0x10, 0xC0, 0x10);
constexpr COLORREF kBlue = RGB(0x10, 0x10, 0xC0);
constexpr COLORREF kYellow = RGB(0xE0, 0xE0, 0x10);

// A component that records what it was told.
class ProbeComponent : public DialogComponent {
public:
    ProbeComponent(MorvaneDialog& owner, int16_t item, ComponentCallback callback = nullptr)
        : DialogComponent(owner, item, callback) {}
    using DialogComponent::Notify;
    using DialogComponent::Unlink;
};

std::vector<const DialogComponent*> ListedComponents() {
    std::vector<const DialogComponent*> listed;
    for (const DialogComponent* c = DialogComponent::FirstComponent(); c; c = c->NextComponent()) listed.push_back(c);
    return listed;
}

COLORREF PenColor(const DrawingPort& port) {
    LOGPEN pen{};
    GetObjectW(port.pen.Get(), sizeof pen, &pen);
    return pen.lopnColor;
}
LONG PenWidth(const DrawingPort& port) {
    LOGPEN pen{};
    GetObjectW(port.pen.Get(), sizeof pen, &pen);
    return pen.lopnWidth.x;
}
COLORREF BrushColor(HBRUSH brush) {
    LOGBRUSH info{};
    GetObjectW(brush, sizeof info, &info);
    return info.lbColor;
}

// Both colours and the three objects made from them.
void ExpectPortColors(const DrawingPort& port, COLORREF back, COLORREF fore, const char* when) {
    EXPECT_EQ(port.backColor, back) << when;
    EXPECT_EQ(port.foreColor, fore) << when;
    EXPECT_EQ(BrushColor(port.backBrush.Get()), back) << when;
    EXPECT_EQ(BrushColor(port.fillBrush.Get()), fore) << when;
    EXPECT_EQ(PenColor(port), fore) << when;
}

TEST(DialogComponentList, DeletingAComponentKeepsTheRestOfTheListIntact) {
    MorvaneDialog owner(0, DialogKind::Modal);   // no template: an owner that is never listed
    const std::vector<const DialogComponent*> before = ListedComponents();
    auto first = std::make_unique<ProbeComponent>(owner, 1);
    auto middle = std::make_unique<ProbeComponent>(owner, 2);
    auto head = std::make_unique<ProbeComponent>(owner, 3);
    const DialogComponent* a = first.get();
    const DialogComponent* c = head.get();

    std::vector<const DialogComponent*> expected{c, middle.get(), a};
    expected.insert(expected.end(), before.begin(), before.end());
    EXPECT_EQ(ListedComponents(), expected);

    middle.reset();
    expected = {c, a};
    expected.insert(expected.end(), before.begin(), before.end());
    EXPECT_EQ(ListedComponents(), expected) << "deleted from the middle";

    head.reset();
    expected = {a};
    expected.insert(expected.end(), before.begin(), before.end());
    EXPECT_EQ(ListedComponents(), expected) << "deleted at the head";
    EXPECT_EQ(DialogComponent::FirstComponent(), a);

    // A subclass that unlinks in its own destructor body unlinks once: the base's unlinking finds
    // nothing left to do and the list stays whole.
    first->Unlink();
    first->Unlink();
    EXPECT_EQ(ListedComponents(), before);
    first.reset();
    EXPECT_EQ(ListedComponents(), before);
}

bool gCalled = false;
bool RecordCall(DialogComponent& component, int16_t code, intptr_t argument) {
    gCalled = component.Item() == 4 && code == 1 && argument == 77;
    return true;
}

TEST(DialogComponentList, TheOwnerHearsOfChangesOnlyThroughACallback) {
    MorvaneDialog owner(0, DialogKind::Modal);
    ProbeComponent silent(owner, 4);
    EXPECT_FALSE(silent.Notify(1, 77));
    ProbeComponent told(owner, 4, RecordCall);
    gCalled = false;
    EXPECT_TRUE(told.Notify(1, 77));
    EXPECT_TRUE(gCalled);
    EXPECT_EQ(told.ForeColor(), RGB(0x3F, 0x3F, 0x3F));
}

// A port of its own, as a component's owner has before its window exists.
class ColorGuards : public testing::Test {
protected:
    void SetUp() override {
        InitPort(owner_.Port(), nullptr);
        DrawingPort& port = owner_.Port();
        port.backColor = kYellow;
        port.foreColor = kBlue;
        UpdatePenAndBrushes(port);
    }

    MorvaneDialog owner_{0, DialogKind::Modal};
};

TEST_F(ColorGuards, NestedGuardsRestoreInReverseOrderWhatEachFound) {
    DrawingPort& port = owner_.Port();
    ProbeComponent outer(owner_, 1), inner(owner_, 2);
    outer.SetColors(kRed, kGreen);
    inner.SetColors(kGreen, kRed);
    {
        ColorState outerGuard(outer);
        ExpectPortColors(port, kRed, kGreen, "inside the outer guard");
        {
            ColorState innerGuard(inner);
            ExpectPortColors(port, kGreen, kRed, "inside the inner guard");
        }
        ExpectPortColors(port, kRed, kGreen, "after the inner guard");
    }
    ExpectPortColors(port, kYellow, kBlue, "after both guards");
}

TEST_F(ColorGuards, ADrawingCallLeftByAnExceptionLeavesThePortAsItWas) {
    DrawingPort& port = owner_.Port();
    ProbeComponent component(owner_, 1);
    component.SetColors(kRed, kGreen);
    EXPECT_THROW(
        {
            ColorState guard(component);
            PortColorState direct(port, kGreen, kRed);
            throw std::runtime_error("drawing failed");
        },
        std::runtime_error);
    ExpectPortColors(port, kYellow, kBlue, "after the exception");
}

TEST_F(ColorGuards, APenWidenedInsideTheGuardKeepsItsWidthInTheRestoredColour) {
    DrawingPort& port = owner_.Port();
    {
        PortColorState guard(port, kRed, kGreen);
        port.penWidth = 2;
        UpdatePen(port);
        EXPECT_EQ(PenWidth(port), 2);
    }
    ExpectPortColors(port, kYellow, kBlue, "after the guard");
    EXPECT_EQ(PenWidth(port), 2);
}

// A dialog whose item drawing clips to a component's item and records the clip it found.
class ClipProbeDialog : public MorvaneDialog {
public:
    ClipProbeDialog() : MorvaneDialog(TEST_TAB_SHADOW, DialogKind::Floating) {}

    void DrawItem(int16_t item) override {
        if (!component || item != component->Item()) return;
        ++draws;
        updateBox = Port().extraClipRgn ? RegionBounds(Port().extraClipRgn) : Rect16{};
        ClipState clip(*component);
        clipBox = RegionBounds(Port().clipRgn.Get());
    }

    ProbeComponent* component = nullptr;
    int draws = 0;
    Rect16 clipBox{};
    Rect16 updateBox{};
};

TEST(ClipGuard, ClipsToTheItemWithinTheClipAndTheUpdateRegionOfAPaint) {
    ClipProbeDialog dialog;
    ASSERT_TRUE(dialog.CreateModeless());
    ASSERT_TRUE(PumpUntil([&] { return dialog.IsVisible(); }));
    ProbeComponent component(dialog, TEST_ITEM_BUTTON);
    dialog.component = &component;
    UpdateWindow(dialog.Window());
    PumpPending();
    DrawingPort& port = dialog.Port();
    const Rect16 item = dialog.GetItemRect(TEST_ITEM_BUTTON);
    ASSERT_FALSE(IsEmptyRect(item));

    // Outside a paint: the item within the clip region.
    const Rect16 wholeClip = RegionBounds(port.clipRgn.Get());
    {
        ClipState clip(component);
        EXPECT_TRUE(EqualRects(RegionBounds(port.clipRgn.Get()), item));
    }
    EXPECT_TRUE(EqualRects(RegionBounds(port.clipRgn.Get()), wholeClip)) << "the clip is put back";
    {
        // A clip region that leaves only the item's top half.
        const Rect16 topHalf{item.top, ClampToInt16(item.left - 20), ClampToInt16((item.top + item.bottom) / 2),
                             ClampToInt16(item.right + 20)};
        const RectRegion narrow(topHalf);
        SetClipRgn(port, narrow.Get());
        {
            ClipState clip(component);
            EXPECT_TRUE(EqualRects(RegionBounds(port.clipRgn.Get()), IntersectRects(item, topHalf)));
        }
        EXPECT_TRUE(EqualRects(RegionBounds(port.clipRgn.Get()), topHalf));
        const RectRegion whole(wholeClip);
        SetClipRgn(port, whole.Get());
    }

    // Inside a paint of the item's left part and what lies left of it: the item within the update
    // region.
    const RECT invalid{item.left - 10, item.top - 4, (item.left + item.right) / 2, item.bottom + 4};
    dialog.draws = 0;
    ::InvalidateRect(dialog.Window(), &invalid, FALSE);
    UpdateWindow(dialog.Window());
    ASSERT_EQ(dialog.draws, 1);
    const Rect16 update = dialog.updateBox;
    EXPECT_TRUE(RectContains(update, ToRect16(invalid))) << "the paint covers what was invalidated";
    EXPECT_TRUE(EqualRects(dialog.clipBox, IntersectRects(item, update)));
    EXPECT_LT(dialog.clipBox.right, item.right);
    EXPECT_TRUE(EqualRects(RegionBounds(port.clipRgn.Get()), wholeClip)) << "the paint's end puts the clip back";
}

}  // namespace
