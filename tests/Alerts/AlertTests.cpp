#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "AlertLog.h"
#include "Alerts.h"
#include "Errors.h"

namespace {

ErrorCode ThrownBy(ErrorCode code, const char* file, unsigned line) {
    try {
        ThrowIfError(code, file, line);
    } catch (const ErrorCodeException& e) {
        return e.code;
    }
    return 0;
}

TEST(ThrowIfErrorAlerts, ACodeWithItsOwnDialogShowsItsText) {
    AlertLog log;
    EXPECT_EQ(ThrownBy(Err::HostUnsupported, "C:\\src\\PhotoshopFilter.cpp", 10), Err::HostUnsupported);
    EXPECT_EQ(log.Text(), "alert 17500 answered 1: This host does not support necessary features to run this plug-in.\n");
}

TEST(ThrowIfErrorAlerts, ACodeWithOnlyAStringUsesTheGenericMessageAlert) {
    AlertLog log;
    EXPECT_EQ(ThrownBy(Err::FileIO, "C:\\src\\File\\File.Win.cpp", 321), Err::FileIO);
    EXPECT_EQ(log.Text(),
              "alert 20901 answered 1: An error occurred during the file i/o. The disk may be full or the file may "
              "be locked. | File: File.Win.cpp | Line Number: 321\n");
}

TEST(ThrowIfErrorAlerts, ACodeWithNeitherShowsItsNumberFileAndLine) {
    AlertLog log;
    EXPECT_EQ(ThrownBy(31000, "NoFolder.cpp", 7), 31000);
    EXPECT_EQ(log.Text(), "alert 20900 answered 1: A fatal error of type = 31000 occured. | File: NoFolder.cpp | Line Number: 7\n");
}

TEST(ThrowIfErrorAlerts, CodesOutsideTheAlertRangeShowNothing) {
    AlertLog log;
    for (ErrorCode code : {ErrorCode{-108}, ErrorCode{32512}, ErrorCode{-30100}})
        EXPECT_EQ(ThrownBy(code, "x.cpp", 1), code);
    EXPECT_EQ(log.Text(), "");
}

TEST(RunModalDialog, FillsTheFirstTwoPlaceholdersAndAnswersWithTheButton) {
    AlertLog log("2");
    EXPECT_EQ(RunModalDialog(nullptr, Err::FileMissing, "C:\\Frames\\Caf\xC3\xA9.frm", "unused"), 2);
    EXPECT_EQ(log.Text(), "alert 19005 answered 2: Could not find the file \"C:\\Frames\\Caf\xC3\xA9.frm.\"\n");
    EXPECT_EQ(AlertState::ModalDepth(), 0);
}

TEST(RunModalDialog, AMissingDialogThrowsItsStringOrTheResourceError) {
    AlertLog log;
    try {
        RunModalDialog(nullptr, Err::FileIO, nullptr, nullptr);  // a string but no dialog
        ADD_FAILURE();
    } catch (const ErrorCodeException& e) {
        EXPECT_EQ(e.code, Err::FileIO);
    }
    try {
        RunModalDialog(nullptr, 31001, nullptr, nullptr);  // neither
        ADD_FAILURE();
    } catch (const ErrorCodeException& e) {
        EXPECT_EQ(e.code, Err::ResourceMissing);
    }
    EXPECT_EQ(AlertState::ModalDepth(), 0);
    // Ids 0 and 1 answer their failure instead of throwing.
    EXPECT_LT(RunModalDialog(nullptr, 1, nullptr, nullptr), 1);
}

TEST(CenterWindowOnParent, KeepsALargeWindowsTopLeftInsideTheWorkArea) {
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, work.right - work.left + 400,
                                  work.bottom - work.top + 300, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    CenterWindowOnParent(window);
    RECT r;
    GetWindowRect(window, &r);
    EXPECT_EQ(r.left, work.left + 2);
    EXPECT_EQ(r.top, work.top + 2);
    DestroyWindow(window);
}

TEST(CenterWindowOnParent, CentresOnTheOverrideWindowOnce) {
    HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 100, 100, 400, 300, nullptr, nullptr, nullptr, nullptr);
    HWND other = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 500, 300, 200, 200, nullptr, nullptr, nullptr, nullptr);
    HWND child = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 100, 50, owner, nullptr, nullptr, nullptr);
    AlertState::SetCenteringOverride(other);
    CenterWindowOnParent(child);
    RECT r;
    GetWindowRect(child, &r);
    EXPECT_EQ(r.left, 550);
    EXPECT_EQ(r.top, 375);
    CenterWindowOnParent(child);  // the override was used up: back to the owner
    GetWindowRect(child, &r);
    EXPECT_EQ(r.left, 250);
    EXPECT_EQ(r.top, 225);
    for (HWND w : {child, other, owner}) DestroyWindow(w);
}

}  // namespace
