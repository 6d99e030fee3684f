#include <gtest/gtest.h>

#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>

#include <functional>
#include <thread>

#include "File.h"
#include "FileDialogs.h"
#include "FileTestSupport.h"

namespace {

constexpr uint32_t kTextList[] = {'.TXT' | FileTypeList::kGroupEnd, '.BIN', 'DATA' | FileTypeList::kGroupEnd, 0};
constexpr int16_t kMultipleTemplate = 101;

// Runs an action on the open-file dialog of the constructing thread from a second thread, as a
// user would; the dialog is closed in any case, so a failing test never hangs.
class DialogDriver {
public:
    explicit DialogDriver(std::function<void(HWND)> action)
        : thread_([this, owner = GetCurrentThreadId(), action] {
              const HWND dialog = WaitForFileDialog(owner);
              found_ = dialog != nullptr;
              if (!dialog) return;
              action(dialog);
              for (int attempt = 0; attempt < 100 && IsWindow(dialog); ++attempt) Sleep(50);
              if (IsWindow(dialog)) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
          }) {}
    ~DialogDriver() {
        if (thread_.joinable()) thread_.join();
    }
    bool Found() {
        if (thread_.joinable()) thread_.join();
        return found_;
    }

private:
    bool found_ = false;
    std::thread thread_;
};

void TypeNameAndAccept(HWND dialog, const wchar_t* text) {
    Sleep(300);
    SendMessageW(dialog, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(text));
    SendMessageW(dialog, CDM_SETCONTROLTEXT, edt1, reinterpret_cast<LPARAM>(text));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}

// The open-file dialog makes the folder it shows the current one; the tests put it back, so that
// their folders can be removed.
class CurrentFolderGuard {
public:
    CurrentFolderGuard() { GetCurrentDirectoryW(MAX_PATH, folder_); }
    ~CurrentFolderGuard() { SetCurrentDirectoryW(folder_); }

private:
    wchar_t folder_[MAX_PATH] = {};
};

std::vector<int32_t> gEvents;

bool RecordEvent(File&, int32_t event, File::DialogContext& context, LPARAM) {
    gEvents.push_back(event);
    return false;
}

std::string DefaultFolderValue(int16_t templateId) {
    wchar_t text[1024] = {};
    DWORD size = sizeof text;
    const std::wstring name = L"DefaultFolder" + std::to_wstring(templateId);
    if (RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Vantrel Software\\Quorvel 4.6", name.c_str(), RRF_RT_REG_SZ,
                     nullptr, text, &size) != ERROR_SUCCESS) {
        return {};
    }
    return Utf16ToUtf8(text);
}

}  // namespace

TEST(ChooseFile, IsShownAndCancelled) {
    AnsweredAlerts alerts;
    TempFolder folder;
    CurrentFolderGuard currentFolder;
    ASSERT_TRUE(WriteTextFile(folder / "pick é.txt", "x"));
    File file(FileSpec::FromPath(folder / "pick é.txt"), 0);
    file.SetDialogEventCallback(RecordEvent);
    gEvents.clear();

    DialogDriver driver([](HWND dialog) {
        Sleep(300);
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(file.ChooseFile(File::kChooseOne, nullptr, kTextList, -7), 1);
    EXPECT_TRUE(driver.Found());
    EXPECT_TRUE(file.Spec().IsEmpty());
    EXPECT_EQ(file.TypeCode(), 0u);
    ASSERT_FALSE(gEvents.empty());
    EXPECT_EQ(gEvents.front(), File::kEventInitDialog);
    // The folder the dialog showed is remembered for the next dialog of this template.
    EXPECT_EQ(DefaultFolderValue(-7), folder.Path());
}

TEST(ChooseFile, ChoosesOneFileFromTheRememberedFolder) {
    TempFolder folder;
    CurrentFolderGuard currentFolder;
    ASSERT_TRUE(WriteTextFile(folder / "chosen Ω.bin", "x"));
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Vantrel Software\\Quorvel 4.6", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring remembered = Utf8ToUtf16(folder.Path());
    RegSetValueExW(key, L"DefaultFolder-8", 0, REG_SZ, reinterpret_cast<const BYTE*>(remembered.c_str()),
                   static_cast<DWORD>((remembered.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);

    File file(FileSpec(), 'DATA');  // its type selects the second filter group
    DialogDriver driver([](HWND dialog) { TypeNameAndAccept(dialog, L"chosen Ω.bin"); });
    EXPECT_EQ(file.ChooseFile(File::kChooseOne, nullptr, kTextList, -8), 0);
    EXPECT_TRUE(driver.Found());
    EXPECT_EQ(file.Spec().Text(), folder / "chosen Ω.bin");
    EXPECT_EQ(file.TypeCode(), uint32_t{'DATA'});
    EXPECT_TRUE(file.ChosenFiles().empty());
}

TEST(ChooseFile, ChoosesSeveralFilesWithATemplate) {
    TempFolder folder;
    CurrentFolderGuard currentFolder;
    ASSERT_TRUE(WriteTextFile(folder / "one.txt", "1"));
    ASSERT_TRUE(WriteTextFile(folder / "two é.txt", "2"));
    File file(FileSpec::FromPath(folder / "one.txt"), 0);
    DialogDriver driver([](HWND dialog) { TypeNameAndAccept(dialog, L"\"one.txt\" \"two é.txt\""); });
    EXPECT_EQ(file.ChooseFile(File::kChooseMany, nullptr, kTextList, kMultipleTemplate), 0);
    EXPECT_TRUE(driver.Found());
    std::vector<std::string> chosen;
    for (const FileSpec& spec : file.ChosenFiles()) chosen.emplace_back(spec.Text());
    EXPECT_EQ(chosen, (std::vector<std::string>{folder / "one.txt", folder / "two é.txt"}));
}
