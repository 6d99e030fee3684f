// The colour swatch, the colour well and the light globe on real dialogs, driven by the desktop's
// input: clicks on the swatches open the well or the host's picker, clicks and keys in the well
// pick, type, take swatches and end it, and drags on the globes set their direction. The callbacks
// tell what the owner heard; the screen shows what was drawn. The ui steps photograph the well,
// the swatches and the globes (kept when QUORVEL_SHOTS names a folder).
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ColorPopup.h"
#include "ColorSpectrum.h"
#include "ColorWellDialog.h"
#include "ColourTemplates.h"
#include "ControlDrawing.h"
#include "DesktopInput.h"
#include "GdiOwner.h"
#include "GlobeControl.h"
#include "HostCall.h"
#include "PSDialog.h"
#include "QuorvelHostCore/ImageFiles.h"
#include "QuorvelHostCore/UiScript.h"
#include "TempFolder.h"
#include "UiShots.h"
#include "WindowShot.h"

namespace {

using namespace ControlLook;

// ---- The host's colour services, scripted

struct PickerScript {
    OSErr16 answer = 0;                // what the picker answers
    int16_t resultSpace = kSpaceRGB;   // the space it leaves in the record
    int16_t components[4] = {};
    int picks = 0;
    ColorServicesInfo offered{};       // the record of the last pick as the picker got it
};

PickerScript& Picker() {
    static PickerScript script;
    return script;
}

OSErr16 ScriptedColorServices(ColorServicesInfo* info) {
    if (info->selector != kServiceChooseColor) return static_cast<OSErr16>(ConvertColor(*info));
    PickerScript& script = Picker();
    ++script.picks;
    script.offered = *info;
    if (script.answer) return script.answer;
    info->resultSpace = script.resultSpace;
    std::memcpy(info->colorComponents, script.components, sizeof script.components);
    return 0;
}

ColorRecord Rgb(int16_t r, int16_t g, int16_t b, int16_t alpha = 255) {
    ColorRecord c;
    c.space = kSpaceRGB;
    c.components[0] = r;
    c.components[1] = g;
    c.components[2] = b;
    c.opacity = alpha;
    return c;
}

bool Same(const ColorRecord& a, const ColorRecord& b) {
    StoredColor::Bytes x{}, y{};
    a.Store(x);
    b.Store(y);
    return std::memcmp(x, y, StoredColor::kSize) == 0;
}

std::string Show(const ColorRecord& c) {
    return "{tag " + std::to_string(c.tag) + ", space " + std::to_string(c.space) + ", " + std::to_string(c.components[0]) +
           " " + std::to_string(c.components[1]) + " " + std::to_string(c.components[2]) + " " +
           std::to_string(c.components[3]) + ", alpha " + std::to_string(c.opacity) + "}";
}

// ---- A dialog holding the components

struct SwatchHeard {
    const DialogComponent* from;
    int16_t code;
    ColorRecord colour;
};

struct GlobeHeard {
    const DialogComponent* from;
    int32_t elevation;
    int32_t angle;
};

class ControlsDialog : public PSDialog {
public:
    explicit ControlsDialog(int16_t templateId) : PSDialog(templateId, DialogKind::Modal) {}
    ~ControlsDialog() override { owned_.clear(); }

    std::vector<SwatchHeard> swatchHeard;
    std::vector<GlobeHeard> globeHeard;
    ColorPopup* well = nullptr;
    ColorPopup* picker = nullptr;
    ColorPopup* alpha = nullptr;
    GlobeControl* globe = nullptr;
    GlobeControl* angleOnly = nullptr;
    std::function<void(ControlsDialog&)> tick;   // the test's script, at the idle ticks

    static bool HearSwatch(DialogComponent& from, int16_t code, intptr_t colour) {
        if (auto* dialog = dynamic_cast<ControlsDialog*>(&from.Owner()))
            dialog->swatchHeard.push_back({&from, code, *reinterpret_cast<const ColorRecord*>(colour)});
        return true;
    }
    static bool HearGlobe(DialogComponent& from, int16_t elevation, intptr_t angle) {
        if (auto* dialog = dynamic_cast<ControlsDialog*>(&from.Owner()))
            dialog->globeHeard.push_back({&from, elevation, static_cast<int32_t>(angle)});
        return true;
    }

