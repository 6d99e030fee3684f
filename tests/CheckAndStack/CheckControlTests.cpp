// The check boxes, radio buttons and status strip drawn into a dialog's items, driven by the
// desktop's input: a click toggles a box and tells its owner once, a release outside the item
// changes nothing, a radio group is exclusive by its owner's hand, disabled boxes draw dimmed and
// take no clicks, and the strip keeps its status through repaints with its grip in the corner.
// The ui steps photograph the dialog ("check-radio-flicker.png").
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "CheckAndStackTemplates.h"
#include "CheckControls.h"
#include "FlickerControl.h"
#include "QuorvelHostCore/ImageFiles.h"
#include "QuorvelHostCore/UiScript.h"
#include "StackTestSupport.h"
#include "TempFolder.h"
#include "UiShots.h"
#include "WindowShot.h"

namespace {

using namespace ControlLook;

// The box pictures' faces: the normal box is the dialog's face, the pressed one darker; the mark
// is drawn in a light grey far above the label's text colour.
constexpr COLORREF kBoxFace = RGB(0x3F, 0x3F, 0x3F);
constexpr COLORREF kPressedBoxFace = RGB(0x2F, 0x2F, 0x2F);
constexpr int kMarkFloor = 0xD0;

struct Heard {
    int16_t item;
    int16_t code;
    intptr_t argument;
    bool operator==(const Heard& o) const { return item == o.item && code == o.code && argument == o.argument; }
};

class CheckDialog : public MorvaneDialog {
public:
    CheckDialog() : MorvaneDialog(TEST_CHECK_DIALOG, DialogKind::Modal) {}

    std::unique_ptr<CBControl> sharpen, proportions, locked;
    std::unique_ptr<RBControl> inside, centre, outside, disabledRadio;
    std::unique_ptr<FlickerControl> status;
    std::vector<Heard> heard;
    // The owner keeps the radio group exclusive, as the settings tabs do.
    bool exclusiveGroup = true;

    void InitDialog() override {
        MorvaneDialog::InitDialog();
        DarkFace::SetPortColors(*this);
        sharpen = std::make_unique<CBControl>(*this, CHECK_SHARPEN, &CheckDialog::Changed);
        proportions = std::make_unique<CBControl>(*this, CHECK_PROPORTIONS, &CheckDialog::Changed);
        locked = std::make_unique<CBControl>(*this, CHECK_LOCKED, &CheckDialog::Changed);
        inside = std::make_unique<RBControl>(*this, CHECK_INSIDE, &CheckDialog::Changed);
        centre = std::make_unique<RBControl>(*this, CHECK_CENTRE, &CheckDialog::Changed);
        outside = std::make_unique<RBControl>(*this, CHECK_OUTSIDE, &CheckDialog::Changed);
        disabledRadio = std::make_unique<RBControl>(*this, CHECK_DISABLED_RADIO, &CheckDialog::Changed);
        status = std::make_unique<FlickerControl>(*this, CHECK_STATUS);
        sharpen->SetLabel("Sharpen edges");
        proportions->SetLabel("Keep proportions");
        locked->SetLabel("Locked");
        inside->SetLabel("Inside");
        centre->SetLabel("Centre");
        outside->SetLabel("Outside");
        disabledRadio->SetLabel("Unavailable");
        sharpen->SetChecked(true);
        locked->SetChecked(true);
        centre->SetChecked(true);
        status->ShowGrip(true);
        status->SetTopRule(true);
        status->DrawStatus("Ready: 3 frames in the stack");
    }

    CBControl* Box(int16_t item) const {
        for (CBControl* c : {sharpen.get(), proportions.get(), locked.get(), static_cast<CBControl*>(inside.get()),
                             static_cast<CBControl*>(centre.get()), static_cast<CBControl*>(outside.get()),
                             static_cast<CBControl*>(disabledRadio.get())})
            if (c && c->Item() == item) return c;
        return nullptr;
    }
    DialogComponent* Component(int16_t item) const {
        if (CBControl* box = Box(item)) return box;
        if (status && status->Item() == item) return status.get();
        return nullptr;
    }

