// The dialog base on real windows: modal and modeless runs, item values by kind, typed numbers
// and their alerts, keys routed through the message-filter hook, the idle tick, hot help, and the
// hook and windows gone after the last dialog.
//
// A modal run is driven from inside: the test dialog's idle tick plays a script of steps, one
// step a tick, and ends the run with a timeout item when the script is not done in time, so that
// no test can hang. Keys are posted to the focused window: they pass through the system's dialog
// loop and its hook as typed keys do.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "AlertLog.h"
#include "Alerts.h"
#include "FloatingPalettes.h"
#include "MorvaneDialog.h"
#include "TestDialogs.h"

namespace {

constexpr int16_t kTimedOut = 99;
constexpr int kTickLimit = 600;   // 6 s of ticks at most

class ScriptedDialog : public MorvaneDialog {
public:
    using Step = std::function<void(ScriptedDialog&)>;

    explicit ScriptedDialog(int16_t templateId = TEST_DIALOG, DialogKind kind = DialogKind::Modal)
        : MorvaneDialog(templateId, kind) {}

    // Steps run one an idle tick, after `settleTicks` ticks.
    void Script(std::vector<Step> steps, int settleTicks = 3) {
        steps_ = std::move(steps);
        settle_ = settleTicks;
        next_ = 0;
        idleTicks = 0;
    }

    std::vector<int16_t> hits;
    int idleTicks = 0;
    std::function<void(ScriptedDialog&)> onInit;
    std::function<void(ScriptedDialog&)> onIdle;

    int16_t ItemHit(int16_t item) override {
        hits.push_back(item);
        if (item == kTimedOut) return kTimedOut;
        return MorvaneDialog::ItemHit(item);
    }

    void InitDialog() override {
        MorvaneDialog::InitDialog();
        if (onInit) onInit(*this);
    }

    void Idle() override {
        ++idleTicks;
        if (onIdle) onIdle(*this);
        if (idleTicks > kTickLimit) {
            EndDialog(kTimedOut);
            return;
        }
        if (idleTicks <= settle_ || next_ >= steps_.size()) return;
        const Step step = steps_[next_++];
        step(*this);
    }