    void InitDialog() override {
        PSDialog::InitDialog();
        SetForeColor(kBackground);   // the globes take the port's colours for their ground
        if (TemplateId() == COLOUR_TEST_DIALOG) {
            well = Own(std::make_unique<ColorPopup>(HostCall::Current(), *this, COLOUR_ITEM_WELL_SWATCH,
                                                    ColorWellOffer::kForeground | ColorWellOffer::kBackground |
                                                        ColorWellOffer::kHostPicker | ColorWellOffer::kNone,
                                                    Rgb(200, 40, 30), HearSwatch));
            ColorRecord cmyk;
            cmyk.space = kSpaceCMYK;
            cmyk.components[0] = 40, cmyk.components[1] = 200, cmyk.components[2] = 255, cmyk.components[3] = 230;
            picker = Own(std::make_unique<ColorPopup>(HostCall::Current(), *this, COLOUR_ITEM_PICKER_SWATCH, ColorPopup::kHostPickerMode, cmyk,
                                                      HearSwatch));
            alpha = Own(std::make_unique<ColorPopup>(HostCall::Current(), *this, COLOUR_ITEM_ALPHA_SWATCH, ColorPopup::kShowsAlpha,
                                                     Rgb(40, 90, 220, 128), HearSwatch));
            globe = MakeGlobe(COLOUR_ITEM_GLOBE, 30, 45);
            angleOnly = MakeGlobe(COLOUR_ITEM_ANGLE_GLOBE, Globe::kNoElevation, 120);
        } else {
            globe = MakeGlobe(GLOBE_ITEM_GLOBE, 35, -60);
            angleOnly = MakeGlobe(GLOBE_ITEM_ANGLE_GLOBE, Globe::kNoElevation, 135);
        }
    }
    void DrawItem(int16_t item) override {
        if (DialogComponent* c = ComponentAt(item)) c->Draw();
    }
    int16_t ItemHit(int16_t item) override {
        if (DialogComponent* c = ComponentAt(item)) {
            POINT at{};
            GetCursorPos(&at);
            ScreenToClient(Window(), &at);
            c->Track(Point16{static_cast<int16_t>(at.y), static_cast<int16_t>(at.x)});
            return 0;
        }
        return PSDialog::ItemHit(item);
    }
    void Idle() override {
        if (!tick || ticking_) return;
        ticking_ = true;
        tick(*this);
        ticking_ = false;
    }
    void Update(HRGN region) override {
        if (region) {
            HBRUSH ground = background_.Get();
            if (PortDC dc{Port()}) FillRgn(dc.Get(), region, ground);
        }
        PSDialog::Update(region);
    }

private:
    template <typename T>
    T* Own(std::unique_ptr<T> component) {
        T* raw = component.get();
        owned_.push_back(std::move(component));
        return raw;
    }
    GlobeControl* MakeGlobe(int16_t item, int32_t elevation, int32_t angle) {
        GlobeControl* g = Own(std::make_unique<GlobeControl>(*this, item, HearGlobe));
        g->Init(GlobeIds::kBevelGlobePicture);
        g->SetElevation(elevation);
        g->SetAngle(angle);
        return g;
    }
    DialogComponent* ComponentAt(int16_t item) const {
        for (const auto& c : owned_)
            if (c->Item() == item) return c.get();
        return nullptr;
    }

    std::vector<std::unique_ptr<DialogComponent>> owned_;
    OwnedBrush background_{CreateSolidBrush(kBackground)};
    bool ticking_ = false;
};

// ---- Driving: desktop input from a second thread, and a script of stages run at idle ticks

class PointerInput {
public:
    ~PointerInput() { Join(); }
    void Click(POINT at) { Start({{at, MOUSEEVENTF_LEFTDOWN}, {at, MOUSEEVENTF_LEFTUP}}); }
    // Presses at the first point, moves through the others and lets go at the last.
    void Drag(const std::vector<POINT>& path) {
        std::vector<Move> moves;
        for (size_t i = 0; i < path.size(); ++i) moves.push_back({path[i], i == 0 ? DWORD{MOUSEEVENTF_LEFTDOWN} : 0});
        moves.push_back({path.back(), MOUSEEVENTF_LEFTUP});
        Start(moves);
    }
    void Keys(const std::vector<WORD>& keys) {
        Join();
        done_ = false;
        thread_ = std::thread([this, keys] {
            SendKeys(keys, false);
            SendKeys(keys, true);
            Sleep(kPause);
            done_ = true;
        });
    }
    bool Done() {
        if (!done_) return false;
        Join();
        return true;
    }

private:
    static constexpr DWORD kPause = 60;
    struct Move {
        POINT at;
        DWORD flags;
    };
    void Start(std::vector<Move> moves) {
        Join();
        done_ = false;
        thread_ = std::thread([this, moves] {
            for (const Move& m : moves) {
                SendPointerAt(m.at, m.flags);
                Sleep(kPause);
            }
            done_ = true;
        });
    }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