    void DrawItem(int16_t item) override {
        if (DialogComponent* c = Component(item)) c->Draw();
    }
    int16_t ItemHit(int16_t item) override {
        if (DialogComponent* c = Component(item)) {
            POINT cursor{};
            GetCursorPos(&cursor);
            ScreenToClient(Window(), &cursor);
            c->Track(Point16{ClampToInt16(cursor.y), ClampToInt16(cursor.x)});
            return 0;
        }
        return MorvaneDialog::ItemHit(item);
    }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, int16_t& item) override {
        LRESULT answer = 0;
        if (face_.Answer(message, wParam, answer)) return answer;
        return MorvaneDialog::HandleMessage(message, wParam, lParam, item);
    }

private:
    static bool Changed(DialogComponent& component, int16_t code, intptr_t argument) {
        auto& dialog = static_cast<CheckDialog&>(component.Owner());
        dialog.heard.push_back(Heard{component.Item(), code, argument});
        const bool radio = component.Item() >= CHECK_INSIDE && component.Item() <= CHECK_OUTSIDE;
        if (radio && dialog.exclusiveGroup)
            for (RBControl* r : {dialog.inside.get(), dialog.centre.get(), dialog.outside.get()})
                r->SetChecked(r->Item() == component.Item());
        return true;
    }

    DarkFace face_;
};

class CheckControls : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(dialog_.CreateModeless(), nullptr);
        dialog_.Show(kShowInFront);
        BringForward(dialog_.Window());
        OnScreen(dialog_.Window());
    }
    void TearDown() override {
        if (dialog_.IsOpen()) dialog_.EndDialog(0);
    }

    HWND Window() const { return dialog_.Window(); }
    Rect16 ItemRect(int16_t item) const { return dialog_.GetItemRect(item); }
    // The box picture's place: 13 pixels square at the item's top-left.
    Rect16 BoxOf(int16_t item) const {
        const Rect16 r = ItemRect(item);
        return Rect16{r.top, r.left, static_cast<int16_t>(r.top + 13), static_cast<int16_t>(r.left + 13)};
    }
    POINT InBox(int16_t item) const { return CentreOf(BoxOf(item)); }
    // A point inside the box picture clear of the mark's stroke and of the outline.
    POINT BoxFacePoint(int16_t item) const {
        const Rect16 box = BoxOf(item);
        return POINT{box.left + 3, box.top + 3};
    }
    int MarkPixels(const ClientPicture& picture, int16_t item) const {
        return CountBright(picture, BoxOf(item), kMarkFloor);
    }
    Rect16 LabelOf(int16_t item) const {
        Rect16 r = ItemRect(item);
        r.left = static_cast<int16_t>(r.left + 13 + 5);
        return r;
    }

    CheckDialog dialog_;
};

