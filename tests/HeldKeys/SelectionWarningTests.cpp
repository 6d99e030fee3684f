// The framework's selection warning and the modifier keys held while it is asked for: Alt goes on
// without asking, Ctrl asks even after "Do not warn again!".
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "DesktopInput.h"
#include "HostCall.h"
#include "PhotoshopFilter.h"
#include "PreferenceSettings.h"
#include "TempFolder.h"
#include "Utf.h"
#include "WindowServices.h"

namespace {

// Holds the keys down for its lifetime, once the modifiers they make show.
class HeldKeys {
public:
    explicit HeldKeys(std::vector<WORD> keys, uint16_t modifiers) : keys_(std::move(keys)) {
        SendKeys(keys_, false);
        EXPECT_TRUE(PumpUntil([modifiers] { return GetModifierKeys() == modifiers; })) << GetModifierKeys();
    }
    ~HeldKeys() {
        SendKeys(keys_, true);
        EXPECT_TRUE(PumpUntil([] { return GetModifierKeys() == 0; })) << GetModifierKeys();
    }
    HeldKeys(const HeldKeys&) = delete;
    HeldKeys& operator=(const HeldKeys&) = delete;

private:
    std::vector<WORD> keys_;
};

// Answers every alert with one button and counts the selection warnings shown.
class WarningAlerts {
public:
    WarningAlerts() : log_(folder_ / "alerts.log") { _putenv_s("QUORVEL_ALERT_LOG", log_.c_str()); }
    ~WarningAlerts() {
        _putenv_s("QUORVEL_ALERT_LOG", "");
        _putenv_s("QUORVEL_ALERT_ANSWER", "1");
    }
    WarningAlerts(const WarningAlerts&) = delete;
    WarningAlerts& operator=(const WarningAlerts&) = delete;

    void AnswerWith(int button) { _putenv_s("QUORVEL_ALERT_ANSWER", std::to_string(button).c_str()); }
    int Shown() const {
        std::ifstream in(std::filesystem::path(Utf8ToUtf16(log_)));
        int count = 0;
        for (std::string line; std::getline(in, line);) count += line.rfind("alert 17012 ", 0) == 0;
        return count;
    }

private:
    TempFolder folder_;
    std::string log_;
};

TEST(SelectionWarning, AltSkipsItAndCtrlShowsItEvenAfterDoNotWarnAgain) {
    constexpr int kContinue = 1, kCancel = 2, kDoNotWarnAgain = 3;
    PreferenceSettings& preferences = Preferences();
    preferences.SetFlag(PreferenceSettings::kNoSelectionWarning, false);
    Framework().warnSelectionRemoval = true;
    WarningAlerts alerts;
    // The warning asks nothing of the host: the filter needs a call, not an open one.
    HostCall call;
    PhotoshopFilter filter(call);

    alerts.AnswerWith(kCancel);
    EXPECT_TRUE(filter.WarnSelectionRemoved(true)) << "Cancel stops the run";
    EXPECT_EQ(alerts.Shown(), 1);

    alerts.AnswerWith(kDoNotWarnAgain);
    EXPECT_FALSE(filter.WarnSelectionRemoved(true));
    EXPECT_EQ(alerts.Shown(), 2);
    EXPECT_TRUE(preferences.HasFlag(PreferenceSettings::kNoSelectionWarning));
    EXPECT_FALSE(filter.WarnSelectionRemoved(true));
    EXPECT_EQ(alerts.Shown(), 2) << "not again";

    {
        HeldKeys ctrl({VK_CONTROL}, kModifierControl);
        alerts.AnswerWith(kContinue);
        EXPECT_FALSE(filter.WarnSelectionRemoved(true));
        EXPECT_EQ(alerts.Shown(), 3) << "Ctrl shows it once more";
        EXPECT_FALSE(preferences.HasFlag(PreferenceSettings::kNoSelectionWarning));
    }
    {
        HeldKeys alt({VK_MENU}, kModifierAlt);
        alerts.AnswerWith(kCancel);
        EXPECT_FALSE(filter.WarnSelectionRemoved(true)) << "Alt goes on without asking";
        EXPECT_EQ(alerts.Shown(), 3);
    }
    Framework().warnSelectionRemoval = false;
}

}  // namespace