    bool Hit(int16_t item) const { return std::find(hits.begin(), hits.end(), item) != hits.end(); }

private:
    std::vector<Step> steps_;
    size_t next_ = 0;
    int settle_ = 3;
};

void PostKey(WPARAM key) {
    const HWND focus = GetFocus();
    PostMessageA(focus, WM_KEYDOWN, key, 1);
    PostMessageA(focus, WM_KEYUP, key, 0xC0000001);
}

// A typed character for an item's control. Sent to the control itself rather than to the focus:
// on a desktop other programs share, the dialog may not hold the focus when the step runs.
void PostChar(HWND control, char c) { PostMessageA(control, WM_CHAR, static_cast<unsigned char>(c), 1); }

std::string TextOf(MorvaneDialog& d, int16_t item) {
    char text[256] = {};
    d.GetItemText(item, text, sizeof text);
    return text;
}

// Types a text into an item as the user would: the control's own change notice follows.
void Type(MorvaneDialog& d, int16_t item, const char* text) {
    SetFocus(d.ItemWindow(item));
    SetWindowTextA(d.ItemWindow(item), text);
}

ScriptedDialog::Step Wait() {
    return [](ScriptedDialog&) {};
}

int CountThreadWindows() {
    int count = 0;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND, LPARAM counter) -> BOOL {
            ++*reinterpret_cast<int*>(counter);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override { alerts_ = std::make_unique<AlertLog>("1"); }
    void TearDown() override { alerts_.reset(); }
    std::string Alerts() const { return alerts_->Text(); }

    std::unique_ptr<AlertLog> alerts_;
};

// ---- Runs

TEST_F(DialogTest, AModalRunEndsWithThePressedItemAndLeavesNoWindowOrHook) {
    const int windowsBefore = CountThreadWindows();
    EXPECT_FALSE(MorvaneDialog::HookInstalled());
    {
        ScriptedDialog dialog;
        EXPECT_TRUE(MorvaneDialog::HookInstalled());
        dialog.Script({[](ScriptedDialog& d) { SendMessageA(d.ItemWindow(ITEM_OK), BM_CLICK, 0, 0); }});
        EXPECT_EQ(dialog.RunModal(), ITEM_OK);
        EXPECT_FALSE(dialog.IsOpen());
        EXPECT_EQ(dialog.Window(), nullptr);
        EXPECT_EQ(MorvaneDialog::FirstDialog(), &dialog);
    }
    EXPECT_EQ(MorvaneDialog::FirstDialog(), nullptr);
    EXPECT_FALSE(MorvaneDialog::HookInstalled());
    EXPECT_EQ(CountThreadWindows(), windowsBefore);

    // A new first dialog hooks again, and a run can follow a run.
    ScriptedDialog again;
    EXPECT_TRUE(MorvaneDialog::HookInstalled());
    again.Script({[](ScriptedDialog& d) { SendMessageA(d.ItemWindow(ITEM_CANCEL), BM_CLICK, 0, 0); }});
    EXPECT_EQ(again.RunModal(), ITEM_CANCEL);
    again.Script({[](ScriptedDialog& d) { SendMessageA(d.ItemWindow(ITEM_OK), BM_CLICK, 0, 0); }});
    EXPECT_EQ(again.RunModal(), ITEM_OK);
}

TEST_F(DialogTest, AMissingTemplateRaisesItsCodeAndATemplateBelowOneMakesAnUnlistedObject) {
    {
        ScriptedDialog missing(17999);
        try {
            missing.RunModal();
            ADD_FAILURE() << "no error";
        } catch (const ErrorCodeException& e) {
            EXPECT_EQ(e.code, Err::ResourceMissing);
        }
    }
    ScriptedDialog none(0);
    EXPECT_EQ(MorvaneDialog::FirstDialog(), nullptr);
    EXPECT_FALSE(MorvaneDialog::HookInstalled());
    EXPECT_EQ(none.RunModal(), 0);
}

TEST_F(DialogTest, AModelessDialogRunsItsOwnLoopAndEnds) {
    ScriptedDialog dialog(TEST_DIALOG, DialogKind::Modal);
    const HWND window = dialog.CreateModeless();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(MorvaneDialog::FrontDialog(), &dialog);
    PostMessageA(dialog.ItemWindow(ITEM_CANCEL), BM_CLICK, 0, 0);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (dialog.IsOpen() && std::chrono::steady_clock::now() < until) {
        PostMessageA(window, WM_NULL, 0, 0);
        dialog.DoEvent();
    }
    EXPECT_FALSE(dialog.IsOpen());
    EXPECT_EQ(dialog.Result(), ITEM_CANCEL);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(DialogTest, AModelessLoopStillDeliversOtherWindowsPaintsAndTimersButNotTheirMouse) {
    struct Counts {
        int timers = 0;
        int clicks = 0;
    };
    static Counts counts;
    counts = {};
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == WM_TIMER) ++counts.timers;
        if (m == WM_LBUTTONDOWN) ++counts.clicks;
        return DefWindowProcA(w, m, wp, lp);
    };
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "QvOtherWindow";
    RegisterClassA(&windowClass);
    const HWND other = CreateWindowA("QvOtherWindow", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
    SetTimer(other, 7, 10, nullptr);

    ScriptedDialog dialog;
    ASSERT_NE(dialog.CreateModeless(), nullptr);
    PostMessageA(other, WM_LBUTTONDOWN, 0, 0);
    // The dialog's own idle tick keeps the loop turning.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (std::chrono::steady_clock::now() < until) dialog.DoEvent();
    dialog.EndDialog(0);
    KillTimer(other, 7);
    DestroyWindow(other);
    UnregisterClassA("QvOtherWindow", GetModuleHandleA(nullptr));
    EXPECT_GT(counts.timers, 0) << "timers of other windows must keep running";
    EXPECT_EQ(counts.clicks, 0) << "mouse input aimed at other windows is held back";
}

TEST_F(DialogTest, AFloatingDialogHasNoDefaultOrCancelItemAndNoIdleTick) {
    ScriptedDialog owner;
    ScriptedDialog floating(TEST_FLOATING, DialogKind::Floating);
    floating.SetOwner(&owner);
    EXPECT_EQ(floating.DefaultItem(), 0);
    EXPECT_EQ(floating.CancelItem(), 0);
    int floatingTicks = -1;
    owner.onInit = [&](ScriptedDialog&) { floating.CreateModeless(); };
    owner.Script({Wait(), Wait(), Wait(), Wait(), Wait(), [&](ScriptedDialog& d) {
                      floatingTicks = floating.idleTicks;
                      // The floating window stands in front of the dialog it floats over, yet
                      // the modal dialog stays the front dialog for keys.
                      EXPECT_EQ(MorvaneDialog::FirstDialog(), &floating);
                      EXPECT_EQ(MorvaneDialog::FrontDialog(), &d);
                      d.EndDialog(ITEM_OK);
                  }});
    EXPECT_EQ(owner.RunModal(), ITEM_OK);
    EXPECT_EQ(floatingTicks, 0);
    EXPECT_GT(owner.idleTicks, 5);
}

TEST_F(DialogTest, ADialogHiddenBeforeItOpensStaysHidden) {
    ScriptedDialog dialog;
    dialog.Hide();
    dialog.Hide();
    const HWND window = dialog.CreateModeless();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_FALSE(dialog.IsVisible());
    dialog.Show(kShowInFront);
    EXPECT_TRUE(IsWindowVisible(window));
    dialog.EndDialog(0);
}

// ---- Item values

TEST_F(DialogTest, EveryKindOfItemCarriesAValue) {
    ScriptedDialog dialog;
    dialog.Script({[](ScriptedDialog& d) {
        EXPECT_EQ(d.ItemCount(), ITEM_STATUS);
        EXPECT_EQ(d.ItemRecord(ITEM_OK)->kind, ItemKind::kButton);
        EXPECT_EQ(d.ItemRecord(ITEM_INTEGER)->kind, ItemKind::kTextEdit);
        EXPECT_EQ(d.ItemRecord(ITEM_TEXT)->kind, ItemKind::kTextEdit);
        EXPECT_EQ(d.ItemRecord(ITEM_LABEL)->kind, ItemKind::kStaticText);
        EXPECT_EQ(d.ItemRecord(ITEM_TABS)->kind, ItemKind::kTabControl);
        EXPECT_EQ(d.ItemRecord(ITEM_TRACK)->kind, ItemKind::kTrackBar);
        EXPECT_EQ(d.ItemRecord(ITEM_PROGRESS)->kind, ItemKind::kProgressBar);

        d.SetItemValue(ITEM_CHECK, 1);
        EXPECT_EQ(IsDlgButtonChecked(d.Window(), ITEM_CHECK), BST_CHECKED);
        EXPECT_EQ(d.GetItemValue(ITEM_CHECK), 1);
        d.SetItemValue(ITEM_CHECK, 0.4);
        EXPECT_EQ(d.GetItemValue(ITEM_CHECK), 0);

        // The tab control's text became its tabs, numbered from 1 both ways.
        EXPECT_EQ(SendMessageA(d.ItemWindow(ITEM_TABS), TCM_GETITEMCOUNT, 0, 0), 3);
        d.SetItemValue(ITEM_TABS, 3);
        EXPECT_EQ(SendMessageA(d.ItemWindow(ITEM_TABS), TCM_GETCURSEL, 0, 0), 2);
        EXPECT_EQ(d.GetItemValue(ITEM_TABS), 3);

        d.SetItemRange(ITEM_TRACK, -20, 50);
        double low = 0, high = 0;
        d.GetItemRange(ITEM_TRACK, low, high);
        EXPECT_EQ(low, -20);
        EXPECT_EQ(high, 50);
        d.SetItemValue(ITEM_TRACK, -7.5);   // half away from zero
        EXPECT_EQ(d.GetItemValue(ITEM_TRACK), -8);
        EXPECT_EQ(d.GetItemRounded(ITEM_TRACK), -8);

        d.SetItemRange(ITEM_PROGRESS, 0, 200);
        d.SetItemValue(ITEM_PROGRESS, 150);
        EXPECT_EQ(d.GetItemValue(ITEM_PROGRESS), 150);

        // A static item shows a number in its format.
        d.SetItemNumber(ITEM_LABEL, "%6.2f", -100, 100);
        d.SetItemValue(ITEM_LABEL, 2.345);
        EXPECT_EQ(TextOf(d, ITEM_LABEL), "  2.35");
        // A value that differs by less than half a unit does not rewrite the text.
        SetWindowTextA(d.ItemWindow(ITEM_LABEL), "kept");
        d.SetItemValue(ITEM_LABEL, 2.349);
        EXPECT_EQ(TextOf(d, ITEM_LABEL), "kept");

        d.SetItemNumber(ITEM_INTEGER, "%d", 0, 10);
        EXPECT_EQ(d.ItemRecord(ITEM_INTEGER)->kind, ItemKind::kIntegerEdit);
        d.EndDialog(ITEM_OK);
    }});
    EXPECT_EQ(dialog.RunModal(), ITEM_OK);
}

TEST_F(DialogTest, ACodeRaisedInsideARunEndsItWithThatCode) {
    ScriptedDialog dialog;
    dialog.Script({[](ScriptedDialog& d) {
        // A malformed format raises its code and leaves the item as it was.
        EXPECT_THROW(d.SetItemNumber(ITEM_INTEGER, "5d", 0, 1), ErrorCodeException);
        EXPECT_EQ(d.ItemRecord(ITEM_INTEGER)->kind, ItemKind::kTextEdit);
    }});
    EXPECT_EQ(dialog.RunModal(), NumberParse::kBadFormat);
    EXPECT_NE(Alerts().find("18018"), std::string::npos) << Alerts();
    // The code does not outlive the run it ended.
    dialog.Script({[](ScriptedDialog& d) { d.EndDialog(ITEM_OK); }});
    EXPECT_EQ(dialog.RunModal(), ITEM_OK);
}

TEST_F(DialogTest, AppendedItemsFollowTheDialogsOwnInTheirOrder) {
    ScriptedDialog dialog;
    dialog.Script({[](ScriptedDialog& d) {
        const HWND check = d.ItemWindow(ITEM_CHECK);
        d.AppendItems(TEST_FLOATING);
        EXPECT_EQ(d.ItemCount(), ITEM_STATUS + 2);
        EXPECT_EQ(d.ItemWindow(ITEM_CHECK), check);
        EXPECT_EQ(d.ItemRecord(ITEM_STATUS + 1)->kind, ItemKind::kTextEdit);
        EXPECT_EQ(d.ItemRecord(ITEM_STATUS + 2)->kind, ItemKind::kButton);
        char text[32] = {};
        GetWindowTextA(d.ItemWindow(ITEM_STATUS + 2), text, sizeof text);
        EXPECT_STREQ(text, "Check");
        EXPECT_EQ(GetParent(d.ItemWindow(ITEM_STATUS + 2)), d.Window());
        d.SetItemValue(ITEM_STATUS + 2, 1);
        EXPECT_EQ(d.GetItemValue(ITEM_STATUS + 2), 1);
        d.EndDialog(ITEM_OK);
    }});
    EXPECT_EQ(dialog.RunModal(), ITEM_OK);
}

// ---- Typed numbers

ScriptedDialog::Step SetUpNumbers() {
    return [](ScriptedDialog& d) {
        d.SetItemNumber(ITEM_INTEGER, "%d", 0, 100);
        d.SetItemValue(ITEM_INTEGER, 40);
        d.SetItemNumber(ITEM_REAL, "%.1f", 0.5, 10);
        d.SetItemValue(ITEM_REAL, 2);
        d.ItemRecord(ITEM_TEXT)->width = 8;
        d.SetFocusItem(ITEM_INTEGER);
    };
}

TEST_F(DialogTest, ANumberOutsideItsBoundsAsksAndTakesTheNearestBound) {
    ScriptedDialog dialog;
    dialog.Script({SetUpNumbers(), Wait(), [](ScriptedDialog& d) { Type(d, ITEM_INTEGER, "250"); }, Wait(),
                   [](ScriptedDialog& d) {
                       EXPECT_EQ(d.ItemRecord(ITEM_INTEGER)->value, 100.0f);
                       EXPECT_EQ(TextOf(d, ITEM_INTEGER), "100");
                       // Every hit of the item reached ItemHit once the bound was in.
                       EXPECT_TRUE(d.Hit(ITEM_INTEGER));
                       d.EndDialog(ITEM_OK);
                   }});
    EXPECT_EQ(dialog.RunModal(), ITEM_OK);
    EXPECT_NE(Alerts().find("alert 18007"), std::string::npos) << Alerts();
    EXPECT_NE(Alerts().find("0"), std::string::npos);
}

TEST_F(DialogTest, TextThatIsNoNumberIsRefusedAndTheValueWrittenBack) {
    ScriptedDialog dialog;
    dialog.Script({SetUpNumbers(), Wait(), [](ScriptedDialog& d) {
                       SetFocus(d.ItemWindow(ITEM_REAL));
                   },
                   Wait(), [](ScriptedDialog& d) { Type(d, ITEM_REAL, "2x"); }, Wait(),
                   [](ScriptedDialog& d) {
                       EXPECT_EQ(d.ItemRecord(ITEM_REAL)->value, 2.0f);
                       EXPECT_EQ(TextOf(d, ITEM_REAL), "2.0");
                       EXPECT_FALSE(d.Hit(ITEM_REAL));
                       d.EndDialog(ITEM_OK);
                   }});
    EXPECT_EQ(dialog.RunModal(), ITEM_OK);
    EXPECT_NE(Alerts().find("alert 18004"), std::string::npos) << Alerts();
}

TEST_F(DialogTest, ANumberTypedTowardsItsMinimumWaitsSilentlyAndLeavingTheFieldShowsTheMinimum) {
    // The focus moves as the dialog's hook sees it move (TrackFocus): on a desktop other programs
    // share, the system's focus may stay with another program's window.
    ScriptedDialog dialog;
    dialog.Script({[](ScriptedDialog& d) {
                       d.SetItemNumber(ITEM_INTEGER, "%d", 10, 100);
                       d.SetItemValue(ITEM_INTEGER, 40);
                       d.SetFocusItem(ITEM_INTEGER);
                       d.TrackFocus(ITEM_INTEGER);
                   },
                   Wait(), [](ScriptedDialog& d) { Type(d, ITEM_INTEGER, "1"); }, Wait(),
                   [](ScriptedDialog& d) {
                       EXPECT_EQ(d.ItemRecord(ITEM_INTEGER)->value, 10.0f);
                       EXPECT_EQ(TextOf(d, ITEM_INTEGER), "1");
                       d.TrackFocus(ITEM_TEXT);
                   },
                   Wait(),
                   [](ScriptedDialog& d) {
                       EXPECT_EQ(TextOf(d, ITEM_INTEGER), "10");
                       d.EndDialog(ITEM_OK);
                   }});
    EXPECT_EQ(dialog.RunModal(), ITEM_OK);
    EXPECT_EQ(Alerts().find("alert 180"), std::string::npos) << Alerts();
}

TEST_F(DialogTest, ATextLongerThanItsLimitIsRefused) {
    ScriptedDialog dialog;
    dialog.Script({SetUpNumbers(), [](ScriptedDialog& d) { SetFocus(d.ItemWindow(ITEM_TEXT)); }, Wait(),
                   [](ScriptedDialog& d) { Type(d, ITEM_TEXT, "short"); }, Wait(),
                   [](ScriptedDialog& d) { Type(d, ITEM_TEXT, "much too long"); }, Wait(),
                   [](ScriptedDialog& d) {
                       EXPECT_EQ(TextOf(d, ITEM_TEXT), "short");
                       d.EndDialog(ITEM_OK);
                   }});
    EXPECT_EQ(dialog.RunModal(), ITEM_OK);
    EXPECT_NE(Alerts().find("alert 18015"), std::string::npos) << Alerts();
    EXPECT_NE(Alerts().find("8"), std::string::npos);
}

// ---- Keys through the hook

TEST_F(DialogTest, ReturnGivesTheDefaultItemAndEscapeTheCancelItem) {
    struct Case {
        WPARAM key;
        int16_t item;
    };
    for (const Case c : {Case{VK_RETURN, ITEM_OK}, Case{VK_ESCAPE, ITEM_CANCEL}}) {
        ScriptedDialog dialog;
        dialog.Script({[](ScriptedDialog& d) { SetFocus(d.ItemWindow(ITEM_CHECK)); }, Wait(),
                       [c](ScriptedDialog&) { PostKey(c.key); }});
        EXPECT_EQ(dialog.RunModal(), c.item) << "key " << c.key;
    }
}

TEST_F(DialogTest, ReturnWithTheDefaultItemDisabledPassesOn) {
    ScriptedDialog dialog;
    dialog.Script({[](ScriptedDialog& d) {
                       EnableWindow(d.ItemWindow(ITEM_OK), FALSE);
                       SetFocus(d.ItemWindow(ITEM_CHECK));
                   },
                   Wait(), [](ScriptedDialog&) { PostKey(VK_RETURN); }, Wait(), Wait(),
                   [](ScriptedDialog& d) {
                       EXPECT_TRUE(d.IsOpen());
                       d.EndDialog(ITEM_CANCEL);
                   }});
    EXPECT_EQ(dialog.RunModal(), ITEM_CANCEL);
}

TEST_F(DialogTest, TabMovesTheFocusToTheNextTabStop) {
    ScriptedDialog dialog;
    int16_t before = 0, after = 0;
    dialog.Script({[](ScriptedDialog& d) { d.SetFocusItem(ITEM_INTEGER); }, Wait(),
                   [](ScriptedDialog&) { PostKey(VK_TAB); }, Wait(),
                   [&](ScriptedDialog& d) {
                       before = ITEM_INTEGER;
                       after = d.GetFocusedItem();
                       d.EndDialog(ITEM_OK);
                   }});
    EXPECT_EQ(dialog.RunModal(), ITEM_OK);
    EXPECT_EQ(before, ITEM_INTEGER);
    EXPECT_EQ(after, ITEM_REAL);
}

TEST_F(DialogTest, UpAndDownStepANumberEditWithinItsBoundsAndReportTheHit) {
    ScriptedDialog dialog;
    dialog.Script({SetUpNumbers(), [](ScriptedDialog& d) { d.SetItemValue(ITEM_INTEGER, 99); }, Wait(),
                   [](ScriptedDialog&) { PostKey(VK_UP); }, Wait(),
                   [](ScriptedDialog& d) {
                       EXPECT_EQ(TextOf(d, ITEM_INTEGER), "100");
                       d.hits.clear();
                   },
                   [](ScriptedDialog&) { PostKey(VK_UP); }, Wait(),
                   [](ScriptedDialog& d) {
                       // At its maximum the value stays, and the item still counts as hit.
                       EXPECT_EQ(TextOf(d, ITEM_INTEGER), "100");
                       EXPECT_EQ(d.ItemRecord(ITEM_INTEGER)->value, 100.0f);
                       EXPECT_TRUE(d.Hit(ITEM_INTEGER));
                   },
                   [](ScriptedDialog& d) { d.SetFocusItem(ITEM_REAL); }, Wait(),
                   [](ScriptedDialog&) { PostKey(VK_DOWN); }, Wait(),
                   [](ScriptedDialog& d) {
                       EXPECT_EQ(TextOf(d, ITEM_REAL), "1.9");
                       d.EndDialog(ITEM_OK);
                   }});
    EXPECT_EQ(dialog.RunModal(), ITEM_OK);
}

TEST_F(DialogTest, ANumberEditSwallowsCharactersThatCannotBelongToANumber) {
    ScriptedDialog dialog;
    dialog.Script({SetUpNumbers(), [](ScriptedDialog& d) { SetWindowTextA(d.ItemWindow(ITEM_INTEGER), ""); }, Wait(),
                   [](ScriptedDialog& d) {
                       for (const char c : {'x', '4', '.', '2'}) PostChar(d.ItemWindow(ITEM_INTEGER), c);
                   },
                   Wait(), Wait(),
                   [](ScriptedDialog& d) {
                       // The decimal separator belongs to real numbers only.
                       EXPECT_EQ(TextOf(d, ITEM_INTEGER), "42");
                       d.EndDialog(ITEM_OK);
                   }});
    EXPECT_EQ(dialog.RunModal(), ITEM_OK);
}

TEST_F(DialogTest, KeysGoToTheWindowHoldingTheMouseAndDoNotEndTheDialog) {
    static std::vector<WPARAM> received;
    received.clear();
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == WM_KEYDOWN) received.push_back(wp);
        return DefWindowProcA(w, m, wp, lp);
    };
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "QvCaptureHolder";
    RegisterClassA(&windowClass);
    HWND holder = nullptr;
    ScriptedDialog dialog;
    dialog.Script({[&](ScriptedDialog& d) {
                       holder = CreateWindowA("QvCaptureHolder", "", WS_CHILD | WS_VISIBLE, 0, 0, 4, 4, d.Window(),
                                              nullptr, GetModuleHandleA(nullptr), nullptr);
                       SetFocus(d.ItemWindow(ITEM_CHECK));
                       SetCapture(holder);
                   },
                   [](ScriptedDialog&) { PostKey(VK_RETURN); }, Wait(), Wait(),
                   [&](ScriptedDialog& d) {
                       EXPECT_TRUE(d.IsOpen());
                       ReleaseCapture();
                       DestroyWindow(holder);
                       d.EndDialog(ITEM_CANCEL);
                   }});
    EXPECT_EQ(dialog.RunModal(), ITEM_CANCEL);
    UnregisterClassA("QvCaptureHolder", GetModuleHandleA(nullptr));
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received.front(), static_cast<WPARAM>(VK_RETURN));
}