TEST_F(CheckControls, TheBoxesShowTheirStatesPicturesAndLabels) {
    const ClientPicture screen = OnScreen(Window());
    EXPECT_GT(MarkPixels(screen, CHECK_SHARPEN), 3) << "checked at the start";
    EXPECT_EQ(MarkPixels(screen, CHECK_PROPORTIONS), 0);
    EXPECT_GT(MarkPixels(screen, CHECK_CENTRE), 3);
    EXPECT_EQ(MarkPixels(screen, CHECK_INSIDE), 0);
    EXPECT_EQ(screen.At(BoxFacePoint(CHECK_PROPORTIONS).x, BoxFacePoint(CHECK_PROPORTIONS).y), kBoxFace);
    // The box's outline in the rule colour; a disabled box in the dimmed one on the darker face.
    EXPECT_GT(screen.Count(ToWinRect(BoxOf(CHECK_PROPORTIONS)), kFrame), 8);
    EXPECT_EQ(screen.At(BoxFacePoint(CHECK_LOCKED).x, BoxFacePoint(CHECK_LOCKED).y), kSurface);
    EXPECT_EQ(screen.Count(ToWinRect(BoxOf(CHECK_LOCKED)), kFrame), 0);
    // Labels beside the boxes: the text colour, dimmed for the disabled ones.
    for (int16_t item : {CHECK_SHARPEN, CHECK_PROPORTIONS, CHECK_INSIDE, CHECK_CENTRE, CHECK_OUTSIDE}) {
        EXPECT_GT(screen.Count(ToWinRect(LabelOf(item)), kText), 5) << "item " << item;
        EXPECT_EQ(screen.Count(ToWinRect(LabelOf(item)), kDisabledText), 0) << "item " << item;
    }
    for (int16_t item : {CHECK_LOCKED, CHECK_DISABLED_RADIO}) {
        EXPECT_GT(screen.Count(ToWinRect(LabelOf(item)), kDisabledText), 5) << "item " << item;
        EXPECT_EQ(screen.Count(ToWinRect(LabelOf(item)), kText), 0) << "item " << item;
    }
    EXPECT_GT(MarkPixels(screen, CHECK_LOCKED), 3) << "the mark shows on a disabled box too";
}

TEST_F(CheckControls, AClickTogglesTheBoxAndTellsTheOwnerOnce) {
    Click(Window(), InBox(CHECK_PROPORTIONS));
    EXPECT_TRUE(dialog_.proportions->IsChecked());
    EXPECT_EQ(dialog_.heard, (std::vector<Heard>{{CHECK_PROPORTIONS, kCheckChanged, 0}}));
    EXPECT_GT(MarkPixels(OnScreen(Window()), CHECK_PROPORTIONS), 3);

    // A click on the label is a click on the item too.
    Click(Window(), CentreOf(LabelOf(CHECK_PROPORTIONS)));
    EXPECT_FALSE(dialog_.proportions->IsChecked());
    EXPECT_EQ(dialog_.heard.size(), 2u);
    const ClientPicture after = OnScreen(Window());
    EXPECT_EQ(MarkPixels(after, CHECK_PROPORTIONS), 0);
    EXPECT_EQ(after.At(BoxFacePoint(CHECK_PROPORTIONS).x, BoxFacePoint(CHECK_PROPORTIONS).y), kBoxFace)
        << "the normal box again after the release";
    EXPECT_TRUE(dialog_.sharpen->IsChecked()) << "the other box is its own";
}

TEST_F(CheckControls, ThePressedBoxFollowsThePointerAndAReleaseOutsideChangesNothing) {
    const POINT face = BoxFacePoint(CHECK_PROPORTIONS);
    const Rect16 item = ItemRect(CHECK_PROPORTIONS);
    const POINT outside{item.left + 20, item.bottom + 12};
    COLORREF whileInside = CLR_INVALID, whileOutside = CLR_INVALID, whileBack = CLR_INVALID;
    const HWND window = Window();
    Play(window, {Move(InBox(CHECK_PROPORTIONS)), Down(InBox(CHECK_PROPORTIONS), 150),
                  Gesture{InBox(CHECK_PROPORTIONS), 0, 100, [&] { whileInside = ScreenPixel(window, face); }},
                  Gesture{outside, 0, 150, [&] { whileOutside = ScreenPixel(window, face); }},
                  Gesture{InBox(CHECK_PROPORTIONS), 0, 150, [&] { whileBack = ScreenPixel(window, face); }},
                  Move(outside, 100), Up(outside)});
    EXPECT_EQ(whileInside, kPressedBoxFace);
    EXPECT_EQ(whileOutside, kBoxFace);
    EXPECT_EQ(whileBack, kPressedBoxFace);
    EXPECT_FALSE(dialog_.proportions->IsChecked());
    EXPECT_TRUE(dialog_.heard.empty());
    EXPECT_EQ(OnScreen(window).At(face.x, face.y), kBoxFace);
}

