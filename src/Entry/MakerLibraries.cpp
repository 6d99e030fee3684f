#include "MakerLibraries.h"

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "Alerts.h"
#include "Errors.h"
#include "ThisModule.h"
#include "Utf.h"
#include "Win32Owners.h"

namespace {

constexpr int kWelcomeTitleString = 16954;
constexpr int kWelcomePageString = 16953;

// The folder the plug-in file lies in, with a trailing backslash.
std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(ThisModule(), path, MAX_PATH);
    std::wstring folder = path;
    const size_t slash = folder.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

}  // namespace

void DoAbout(HWND hostWindow) {
    // The maker's toolbox library: ordinal 2 initialises it, ordinal 6 shows the About box.
    using InitializeProc = int (*)(HINSTANCE, HWND);
    using AboutProc = int (*)(HINSTANCE, int bitmapId, int, int);
    const OwnedModule toolbox(LoadLibraryW((ModuleFolder() + L"VantrelToolBox2.dll").c_str()));
    auto initialize = ExportedFunction<InitializeProc>(toolbox, MAKEINTRESOURCEA(2));
    auto about = ExportedFunction<AboutProc>(toolbox, MAKEINTRESOURCEA(6));
    if (!initialize || !about) THROW_IF_ERROR(Err::ResourceMissing);
    initialize(ThisModule(), hostWindow);
    about(ThisModule(), 25003, 0, 1);
}

void ShowWelcomeDialog(uint8_t* showFlag) {
    char title[256];
    if (!LoadResourceString(kWelcomeTitleString, title, sizeof title)) title[0] = '\0';
    char pageTail[260];
    if (!LoadResourceString(kWelcomePageString, pageTail, sizeof pageTail)) pageTail[0] = '\0';
    wchar_t appData[MAX_PATH] = {};
    std::string page;
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, appData)))
        page = Utf16ToUtf8(appData) + pageTail;
    if (page.size() >= 260) return;

    using WelcomeProc = int (*)(const char* title, int showFlag, const char* page);
    const OwnedModule welcome(LoadLibraryW((ModuleFolder() + L"VantrelWelcomeDialog.dll").c_str()));
    if (auto show = ExportedFunction<WelcomeProc>(welcome, "doWelcomeDialog"))
        *showFlag = show(title, *showFlag, page.c_str()) != 0 ? 1 : 0;
}