TEST_F(DialogTest, TheEditCommandsOfTheAcceleratorsActOnTheFocusedEdit) {
    ScriptedDialog dialog;
    dialog.Script({[](ScriptedDialog& d) {
                       SetWindowTextA(d.ItemWindow(ITEM_TEXT), "select me");
                       SetFocus(d.ItemWindow(ITEM_TEXT));
                       SendMessageA(d.ItemWindow(ITEM_TEXT), EM_SETSEL, 0, 0);
                   },
                   Wait(),
                   [](ScriptedDialog& d) {
                       // Ctrl+A arrives as the select-all command of the accelerator table.
                       SendMessageA(d.Window(), WM_COMMAND, MAKEWPARAM(DialogIds::kSelectAll, 1), 0);
                   },
                   Wait(),
                   [](ScriptedDialog& d) {
                       DWORD start = 1, end = 0;
                       SendMessageA(d.ItemWindow(ITEM_TEXT), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                                    reinterpret_cast<LPARAM>(&end));
                       EXPECT_EQ(start, 0u);
                       EXPECT_EQ(end, 9u);
                       d.EndDialog(ITEM_OK);
                   }});
    EXPECT_EQ(dialog.RunModal(), ITEM_OK);
}

// ---- Idle ticks

TEST_F(DialogTest, TheIdleTickRunsEveryTenMillisecondsWhileModalAndRestsDuringAnAlert) {
    alerts_.reset();
    _putenv_s("QUORVEL_ALERT_ANSWER", "");
    int ticksDuringAlert = -1;
    std::chrono::steady_clock::time_point start;
    int ticksAtStart = 0;
    double ticksPerSecond = 0;
    std::atomic<bool> alertUp{false};
    std::thread closer;
    ScriptedDialog dialog;
    std::vector<ScriptedDialog::Step> steps;
    steps.push_back([&](ScriptedDialog& d) {
        start = std::chrono::steady_clock::now();
        ticksAtStart = d.idleTicks;
    });
    for (int i = 0; i < 50; ++i) steps.push_back(Wait());
    steps.push_back([&](ScriptedDialog& d) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ticksPerSecond = (d.idleTicks - ticksAtStart) / seconds;
        // An alert from the dialog: a second thread answers it after a while.
        // Other programs may show alerts of the same title at the same time: the one to answer
        // is the alert of this thread.
        const DWORD thread = GetCurrentThreadId();
        closer = std::thread([&alertUp, thread] {
            for (int i = 0; i < 500 && !alertUp; ++i) Sleep(10);
            Sleep(300);
            for (int i = 0; i < 1000; ++i, Sleep(10)) {
                HWND alert = nullptr;
                EnumThreadWindows(
                    thread,
                    [](HWND window, LPARAM found) -> BOOL {
                        char title[32] = {}, className[16] = {};
                        GetWindowTextA(window, title, sizeof title);
                        GetClassNameA(window, className, sizeof className);
                        if (std::strcmp(className, "#32770") != 0 || std::strcmp(title, "Quorvel 4.6") != 0) return TRUE;
                        *reinterpret_cast<HWND*>(found) = window;
                        return FALSE;
                    },
                    reinterpret_cast<LPARAM>(&alert));
                if (alert) {
                    PostMessageA(alert, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                                 reinterpret_cast<LPARAM>(GetDlgItem(alert, IDOK)));
                    return;
                }
            }
        });
        const int before = d.idleTicks;
        alertUp = true;
        MorvaneDialog::Alert(&d, 18013);
        ticksDuringAlert = d.idleTicks - before;
        d.EndDialog(ITEM_OK);
    });
    dialog.Script(std::move(steps));
    EXPECT_EQ(dialog.RunModal(), ITEM_OK);
    if (closer.joinable()) closer.join();
    _putenv_s("QUORVEL_ALERT_ANSWER", "1");
    std::printf("[ measured ] idle ticks while modal: %.1f a second\n", ticksPerSecond);
    EXPECT_GT(ticksPerSecond, 30.0);
    EXPECT_LE(ticksPerSecond, 110.0);
    EXPECT_EQ(ticksDuringAlert, 0);
}