TEST_F(CheckControls, TheRadioGroupIsExclusiveByItsOwnersHand) {
    Click(Window(), InBox(CHECK_OUTSIDE));
    EXPECT_TRUE(dialog_.outside->IsChecked());
    EXPECT_FALSE(dialog_.centre->IsChecked());
    EXPECT_FALSE(dialog_.inside->IsChecked());
    ClientPicture screen = OnScreen(Window());
    EXPECT_GT(MarkPixels(screen, CHECK_OUTSIDE), 3);
    EXPECT_EQ(MarkPixels(screen, CHECK_CENTRE), 0) << "SetChecked redrew the old choice";

    // Clicked while checked, a radio button toggles off like a box; the owner sets it again.
    Click(Window(), InBox(CHECK_OUTSIDE));
    EXPECT_TRUE(dialog_.outside->IsChecked());
    EXPECT_GT(MarkPixels(OnScreen(Window()), CHECK_OUTSIDE), 3);
    dialog_.exclusiveGroup = false;
    Click(Window(), InBox(CHECK_OUTSIDE));
    EXPECT_FALSE(dialog_.outside->IsChecked()) << "without the owner it stays off";
    EXPECT_EQ(dialog_.heard, (std::vector<Heard>{{CHECK_OUTSIDE, kCheckChanged, 0},
                                                 {CHECK_OUTSIDE, kCheckChanged, 0},
                                                 {CHECK_OUTSIDE, kCheckChanged, 0}}));
}

TEST_F(CheckControls, DisabledBoxesTakeNoClicksAndSettingTheSameStateDrawsNothing) {
    Click(Window(), InBox(CHECK_LOCKED));
    Click(Window(), InBox(CHECK_DISABLED_RADIO));
    EXPECT_TRUE(dialog_.locked->IsChecked());
    EXPECT_FALSE(dialog_.disabledRadio->IsChecked());
    EXPECT_TRUE(dialog_.heard.empty());

    // Enabled, the box takes clicks and draws its normal picture.
    EnableWindow(dialog_.ItemWindow(CHECK_LOCKED), TRUE);
    dialog_.locked->Draw();
    const POINT face = BoxFacePoint(CHECK_LOCKED);
    EXPECT_EQ(OnScreen(Window()).At(face.x, face.y), kBoxFace);
    Click(Window(), InBox(CHECK_LOCKED));
    EXPECT_FALSE(dialog_.locked->IsChecked());

    // The state set by code: a change redraws at once, the same state leaves the screen alone.
    dialog_.proportions->SetChecked(true);
    EXPECT_GT(MarkPixels(ClientPicture(Window()), CHECK_PROPORTIONS), 3);
    const Rect16 box = BoxOf(CHECK_PROPORTIONS);
    {
        // Paint over the box behind the component's back: an unchanged state must not repaint.
        const WindowDC dc(Window());
        const RECT r = ToWinRect(box);
        const OwnedBrush red(CreateSolidBrush(RGB(0xC0, 0, 0)));
        FillRect(dc.Get(), &r, red.Get());
    }
    dialog_.proportions->SetChecked(true);
    EXPECT_EQ(ClientPicture(Window()).At(box.left + 6, box.top + 6), RGB(0xC0, 0, 0));
    dialog_.proportions->SetChecked(false);
    EXPECT_EQ(MarkPixels(ClientPicture(Window()), CHECK_PROPORTIONS), 0);
    EXPECT_EQ(ClientPicture(Window()).At(box.left + 6, box.top + 6), kBoxFace);
}