    std::thread thread_;
    std::atomic<bool> done_{true};
};

ColorWellDlg* OpenWell() {
    for (MorvaneDialog* d = MorvaneDialog::FirstDialog(); d; d = d->NextDialog())
        if (auto* well = dynamic_cast<ColorWellDlg*>(d); well && well->Window() && IsWindowVisible(well->Window()))
            return well;
    return nullptr;
}

// The screen point at a fraction of an item of a dialog.
POINT At(const MorvaneDialog& dialog, int16_t item, double across = 0.5, double down = 0.5) {
    const Rect16 r = dialog.GetItemRect(item);
    POINT p{static_cast<LONG>(r.left + std::floor((r.right - r.left - 1) * across)),
            static_cast<LONG>(r.top + std::floor((r.bottom - r.top - 1) * down))};
    ClientToScreen(dialog.Window(), &p);
    return p;
}

POINT Screen(const MorvaneDialog& dialog, Point16 client) {
    POINT p{client.h, client.v};
    ClientToScreen(dialog.Window(), &p);
    return p;
}

// The desktop's pixel, once every window has painted what it was asked to.
COLORREF ScreenPixel(POINT at) {
    for (int i = 0; i < 3; ++i) {
        MSG message;
        while (PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageA(&message);
        GdiFlush();
        Sleep(20);
    }
    const HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, at.x, at.y);
    ReleaseDC(nullptr, screen);
    return c;
}

// Stages run one after the other at the idle ticks; a stage answers true when it is done. A stage
// that takes too long fails the test and closes every dialog of the run.
class Script {
public:
    using Stage = std::function<bool(ControlsDialog&)>;
    // The stages are set once the script exists, as they wait on its input.
    void SetStages(std::vector<Stage> stages) { stages_ = std::move(stages); }

    int16_t Run(ControlsDialog& dialog) {
        started_ = std::chrono::steady_clock::now();
        dialog.tick = [this](ControlsDialog& d) { Step(d); };
        const int16_t result = dialog.RunModal();
        EXPECT_EQ(next_, stages_.size()) << "the script stopped at stage " << next_;
        return result;
    }
    PointerInput input;
    // What a stage that did not finish found, for its failure.
    std::function<std::string(ControlsDialog&)> describe;

private:
    // Only a stage that can never finish runs into this: a loaded machine (other test programs, a
    // build on every core) may take seconds over what an idle one takes, and must not fail here.
    static constexpr auto kStageLimit = std::chrono::seconds(90);

    void Step(ControlsDialog& dialog) {
        if (next_ >= stages_.size()) return;
        if (std::chrono::steady_clock::now() - started_ > kStageLimit) {
            ADD_FAILURE() << "stage " << next_ << " did not finish" << (describe ? ": " + describe(dialog) : "");
            next_ = stages_.size() + 1;
            if (ColorWellDlg* well = OpenWell()) well->EndDialog(ColorWellIds::kCancel);
            dialog.EndDialog(COLOUR_ITEM_LIGHT_LABEL);
            return;
        }
        if (stages_[next_](dialog)) {
            ++next_;
            started_ = std::chrono::steady_clock::now();
        }
    }

    std::vector<Stage> stages_;
    size_t next_ = 0;
    std::chrono::steady_clock::time_point started_;
};

// ---- The fixture: a host call in an RGB document with scripted colour services

class ColourControlsTest : public testing::Test {
protected:
    void SetUp() override {
        record_.imageMode = kModeRGBColor;
        const uint8_t fore[4] = {10, 20, 30, 0}, back[4] = {250, 240, 230, 0};
        std::memcpy(record_.foreColor, fore, sizeof fore);
        std::memcpy(record_.backColor, back, sizeof back);
        record_.colorServices = ScriptedColorServices;
        Picker() = PickerScript{};
        call_.emplace(HostCall{.record = &record_});
    }
    void TearDown() override { call_.reset(); }