// ---- Status bar and hot help

TEST_F(DialogTest, TheStatusBarShowsAnItemsHelpAndNothingForAnItemWithout) {
    ScriptedDialog dialog;
    dialog.Script({[](ScriptedDialog& d) {
        d.CreateStatusBar(ITEM_STATUS);
        ASSERT_EQ(d.StatusBarItem(), ITEM_STATUS);
        const HWND bar = d.ItemWindow(ITEM_STATUS);
        char className[64] = {};
        GetClassNameA(bar, className, sizeof className);
        EXPECT_STREQ(className, STATUSCLASSNAMEA);
        char text[128] = {};
        d.ShowHelp(d.HelpStringId(ITEM_INTEGER));
        GetWindowTextA(bar, text, sizeof text);
        EXPECT_STREQ(text, "Type a whole number.");
        d.ShowHelp(d.HelpStringId(ITEM_REAL));   // no string: empty, no alert
        GetWindowTextA(bar, text, sizeof text);
        EXPECT_STREQ(text, "");
        d.SetDefaultStatus("Ready");
        d.ShowHelp(-1);
        GetWindowTextA(bar, text, sizeof text);
        EXPECT_STREQ(text, "Ready");
        EXPECT_EQ(d.HelpStringId(0), 0);
        EXPECT_EQ(d.HelpStringId(ITEM_STATUS + 1), 0);
        d.EndDialog(ITEM_OK);
    }});
    EXPECT_EQ(dialog.RunModal(), ITEM_OK);
    EXPECT_EQ(Alerts().find("alert"), std::string::npos) << Alerts();
}