TEST_F(CheckControls, TheStatusStripKeepsItsTextThroughRepaintsWithTheGripInTheCorner) {
    FlickerControl& status = *dialog_.status;
    const Rect16 strip = ItemRect(CHECK_STATUS);
    const Rect16 grip = status.GetGripRect();
    EXPECT_TRUE(EqualRects(grip, Rect16{static_cast<int16_t>(strip.bottom - 12), static_cast<int16_t>(strip.right - 12),
                                        strip.bottom, strip.right}));
    const Rect16 text{static_cast<int16_t>(strip.top + 1), static_cast<int16_t>(strip.left + 5), strip.bottom, grip.left};
    const Rect16 topRow{strip.top, strip.left, static_cast<int16_t>(strip.top + 1), strip.right};

    ClientPicture screen = OnScreen(Window());
    EXPECT_EQ(screen.Count(ToWinRect(topRow), kFrame), RectWidth(strip)) << "the rule along the top";
    EXPECT_GT(screen.Count(ToWinRect(text), kText), 20) << "the status";
    EXPECT_GT(screen.Count(ToWinRect(grip), kFrame), 10) << "the grip's dots";
    EXPECT_EQ(screen.At(strip.left + 2, strip.bottom - 2), kBackground);

    // The dialog painted again (another window lay over it): the status is still there.
    RedrawWindow(Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    screen = OnScreen(Window());
    EXPECT_GT(screen.Count(ToWinRect(text), kText), 20);

    // No status: only the face, the rule and the grip.
    status.DrawStatus(nullptr);
    screen = OnScreen(Window());
    EXPECT_EQ(screen.Count(ToWinRect(text), kText), 0);
    EXPECT_EQ(screen.Count(ToWinRect(topRow), kFrame), RectWidth(strip));

    // Hidden, the grip has no rectangle and is not drawn; a maximized dialog has none either.
    status.ShowGrip(false);
    EXPECT_TRUE(IsEmptyRect(status.GetGripRect()));
    status.Draw();
    EXPECT_EQ(ClientPicture(Window()).Count(ToWinRect(grip), kFrame), 0);
    status.ShowGrip(true);
    EXPECT_FALSE(IsEmptyRect(status.GetGripRect()));
    ShowWindow(Window(), SW_MAXIMIZE);
    EXPECT_TRUE(IsEmptyRect(status.GetGripRect()));
    ShowWindow(Window(), SW_RESTORE);
    EXPECT_FALSE(IsEmptyRect(status.GetGripRect()));
}

TEST_F(CheckControls, AClickOnTheStatusStripChangesNothing) {
    const std::string before = dialog_.status->Status();
    Click(Window(), CentreOf(ItemRect(CHECK_STATUS)));
    EXPECT_EQ(dialog_.status->Status(), before);
    EXPECT_TRUE(dialog_.heard.empty());
    EXPECT_GT(OnScreen(Window()).Count(ToWinRect(ItemRect(CHECK_STATUS)), kText), 20);
}

TEST(CheckControlsPicture, TheUiStepsPhotographTheBoxesAndTheStrip) {
    TempFolder temporary("QuorvelCheckControls");
    const std::string folder = ShotFolder().empty() ? std::string(temporary / "") : ShotFolder();
    const std::string shot = (std::filesystem::path(folder) / "check-radio-flicker.png").string();
    CheckDialog dialog;
    const std::vector<qvhost::UiStep> steps = UiSteps("wait 500; shot \"" + shot + "\"; press 2");
    int16_t result = 0;
    const qvhost::UiReport report = qvhost::DriveDialogs(steps, {}, [&] { result = dialog.RunModal(); });
    EXPECT_TRUE(report.completed) << report.error;
    EXPECT_EQ(result, CHECK_CANCEL);

    qvhost::RasterImage image;
    std::string error;
    ASSERT_TRUE(qvhost::ReadImageFile(shot, image, error)) << error;
    int face = 0, text = 0, dimmed = 0, rule = 0, mark = 0;
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) {
            const COLORREF c = PixelAt(image, x, y);
            face += c == kBackground;
            text += c == kText;
            dimmed += c == kDisabledText;
            rule += c == kFrame;
            mark += GetRValue(c) >= kMarkFloor && GetGValue(c) >= kMarkFloor && GetBValue(c) >= kMarkFloor;
        }
    const int all = image.width * image.height;
    EXPECT_GT(face, all / 2);
    EXPECT_GT(text, 100);
    EXPECT_GT(dimmed, 30);
    EXPECT_GT(rule, 200);
    EXPECT_GT(mark, 10);
}

}  // namespace