    FilterRecord record_{};
    std::optional<HostCallScope> call_;
};

// The first stage of every script: the dialog shown, painted and the active window, so that the
// first click is the dialog's own and not an activation.
Script::Stage Activate() {
    auto since = std::make_shared<std::chrono::steady_clock::time_point>();
    return [since](ControlsDialog& d) {
        if (!IsWindowVisible(d.Window()) || GetForegroundWindow() != d.Window()) {
            SetForegroundWindow(d.Window());
            *since = {};
            return false;
        }
        const auto now = std::chrono::steady_clock::now();
        if (*since == std::chrono::steady_clock::time_point{}) *since = now;
        if (now - *since < std::chrono::milliseconds(150)) return false;
        UpdateWindow(d.Window());
        return true;
    };
}

// A stage that waits for the input to be done and the condition to hold.
Script::Stage WaitFor(Script& script, std::function<bool(ControlsDialog&)> condition) {
    return [&script, condition](ControlsDialog& d) { return script.input.Done() && condition(d); };
}

TEST_F(ColourControlsTest, TheWellPicksFromTheSpectrumAndCancelPutsTheEntryColourBack) {
    ControlsDialog dialog(COLOUR_TEST_DIALOG);
    ColorWellDlg* well = nullptr;
    ColorRecord entry;
    SpectrumRgb expected{};
    Script script;
    script.SetStages({
        Activate(),
        [&](ControlsDialog& d) {
            entry = d.well->Color();
            script.input.Click(At(d, COLOUR_ITEM_WELL_SWATCH));
            return true;
        },
        WaitFor(script, [&](ControlsDialog&) { return (well = OpenWell()) != nullptr; }),
        [&](ControlsDialog& d) {
            // The well opens with its client origin at the click, inside the work area.
            const POINT click = At(d, COLOUR_ITEM_WELL_SWATCH);
            POINT origin{0, 0};
            ClientToScreen(well->Window(), &origin);
            RECT frame{};
            GetWindowRect(well->Window(), &frame);
            const Rect16 work = GetMonitorWorkRect(Point16{static_cast<int16_t>(click.y), static_cast<int16_t>(click.x)});
            EXPECT_GE(frame.left, work.left + 2);
            EXPECT_GE(frame.top, work.top + 2);
            EXPECT_LE(frame.right, work.right - 3);
            EXPECT_LE(frame.bottom, work.bottom - 3);
            if (frame.right < work.right - 3 && frame.bottom < work.bottom - 3) {
                EXPECT_EQ(origin.x, click.x);
                EXPECT_EQ(origin.y, click.y);
            }
            // The well opens on the entry colour, its edits showing its channels.
            EXPECT_TRUE(Same(well->Current(), entry)) << Show(well->Current());
            EXPECT_EQ(well->GetItemRounded(ColorWellIds::kRed), 200);
            EXPECT_EQ(well->GetItemRounded(ColorWellIds::kBlue), 30);
            // The spectrum on the screen is the field of hues: its middle row, a third across, is green.
            const Rect16 r = well->GetItemRect(ColorWellIds::kSpectrum);
            const int32_t x = (RectWidth(r) - 1) / 3, y = (RectHeight(r) - 1) / 2;
            expected = SpectrumColorAt(x, y, RectWidth(r), RectHeight(r));
            EXPECT_GT(expected.green, 200);
            EXPECT_LT(expected.red, 60);
            const POINT at = Screen(*well, Point16{static_cast<int16_t>(r.top + y), static_cast<int16_t>(r.left + x)});
            EXPECT_EQ(ScreenPixel(at), RGB(expected.red, expected.green, expected.blue));
            script.input.Click(at);
            return true;
        },
        WaitFor(script, [&](ControlsDialog& d) { return !d.swatchHeard.empty(); }),
        [&](ControlsDialog& d) {
            // The pick reached the swatch while the well is still open.
            const SwatchHeard& heard = d.swatchHeard.back();
            EXPECT_EQ(heard.from, d.well);
            EXPECT_EQ(heard.code, ColorPopup::kColorChanging);
            EXPECT_TRUE(Same(heard.colour, Rgb(expected.red, expected.green, expected.blue))) << Show(heard.colour);
            EXPECT_TRUE(Same(d.well->Color(), heard.colour));
            EXPECT_EQ(well->GetItemRounded(ColorWellIds::kGreen), expected.green);
            script.input.Click(At(*well, ColorWellIds::kCancel));
            return true;
        },
        WaitFor(script, [&](ControlsDialog&) { return OpenWell() == nullptr; }),
        [&](ControlsDialog& d) {
            // Cancel: the entry colour is back and the owner hears "not changed" with it.
            const SwatchHeard& last = d.swatchHeard.back();
            EXPECT_EQ(last.code, 0);
            EXPECT_TRUE(Same(last.colour, entry)) << Show(last.colour);
            EXPECT_TRUE(Same(d.well->Color(), entry));
            EXPECT_GE(d.swatchHeard.size(), 2u);
            d.EndDialog(COLOUR_ITEM_LIGHT_LABEL);
            return true;
        },
    });
    script.Run(dialog);
}

TEST_F(ColourControlsTest, TypedChannelsAreHeldToTheirRangeOffersOnlyAnswerWhenOpenAndTheHostPickerIsOneOfThem) {
    ControlsDialog dialog(COLOUR_TEST_DIALOG);
    ColorWellDlg* well = nullptr;
    size_t heardBefore = 0;
    Script script;
    script.SetStages({
        Activate(),
        [&](ControlsDialog& d) {
            script.input.Click(At(d, COLOUR_ITEM_WELL_SWATCH));
            return true;
        },
        WaitFor(script, [&](ControlsDialog&) { return (well = OpenWell()) != nullptr; }),
        [&](ControlsDialog& d) {
            // "Transparent" is not offered: a click on it changes nothing, and it is framed dim.
            heardBefore = d.swatchHeard.size();
            const Rect16 r = well->GetItemRect(ColorWellIds::kTransparent);
            EXPECT_EQ(ScreenPixel(Screen(*well, Point16{r.top, static_cast<int16_t>(r.left + 5)})), kSeparator);
            const Rect16 f = well->GetItemRect(ColorWellIds::kForeground);
            EXPECT_EQ(ScreenPixel(Screen(*well, Point16{f.top, static_cast<int16_t>(f.left + 5)})), kFrame);
            script.input.Click(At(*well, ColorWellIds::kTransparent));
            return true;
        },
        WaitFor(script, [&](ControlsDialog& d) {
            EXPECT_EQ(d.swatchHeard.size(), heardBefore);
            EXPECT_TRUE(Same(well->Current(), Rgb(200, 40, 30)));
            script.input.Click(At(*well, ColorWellIds::kForeground));
            return true;
        }),
        WaitFor(script, [&](ControlsDialog& d) { return d.swatchHeard.size() > heardBefore; }),
        [&](ControlsDialog& d) {
            // The host's foreground is offered: it becomes the colour.
            EXPECT_TRUE(Same(d.swatchHeard.back().colour, Rgb(10, 20, 30))) << Show(d.swatchHeard.back().colour);
            EXPECT_EQ(well->GetItemRounded(ColorWellIds::kRed), 10);
            // A typed 300 is taken as 255, without an alert.
            well->SetItemText(ColorWellIds::kRed, "300", false);
            const int16_t hit = well->ValidateEditItem(ColorWellIds::kRed);
            if (hit >= 1) well->ItemHit(hit);
            EXPECT_EQ(well->GetItemRounded(ColorWellIds::kRed), 255);
            EXPECT_TRUE(Same(well->Current(), Rgb(255, 20, 30))) << Show(well->Current());
            EXPECT_TRUE(Same(d.well->Color(), Rgb(255, 20, 30))) << Show(d.well->Color());
            EXPECT_EQ(OpenWell(), well);   // no alert came over it
            // The host's picker, offered here, starts from the colour and its CMYK answer is taken
            // as RGB.
            Picker().resultSpace = kSpaceCMYK;
            const int16_t cmyk[4] = {255, 0, 255, 255};   // inverted: full magenta ink only
            std::memcpy(Picker().components, cmyk, sizeof cmyk);
            heardBefore = d.swatchHeard.size();
            script.input.Click(At(*well, ColorWellIds::kPicker));
            return true;
        },
        WaitFor(script, [&](ControlsDialog& d) { return d.swatchHeard.size() > heardBefore; }),
        [&](ControlsDialog& d) {
            EXPECT_EQ(Picker().picks, 1);
            EXPECT_EQ(Picker().offered.sourceSpace, kSpaceRGB);
            EXPECT_EQ(Picker().offered.colorComponents[0], 255);
            EXPECT_TRUE(Same(well->Current(), Rgb(255, 0, 255))) << Show(well->Current());
            EXPECT_EQ(well->GetItemRounded(ColorWellIds::kGreen), 0);
            EXPECT_TRUE(Same(d.well->Color(), Rgb(255, 0, 255))) << Show(d.well->Color());
            script.input.Click(At(*well, ColorWellIds::kOK));
            return true;
        },
        WaitFor(script, [&](ControlsDialog&) { return OpenWell() == nullptr; }),
        [&](ControlsDialog& d) {
            EXPECT_EQ(d.swatchHeard.back().code, 1);
            EXPECT_TRUE(Same(d.well->Color(), Rgb(255, 0, 255))) << Show(d.well->Color());
            d.EndDialog(COLOUR_ITEM_LIGHT_LABEL);
            return true;
        },
    });
    script.Run(dialog);
}

TEST_F(ColourControlsTest, ColoursComeBackUnchangedWhenTheUserPicksNothing) {
    struct Case {
        const char* name;
        StoredColor::Bytes bytes;
        bool ok;   // OK clicked, else Escape
    };
    const Case cases[] = {
        {"rgb, OK", {0xff, 0xff, 0, 0, 0, 0xc8, 0, 0x28, 0, 0x1e, 0, 0, 0, 0xff}, true},
        {"cmyk, OK", {0xff, 0xff, 0, 2, 0, 0x10, 0, 0xe0, 0, 0x7f, 0, 0x33, 0, 0xff}, true},
        {"cmyk, Escape", {0xff, 0xff, 0, 2, 0, 0x10, 0, 0xe0, 0, 0x7f, 0, 0x33, 0, 0xff}, false},
        {"translucent, OK", {0xff, 0xff, 0, 0, 0, 0x20, 0, 0x40, 0, 0x60, 0, 0, 0, 0x80}, true},
        {"no colour, Escape", {0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false},
    };
    ControlsDialog dialog(COLOUR_TEST_DIALOG);
    size_t row = 0;
    ColorWellDlg* well = nullptr;
    Script script;
    std::vector<Script::Stage> stages{Activate()};
    for (const Case& c : cases) {
        stages.push_back([&, c](ControlsDialog& d) {
            SetForegroundWindow(d.Window());
            d.well->LoadColor(c.bytes);
            d.well->Draw();
            d.swatchHeard.clear();
            script.input.Click(At(d, COLOUR_ITEM_WELL_SWATCH));
            return true;
        });
        stages.push_back(WaitFor(script, [&, c](ControlsDialog&) {
            if (!(well = OpenWell())) return false;
            if (c.ok) {
                script.input.Click(At(*well, ColorWellIds::kOK));
            } else {
                SetForegroundWindow(well->Window());
                script.input.Keys({VK_ESCAPE});
            }
            return true;
        }));
        stages.push_back(WaitFor(script, [&, c](ControlsDialog& d) {
            if (OpenWell() || d.swatchHeard.empty()) return false;
            StoredColor::Bytes back{};
            d.well->StoreColor(back);
            EXPECT_EQ(std::memcmp(back, c.bytes, StoredColor::kSize), 0) << c.name << ": " << Show(d.well->Color());
            EXPECT_EQ(d.swatchHeard.size(), 1u) << c.name;
            EXPECT_EQ(d.swatchHeard.back().code, c.ok ? 1 : 0) << c.name;
            ++row;
            return true;
        }));
    }
    stages.push_back([](ControlsDialog& d) {
        d.EndDialog(COLOUR_ITEM_LIGHT_LABEL);
        return true;
    });
    script.SetStages(stages);
    script.Run(dialog);
    EXPECT_EQ(row, std::size(cases));
}

TEST_F(ColourControlsTest, TheHostPickerReplacesTheColourOnlyWhenItPicks) {
    struct Case {
        const char* name;
        bool services;
        OSErr16 answer;
        int16_t resultSpace;
        int16_t components[4];
        bool changed;
    };
    const Case cases[] = {
        {"picked in cmyk", true, 0, kSpaceCMYK, {12, 34, 56, 78}, true},
        {"picked in rgb", true, 0, kSpaceRGB, {1, 2, 3, 0}, true},
        {"cancelled", true, -128, kSpaceRGB, {9, 9, 9, 0}, false},
        {"no result space", true, 0, kSpaceNone, {9, 9, 9, 0}, false},
        {"an unknown result space", true, 0, 42, {9, 9, 9, 0}, false},
        {"no colour services", false, 0, kSpaceRGB, {9, 9, 9, 0}, false},
    };
    ControlsDialog dialog(COLOUR_TEST_DIALOG);
    ColorRecord before;
    Script script;
    std::vector<Script::Stage> stages{Activate()};
    for (const Case& c : cases) {
        stages.push_back([&, c](ControlsDialog& d) {
            SetForegroundWindow(d.Window());
            record_.colorServices = c.services ? ScriptedColorServices : nullptr;
            Picker().answer = c.answer;
            Picker().resultSpace = c.resultSpace;
            std::memcpy(Picker().components, c.components, sizeof c.components);
            Picker().picks = 0;
            d.swatchHeard.clear();
            before = d.picker->Color();
            script.input.Click(At(d, COLOUR_ITEM_PICKER_SWATCH));
            return true;
        });
        stages.push_back(WaitFor(script, [&, c](ControlsDialog& d) {
            if (d.swatchHeard.empty()) return false;
            EXPECT_EQ(d.swatchHeard.size(), 1u) << c.name;
            EXPECT_EQ(d.swatchHeard.back().code, c.changed ? 1 : 0) << c.name;
            EXPECT_EQ(Picker().picks, c.services ? 1 : 0) << c.name;
            if (c.services) {
                EXPECT_EQ(Picker().offered.sourceSpace, before.space) << c.name;
                EXPECT_EQ(Picker().offered.resultSpace, kSpaceNone) << c.name;
                EXPECT_EQ(Picker().offered.infoSize, 56) << c.name;
            }
            ColorRecord expected = before;
            if (c.changed) {
                expected.tag = -1;
                expected.space = c.resultSpace;
                std::copy(std::begin(c.components), std::end(c.components), expected.components);
                expected.opacity = 255;
            }
            EXPECT_TRUE(Same(d.picker->Color(), expected)) << c.name << ": " << Show(d.picker->Color());
            EXPECT_TRUE(Same(d.swatchHeard.back().colour, d.picker->Color())) << c.name;
            return true;
        }));
    }
    // A colour without a space is offered to the picker as RGB.
    stages.push_back([&](ControlsDialog& d) {
        record_.colorServices = ScriptedColorServices;
        Picker() = PickerScript{};
        Picker().answer = -128;
        d.picker->SetColor(ColorPopup::NoColor());
        d.swatchHeard.clear();
        script.input.Click(At(d, COLOUR_ITEM_PICKER_SWATCH));
        return true;
    });
    stages.push_back(WaitFor(script, [&](ControlsDialog& d) {
        if (d.swatchHeard.empty()) return false;
        EXPECT_EQ(Picker().offered.sourceSpace, kSpaceRGB);
        EXPECT_EQ(d.swatchHeard.back().code, 0);
        EXPECT_EQ(d.picker->Color().space, kSpaceNone);
        d.EndDialog(COLOUR_ITEM_LIGHT_LABEL);
        return true;
    }));
    script.SetStages(stages);
    script.Run(dialog);
}

std::string GlobeState(const GlobeControl& globe, const std::vector<GlobeHeard>& heard) {
    return "elevation " + std::to_string(globe.Elevation()) + ", angle " + std::to_string(globe.Angle()) + ", heard " +
           std::to_string(heard.size());
}

TEST_F(ColourControlsTest, DraggingTheGlobeSetsElevationAndAngleAtEveryChange) {
    ControlsDialog dialog(COLOUR_TEST_DIALOG);
    Globe::Layout layout;
    Point16 startHandle{};
    Script script;
    script.describe = [](ControlsDialog& d) { return GlobeState(*d.globe, d.globeHeard); };
    script.SetStages({
        Activate(),
        [&](ControlsDialog& d) {
            layout = Globe::LayoutOf(d.GetItemRect(COLOUR_ITEM_GLOBE));
            startHandle = d.globe->HandlePoint();
            EXPECT_EQ(startHandle.v, Globe::HandlePosition(layout, 30, 45).v);
            const Point16 c = layout.centre;
            const auto r = static_cast<int16_t>(layout.radius);
            // From the centre to the right rim, then straight up far beyond the rim.
            script.input.Drag({Screen(d, c), Screen(d, Point16{c.v, static_cast<int16_t>(c.h + r / 2)}),
                               Screen(d, Point16{c.v, static_cast<int16_t>(c.h + r)}),
                               Screen(d, Point16{static_cast<int16_t>(c.v - r), c.h}),
                               Screen(d, Point16{static_cast<int16_t>(c.v - r - 20), c.h})});
            return true;
        },
        WaitFor(script, [&](ControlsDialog& d) { return d.globe->Elevation() == 0 && d.globe->Angle() == 0; }),
        [&](ControlsDialog& d) {
            EXPECT_FALSE(d.globeHeard.empty());
            if (d.globeHeard.empty()) return true;
            // The press at the centre: elevation 90, the angle kept.
            EXPECT_EQ(d.globeHeard.front().elevation, 90);
            EXPECT_EQ(d.globeHeard.front().angle, 45);
            bool right = false;
            for (const GlobeHeard& h : d.globeHeard) {
                EXPECT_EQ(h.from, d.globe);
                EXPECT_GE(h.elevation, 0);
                right = right || (h.elevation == 0 && h.angle == 90);
            }
            EXPECT_TRUE(right) << "the right rim was not reported";
            EXPECT_EQ(d.globeHeard.back().elevation, 0);
            EXPECT_EQ(d.globeHeard.back().angle, 0);
            // The handle stands on the top of the rim, drawn there and gone from where it started.
            const Point16 top = d.globe->HandlePoint();
            EXPECT_EQ(top.v, layout.centre.v - layout.radius);
            EXPECT_EQ(top.h, layout.centre.h);
            const COLORREF dot = ScreenPixel(Screen(d, top));
            EXPECT_GT(GetRValue(dot), 0xB0) << std::hex << dot;
            EXPECT_GT(GetRValue(dot), GetBValue(dot) + 0x40) << std::hex << dot;
            const COLORREF where = ScreenPixel(Screen(d, startHandle));
            EXPECT_FALSE(GetRValue(where) > 0xB0 && GetRValue(where) > GetBValue(where) + 0x40) << std::hex << where;
            // A press that does not move is heard at most once.
            d.globeHeard.clear();
            script.input.Drag({Screen(d, Point16{static_cast<int16_t>(layout.centre.v + 10), layout.centre.h}),
                               Screen(d, Point16{static_cast<int16_t>(layout.centre.v + 10), layout.centre.h})});
            return true;
        },
        WaitFor(script, [&](ControlsDialog& d) {
            EXPECT_EQ(d.globeHeard.size(), 1u);
            EXPECT_EQ(d.globe->Angle(), 180);
            // An item too small for the margin shows its ground, and no alert stops the dialog.
            GlobeControl cramped(d, COLOUR_ITEM_ANGLE_GLOBE);
            cramped.Init(GlobeIds::kBevelGlobePicture, GlobeIds::kHandlePicture, 40);
            EXPECT_NO_THROW(cramped.Draw());
            const Rect16 r = d.GetItemRect(COLOUR_ITEM_ANGLE_GLOBE);
            EXPECT_EQ(ScreenPixel(Screen(d, Point16{static_cast<int16_t>((r.top + r.bottom) / 2),
                                                    static_cast<int16_t>((r.left + r.right) / 2)})),
                      kBackground);
            d.EndDialog(COLOUR_ITEM_LIGHT_LABEL);
            return true;
        }),
    });
    script.Run(dialog);
}

TEST_F(ColourControlsTest, AnAngleOnlyGlobeReportsNoElevationAndKeepsItsHandleOnTheRim) {
    ControlsDialog dialog(COLOUR_TEST_DIALOG);
    Globe::Layout layout;
    Script script;
    script.describe = [](ControlsDialog& d) { return GlobeState(*d.angleOnly, d.globeHeard); };
    script.SetStages({
        Activate(),
        [&](ControlsDialog& d) {
            layout = Globe::LayoutOf(d.GetItemRect(COLOUR_ITEM_ANGLE_GLOBE));
            const Point16 c = layout.centre;
            script.input.Drag({Screen(d, Point16{c.v, static_cast<int16_t>(c.h + 2)}), Screen(d, Point16{c.v, static_cast<int16_t>(c.h - 3)}),
                               Screen(d, Point16{c.v, static_cast<int16_t>(c.h - 6)})});
            return true;
        },
        WaitFor(script, [&](ControlsDialog& d) { return d.angleOnly->Angle() == -90; }),
        [&](ControlsDialog& d) {
            EXPECT_FALSE(d.globeHeard.empty());
            if (d.globeHeard.empty()) {
                d.EndDialog(COLOUR_ITEM_LIGHT_LABEL);
                return true;
            }
            for (const GlobeHeard& h : d.globeHeard) {
                EXPECT_EQ(h.from, d.angleOnly);
                EXPECT_EQ(h.elevation, Globe::kNoElevation);
            }
            EXPECT_EQ(d.globeHeard.front().angle, 90);
            EXPECT_EQ(d.globeHeard.back().angle, -90);
            EXPECT_EQ(d.angleOnly->Elevation(), Globe::kNoElevation);
            const Point16 handle = d.angleOnly->HandlePoint();
            EXPECT_EQ(handle.v, layout.centre.v);
            EXPECT_EQ(handle.h, layout.centre.h - layout.radius);
            d.EndDialog(COLOUR_ITEM_LIGHT_LABEL);
            return true;
        },
    });
    script.Run(dialog);
}

// ---- Pictures

struct Picture {
    qvhost::RasterImage image;
    COLORREF At(int32_t x, int32_t y) const {
        const uint16_t* rgb = image.samples.data() + (static_cast<size_t>(y) * image.width + x) * image.channels;
        return RGB(rgb[0], rgb[1], rgb[2]);
    }
    int Count(const std::function<bool(COLORREF)>& wanted) const {
        int n = 0;
        for (int32_t y = 0; y < image.height; ++y)
            for (int32_t x = 0; x < image.width; ++x) n += wanted(At(x, y));
        return n;
    }
    int Pixels() const { return image.width * image.height; }
};

// Runs `show` under the ui steps "wait; shot; press cancel" and reads the picture back.
Picture Photograph(const std::string& name, int16_t cancelItem, const std::function<void()>& show) {
    TempFolder temporary("QuorvelColour");
    const std::string folder = ShotFolder().empty() ? std::string(temporary / "") : ShotFolder();
    const std::string shot = (std::filesystem::path(folder) / name).string();
    const qvhost::UiReport report = qvhost::DriveDialogs(
        UiSteps("wait 600; shot \"" + shot + "\"; press " + std::to_string(cancelItem)), {}, show);
    EXPECT_TRUE(report.completed) << report.error;
    Picture picture;
    std::string error;
    EXPECT_TRUE(qvhost::ReadImageFile(shot, picture.image, error)) << error;
    return picture;
}

bool Saturated(COLORREF c) {
    const int hi = std::max({GetRValue(c), GetGValue(c), GetBValue(c)}), lo = std::min({GetRValue(c), GetGValue(c), GetBValue(c)});
    return hi - lo > 150;
}

TEST_F(ColourControlsTest, PicturesOfTheWellTheSwatchesAndTheGlobe) {
    ColorRecord colour = Rgb(40, 160, 220);
    bool ok = true;
    const Picture well = Photograph("colour-well.png", ColorWellIds::kCancel, [&] {
        ok = ColorWellDlg::Run(HostCall::Current(), nullptr, colour, ColorWellOffer::kForeground | ColorWellOffer::kBackground |
                                                    ColorWellOffer::kHostPicker | ColorWellOffer::kNone);
    });
    EXPECT_FALSE(ok);
    EXPECT_TRUE(Same(colour, Rgb(40, 160, 220)));
    ASSERT_GT(well.image.width, 300);
    // The dark face around a field of strong colours, the grey strip, the host's swatches.
    EXPECT_GT(well.Count([](COLORREF c) { return c == kBackground; }), well.Pixels() / 5);
    EXPECT_GT(well.Count(Saturated), well.Pixels() / 8);
    EXPECT_GT(well.Count([](COLORREF c) { return c == RGB(10, 20, 30); }), 200);     // the foreground
    EXPECT_GT(well.Count([](COLORREF c) { return c == RGB(250, 240, 230); }), 200);  // the background

    int16_t result = 0;
    const Picture swatches = Photograph("colour-popup.png", COLOUR_ITEM_LIGHT_LABEL, [&] {
        ControlsDialog dialog(COLOUR_TEST_DIALOG);
        result = dialog.RunModal();
    });
    EXPECT_EQ(result, COLOUR_ITEM_LIGHT_LABEL);
    EXPECT_GT(swatches.Count([](COLORREF c) { return c == kBackground; }), swatches.Pixels() / 4);
    EXPECT_GT(swatches.Count([](COLORREF c) { return c == RGB(200, 40, 30); }), 200);   // the well's swatch
    EXPECT_GT(swatches.Count([](COLORREF c) { return c == kFrame; }), 100);             // the swatches' rims

    const Picture globes = Photograph("globe.png", GLOBE_ITEM_ANGLE_LABEL, [&] {
        ControlsDialog dialog(GLOBE_TEST_DIALOG);
        result = dialog.RunModal();
    });
    EXPECT_EQ(result, GLOBE_ITEM_ANGLE_LABEL);
    // The shaded globes, lighter than the face, and the handles' amber dots.
    EXPECT_GT(globes.Count([](COLORREF c) { return GetRValue(c) > 0x70 && GetRValue(c) == GetGValue(c); }), globes.Pixels() / 10);
    EXPECT_GT(globes.Count([](COLORREF c) { return GetRValue(c) > 0xB0 && GetRValue(c) > GetBValue(c) + 0x60; }), 2);
}

}  // namespace