// ---- The palette set the Tab key toggles

class FakePalette : public FloatingPalette {
public:
    bool IsShown() const override { return shown; }
    void Show() override {
        shown = true;
        ++shows;
    }
    void Hide() override {
        shown = false;
        ++hides;
    }
    bool shown = false;
    int shows = 0, hides = 0;
};

TEST(Palettes, ToggleHidesTheShownAndShowsBackOnlyThose) {
    FloatingPalettes palettes;
    palettes.TogglePalettes();  // none registered: nothing happens
    FakePalette a, b, c;
    a.shown = true;
    c.shown = true;
    palettes.Register(0, &a);
    palettes.Register(4, &b);
    palettes.Register(8, &c);
    palettes.Register(9, &b);  // not a place

    palettes.TogglePalettes();
    EXPECT_FALSE(a.shown);
    EXPECT_FALSE(c.shown);
    EXPECT_EQ(b.hides, 0);

    c.Show();  // shown again meanwhile: only loses its flag
    palettes.TogglePalettes();
    EXPECT_TRUE(a.shown);
    EXPECT_FALSE(b.shown);
    EXPECT_EQ(c.shows, 1);

    palettes.TogglePalettes();  // nothing hidden any more: hides again
    EXPECT_FALSE(a.shown);
    EXPECT_FALSE(c.shown);
    for (int place : {0, 4, 8}) palettes.Register(place, nullptr);
    palettes.TogglePalettes();  // the places forgot them
    EXPECT_FALSE(a.shown);
}

}  // namespace
